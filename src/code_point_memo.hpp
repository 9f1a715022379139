// Per-pass memory of what the loop over non-ASCII text asks about a code point: its grapheme
// properties, its pass classes and, in keyboard-only mode, how many characters the filter
// drops when the code point stands alone (a repeated letter of a script the filter removes is
// then one lookup). Direct-mapped, sized by the text, set up on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "unicode/char_props.hpp"
#include "unicode/grapheme_rules.hpp"

namespace scrubix {

class CodePointMemo {
public:
    struct Facts {
        char32_t code_point = ~char32_t{0};
        unicode::grapheme_rules::Props props = 0;
        std::uint8_t classes = 0;
        std::uint8_t plain_drop = 0;  // 0 when not known to be a plain drop
    };

    explicit CodePointMemo(std::size_t text_size) noexcept {
        // About one slot per 32 bytes of text, so that setting the memory up costs little.
        while (bits_ < kMaxBits && (std::size_t(32) << bits_) < text_size) ++bits_;
    }

    // The facts of `c` (a non-ASCII code point); a slot taken over by `c` starts with its
    // properties and classes and no drop known.
    Facts& lookup(char32_t c) {
        if (!slots_) slots_ = std::make_unique<Facts[]>(std::size_t(1) << bits_);
        Facts& f = slots_[(std::uint32_t(c) * 0x9E3779B1u) >> (32 - bits_)];
        if (f.code_point != c) {
            f.code_point = c;
            f.props = unicode::grapheme_rules::props_of(c);
            f.classes = unicode::pass_class_inline(c);
            f.plain_drop = 0;
        }
        return f;
    }

private:
    static constexpr unsigned kMaxBits = 10;
    unsigned bits_ = 4;
    std::unique_ptr<Facts[]> slots_;
};

}  // namespace scrubix
