#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harness.hpp"
#include "translit/deunicode.hpp"

using namespace scrubix;

namespace {

std::optional<std::string_view> lookup(char32_t c) {
    std::string_view entry;
    if (!translit::deunicode_lookup(c, entry)) return std::nullopt;
    return entry;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_CASE("deunicode", "table matches the published figures of release 1.6.2") {
    std::size_t absent = 0, empty = 0, longest = 0;
    for (char32_t c = 0; c < translit::kDeunicodeEnd; ++c) {
        const auto entry = lookup(c);
        if (!entry) {
            ++absent;
        } else {
            empty += entry->empty();
            longest = std::max(longest, entry->size());
        }
    }
    CHECK_EQ(std::size_t{translit::kDeunicodeEnd}, std::size_t{139998});
    CHECK_EQ(absent, std::size_t{60168});
    CHECK_EQ(empty, std::size_t{2814});
    CHECK_EQ(longest, std::size_t{41});
}

TEST_CASE("deunicode", "sample entries, empty and absent stay distinct") {
    const struct {
        char32_t c;
        std::string_view want;
    } samples[] = {
        {0x4E2D, "Zhong "}, {0x1F600, "grinning "}, {0x0300, ""},  {0x0142, "l"},
        {0x20AC, "EUR"},    {0x00B0, "deg"},        {0x00B4, "'"}, {0x2713, "OK"},
        {0x2122, "tm"},
        {0x014A, "NG"},     {0x014B, "ng"},  // eng keeps its case (the release swaps it)
    };
    for (const auto& s : samples) {
        const auto entry = lookup(s.c);
        CHECK_EQ_MSG(entry.has_value(), true, harness::show(s.c));
        if (entry) CHECK_EQ_MSG(*entry, s.want, harness::show(s.c));
    }
    CHECK(!lookup(0x0378));  // unassigned, absent rather than empty
    // The last covered code point answers, everything past the end has no entry.
    std::string_view untouched = "sentinel";
    CHECK(!translit::deunicode_lookup(translit::kDeunicodeEnd, untouched));
    CHECK(!translit::deunicode_lookup(0x10FFFF, untouched));
    CHECK(!translit::deunicode_lookup(0xFFFFFFFF, untouched));
    CHECK_EQ(untouched, std::string_view("sentinel"));
}

TEST_CASE("deunicode", "every code point agrees with the raw pointers and mapping files") {
    const std::string pointers = read_file(harness::require_data("deunicode-1.6.2/pointers.bin"));
    const std::string mapping = read_file(harness::require_data("deunicode-1.6.2/mapping.txt"));
    CHECK_EQ(pointers.size(), std::size_t{translit::kDeunicodeEnd} * 3);
    if (pointers.size() != std::size_t{translit::kDeunicodeEnd} * 3) return;
    for (char32_t c = 0; c < translit::kDeunicodeEnd; ++c) {
        const auto* rec = reinterpret_cast<const unsigned char*>(pointers.data()) + 3 * c;
        std::optional<std::string> want;
        if (rec[2] <= 2) {
            want = std::string(reinterpret_cast<const char*>(rec), rec[2]);
        } else {
            const std::size_t off = rec[0] | (std::size_t{rec[1]} << 8);
            if (off + rec[2] <= mapping.size()) want = mapping.substr(off, rec[2]);
        }
        // The release swaps the case of eng; the table puts it right.
        if (c == 0x014A || c == 0x014B) want = c == 0x014A ? "NG" : "ng";
        const auto got = lookup(c);
        const bool same = got.has_value() == want.has_value() && (!got || *got == *want);
        CHECK_EQ_MSG(same, true, harness::show(c) + " gives " + (got ? harness::show(*got) : "absent"));
    }
}
