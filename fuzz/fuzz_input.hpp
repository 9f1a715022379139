// Turning fuzzer bytes into what the engine accepts: valid UTF-8 text. (Options records come
// from tests/cpp/random_options.hpp, shared with the native tests.)
//
// The engine requires valid UTF-8. Rather than throwing away every input that is not, each
// byte that does not start a well-formed sequence is replaced by a code point from a table of
// characters that stress the segmenter, the normalizer and the cleaning rules. Random bytes
// therefore become dense, hostile text, while valid UTF-8 (seeds, dictionary words) passes
// through unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "unicode/utf8.hpp"

namespace fuzz {

// 64 characters, indexed by the low six bits of a stray byte.
inline constexpr std::array<char32_t, 64> kStrayByteChars = {
    // Whitespace, breaks, controls.
    U' ', U'\t', U'\n', U'\r', 0x0B, 0x7F, 0x85, 0xA0,
    // Hidden characters and joiners, variation selectors, tags.
    0xAD, 0x200B, 0x200C, 0x200D, 0xFE0F, 0xFE0E, 0xE0067, 0xE007F,
    // Combining marks of several classes (230, 220, 1, 202, 240, 9), overlay, enclosing keycap.
    0x0301, 0x0316, 0x0334, 0x0327, 0x0345, 0x094D, 0x0338, 0x20E3,
    // Emoji pieces: pictographs, skin tone, regional indicators.
    0x1F600, 0x2764, 0x1F468, 0x1F3FB, 0x1F1E6, 0x1F1FA, 0x00A9, 0x1F3F4,
    // Hangul: L, V, T jamo, LV and LVT syllables; Prepend; SpacingMark; Indic consonant.
    0x1100, 0x1161, 0x11A8, 0xAC00, 0xAC01, 0x0600, 0x0903, 0x0915,
    // Typographic punctuation: spaces, dashes, quotes, ellipses, fraction slash, separators.
    0x2003, 0x3000, 0x2014, 0x2212, 0x201C, 0x2019, 0x2026, 0x2044,
    // Symbols with ASCII spellings, negated relations, compatibility characters.
    0x2260, 0x2264, 0x226E, 0x219B, 0x2192, 0x00D7, 0x2122, 0x20AC,
    // Decomposing letters, long decompositions, a script letter without a spelling, extremes.
    0x00E9, 0x1E69, 0x01C4, 0xFB01, 0xFDFA, 0x0F73, 0x4E2D, 0x10FFFF,
};

// Length of the well-formed UTF-8 sequence at `s[i]`, or 0 when none starts there.
inline std::size_t valid_sequence_at(std::string_view s, std::size_t i) noexcept {
    const std::size_t len = scrubix::utf8::sequence_length(static_cast<unsigned char>(s[i]));
    if (len > s.size() - i) return 0;
    return scrubix::utf8::is_valid(s.substr(i, len)) ? len : 0;
}

// Valid UTF-8 made from arbitrary bytes (see the file comment).
inline std::string to_valid_utf8(const std::uint8_t* data, std::size_t size) {
    const std::string_view s(reinterpret_cast<const char*>(data), size);
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < s.size();) {
        if (const std::size_t len = valid_sequence_at(s, i)) {
            text.append(s.substr(i, len));
            i += len;
        } else {
            scrubix::utf8::append(text, kStrayByteChars[static_cast<unsigned char>(s[i]) & 0x3F]);
            ++i;
        }
    }
    return text;
}

// Stops the run with a message naming the broken invariant; libFuzzer saves the input.
[[noreturn]] inline void fail(const char* invariant, std::string_view input) {
    std::fprintf(stderr, "invariant broken: %s\ntext (%zu bytes, first 256 shown):", invariant,
                 input.size());
    for (unsigned char b : input.substr(0, 256)) std::fprintf(stderr, " %02X", b);
    std::fputc('\n', stderr);
    std::abort();
}

#define FUZZ_ASSERT(cond, input)                     \
    do {                                             \
        if (!(cond)) ::fuzz::fail(#cond, (input));   \
    } while (0)

}  // namespace fuzz
