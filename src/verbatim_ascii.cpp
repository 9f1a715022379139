#include "verbatim_ascii.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scrubix {

namespace {
constexpr bool is_printable(unsigned char b) noexcept { return b > 0x20 && b < 0x7F; }
constexpr bool is_control(unsigned char b) noexcept {
    return (b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F;
}
}  // namespace

VerbatimAscii::VerbatimAscii(const Options& o) noexcept
    : controls_(!o.remove_control_chars && !o.keyboard_only),
      tabs_(!o.collapse_whitespace),
      runs_(!o.collapse_whitespace),
      before_break_(!o.collapse_whitespace && !o.remove_trailing_whitespace),
      cr_(!o.has_line_endings()) {}

inline bool VerbatimAscii::is_visible(unsigned char b) const noexcept {
    return is_printable(b) || (controls_ && is_control(b));
}

// Whitespace at the end of a stretch is held back: what follows it decides its fate.
inline std::size_t VerbatimAscii::without_held_whitespace(const unsigned char* bytes, std::size_t pos,
                                                   std::size_t end) const noexcept {
    while (end > pos && is_whitespace(bytes[end - 1])) --end;
    return end;
}

inline bool VerbatimAscii::verbatim_at(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept {
    const unsigned char b = bytes[i];
    const bool last = i + 1 == n;
    // A visible character is its own cluster unless a non-ASCII mark follows.
    if (is_visible(b)) return last || bytes[i + 1] < 0x80;
    if (is_line_break(b)) return true;
    if (!is_whitespace(b)) return false;
    // Whitespace stays as it is when what ends its run writes it unchanged.
    if (last) return before_break_;
    const unsigned char next = bytes[i + 1];
    return is_visible(next) || (runs_ && is_whitespace(next)) || (before_break_ && is_line_break(next));
}

std::size_t VerbatimAscii::end_of_stretch(const unsigned char* bytes, std::size_t pos,
                                          std::size_t n) const noexcept {
    std::size_t i = pos;
#if defined(__SSE2__)
    // Sixteen bytes a step under the rule every option set shares: printable characters not
    // followed by a non-ASCII byte, LF, and spaces followed by a printable character. A byte
    // that fails it is asked the full rule.
    const __m128i to_printable = _mm_set1_epi8(0x5F);  // 0x21..0x7E -> -128..-35
    const __m128i printable_bound = _mm_set1_epi8(-34);
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i line_feed = _mm_set1_epi8('\n');
    while (i + 17 <= n) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const unsigned printable =
            unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(_mm_add_epi8(here, to_printable), printable_bound)));
        const unsigned next_printable =
            unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(_mm_add_epi8(next, to_printable), printable_bound)));
        const unsigned next_high = unsigned(_mm_movemask_epi8(next));
        const unsigned spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, space)));
        const unsigned feeds = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, line_feed)));
        const unsigned ok = (printable & ~next_high) | feeds | (spaces & next_printable);
        if (ok == 0xFFFF) {
            i += 16;
            continue;
        }
        const unsigned at = unsigned(__builtin_ctz(~ok));
        i += at;
        // A printable character before a non-ASCII byte fails every rule; others are asked.
        if (((printable & next_high) >> at) & 1 || !verbatim_at(bytes, i, n))
            return without_held_whitespace(bytes, pos, i);
        ++i;
    }
#endif
    while (i < n && verbatim_at(bytes, i, n)) ++i;
    return without_held_whitespace(bytes, pos, i);
}

}  // namespace scrubix
