// Walks a UTF-8 text once, forward, to offsets that never go back: the `str` index (code
// points) at each offset and the 1-based line and column there. LF, CR LF and a lone CR end a
// line. Eight bytes without a line break are passed at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace scrubix::py {

class PositionWalk {
public:
    explicit PositionWalk(std::string_view text) noexcept : text_(text) {}

    void advance_to(std::size_t offset) noexcept {
        while (byte_ < offset) {
            if (offset - byte_ >= 8) {
                std::uint64_t word;
                std::memcpy(&word, text_.data() + byte_, 8);
                if (!has_byte(word, '\n') && !has_byte(word, '\r')) {
                    // Continuation bytes (10xxxxxx) start no code point; the product adds up
                    // their flags (one bit per byte) in the top byte.
                    const std::uint64_t continuations = (word & ~(word << 1) & kHigh) >> 7;
                    index_ += 8 - static_cast<std::size_t>((continuations * kOnes) >> 56);
                    byte_ += 8;
                    continue;
                }
            }
            step();
        }
    }

    std::size_t index() const noexcept { return index_; }
    std::size_t line() const noexcept { return line_; }
    std::size_t column() const noexcept { return index_ - line_start_ + 1; }

private:
    static constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    static constexpr std::uint64_t kHigh = 0x8080808080808080ull;

    // Whether some byte of `word` may be `b` (never false when one is).
    static bool has_byte(std::uint64_t word, unsigned char b) noexcept {
        const std::uint64_t x = word ^ (kOnes * b);
        return ((x - kOnes) & ~x & kHigh) != 0;
    }

    void step() noexcept {
        const auto b = static_cast<unsigned char>(text_[byte_]);
        if ((b & 0xC0) != 0x80) {
            ++index_;
            if (b == '\n' || (b == '\r' && (byte_ + 1 == text_.size() || text_[byte_ + 1] != '\n'))) {
                ++line_;
                line_start_ = index_;
            }
        }
        ++byte_;
    }

    std::string_view text_;
    std::size_t byte_ = 0;
    std::size_t index_ = 0;
    std::size_t line_ = 1;
    std::size_t line_start_ = 0;
};

}  // namespace scrubix::py
