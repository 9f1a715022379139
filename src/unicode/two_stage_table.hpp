// The reader of every generated per-code-point table: an index of block numbers, one per block
// of 2^Shift keys, and a pool of the distinct blocks (tools/ucdlib.py splits and verifies them).
#pragma once

#include <cstddef>
#include <iterator>
#include <type_traits>

namespace scrubix::unicode {

// Whether every block `index` names lies whole inside a pool of `pool_size` values, so that no
// key below the table's limit reads past the pool.
template <class Index, std::size_t N>
constexpr bool blocks_in_pool(const Index (&index)[N], unsigned shift, std::size_t pool_size) noexcept {
    for (const Index block : index)
        if ((std::size_t(block) + 1) << shift > pool_size) return false;
    return true;
}

template <auto& Index, auto& Blocks, unsigned Shift>
class TwoStageTable {
public:
    using Value = std::remove_cvref_t<decltype(Blocks[0])>;

    // Keys below this have a value; the generators cover the code space or name their limit.
    static constexpr char32_t kLimit = char32_t(std::size(Index)) << Shift;

    // Position of key `c` (< kLimit) in the pool, for tables that keep parallel value arrays.
    static constexpr std::size_t slot(char32_t c) noexcept {
        return (std::size_t(Index[c >> Shift]) << Shift) | (c & kLowMask);
    }

    // The value of key `c` (< kLimit).
    static constexpr Value at(char32_t c) noexcept { return Blocks[slot(c)]; }

    // The value of `c`, or `outside` for a key beyond the table.
    static constexpr Value get(char32_t c, Value outside) noexcept {
        if (c >= kLimit) [[unlikely]]
            return outside;
        return at(c);
    }

private:
    static constexpr char32_t kLowMask = (char32_t(1) << Shift) - 1;
    static_assert(blocks_in_pool(Index, Shift, std::size(Blocks)), "an index entry names a block outside the pool");
};

}  // namespace scrubix::unicode
