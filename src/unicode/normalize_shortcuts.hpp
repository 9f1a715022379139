// Per-character shortcuts of the normalizer, derived at compile time from the normalization
// tables, for the two-byte UTF-8 range (U+0080 to U+07FF: Latin-1, Latin Extended, IPA, Greek,
// Cyrillic, Armenian, Hebrew, Arabic) and for Hangul syllables: which characters pass a form's
// quick check as starters, and the ready UTF-8 of the decompositions that can be written
// straight to the output.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "normalize.hpp"
#include "normalize_data.hpp"
#include "utf8.hpp"

namespace scrubix::unicode::normalization {

// Per lead byte, one bit per value of the next byte's low six bits: set when the character is a
// starter that passes the quick check for the flags `not_yes`, so that a normalization region
// never needs to start before it. Exact for two-byte characters; for three-byte ones a bit
// stands for the 64 code points that share the first two bytes and is set when all of them are
// such starters (so Hangul syllables pass under a lead that also holds compatibility letters);
// four-byte leads have no bits and ASCII bytes all of them.
using StarterMasks = std::array<std::uint64_t, 256>;

constexpr StarterMasks starter_masks(std::uint8_t not_yes) noexcept {
    const auto passes = [not_yes](Record r) { return combining_class(r) == 0 && !(flags(r) & not_yes); };
    StarterMasks masks{};
    for (unsigned b = 0; b < 0x80; ++b) masks[b] = ~std::uint64_t(0);
    for (char32_t c = 0x80; c < 0x800; ++c)
        if (passes(record_of(c))) masks[0xC0 | (c >> 6)] |= std::uint64_t(1) << (c & 0x3F);
    // The three-byte range by the record table's blocks, each distinct one checked once (a
    // check per code point would outrun what compilers allow a constant expression).
    constexpr unsigned kBlock = 1u << kRecordShift;
    static_assert(64 % kBlock == 0 && RecordTable::kLimit > 0xFFFF);
    std::array<bool, std::size(kRecordBlocks) / kBlock> block_passes{};
    for (std::size_t b = 0; b < block_passes.size(); ++b) {
        bool all = true;
        for (unsigned k = 0; all && k < kBlock; ++k) all = passes(kRecordBlocks[b * kBlock + k]);
        block_passes[b] = all;
    }
    for (unsigned lead = 0xE0; lead < 0xF0; ++lead) {
        for (unsigned second = 0; second < 64; ++second) {
            // (Under E0 the first 32 would be overlong forms, which never occur: they pass.)
            bool all = true;
            const char32_t first = char32_t(lead & 0x0F) << 12 | char32_t(second) << 6;
            for (char32_t c = first; all && c < first + 64 && c >= 0x800; c += kBlock)
                all = block_passes[kRecordIndex[c >> kRecordShift]];
            if (all) masks[lead] |= std::uint64_t(1) << second;
        }
    }
    return masks;
}

constexpr bool is_starter_in(const StarterMasks& masks, unsigned char lead, unsigned char next) noexcept {
    return (masks[lead] >> (next & 0x3F)) & 1;
}

// The same, exact for the three-byte characters under lead E2 (U+2000 to U+2FFF: general
// punctuation, curly quotes and dashes, symbols, arrows, dingbats), by the second byte: one bit
// per value of the third byte's low six bits.
using PunctuationMasks = std::array<std::uint64_t, 64>;

constexpr PunctuationMasks punctuation_masks(std::uint8_t not_yes) noexcept {
    PunctuationMasks masks{};
    for (char32_t c = 0x2000; c < 0x3000; ++c) {
        const Record r = record_of(c);
        if (combining_class(r) == 0 && !(flags(r) & not_yes)) masks[(c >> 6) & 0x3F] |= std::uint64_t(1) << (c & 0x3F);
    }
    return masks;
}

// Whether the character of the three bytes at `p` (lead E2) is a starter that passes.
constexpr bool is_punctuation_starter_in(const PunctuationMasks& masks, const unsigned char* p) noexcept {
    return (masks[p[1] & 0x3F] >> (p[2] & 0x3F)) & 1;
}

// Two neighbouring two-byte leads (an even one and the next) under which nearly every
// character is a starter that passes, so that the vector scan passes them by looking at the
// byte after the lead as well: the character's offset from the first code point under the even
// lead (0 to 127) is the next byte's low six bits, plus 64 under the odd lead. Offsets in
// [lo, hi] pass, except the first `count` of `stops`; the characters outside are asked the
// masks. Built so that no character that stops the quick check has an offset that passes.
struct CheckedPair {
    static constexpr unsigned kMaxStops = 6;
    unsigned char lead = 0;  // the even lead; 0 when neither lead needs the check
    unsigned char lo = 1, hi = 0;
    unsigned char count = 0;
    unsigned char stops[kMaxStops] = {};
};

// The widest window of offsets under `even_lead` holding at most `max_stops` characters that
// stop (each one costs the scan a comparison per block).
constexpr CheckedPair checked_pair(const StarterMasks& masks, unsigned char even_lead, unsigned max_stops) noexcept {
    const std::uint64_t all = ~std::uint64_t(0);
    if (masks[even_lead] == all && masks[even_lead + 1] == all) return {};
    const auto stops = [&](unsigned t) { return !((masks[even_lead + (t >> 6)] >> (t & 0x3F)) & 1); };
    CheckedPair best{even_lead};
    for (unsigned lo = 0; lo < 128; ++lo) {
        CheckedPair window{even_lead, static_cast<unsigned char>(lo)};
        unsigned hi = lo;
        for (; hi < 128; ++hi) {
            if (!stops(hi)) continue;
            if (window.count == max_stops) break;
            window.stops[window.count++] = static_cast<unsigned char>(hi);
        }
        window.hi = static_cast<unsigned char>(hi - 1);
        if (hi - lo > unsigned(best.hi + 1 - best.lo)) best = window;
    }
    return best;
}

// What a decomposing form writes for a two-byte character, as UTF-8, when it can write it
// without looking at what comes before: the character and the first code point of its full
// decomposition are starters (nothing before it reorders or combines across it), and the bytes
// fit. A starter that decomposes to itself is written as it is. `size` 0: the character needs
// the general path.
struct DirectDecomposition {
    std::uint8_t size = 0;
    char bytes[7] = {};
};

using DirectDecompositions = std::array<DirectDecomposition, 0x800 - 0x80>;

constexpr DirectDecompositions direct_decompositions(bool compat) noexcept {
    DirectDecompositions table{};
    for (char32_t c = 0x80; c < 0x800; ++c) {
        const Record r = record_of(c);
        if (combining_class(r) != 0) continue;
        const std::uint16_t e = decomposition_entry(r);
        const std::span<const char32_t> d = e == 0 ? std::span<const char32_t>(&c, 1) : decomposition(e, compat);
        if (combining_class(record_of(d[0])) != 0) continue;
        char bytes[4 * kMaxDecomposition] = {};
        std::size_t size = 0;
        for (char32_t x : d) size += utf8::encode(x, bytes + size);
        if (size > sizeof(DirectDecomposition::bytes)) continue;
        DirectDecomposition& entry = table[c - 0x80];
        entry.size = std::uint8_t(size);
        for (std::size_t k = 0; k < size; ++k) entry.bytes[k] = bytes[k];
    }
    return table;
}

inline constexpr DirectDecompositions kCanonicalDirect = direct_decompositions(false);
inline constexpr DirectDecompositions kCompatibilityDirect = direct_decompositions(true);

// Every Latin-1 letter with a canonical decomposition is written directly, and so is every
// compatibility decomposition of Latin-1.
static_assert(kCanonicalDirect[0xE9 - 0x80].size == 3 && kCanonicalDirect[0x1D5 - 0x80].size == 5);
static_assert(kCompatibilityDirect[0xBD - 0x80].size == 5 && kCanonicalDirect[0xBD - 0x80].size == 2);

// A two-byte character is written as itself exactly when it is a starter that passes the form's
// quick check (so the table and the starter masks never disagree).
constexpr bool written_as_itself_when_passing(const DirectDecompositions& table, const StarterMasks& masks) noexcept {
    for (char32_t c = 0x80; c < 0x800; ++c) {
        const DirectDecomposition& d = table[c - 0x80];
        char own[4] = {};
        const bool itself = d.size == utf8::encode(c, own) && d.bytes[0] == own[0] && d.bytes[1] == own[1];
        if (itself != is_starter_in(masks, static_cast<unsigned char>(own[0]), static_cast<unsigned char>(own[1])))
            return false;
    }
    return true;
}

// The UTF-8 of the conjoining jamo of Hangul syllable `s` (each three bytes long) written to
// `out` (room for nine bytes); returns their length.
constexpr std::size_t hangul_jamo_utf8(char32_t s, char* out) noexcept {
    char32_t jamo[3] = {};
    const std::size_t count = hangul::decompose(s, jamo);
    for (std::size_t k = 0; k < count; ++k) {
        out[3 * k] = char(0xE0 | (jamo[k] >> 12));
        out[3 * k + 1] = char(0x80 | ((jamo[k] >> 6) & 0x3F));
        out[3 * k + 2] = char(0x80 | (jamo[k] & 0x3F));
    }
    return 3 * count;
}

}  // namespace scrubix::unicode::normalization
