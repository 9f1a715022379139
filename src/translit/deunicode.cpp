#include "deunicode.hpp"

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "generated/deunicode_data.inc"

namespace scrubix::translit {

namespace {
using namespace deunicode_data;
static_assert(kDeunicodeRecords == kDeunicodeEnd, "the table covers exactly U+0000..U+222DD");
static_assert(std::size(kDeunicodeOffsets) == std::size(kDeunicodeLengths),
              "offsets and lengths share one slot numbering");
static_assert(DeunicodeTable::kLimit >= kDeunicodeEnd, "every covered code point has an index entry");
}  // namespace

bool deunicode_lookup(char32_t c, std::string_view& entry) noexcept {
    if (c >= kDeunicodeEnd) return false;
    const std::size_t slot = DeunicodeTable::slot(c);
    const std::uint8_t length = kDeunicodeLengths[slot];
    if (length == kDeunicodeAbsent) return false;
    entry = std::string_view(kDeunicodePool + kDeunicodeOffsets[slot], length);
    return true;
}

}  // namespace scrubix::translit
