// Resolution of one non-keyboard character by drop, fold or transliterate, and the keyboard
// filter through which every replacement is written.
#pragma once

#include <string>
#include <string_view>

#include "../options.hpp"

namespace scrubix::translit {

// Writes the keyboard-filtered code points of UTF-8 `text` to `out`; true if it wrote a byte.
bool keyboard_filter(std::string_view text, bool extended_keyboard, std::string& out);

// Writes the compatibility decomposition of `c`, reduced to keyboard characters; true if it
// wrote anything.
bool fold_char(char32_t c, bool extended_keyboard, std::string& out);

// Applies `policy` to one non-keyboard code point; true if something was written.
bool resolve_non_keyboard(char32_t c, NonAsciiPolicy policy, bool extended_keyboard, std::string& out);

}  // namespace scrubix::translit
