// What becomes of a character outside the keyboard set: dropped, folded by compatibility
// decomposition, or transliterated. The ordinals are the option's.
#pragma once

#include <cstdint>

namespace scrubix::translit {

enum class NonAsciiPolicy : std::uint8_t { Drop = 0, Fold = 1, Transliterate = 2 };

}  // namespace scrubix::translit
