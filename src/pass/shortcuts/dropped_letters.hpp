// Letters the keyboard-only block loop drops without a second look: a bit per code point of
// two or three UTF-8 bytes (below U+10000) that the filter drops whole as a cluster of its own
// and that is a cluster alone next to ASCII and next to any other such letter (it joins
// nothing before it, and nothing that is such a letter or ASCII joins it). A bit is set once
// the loop has worked the letter out in full, and stays true for the pass: the outcome of a
// code point depends on its bytes alone.
//
// A letter is found from its first two bytes, a word of the table, and its third, the bit in
// the word, the same way for both lengths, so a run of letters costs a read each and no
// branch: a letter of two bytes has a word of its own, all of whose bits say the same (the
// byte after it, whatever it is, picks one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace scrubix {

class DroppedLetters {
public:
    // The table, for `dropped`; null until a letter is noted (and so for most texts).
    const std::uint64_t* words() const noexcept { return words_.get(); }

    // Whether the code point whose UTF-8 sequence of two or three bytes (lead 0xC0-0xEF)
    // starts at `p` is noted in `words`. Reads three bytes.
    static bool dropped(const std::uint64_t* words, const unsigned char* p) noexcept {
        return (words[word_of(p)] >> (p[2] & 0x3F) & 1) != 0;
    }

    // Notes the code point at `p` (as for `dropped`).
    void note(const unsigned char* p) {
        if (!words_) words_ = std::make_unique<std::uint64_t[]>(kWords);
        if (p[0] < 0xE0) words_[word_of(p)] = ~std::uint64_t{0};
        else words_[word_of(p)] |= std::uint64_t{1} << (p[2] & 0x3F);
    }

private:
    // 110xxxxx 10yyyyyy: word xxxxxyyyyyy; 1110wwww 10xxxxxx: word 2048 + wwwwxxxxxx.
    static constexpr std::size_t kWords = 48 * 64;
    static std::size_t word_of(const unsigned char* p) noexcept { return std::size_t(p[0] & 0x3F) << 6 | (p[1] & 0x3F); }

    std::unique_ptr<std::uint64_t[]> words_;
};

}  // namespace scrubix
