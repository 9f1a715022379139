// The Unicode normalization forms the engine can produce, `None` meaning "leave the text as
// it is". The ordinals are the option's.
#pragma once

#include <cstdint>

namespace scrubix::unicode {

enum class NormalizationForm : std::uint8_t { None = 0, NFD = 1, NFC = 2, NFKD = 3, NFKC = 4 };

}  // namespace scrubix::unicode
