// The per-code-point grapheme properties and the UAX #29 rules that look only at two neighbours,
// shared by the segmenter (grapheme.cpp) and the main pass, which asks them inline to tell a
// cluster of one code point from a longer one without segmenting.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "generated/grapheme_data.inc"

namespace scrubix::unicode::grapheme_rules {

using namespace grapheme_data;

using Props = GraphemeTable::Value;
static_assert(GraphemeTable::kLimit == 0x110000);

// The properties of a code point below U+110000.
inline Props props_of(char32_t cp) noexcept { return GraphemeTable::at(cp); }

constexpr unsigned gcb_of(Props p) noexcept { return p & kGcbMask; }
constexpr bool is_ext_pict(Props p) noexcept { return (p & kExtPictBit) != 0; }
constexpr unsigned incb_of(Props p) noexcept { return p >> kIncbShift; }

// What the rules that look only at the two neighbours say about the boundary between them.
enum class PairRule : std::uint8_t {
    join,        // no break, whatever came before
    hard_break,  // break, whatever came before
    undecided,   // break unless a rule with longer context (GB9c, GB11, GB12/13) joins
};

constexpr PairRule pair_rule(unsigned prev, unsigned cur) noexcept {
    const auto is_control = [](unsigned g) { return g == kGcbCR || g == kGcbLF || g == kGcbControl; };
    if (prev == kGcbCR && cur == kGcbLF) return PairRule::join;  // GB3
    if (is_control(prev)) return PairRule::hard_break;            // GB4
    if (is_control(cur)) return PairRule::hard_break;             // GB5
    if (prev == kGcbL && (cur == kGcbL || cur == kGcbV || cur == kGcbLV || cur == kGcbLVT))
        return PairRule::join;  // GB6
    if ((prev == kGcbLV || prev == kGcbV) && (cur == kGcbV || cur == kGcbT))
        return PairRule::join;                                                     // GB7
    if ((prev == kGcbLVT || prev == kGcbT) && cur == kGcbT) return PairRule::join;  // GB8
    if (cur == kGcbExtend || cur == kGcbZWJ) return PairRule::join;                 // GB9
    if (cur == kGcbSpacingMark) return PairRule::join;                              // GB9a
    if (prev == kGcbPrepend) return PairRule::join;                                 // GB9b
    return PairRule::undecided;
}

inline constexpr unsigned gcb_count = kGcbMask + 1;

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
    return !(gcb_of(first) == kGcbRegionalIndicator && gcb_of(next) == kGcbRegionalIndicator);
}

// Whether a code point of properties `next` joins a preceding printable ASCII character or space
// (GB9, GB9a; no ASCII character is Prepend, a consonant, a pictograph or an indicator).
constexpr bool joins_ascii(Props next) noexcept {
    const unsigned g = gcb_of(next);
    return g == kGcbExtend || g == kGcbZWJ || g == kGcbSpacingMark;
}

}  // namespace scrubix::unicode::grapheme_rules
