// The property word of a code point (pass classes, quote kind, the binary properties), read
// inline: the main pass asks it for every non-ASCII code point it looks at.
#pragma once

#include <cstdint>

#include "generated/char_tables_data.inc"

namespace scrubix::unicode {

static_assert(char_data::CharPropsTable::kLimit == 0x110000);

// Values outside the code space (never produced by valid UTF-8) read as 0.
inline std::uint16_t property_word(char32_t c) noexcept { return char_data::CharPropsTable::get(c, 0); }

// The pass classes of c (see PassClass in char_tables.hpp).
inline std::uint8_t pass_class_inline(char32_t c) noexcept {
    return static_cast<std::uint8_t>(property_word(c) & char_data::kPassClassMask);
}

}  // namespace scrubix::unicode
