// Fuzz target: a full clean under options taken from the input.
//
// The first sixteen bytes choose the sixteen members of the options record; the rest is the
// text. Every run must give valid UTF-8, a `changes_made` equal to the sum of the counters,
// `unicode_normalized` of at most 1, the same answer from `try_clean` and `clean` and on a
// second run, the input back unchanged when nothing was counted (without normalization or a
// line-ending style), under `keyboard_only` only keyboard characters outside the emoji
// clusters that `emoji_policy` keep lets through, the reference path (every shortcut off)
// giving the same text and counters, the output settled (cleaning it again gives it back and
// counts nothing) and, with a form asked for, in that form.
//
// A kept emoji cluster is written as the character rules left it, and one rule can turn a
// character inside a cluster into ASCII: the quote rule maps U+E0027 TAG APOSTROPHE, the only
// grapheme-extending character in the space, dash and quote maps, to "'". Segmenting the
// output then splits the cluster before each such "'", and a piece alone need not be an
// emoji cluster (the head may even be a keyboard digit, which is an Emoji character). So an
// output cluster that starts with "'" is judged together with the clusters before it.

#include "../tests/cpp/random_options.hpp"
#include "driver.hpp"
#include "fuzz_input.hpp"
#include "reference_path.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/normalize.hpp"

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

// Every cluster of `out` is made of keyboard characters, or is (part of) an emoji cluster let
// through by the keep policy (see the file comment).
bool keyboard_only_output(std::string_view out, const Options& o) {
    const auto acceptable = [&](std::string_view group) {
        if (all_keyboard(group, o.extended_keyboard)) return true;
        if (o.emoji_policy == EmojiPolicy::Drop) return false;
        auto verdict = unicode::EmojiVerdict::Unknown;
        return unicode::is_emoji_cluster(group, verdict);
    };
    unicode::Clusters clusters(out);
    std::string_view group;  // the last cluster, with the pieces that followed it
    for (std::string_view cluster; clusters.next(cluster);) {
        if (!group.empty() && cluster.front() == '\'') {
            group = std::string_view(group.data(), group.size() + cluster.size());
            continue;
        }
        if (!group.empty() && !acceptable(group)) return false;
        group = cluster;
    }
    return group.empty() || acceptable(group);
}

// Whether the quote rule may have spelled U+E0027 TAG APOSTROPHE, which extends the cluster
// before it, as "'", which starts a cluster of its own when the output is read again (see the
// file comment). Kept on purpose (the quote map spells it), so such output need not settle:
// keep-emoji "\U0001F3F4\U000E0027\U000E007F" gives "\U0001F3F4'\U000E007F", then
// "\U0001F3F4'" (the tag after "'" is no longer in an emoji); under collapse_whitespace
// "\u00A0\u00A0\U000E0027" gives "  '" (the second space is in the cluster of the
// apostrophe), then " '".
bool splits_clusters(std::string_view text, const Options& o) {
    return o.normalize_quotes && text.find("\U000E0027") != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < random_options::kBytes) return 0;
    const Options o = random_options::from_bytes(data);
    const std::string text = fuzz::to_valid_utf8(data + random_options::kBytes, size - random_options::kBytes);

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

    if (!splits_clusters(text, o)) {
        const CleaningResult settled = clean(out, o);
        FUZZ_ASSERT(settled.view(out) == out && settled.changes_made == 0, text);
    }
    if (o.unicode_normalization != NormalizationMode::None)
        FUZZ_ASSERT(unicode::is_normalized(o.unicode_normalization, out), text);

    const CleaningResult reference = clean_reference(text, o);
    FUZZ_ASSERT(reference.text == out && reference.changes_made == r.changes_made && reference.stats == r.stats,
                text);
    return 0;
}
