// Fuzz target: a full clean under options taken from the input.
//
// The first sixteen bytes choose the sixteen members of the options record; the rest is the
// text. Every run must give valid UTF-8, a `changes_made` equal to the sum of the counters,
// `unicode_normalized` of at most 1, the same answer from `try_clean` and `clean` and on a
// second run, the input back unchanged when nothing was counted (without normalization or a
// line-ending style), and under `keyboard_only` only keyboard characters outside the emoji
// clusters that `emoji_policy` keep lets through.
//
// A kept emoji cluster is written as the character rules left it, and those rules may turn a
// character inside it into ASCII (a tag apostrophe becomes "'"). Segmenting the output then
// splits the cluster: the part from the new ASCII character on is no emoji cluster, but holds
// only the marks, joiners and tags that followed it. So under keep, a cluster of the output
// that is not an emoji cluster passes when it starts with a keyboard character and its other
// characters are keyboard characters or of category Mn, Mc, Me or Cf.
#include "driver.hpp"
#include "fuzz_input.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/grapheme.hpp"

using namespace scrubix;

namespace {

std::uint64_t sum_of_counters(const CleaningStats& stats) {
    std::uint64_t total = 0;
    for (const auto& entry : stats.entries()) total = saturating_add(total, entry.second);
    return total;
}

bool all_keyboard(std::string_view cluster, bool extended) {
    for (std::size_t i = 0; i < cluster.size();)
        if (!unicode::is_keyboard_char(utf8::decode(cluster, i), extended)) return false;
    return true;
}

// The tail of a kept emoji cluster split by a rewritten character (see the file comment).
bool is_split_emoji_tail(std::string_view cluster, bool extended) {
    std::size_t i = 0;
    if (!unicode::is_keyboard_char(utf8::decode(cluster, i), extended)) return false;
    while (i < cluster.size()) {
        const char32_t c = utf8::decode(cluster, i);
        if (unicode::is_keyboard_char(c, extended)) continue;
        switch (unicode::general_category(c)) {
            case unicode::Mn: case unicode::Mc: case unicode::Me: case unicode::Cf: break;
            default: return false;
        }
    }
    return true;
}

// Every cluster of `out` is made of keyboard characters, or is (part of) an emoji cluster let
// through by the keep policy.
bool keyboard_only_output(std::string_view out, const Options& o) {
    unicode::Clusters clusters(out);
    for (std::string_view cluster; clusters.next(cluster);) {
        if (all_keyboard(cluster, o.extended_keyboard)) continue;
        if (o.emoji_policy == EmojiPolicy::Drop) return false;
        auto verdict = unicode::EmojiVerdict::Unknown;
        if (!unicode::is_emoji_cluster(cluster, verdict, o) &&
            !is_split_emoji_tail(cluster, o.extended_keyboard))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < fuzz::kOptionBytes) return 0;
    const Options o = fuzz::options_from(data);
    const std::string text = fuzz::to_valid_utf8(data + fuzz::kOptionBytes, size - fuzz::kOptionBytes);

    const CleaningResult r = clean(text, o);
    const std::string_view out = r.view(text);
    FUZZ_ASSERT(utf8::is_valid(out), text);
    FUZZ_ASSERT(r.changes_made == sum_of_counters(r.stats), text);
    FUZZ_ASSERT(r.stats.unicode_normalized <= 1, text);
    if (r.changes_made == 0 && o.unicode_normalization == NormalizationMode::None && !o.has_line_endings())
        FUZZ_ASSERT(out == text, text);
    if (o.keyboard_only) FUZZ_ASSERT(keyboard_only_output(out, o), text);

    const auto again = try_clean(text, o);
    const auto* second = std::get_if<CleaningResult>(&again);
    FUZZ_ASSERT(second != nullptr, text);
    FUZZ_ASSERT(second->view(text) == out && second->changes_made == r.changes_made &&
                    second->stats == r.stats,
                text);
    return 0;
}
