// Letters the keyboard-only block loop drops without a second look: a bit per code point of
// two or three UTF-8 bytes (below U+10000) that the filter drops whole as a cluster of its own
// and that is a cluster alone next to ASCII and next to any other such letter (it joins
// nothing before it, and nothing that is such a letter or ASCII joins it). A bit is set once
// the loop has worked the letter out in full, and stays true for the pass: the outcome of a
// code point depends on its bytes alone. A letter is found from its bytes by its block of 64
// code points, a word of the table, so a run of letters costs a read each and no branch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace scrubix {

class DroppedLetters {
public:
    // The table, for `dropped`; null until a letter is noted (and so for most texts).
    const std::uint64_t* blocks() const noexcept { return blocks_.get(); }

    // Whether the code point whose UTF-8 sequence of two or three bytes (lead 0xC0-0xEF)
    // starts at `p` is noted in `blocks`, without a branch on its length.
    static bool dropped(const std::uint64_t* blocks, const unsigned char* p) noexcept {
        // Two bytes: 110xxxxx 10yyyyyy is block xxxxx; three: 1110wwww 10xxxxxx 10yyyyyy is
        // block wwwwxxxxxx. The last byte is the code point in the block.
        const unsigned lead = p[0];
        const unsigned three = (lead >> 5) & 1;
        const unsigned two_block = lead & 0x1F;
        const unsigned three_block = (lead & 0x0F) << 6 | (p[1] & 0x3F);
        const unsigned block = two_block ^ ((two_block ^ three_block) & (0u - three));
        return (blocks[block] >> (p[1 + three] & 0x3F) & 1) != 0;
    }

    // Notes the code point at `p` (as for `dropped`).
    void note(const unsigned char* p) {
        if (!blocks_) blocks_ = std::make_unique<std::uint64_t[]>(kBlocks);
        const bool two = p[0] < 0xE0;
        const unsigned block = two ? p[0] & 0x1Fu : (p[0] & 0x0Fu) << 6 | (p[1] & 0x3Fu);
        blocks_[block] |= std::uint64_t{1} << (p[two ? 1 : 2] & 0x3F);
    }

private:
    static constexpr std::size_t kBlocks = 0x10000 / 64;
    std::unique_ptr<std::uint64_t[]> blocks_;
};

}  // namespace scrubix
