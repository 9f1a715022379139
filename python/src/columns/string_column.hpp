// Read access to one Arrow string array as the C data interface lays it out: `string` (32-bit
// offsets), `large_string` (64-bit offsets) and `string_view` (16-byte views into data buffers).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "arrow_abi.hpp"

namespace scrubix::columns {

enum class StringLayout { Offsets32, Offsets64, Views };

// Borrows the buffers of an imported array; the array must outlive the view.
class StringColumnView {
public:
    std::int64_t size() const noexcept { return length_; }
    StringLayout layout() const noexcept { return layout_; }

    // The validity bitmap (null when no row is null) and the bit of row 0 in it.
    const std::uint8_t* validity_bits() const noexcept { return validity_; }
    std::int64_t first_bit() const noexcept { return offset_; }

    bool is_null(std::int64_t row) const noexcept {
        if (validity_ == nullptr) return false;
        const std::int64_t bit = offset_ + row;
        return ((validity_[bit >> 3] >> (bit & 7)) & 1) == 0;
    }

    std::string_view value(std::int64_t row) const noexcept {
        const std::int64_t i = offset_ + row;
        switch (layout_) {
            case StringLayout::Offsets32: {
                const auto* o = static_cast<const std::int32_t*>(offsets_);
                return {data_ + o[i], static_cast<std::size_t>(o[i + 1] - o[i])};
            }
            case StringLayout::Offsets64: {
                const auto* o = static_cast<const std::int64_t*>(offsets_);
                return {data_ + o[i], static_cast<std::size_t>(o[i + 1] - o[i])};
            }
            case StringLayout::Views: break;
        }
        // A view is 16 bytes: the length, then up to 12 bytes inline, or else a 4-byte prefix,
        // the index of a data buffer and the offset in it.
        const char* view = static_cast<const char*>(offsets_) + 16 * i;
        std::int32_t len, buffer, at;
        std::memcpy(&len, view, 4);
        if (len <= 12) return {view + 4, static_cast<std::size_t>(len)};
        std::memcpy(&buffer, view + 8, 4);
        std::memcpy(&at, view + 12, 4);
        return {data_buffers_[static_cast<std::size_t>(buffer)] + at, static_cast<std::size_t>(len)};
    }

    // Whether the rows' bytes lie back to back in one data buffer, as they do in every layout
    // but views.
    bool contiguous() const noexcept { return layout_ != StringLayout::Views; }

    // The bytes of rows [begin, end) of a contiguous array, from the first one's start to the
    // last one's end: null rows' bytes included.
    std::string_view span(std::int64_t begin, std::int64_t end) const noexcept {
        const std::int64_t first = offset_ + begin, last = offset_ + end;
        if (layout_ == StringLayout::Offsets32) {
            const auto* o = static_cast<const std::int32_t*>(offsets_);
            return {data_ + o[first], static_cast<std::size_t>(o[last] - o[first])};
        }
        const auto* o = static_cast<const std::int64_t*>(offsets_);
        return {data_ + o[first], static_cast<std::size_t>(o[last] - o[first])};
    }

    // Fills `out` from an imported array and its schema. Returns an empty string on success,
    // otherwise what is wrong (an unsupported type, or offsets or views that point outside
    // the array's buffers).
    friend std::string view_string_array(const ArrowSchema& schema, const ArrowArray& array,
                                         StringColumnView& out);

private:
    StringLayout layout_ = StringLayout::Offsets32;
    std::int64_t length_ = 0;
    std::int64_t offset_ = 0;
    const std::uint8_t* validity_ = nullptr;
    const void* offsets_ = nullptr;  // offsets, or the views
    const char* data_ = nullptr;
    std::vector<const char*> data_buffers_;
};

std::string view_string_array(const ArrowSchema& schema, const ArrowArray& array, StringColumnView& out);

// The format string of a supported string type ("u", "U", "vu") or null for any other.
const char* string_format(StringLayout layout) noexcept;

}  // namespace scrubix::columns
