// The character rules: what the enabled options do to one code point of a cluster.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "records/options.hpp"
#include "records/stats.hpp"
#include "translit/resolve.hpp"
#include "unicode/char_props.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

// The rule classes of a code point: which rules may act on it. One table read; a code point
// with none of them passes every rule unchanged.
inline std::uint8_t rule_classes_of(char32_t c) noexcept {
    if (c < 0x80) return unicode::is_removable_control(c) ? unicode::kPassControl : 0;
    return unicode::pass_class_inline(c);
}

// Bytes at the start of `cluster` whose code points have none of the rule classes in `mask`.
inline std::size_t untouched_prefix(std::string_view cluster, std::uint8_t mask) noexcept {
    std::size_t i = 0;
    while (i < cluster.size()) {
        std::size_t next = i;
        if ((rule_classes_of(utf8::decode(cluster, next)) & mask) != 0) break;
        i = next;
    }
    return i;
}

// The rule classes that some enabled rule acts on.
constexpr std::uint8_t active_rule_classes(const Options& o) noexcept {
    std::uint8_t m = 0;
    if (o.remove_hidden) m |= unicode::kPassHidden;
    if (o.remove_control_chars) m |= unicode::kPassControl;
    if (o.normalize_spaces) m |= unicode::kPassSpace;
    if (o.normalize_dashes) m |= unicode::kPassDash;
    if (o.normalize_quotes) m |= unicode::kPassQuote;
    if (o.normalize_other) m |= unicode::kPassOther;
    return m;
}

// One cluster as the rules and the keyboard-only filter see it: its text in the input, whether
// it is an emoji (asked at most once), and how many hidden characters the rules removed from it.
struct ClusterFacts {
    std::string_view text;
    unicode::EmojiVerdict emoji = unicode::EmojiVerdict::Unknown;
    std::size_t hidden_removed = 0;
};

enum class RuleOutcome : std::uint8_t {
    Kept,      // the code point stays, possibly rewritten
    Removed,   // the code point is removed
    Ellipsis,  // the cluster ends here and is written as "..."
    ApostropheN,  // U+0149 is written as an apostrophe and its n (kApostropheNQuoted)
};

// What the quote rule writes for U+0149: the letter stays.
inline constexpr std::string_view kApostropheNQuoted = "'n";

namespace character_rules_detail {
constexpr char32_t kZeroWidthNonJoiner = 0x200C;
constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kHorizontalEllipsis = 0x2026;
constexpr char32_t kMidlineHorizontalEllipsis = 0x22EF;
// U+0149 is a letter n after an apostrophe: the quote rule normalizes the apostrophe only.
constexpr char32_t kApostropheN = 0x0149;
}  // namespace character_rules_detail

// Applies the rules, in order, to the code point `c` of rule classes `classes` in `cluster`:
// hidden characters, controls, spaces, dashes, quotes, then the fraction slash and the ellipses.
// Counts every change in `tally`; rewrites `c` when the code point stays. (Inline: the loops
// that meet typography call it for most characters they do not copy.)
inline RuleOutcome apply_character_rules(char32_t& c, std::uint8_t classes, ClusterFacts& cluster,
                                         const Options& o, Tally& tally) {
    using namespace character_rules_detail;
    // Hidden characters: joiners may be preserved, and an emoji cluster keeps its own.
    if (o.remove_hidden && (classes & unicode::kPassHidden)) {
        bool keep;
        if ((c == kZeroWidthNonJoiner || c == kZeroWidthJoiner) && o.preserve_joiners) {
            keep = true;
        } else if (o.keyboard_only && o.emoji_policy == EmojiPolicy::Drop) {
            keep = false;
        } else {
            keep = unicode::is_emoji_cluster(cluster.text, cluster.emoji);
        }
        if (keep) return RuleOutcome::Kept;
        tally.add(&CleaningStats::hidden_chars_removed);
        ++cluster.hidden_removed;
        return RuleOutcome::Removed;
    }
    // Control characters.
    if (o.remove_control_chars && (classes & unicode::kPassControl)) {
        tally.add(&CleaningStats::control_chars_removed);
        return RuleOutcome::Removed;
    }
    // Spaces, dashes, quotes.
    if (o.normalize_spaces && (classes & unicode::kPassSpace)) {
        c = unicode::space_replacement(c);
        tally.add(&CleaningStats::spaces_normalized);
    }
    if (o.normalize_dashes && (classes & unicode::kPassDash)) {
        const char32_t d = unicode::dash_replacement(c);
        if (d != 0 && d != c) {
            c = d;
            tally.add(&CleaningStats::dashes_normalized);
        }
    }
    if (o.normalize_quotes && (classes & unicode::kPassQuote)) {
        const char32_t q = unicode::quote_replacement(c);
        if (q != 0 && q != c) {
            tally.add(&CleaningStats::quotes_normalized);
            if (c == kApostropheN) return RuleOutcome::ApostropheN;
            c = q;
        }
    }
    // Other symbols: the fraction slash, and the ellipses, which end their cluster.
    if (o.normalize_other && (classes & unicode::kPassOther)) {
        if (c == translit::kFractionSlash) {
            c = '/';
            tally.add(&CleaningStats::other_normalized);
        } else if (c == kHorizontalEllipsis || c == kMidlineHorizontalEllipsis) {
            return RuleOutcome::Ellipsis;
        }
    }
    return RuleOutcome::Kept;
}

}  // namespace scrubix
