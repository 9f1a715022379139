#include "utf8.hpp"

#include <cstring>

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

bool is_valid(std::string_view s) noexcept {
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

}  // namespace scrubix::utf8
