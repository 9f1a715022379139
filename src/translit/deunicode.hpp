// Per-code-point ASCII transliteration data (deunicode 1.6.2).
#pragma once

#include <string_view>

namespace scrubix::translit {

// Code points at or above this have no entry.
inline constexpr char32_t kDeunicodeEnd = 0x222DE;

// Sets `entry` to the transliteration of `c` and returns true; returns false when `c` has
// no entry. An entry may be empty, and may end in a space.
bool deunicode_lookup(char32_t c, std::string_view& entry) noexcept;

}  // namespace scrubix::translit
