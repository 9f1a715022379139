// Fuzz target: extended grapheme cluster iteration.
//
// The clusters that `Clusters` yields are non-empty, concatenate back to the text, start and
// end on scalar value boundaries and agree with `next_cluster_end`; segmenting the text that
// follows the first cluster gives the same remaining clusters (a scan started at a boundary
// needs no context from before it).
#include <vector>

#include "fuzz_input.hpp"
#include "unicode/grapheme.hpp"

namespace {

bool is_scalar_start(std::string_view text, std::size_t pos) {
    return pos == text.size() || (static_cast<unsigned char>(text[pos]) & 0xC0) != 0x80;
}

std::vector<std::size_t> cluster_ends(std::string_view text) {
    std::vector<std::size_t> ends;
    scrubix::unicode::Clusters clusters(text);
    std::size_t pos = 0;
    for (std::string_view cluster; clusters.next(cluster);) {
        pos += cluster.size();
        ends.push_back(pos);
    }
    return ends;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::to_valid_utf8(data, size);
    std::string joined;
    std::size_t pos = 0;
    scrubix::unicode::Clusters clusters(text);
    for (std::string_view cluster; clusters.next(cluster);) {
        FUZZ_ASSERT(!cluster.empty(), text);
        FUZZ_ASSERT(cluster.data() == text.data() + pos, text);
        FUZZ_ASSERT(scrubix::unicode::next_cluster_end(text, pos) == pos + cluster.size(), text);
        pos += cluster.size();
        FUZZ_ASSERT(is_scalar_start(text, pos), text);
        joined.append(cluster);
    }
    FUZZ_ASSERT(joined == text, text);

    const std::vector<std::size_t> ends = cluster_ends(text);
    if (ends.size() > 1) {
        const std::size_t first = ends.front();
        const std::vector<std::size_t> rest = cluster_ends(std::string_view(text).substr(first));
        FUZZ_ASSERT(rest.size() == ends.size() - 1, text);
        for (std::size_t k = 0; k < rest.size(); ++k) FUZZ_ASSERT(rest[k] + first == ends[k + 1], text);
    }
    return 0;
}
