#include "pass/shortcuts/verbatim_ascii.hpp"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scrubix {

VerbatimAscii::VerbatimAscii(const Options& o) noexcept
    : controls_(!o.remove_control_chars && !o.keyboard_only),
      uncollapsed_(!o.collapse_whitespace),
      before_break_(!o.collapse_whitespace && !o.remove_trailing_whitespace),
      cr_(!o.has_line_endings()) {}

inline bool VerbatimAscii::is_visible(unsigned char b) const noexcept {
    return ascii::is_printable(b) || (controls_ && ascii::is_control(b));
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
    return is_visible(next) || (uncollapsed_ && is_whitespace(next)) || (before_break_ && is_line_break(next));
}

std::size_t VerbatimAscii::end_of_stretch(const unsigned char* bytes, std::size_t pos,
                                          std::size_t n) const noexcept {
    std::size_t i = pos;
#if defined(__SSE2__)
    // Sixteen bytes a step under the rule every option set shares: printable characters not
    // followed by a non-ASCII byte, LF, and spaces followed by a printable character; a byte
    // that fails it is asked the full rule. Once a stretch proves long, blocks of 64 bytes of
    // prose are passed on fewer tests.
    const __m128i to_printable = _mm_set1_epi8(0x5F);  // 0x21..0x7E -> -128..-35
    const __m128i printable_bound = _mm_set1_epi8(-34);
    const __m128i to_printable_or_space = _mm_set1_epi8(0x60);  // 0x20..0x7E -> -128..-34
    const __m128i printable_or_space_bound = _mm_set1_epi8(-33);
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i line_feed = _mm_set1_epi8('\n');
    const auto load = [&](std::size_t at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    };
    const auto printable_in = [&](__m128i x) {
        return _mm_cmplt_epi8(_mm_add_epi8(x, to_printable), printable_bound);
    };
    // Whole blocks of printable characters, single spaces between them and line feeds.
    const auto skip_blocks = [&] {
        while (i + 65 <= n) {
            __m128i spaces[4], feeds[4];
            __m128i ok = _mm_set1_epi8(-1);
            for (int k = 0; k < 4; ++k) {
                const __m128i x = load(i + 16 * k);
                spaces[k] = _mm_cmpeq_epi8(x, space);
                feeds[k] = _mm_cmpeq_epi8(x, line_feed);
                const __m128i printable_or_space =
                    _mm_cmplt_epi8(_mm_add_epi8(x, to_printable_or_space), printable_or_space_bound);
                ok = _mm_and_si128(ok, _mm_or_si128(printable_or_space, feeds[k]));
            }
            if (_mm_movemask_epi8(ok) != 0xFFFF) return;
            std::uint64_t sp = 0, lf = 0;
            for (int k = 0; k < 4; ++k) {
                sp |= std::uint64_t(unsigned(_mm_movemask_epi8(spaces[k]))) << (16 * k);
                lf |= std::uint64_t(unsigned(_mm_movemask_epi8(feeds[k]))) << (16 * k);
            }
            const unsigned char after = bytes[i + 64];
            const std::uint64_t after_not_printable = (after > 0x20 && after < 0x7F) ? 0 : 1;
            if ((sp & (((sp | lf) >> 1) | (after_not_printable << 63))) != 0 || after >= 0x80) return;
            i += 64;
        }
    };
    while (i + 17 <= n) {
        const __m128i here = load(i);
        const __m128i next = load(i + 1);
        const unsigned printable = unsigned(_mm_movemask_epi8(printable_in(here)));
        const unsigned next_printable = unsigned(_mm_movemask_epi8(printable_in(next)));
        const unsigned next_high = unsigned(_mm_movemask_epi8(next));
        const unsigned spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, space)));
        const unsigned feeds = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, line_feed)));
        const unsigned ok = (printable & ~next_high) | feeds | (spaces & next_printable);
        if (ok == 0xFFFF) {
            // A long stretch: try whole blocks of 64 (a short one ends before the first block).
            i += 16;
            skip_blocks();
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
