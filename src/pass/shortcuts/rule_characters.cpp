#include "pass/shortcuts/rule_characters.hpp"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pass/shortcuts/ascii_bytes.hpp"
#include "unicode/char_props.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {

namespace gr = unicode::grapheme_rules;

constexpr std::uint16_t kPrependBit = 0x100;
constexpr unsigned kLookBack = 32;  // code points the boundary search steps back at most

// Per lead byte (0xC0..0xFF) and the six payload bits of the byte after it: the rule classes of
// every code point that pair leads, and kPrependBit when one of them is Prepend. Worked out
// once per process from the character tables.
using PrefixTable = std::array<std::uint16_t, 64 * 64>;

const PrefixTable& prefix_table() {
    static const PrefixTable table = [] {
        PrefixTable t{};
        for (char32_t c = 0x80; c < 0x110000; ++c) {
            if (c >= 0xD800 && c < 0xE000) continue;
            char bytes[4];
            utf8::encode(c, bytes);
            const unsigned lead = static_cast<unsigned char>(bytes[0]) - 0xC0;
            const unsigned second = static_cast<unsigned char>(bytes[1]) & 0x3F;
            std::uint16_t v = unicode::pass_class_inline(c);
            if (gr::gcb_of(gr::props_of(c)) == gr::kGcbPrepend) v |= kPrependBit;
            t[(lead << 6) | second] |= v;
        }
        return t;
    }();
    return table;
}

}  // namespace

RuleCharacterScan::RuleCharacterScan(std::uint8_t stop_classes) noexcept
    : stop_mask_(static_cast<std::uint16_t>(stop_classes | kPrependBit)) {}

inline bool RuleCharacterScan::is_stop_lead(unsigned char lead, unsigned char second) const noexcept {
    return (table_[(unsigned(lead - 0xC0) << 6) | (second & 0x3Fu)] & stop_mask_) != 0;
}

inline bool RuleCharacterScan::is_stop_ascii(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept {
    const unsigned char b = bytes[i];
    if (ascii::is_printable(b) || b == '\n') return false;
    if (b != ' ' || i + 1 == n) return true;
    const unsigned char next = bytes[i + 1];
    return !(ascii::is_printable(next) || next >= 0x80);
}

std::size_t RuleCharacterScan::next_stop(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept {
#if defined(__SSE2__)
    // Sixteen bytes a step: printable ASCII, line feeds, spaces before a printable or
    // non-ASCII byte and continuation bytes pass at once; each lead byte is looked up.
    const __m128i to_printable = _mm_set1_epi8(0x5F);  // 0x21..0x7E -> -128..-35
    const __m128i printable_bound = _mm_set1_epi8(-34);
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i below_lead = _mm_set1_epi8(static_cast<char>(0xBF));
    const auto printable_in = [&](__m128i x) {
        return unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(_mm_add_epi8(x, to_printable), printable_bound)));
    };
    for (; i + 17 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const unsigned high = unsigned(_mm_movemask_epi8(x));
        const unsigned spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, space)));
        const unsigned feeds = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, line_feed)));
        const unsigned next_ok = printable_in(next) | unsigned(_mm_movemask_epi8(next));
        const unsigned ok = printable_in(x) | high | feeds | (spaces & next_ok);
        const unsigned at = ok == 0xFFFF ? 16 : unsigned(__builtin_ctz(~ok));
        unsigned leads = unsigned(_mm_movemask_epi8(_mm_cmpgt_epi8(x, below_lead))) & high;
        if (at < 16) leads &= (1u << at) - 1;
        for (; leads != 0; leads &= leads - 1) {
            const unsigned k = unsigned(__builtin_ctz(leads));
            if (is_stop_lead(bytes[i + k], bytes[i + k + 1])) return i + k;
        }
        if (at < 16) return i + at;
    }
#else
    // Eight bytes a step over printable ASCII: no byte below '!', none from DEL up.
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes + i, 8);
        const std::uint64_t below = (w - ones * 0x21) & ~w & highs;
        const std::uint64_t del = ((w ^ (ones * 0x7F)) - ones) & ~(w ^ (ones * 0x7F)) & highs;
        if (((w & highs) | below | del) != 0) break;
    }
#endif
    for (; i < n; ++i) {
        const unsigned char b = bytes[i];
        if (b < 0x80 ? is_stop_ascii(bytes, i, n) : (b >= 0xC0 && is_stop_lead(b, bytes[i + 1]))) return i;
    }
    return n;
}

bool RuleCharacterScan::boundary_at(std::string_view text, std::size_t q) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    // No ASCII character joins what comes before it but after a Prepend character or CR before
    // LF, and those are stops.
    if (bytes[q] < 0x80) return true;
    std::size_t p = q - 1;
    while (p > 0 && (bytes[p] & 0xC0) == 0x80) --p;
    std::size_t at = p;
    const gr::Props prev = gr::props_of(utf8::decode(text, at));
    at = q;
    const gr::Props cur = gr::props_of(utf8::decode(text, at));
    switch (gr::pair_rules[gr::gcb_of(prev)][gr::gcb_of(cur)]) {
        case gr::PairRule::join: return false;
        case gr::PairRule::hard_break: return true;
        case gr::PairRule::undecided: break;
    }
    // The rules with longer context: regional indicator pairs (GB12/13), a pictograph after a
    // joiner (GB11), a consonant after a linker (GB9c).
    if (gr::gcb_of(prev) == gr::kGcbRegionalIndicator && gr::gcb_of(cur) == gr::kGcbRegionalIndicator) return false;
    if (gr::is_ext_pict(cur) && gr::gcb_of(prev) == gr::kGcbZWJ) return false;
    if (gr::incb_of(cur) == gr::kIncbConsonant && gr::incb_of(prev) != gr::kIncbNone) return false;
    return true;
}

std::size_t RuleCharacterScan::end_of_copy(std::string_view text, std::size_t pos) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    if (table_ == nullptr) table_ = prefix_table().data();
    if (!known_ || pos > stop_) {
        stop_ = next_stop(bytes, pos, n);
        known_ = true;
    }
    // Back from the stop to a certain boundary: the cluster of the stop may start before it (a
    // mark the rules act on joins the character before it), and a space before the boundary
    // would be held until what follows it is known.
    std::size_t q = stop_;
    for (unsigned steps = 0; q > pos && steps < kLookBack; ++steps) {
        if (bytes[q - 1] != ' ' && (q == n || boundary_at(text, q))) return q;
        do --q;
        while (q > pos && (bytes[q] & 0xC0) == 0x80);
    }
    return pos;
}

}  // namespace scrubix
