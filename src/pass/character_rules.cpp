#include "pass/character_rules.hpp"

#include "translit/resolve.hpp"

namespace scrubix {

namespace {
constexpr char32_t kZeroWidthNonJoiner = 0x200C;
constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kHorizontalEllipsis = 0x2026;
constexpr char32_t kMidlineHorizontalEllipsis = 0x22EF;
// U+0149 is a letter n after an apostrophe: the quote rule normalizes the apostrophe only.
constexpr char32_t kApostropheN = 0x0149;
}  // namespace

RuleOutcome apply_character_rules(char32_t& c, std::uint8_t classes, ClusterFacts& cluster,
                                  const Options& o, Tally& tally) {
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
