#include "utf8.hpp"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SCRUBIX_UTF8_SHUFFLE 1
#include <immintrin.h>
#endif

namespace scrubix::utf8 {

namespace {
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

inline std::uint64_t load64(const char* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
}  // namespace

bool is_ascii(std::string_view s) noexcept {
    const char* p = s.data();
    std::size_t n = s.size();
    // 64 bytes a block: eight words OR-ed together, high bits tested once.
    while (n >= 64) {
        std::uint64_t acc = 0;
        for (int k = 0; k < 8; ++k) acc |= load64(p + 8 * k);
        if (acc & kHighBits) return false;
        p += 64;
        n -= 64;
    }
    while (n >= 8) {
        if (load64(p) & kHighBits) return false;
        p += 8;
        n -= 8;
    }
    while (n > 0) {
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
        ++p;
        --n;
    }
    return true;
}

bool is_valid_portable(std::string_view s) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            i = skip_below(s.data(), i + 1, n);
            continue;
        }
        // The lead byte gives the length and the range of the second byte, which is where
        // overlongs, surrogates and values above U+10FFFF show; later bytes only continue.
        std::size_t len;
        unsigned char low = 0x80, high = 0xBF;
        if (b < 0xC2) {
            return false;
        } else if (b < 0xE0) {
            len = 2;
        } else if (b < 0xF0) {
            len = 3;
            if (b == 0xE0) low = 0xA0;
            if (b == 0xED) high = 0x9F;
        } else if (b < 0xF5) {
            len = 4;
            if (b == 0xF0) low = 0x90;
            if (b == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (n - i < len || p[i + 1] < low || p[i + 1] > high) return false;
        for (std::size_t k = 2; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
        }
        i += len;
    }
    return true;
}

#if defined(SCRUBIX_UTF8_SHUFFLE)
namespace {

// A step of thirty-two bytes judges each byte with the one to three before it: three table
// look-ups (the high and low half of the byte before, the high half of this one) give the ways
// the pair can be wrong, one bit each, and a byte that must continue a three- or four-byte
// sequence is told apart from one that must not by the bytes two and three back.
constexpr char kTooShort = 1 << 0;    // a lead byte, then no continuation
constexpr char kTooLong = 1 << 1;     // a continuation after an ASCII byte
constexpr char kOverlong3 = 1 << 2;   // E0 80..9F
constexpr char kTooLarge = 1 << 3;    // F4 90..BF, F5..FF
constexpr char kSurrogate = 1 << 4;   // ED A0..BF
constexpr char kOverlong2 = 1 << 5;   // C0, C1
constexpr char kTooLarge1000 = 1 << 6;  // F5..FF 80..8F
constexpr char kOverlong4 = 1 << 6;   // F0 80..8F
constexpr char kTwoConts = char(1 << 7);  // a continuation after a continuation
constexpr char kCarry = kTooShort | kTooLong | kTwoConts;
constexpr char kAbove = kCarry | kTooLarge | kTooLarge1000;
constexpr char kCont = kTooLong | kOverlong2 | kTwoConts;

alignas(16) constexpr char kByHighBefore[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
    kTwoConts, kTwoConts, kTwoConts, kTwoConts, kTooShort | kOverlong2, kTooShort,
    kTooShort | kOverlong3 | kSurrogate, kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};
alignas(16) constexpr char kByLowBefore[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry, kCarry | kTooLarge,
    kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove, kAbove | kSurrogate, kAbove, kAbove};
alignas(16) constexpr char kByHigh[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kCont | kOverlong3 | kTooLarge1000 | kOverlong4, kCont | kOverlong3 | kTooLarge,
    kCont | kSurrogate | kTooLarge, kCont | kSurrogate | kTooLarge,
    kTooShort, kTooShort, kTooShort, kTooShort};
// Subtracted from a step's bytes, saturating: nonzero where one of its last three bytes leads
// a sequence longer than what follows it in the step.
alignas(32) constexpr unsigned char kLastComplete[32] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0xF0 - 1, 0xE0 - 1, 0xC0 - 1};

// Thirty-two bytes a step, the tables in both halves; the bytes before a step's second half
// are its first half's.
__attribute__((target("avx2"))) bool is_valid_32(const char* s, std::size_t n) noexcept {
    const auto half = [](const char* table) { return _mm_load_si128(reinterpret_cast<const __m128i*>(table)); };
    const __m256i by_high_before = _mm256_broadcastsi128_si256(half(kByHighBefore));
    const __m256i by_low_before = _mm256_broadcastsi128_si256(half(kByLowBefore));
    const __m256i by_high = _mm256_broadcastsi128_si256(half(kByHigh));
    const __m256i last_complete = _mm256_load_si256(reinterpret_cast<const __m256i*>(kLastComplete));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i before = _mm256_setzero_si256();  // the previous step's bytes
    __m256i open = _mm256_setzero_si256();    // nonzero where they leave a sequence unfinished
    __m256i error = _mm256_setzero_si256();
    const auto step = [&](__m256i in) __attribute__((target("avx2"))) {
        if (_mm256_movemask_epi8(in) == 0) {
            error = _mm256_or_si256(error, open);
            open = _mm256_setzero_si256();
        } else {
            // Per half: the sixteen bytes before it (the last half of `before`, or this step's first).
            const __m256i earlier = _mm256_permute2x128_si256(before, in, 0x21);
            const __m256i prev1 = _mm256_alignr_epi8(in, earlier, 15);
            const __m256i wrong = _mm256_and_si256(
                _mm256_and_si256(
                    _mm256_shuffle_epi8(by_high_before, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), nibble)),
                    _mm256_shuffle_epi8(by_low_before, _mm256_and_si256(prev1, nibble))),
                _mm256_shuffle_epi8(by_high, _mm256_and_si256(_mm256_srli_epi16(in, 4), nibble)));
            // Third or fourth byte of a sequence: a lead E0..FF two back or F0..FF three back.
            const __m256i third =
                _mm256_subs_epu8(_mm256_alignr_epi8(in, earlier, 14), _mm256_set1_epi8(char(0xE0 - 0x80)));
            const __m256i fourth =
                _mm256_subs_epu8(_mm256_alignr_epi8(in, earlier, 13), _mm256_set1_epi8(char(0xF0 - 0x80)));
            const __m256i must_continue =
                _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
            error = _mm256_or_si256(error, _mm256_xor_si256(must_continue, wrong));
            open = _mm256_subs_epu8(in, last_complete);
        }
        before = in;
    };
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) step(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)));
    if (i < n) {
        // The last bytes padded with zeros, which end any sequence left open.
        alignas(32) char tail[32] = {};
        std::memcpy(tail, s + i, n - i);
        step(_mm256_load_si256(reinterpret_cast<const __m256i*>(tail)));
    }
    error = _mm256_or_si256(error, open);
    return _mm256_testz_si256(error, error) != 0;
}

// The widest validation this processor runs: a read of what the runtime found at start-up.
Validation widest() noexcept {
    return __builtin_cpu_supports("avx2") ? Validation::Shuffle32 : Validation::Portable;
}

}  // namespace
#endif

bool is_valid(std::string_view s, Validation most) noexcept {
#if defined(SCRUBIX_UTF8_SHUFFLE)
    switch (std::min(most, widest())) {
        case Validation::Shuffle32: return is_valid_32(s.data(), s.size());
        case Validation::Portable: break;
    }
#else
    (void)most;
#endif
    return is_valid_portable(s);
}

}  // namespace scrubix::utf8
