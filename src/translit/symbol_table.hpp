// Keyboard spellings of symbols and Greek letters.
#pragma once

#include <string_view>

namespace scrubix::translit {

// The ASCII spelling of `c` (1 to 7 bytes), or an empty view when `c` has none.
std::string_view symbol_to_ascii(char32_t c) noexcept;

}  // namespace scrubix::translit
