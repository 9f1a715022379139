// Lookups into the normalization tables: one 32-bit record per code point (combining class,
// quick-check flags, decomposition entry), pooled decompositions and the composition pairs.
// Hangul syllables are handled by arithmetic here, not by the tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "generated/normalization_data.inc"

namespace scrubix::unicode::normalization {

using Record = RecordTable::Value;

// Code points beyond the table have no record to speak of: starters, "yes" in every form.
constexpr Record record_of(char32_t c) noexcept { return RecordTable::get(c, 0); }

constexpr std::uint8_t combining_class(Record r) noexcept { return std::uint8_t(r); }
constexpr std::uint8_t flags(Record r) noexcept { return std::uint8_t(r >> 8); }
constexpr std::uint16_t decomposition_entry(Record r) noexcept { return std::uint16_t(r >> 16); }

// The full decomposition of entry `e` (non-zero): canonical, or compatibility when `compat`.
constexpr std::span<const char32_t> decomposition(std::uint16_t e, bool compat) noexcept {
    const std::uint32_t slice = compat ? kCompatibilitySlices[e] : kCanonicalSlices[e];
    return {kDecompositionPool + (slice >> kSliceLengthBits),
            slice & ((1u << kSliceLengthBits) - 1)};
}

// Hangul syllables: S = SBase + (L * VCount + V) * TCount + T.
namespace hangul {
inline constexpr char32_t kSBase = 0xAC00, kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7;
inline constexpr char32_t kLCount = 19, kVCount = 21, kTCount = 28;
inline constexpr char32_t kNCount = kVCount * kTCount, kSCount = kLCount * kNCount;

constexpr bool is_syllable(char32_t c) noexcept { return c - kSBase < kSCount; }

// Writes the two or three conjoining jamo of syllable `s` and returns their number.
constexpr std::size_t decompose(char32_t s, char32_t* out) noexcept {
    const char32_t index = s - kSBase;
    out[0] = kLBase + index / kNCount;
    out[1] = kVBase + (index % kNCount) / kTCount;
    const char32_t t = index % kTCount;
    if (t == 0) return 2;
    out[2] = kTBase + t;
    return 3;
}

// The syllable composed of L + V or LV + T, or 0.
constexpr char32_t compose(char32_t a, char32_t b) noexcept {
    if (a - kLBase < kLCount && b - kVBase < kVCount)
        return kSBase + ((a - kLBase) * kVCount + (b - kVBase)) * kTCount;
    if (is_syllable(a) && (a - kSBase) % kTCount == 0 && b - kTBase - 1 < kTCount - 1)
        return a + (b - kTBase);
    return 0;
}
}  // namespace hangul

// The primary composite of `a` followed by `b` (with their records), or 0 when there is none.
inline char32_t compose_pair(char32_t a, Record ra, char32_t b, Record rb) noexcept {
    if (!(flags(rb) & kComposesWithPrevious)) return 0;
    if (!(flags(ra) & kComposesWithNext)) return hangul::compose(a, b);
    constexpr unsigned kBits = 21;
    const std::uint64_t key = (std::uint64_t(a) << kBits) | b;
    constexpr std::size_t kMask = (std::size_t(1) << kCompositionHashBits) - 1;
    std::size_t h = std::size_t((key * kCompositionMultiplier) >> (64 - kCompositionHashBits));
    for (;; h = (h + 1) & kMask) {
        const std::uint64_t slot = kCompositionSlots[h];
        if (slot == 0) return 0;
        if ((slot >> kBits) == key) return char32_t(slot & ((1u << kBits) - 1));
    }
}

}  // namespace scrubix::unicode::normalization
