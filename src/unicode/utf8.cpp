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
            // ASCII comes in stretches: eight bytes a step.
            ++i;
            while (n - i >= 8 && (load64(s.data() + i) & kHighBits) == 0) i += 8;
            continue;
        }
        std::size_t len;
        char32_t min;
        char32_t c;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2; min = 0x80; c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3; min = 0x800; c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4; min = 0x10000; c = b & 0x07;
        } else {
            return false;
        }
        if (n - i < len) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

}  // namespace scrubix::utf8
