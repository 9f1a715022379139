// The per-code-point grapheme properties and the UAX #29 rules that look only at two neighbours,
// shared by the segmenter (grapheme.cpp) and the main pass, which asks them inline to tell a
// cluster of one code point from a longer one without segmenting.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace scrubix::unicode::grapheme_rules {

#include "generated/grapheme_data.inc"

using Props = std::uint8_t;  // one entry of grapheme_blocks

inline Props props_of(char32_t cp) noexcept {
    constexpr char32_t low_mask = (char32_t(1) << grapheme_block_shift) - 1;
    return grapheme_blocks[(std::size_t(grapheme_index[cp >> grapheme_block_shift])
                            << grapheme_block_shift) |
                           (cp & low_mask)];
}

constexpr unsigned gcb_of(Props p) noexcept { return p & grapheme_gcb_mask; }
constexpr bool is_ext_pict(Props p) noexcept { return (p & grapheme_ext_pict_bit) != 0; }
constexpr unsigned incb_of(Props p) noexcept { return p >> grapheme_incb_shift; }

// What the rules that look only at the two neighbours say about the boundary between them.
enum class PairRule : std::uint8_t {
    join,        // no break, whatever came before
    hard_break,  // break, whatever came before
    undecided,   // break unless a rule with longer context (GB9c, GB11, GB12/13) joins
};

constexpr PairRule pair_rule(unsigned prev, unsigned cur) noexcept {
    const auto is_control = [](unsigned g) { return g == gcb_cr || g == gcb_lf || g == gcb_control; };
    if (prev == gcb_cr && cur == gcb_lf) return PairRule::join;  // GB3
    if (is_control(prev)) return PairRule::hard_break;            // GB4
    if (is_control(cur)) return PairRule::hard_break;             // GB5
    if (prev == gcb_l && (cur == gcb_l || cur == gcb_v || cur == gcb_lv || cur == gcb_lvt))
        return PairRule::join;  // GB6
    if ((prev == gcb_lv || prev == gcb_v) && (cur == gcb_v || cur == gcb_t))
        return PairRule::join;                                                     // GB7
    if ((prev == gcb_lvt || prev == gcb_t) && cur == gcb_t) return PairRule::join;  // GB8
    if (cur == gcb_extend || cur == gcb_zwj) return PairRule::join;                 // GB9
    if (cur == gcb_spacingmark) return PairRule::join;                              // GB9a
    if (prev == gcb_prepend) return PairRule::join;                                 // GB9b
    return PairRule::undecided;
}

inline constexpr unsigned gcb_count = grapheme_gcb_mask + 1;

inline constexpr auto pair_rules = [] {
    std::array<std::array<PairRule, gcb_count>, gcb_count> table{};
    for (unsigned p = 0; p < gcb_count; ++p)
        for (unsigned c = 0; c < gcb_count; ++c) table[p][c] = pair_rule(p, c);
    return table;
}();

// Whether a cluster that starts with a code point of properties `first` ends right after it,
// before a code point of properties `next`. With one code point of left context the longer
// rules reduce to GB12: two regional indicators pair up (GB9c needs a linker and GB11 a joiner
// before the code point that joins).
constexpr bool ends_after_first(Props first, Props next) noexcept {
    switch (pair_rules[gcb_of(first)][gcb_of(next)]) {
        case PairRule::join: return false;
        case PairRule::hard_break: return true;
        case PairRule::undecided: break;
    }
    return !(gcb_of(first) == gcb_regional_indicator && gcb_of(next) == gcb_regional_indicator);
}

// Whether a code point of properties `next` joins a preceding printable ASCII character or space
// (GB9, GB9a; no ASCII character is Prepend, a consonant, a pictograph or an indicator).
constexpr bool joins_ascii(Props next) noexcept {
    const unsigned g = gcb_of(next);
    return g == gcb_extend || g == gcb_zwj || g == gcb_spacingmark;
}

}  // namespace scrubix::unicode::grapheme_rules
