// UTF-8 decoding and encoding for text already known to be valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scrubix::utf8 {

// Length in bytes of the sequence led by `lead` (1 for a continuation byte, so that a
// scan always advances).
constexpr std::size_t sequence_length(unsigned char lead) noexcept {
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Whether `b` continues a sequence rather than beginning one.
constexpr bool is_continuation(unsigned char b) noexcept { return (b & 0xC0) == 0x80; }

#if defined(__SSE2__)
// One bit for each of the sixteen bytes at `s` that is `limit` or more.
inline unsigned at_or_above16(const char* s, unsigned char limit) noexcept {
    // Unsigned x < limit as a signed comparison of x ^ 0x80 with limit ^ 0x80.
    const __m128i v = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), _mm_set1_epi8(char(0x80)));
    return ~unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(char(limit ^ 0x80))))) & 0xFFFFu;
}
#endif

// Index of the first byte at or after `i` that is `limit` (0x80 or above) or more, or `n`:
// sixteen bytes a step where the vector unit allows (the last few as the end of the last sixteen),
// else eight.
inline std::size_t skip_below(const char* s, std::size_t i, std::size_t n, unsigned char limit = 0x80) noexcept {
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const unsigned above = at_or_above16(s + i, limit);
        if (above != 0) return i + unsigned(__builtin_ctz(above));
    }
    // The last few bytes as the end of the text's last sixteen, those before `i` masked off.
    if (i < n && n >= 16) {
        const std::size_t last = n - 16;
        const unsigned above = at_or_above16(s + last, limit) & (0xFFFFu << (i - last));
        return above == 0 ? n : last + unsigned(__builtin_ctz(above));
    }
#endif
    // Words of ASCII only (every byte below any limit allowed here).
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    while (i < n && static_cast<unsigned char>(s[i]) < limit) ++i;
    return i;
}

// Decodes the scalar value at `s[i]` and advances `i` past it. `s` must be valid UTF-8.
inline char32_t decode(std::string_view s, std::size_t& i) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + i;
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        i += 1;
        return b0;
    }
    if (b0 < 0xE0) {
        i += 2;
        return (char32_t(b0 & 0x1F) << 6) | (p[1] & 0x3F);
    }
    if (b0 < 0xF0) {
        i += 3;
        return (char32_t(b0 & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    }
    i += 4;
    return (char32_t(b0 & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
           (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
}

// Writes the UTF-8 form of `c` to `buf` (at least 4 bytes) and returns its length.
constexpr std::size_t encode(char32_t c, char* buf) noexcept {
    if (c < 0x80) {
        buf[0] = char(c);
        return 1;
    }
    if (c < 0x800) {
        buf[0] = char(0xC0 | (c >> 6));
        buf[1] = char(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        buf[0] = char(0xE0 | (c >> 12));
        buf[1] = char(0x80 | ((c >> 6) & 0x3F));
        buf[2] = char(0x80 | (c & 0x3F));
        return 3;
    }
    buf[0] = char(0xF0 | (c >> 18));
    buf[1] = char(0x80 | ((c >> 12) & 0x3F));
    buf[2] = char(0x80 | ((c >> 6) & 0x3F));
    buf[3] = char(0x80 | (c & 0x3F));
    return 4;
}

inline void append(std::string& out, char32_t c) {
    char buf[4];
    out.append(buf, encode(c, buf));
}

// True when every byte of `s` is below 0x80.
bool is_ascii(std::string_view s) noexcept;

// How validation steps through a text: 32 bytes a step with byte shuffles, where the processor
// has them (AVX2), or a sequence at a time (the runs of ASCII between 16 bytes a step).
enum class Validation { Portable, Shuffle32 };

// Whether `s` is well-formed UTF-8 (no surrogates, no overlongs, nothing above U+10FFFF), found
// the widest way the processor runs, up to `most` (lowered by tests, to check every way).
bool is_valid(std::string_view s, Validation most = Validation::Shuffle32) noexcept;

// The same answer a sequence at a time.
bool is_valid_portable(std::string_view s) noexcept;

}  // namespace scrubix::utf8
