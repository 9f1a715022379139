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
