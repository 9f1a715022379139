// Character knowledge asked one code point (or one grapheme cluster) at a time.
// Every lookup is a constant-time read of compile-time tables: allocation-free and safe
// from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scrubix::unicode {

// Unicode binary properties (the emoji-cluster test reads Emoji_Presentation and
// Extended_Pictographic straight from the property word).
bool is_hidden_char(char32_t c) noexcept;  // Default_Ignorable_Code_Point
bool is_emoji_char(char32_t c) noexcept;   // Emoji
bool is_white_space(char32_t c) noexcept;  // White_Space

// General_Category with ICU's numbering.
enum GeneralCategory : std::uint8_t {
    Cn = 0, Lu = 1, Ll = 2, Lt = 3, Lm = 4, Lo = 5, Mn = 6, Me = 7, Mc = 8, Nd = 9,
    Nl = 10, No = 11, Zs = 12, Zl = 13, Zp = 14, Cc = 15, Cf = 16, Co = 17, Cs = 18,
    Pd = 19, Ps = 20, Pe = 21, Pc = 22, Po = 23, Sm = 24, Sc = 25, Sk = 26, So = 27,
    Pi = 28, Pf = 29,
};
GeneralCategory general_category(char32_t c) noexcept;

// Script with ICU's numbers for the values the engine tests; every other script reads
// kScriptOther.
inline constexpr std::uint16_t kScriptCommon = 0;
inline constexpr std::uint16_t kScriptInherited = 1;
inline constexpr std::uint16_t kScriptLatin = 25;
inline constexpr std::uint16_t kScriptUnknown = 103;
inline constexpr std::uint16_t kScriptOther = 0xFFFF;
std::uint16_t script_of(char32_t c) noexcept;

// TAB, LF and CR: never removed as controls, always keyboard characters.
constexpr bool is_line_break_safe_control(char32_t c) noexcept {
    return c < 14 && ((0x2600u >> c) & 1u) != 0;
}

// General category Cc other than TAB, LF, CR.
constexpr bool is_removable_control(char32_t c) noexcept {
    return (c < 0x20 && !is_line_break_safe_control(c)) || (c >= 0x7F && c <= 0x9F);
}

// The space, dash and quote maps: the ASCII replacement, or 0 when c has none.
char32_t space_replacement(char32_t c) noexcept;
char32_t dash_replacement(char32_t c) noexcept;
char32_t quote_replacement(char32_t c) noexcept;

// The fourteen characters accepted under `extended_keyboard`.
constexpr bool is_extended_keyboard_char(char32_t c) noexcept {
    switch (c) {
        case 0x00A2: case 0x00A3: case 0x00A5: case 0x00A7: case 0x00B0: case 0x00B1:
        case 0x00B7: case 0x00D7: case 0x00F7: case 0x2013: case 0x2014: case 0x2022:
        case 0x2026: case 0x20AC:
            return true;
        default:
            return false;
    }
}

// TAB, LF, CR, U+0020..U+007E, and the extended set when `extended` is on.
constexpr bool is_keyboard_char(char32_t c, bool extended) noexcept {
    if (c < 0x80) return (c >= 0x20 && c < 0x7F) || is_line_break_safe_control(c);
    return extended && is_extended_keyboard_char(c);
}

// Whether every byte of `text` is TAB, LF, CR or in 0x20..0x7E: a text the keyboard filter
// keeps as it is. Inline: the keyboard filter asks it of every cluster it remembers.
inline bool is_keyboard_ascii(std::string_view text) noexcept {
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
        if (!is_keyboard_char(p[i], false)) return false;
    return true;
}

// One-lookup summary for the main pass: which per-character rules may apply to c
// (`pass_class_inline` in char_props.hpp). A code point with no bit set passes the character
// pipeline unchanged.
enum PassClass : std::uint8_t {
    kPassHidden = 1 << 0,    // Default_Ignorable_Code_Point
    kPassControl = 1 << 1,   // removable control
    kPassSpace = 1 << 2,     // in the space map
    kPassDash = 1 << 3,      // in the dash map
    kPassQuote = 1 << 4,     // in the quote map
    kPassOther = 1 << 5,     // U+2044, U+2026, U+22EF
    kPassLineSep = 1 << 6,   // U+2028, U+2029
};

// The per-cluster cache slot of the emoji-cluster test.
enum class EmojiVerdict : std::uint8_t { No = 0, Yes = 1, Unknown = 2 };

// Whether one extended grapheme cluster is an emoji: some code point is Emoji_Presentation
// or is Extended_Pictographic without Emoji (A), or some code point is Emoji (B) and the
// cluster holds U+200D, U+20E3 or U+FE0F (C); the answer is A or (B and C). A pure-ASCII
// cluster never is. The answer is computed at most once and kept in `slot`.
bool is_emoji_cluster(std::string_view cluster, EmojiVerdict& slot) noexcept;

}  // namespace scrubix::unicode
