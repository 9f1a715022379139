// The property word of a code point (pass classes, quote kind, the binary properties), read
// inline: the main pass asks it for every non-ASCII code point it looks at.
#pragma once

#include <cstddef>
#include <cstdint>

#include "generated/char_tables_data.inc"

namespace scrubix::unicode {

// Two-stage read; values outside the code space (never produced by valid UTF-8) read as 0.
inline std::uint16_t property_word(char32_t c) noexcept {
    namespace cd = char_data;
    if (c >= 0x110000) return 0;
    const std::size_t block = std::size_t(cd::char_props_index[c >> cd::char_props_shift]) << cd::char_props_shift;
    return cd::char_props_blocks[block | (c & ((char32_t(1) << cd::char_props_shift) - 1))];
}

// The pass classes of c (see PassClass in char_tables.hpp).
inline std::uint8_t pass_class_inline(char32_t c) noexcept {
    return static_cast<std::uint8_t>(property_word(c) & char_data::pass_class_mask);
}

}  // namespace scrubix::unicode
