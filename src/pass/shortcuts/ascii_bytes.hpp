// ASCII bytes as the shortcuts see them: the byte classes, and scans sixteen bytes a step.
#pragma once

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "unicode/char_tables.hpp"

namespace scrubix::ascii {

// A visible ASCII character: '!' to '~'.
constexpr bool is_printable(unsigned char b) noexcept { return b > 0x20 && b < 0x7F; }

// A control other than TAB, LF and CR, or DEL.
constexpr bool is_control(unsigned char b) noexcept {
    return (b < 0x20 && b != '\t' && b != '\n' && b != '\r') || b == 0x7F;
}

// Whether every byte is TAB, LF, CR or in 0x20..0x7E: text that keyboard-only mode keeps.
inline bool is_keyboard_text(std::string_view text) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    // Bytes 0x20..0x7E become -128..-34 after adding 0x60; TAB, LF and CR are matched apart.
    const __m128i shift = _mm_set1_epi8(0x60);
    const __m128i bound = _mm_set1_epi8(-33);
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i ok = _mm_cmplt_epi8(_mm_add_epi8(x, shift), bound);
        ok = _mm_or_si128(ok, _mm_cmpeq_epi8(x, _mm_set1_epi8('\t')));
        ok = _mm_or_si128(ok, _mm_cmpeq_epi8(x, _mm_set1_epi8('\n')));
        ok = _mm_or_si128(ok, _mm_cmpeq_epi8(x, _mm_set1_epi8('\r')));
        if (_mm_movemask_epi8(ok) != 0xFFFF) return false;
    }
#endif
    for (; i < n; ++i)
        if (!unicode::is_keyboard_char(p[i], false)) return false;
    return true;
}

// Index of the first byte at or after `i` that is not ASCII, or the text's size.
inline std::size_t next_non_ascii(std::string_view text, std::size_t i) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        if (high != 0) return i + unsigned(__builtin_ctz(unsigned(high)));
    }
#endif
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

}  // namespace scrubix::ascii
