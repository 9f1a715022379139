#include "deunicode.hpp"

#include <cstddef>
#include <cstdint>

namespace scrubix::translit {

namespace {
#include "generated/deunicode_data.inc"

static_assert(kDeunicodeRecords == kDeunicodeEnd, "the table covers exactly U+0000..U+222DD");
static_assert(sizeof(kDeunicodeOffsets) / sizeof(kDeunicodeOffsets[0]) ==
                  sizeof(kDeunicodeLengths) / sizeof(kDeunicodeLengths[0]),
              "offsets and lengths share one slot numbering");
static_assert(((kDeunicodeRecords - 1) >> kDeunicodeShift) <
                  sizeof(kDeunicodeIndex) / sizeof(kDeunicodeIndex[0]),
              "every covered code point has an index entry");
}  // namespace

bool deunicode_lookup(char32_t c, std::string_view& entry) noexcept {
    if (c >= kDeunicodeEnd) return false;
    constexpr std::uint32_t mask = (1u << kDeunicodeShift) - 1;
    const std::size_t slot =
        (std::size_t{kDeunicodeIndex[c >> kDeunicodeShift]} << kDeunicodeShift) | (c & mask);
    const std::uint8_t length = kDeunicodeLengths[slot];
    if (length == kDeunicodeAbsent) return false;
    entry = std::string_view(kDeunicodePool + kDeunicodeOffsets[slot], length);
    return true;
}

}  // namespace scrubix::translit
