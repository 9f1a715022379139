// Walks a UTF-8 text once, forward, to offsets that never go back: the `str` index (code
// points) at each offset and the 1-based line and column there. LF, CR LF and a lone CR end a
// line. The bytes are read a block at a time; only a line break is passed byte by byte.
#pragma once

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace scrubix::py {

class PositionWalk {
public:
    explicit PositionWalk(std::string_view text) noexcept : text_(text) {}

    void advance_to(std::size_t offset) noexcept {
        while (byte_ < offset) {
            if (byte_ + kBlock <= offset && pass_blocks(offset)) continue;
            if (text_.size() - byte_ < kBlock) {
                step();
                continue;
            }
            // The block's bytes before `offset`, one bit each.
            const std::size_t wanted = offset - byte_;
            const unsigned range = wanted >= kBlock ? kAll : (1u << wanted) - 1;
            const Block block = read_block();
            const unsigned breaks = block.breaks & range;
            if (breaks != 0) {
                // Up to and through the first line break, byte by byte.
                for (unsigned k = 0, last = first_set(breaks); k <= last; ++k) step();
                continue;
            }
            index_ += count_bits(block.starts & range);
            byte_ += wanted >= kBlock ? kBlock : wanted;
        }
    }

    std::size_t index() const noexcept { return index_; }
    std::size_t line() const noexcept { return line_; }
    std::size_t column() const noexcept { return index_ - line_start_ + 1; }

private:
    static unsigned first_set(unsigned bits) noexcept { return static_cast<unsigned>(__builtin_ctz(bits)); }

    // The bytes of a block that start a code point (all but continuation bytes, 10xxxxxx) and
    // those that are CR or LF, one bit per byte in text order.
    struct Block {
        unsigned starts;
        unsigned breaks;
    };

#if defined(__SSE2__)
    static constexpr std::size_t kBlock = 16;

    Block read_block() const noexcept {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_.data() + byte_));
        const __m128i breaks =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
        // Continuation bytes are -128 to -65 as signed bytes.
        const __m128i starts = _mm_cmpgt_epi8(bytes, _mm_set1_epi8(-65));
        return {static_cast<unsigned>(_mm_movemask_epi8(starts)), static_cast<unsigned>(_mm_movemask_epi8(breaks))};
    }

    // Passes the whole blocks that end by `limit` and hold no line break; false when it passed
    // none.
    bool pass_blocks(std::size_t limit) noexcept {
        const std::size_t from = byte_;
        __m128i counts = _mm_setzero_si128();
        while (byte_ + kBlock <= limit) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_.data() + byte_));
            const __m128i breaks =
                _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
            if (_mm_movemask_epi8(breaks) != 0) break;
            // The sums of absolute differences add up the bytes that start a code point.
            const __m128i starts = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(-65)), _mm_set1_epi8(1));
            counts = _mm_add_epi64(counts, _mm_sad_epu8(starts, _mm_setzero_si128()));
            byte_ += kBlock;
        }
        index_ += static_cast<std::size_t>(_mm_cvtsi128_si64(counts)) +
                  static_cast<std::size_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(counts, counts)));
        return byte_ != from;
    }
#else
    static constexpr std::size_t kBlock = 8;

    Block read_block() const noexcept {
        Block block{0, 0};
        for (unsigned k = 0; k < kBlock; ++k) {
            const auto b = static_cast<unsigned char>(text_[byte_ + k]);
            if ((b & 0xC0) != 0x80) block.starts |= 1u << k;
            if (b == '\n' || b == '\r') block.breaks |= 1u << k;
        }
        return block;
    }

    bool pass_blocks(std::size_t limit) noexcept {
        const std::size_t from = byte_;
        while (byte_ + kBlock <= limit) {
            const Block block = read_block();
            if (block.breaks != 0) break;
            index_ += count_bits(block.starts);
            byte_ += kBlock;
        }
        return byte_ != from;
    }
#endif

    static constexpr unsigned kAll = (1u << kBlock) - 1;

    static std::size_t count_bits(unsigned bits) noexcept {
        bits = bits - ((bits >> 1) & 0x5555u);
        bits = (bits & 0x3333u) + ((bits >> 2) & 0x3333u);
        bits = (bits + (bits >> 4)) & 0x0F0Fu;
        return (bits + (bits >> 8)) & 0x1Fu;
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
