#include "string_column.hpp"

namespace scrubix::columns {

namespace {

// Offsets must rise from the first row to the last; the values are then inside the data
// buffer as far as the array can tell us (its length is not part of the interface).
template <class Offset>
bool offsets_rise(const Offset* offsets, std::int64_t first, std::int64_t rows) {
    if (offsets[first] < 0) return false;
    for (std::int64_t i = first; i < first + rows; ++i) {
        if (offsets[i + 1] < offsets[i]) return false;
    }
    return true;
}

}  // namespace

const char* string_format(StringLayout layout) noexcept {
    switch (layout) {
        case StringLayout::Offsets32: return "u";
        case StringLayout::Offsets64: return "U";
        case StringLayout::Views: return "vu";
    }
    return "u";
}

std::string view_string_array(const ArrowSchema& schema, const ArrowArray& array, StringColumnView& out) {
    const std::string_view format = schema.format == nullptr ? "" : schema.format;
    if (schema.dictionary != nullptr) {
        return "expected an array of strings (Arrow string, large_string or string_view), got a dictionary-encoded "
               "(categorical) array: decode it first";
    }
    if (format == "u") {
        out.layout_ = StringLayout::Offsets32;
    } else if (format == "U") {
        out.layout_ = StringLayout::Offsets64;
    } else if (format == "vu") {
        out.layout_ = StringLayout::Views;
    } else {
        return "expected an array of strings (Arrow string, large_string or string_view), got Arrow format '" +
               std::string(format) + "'";
    }
    if (array.length < 0 || array.offset < 0) return "the array has a negative length or offset";
    out.length_ = array.length;
    out.offset_ = array.offset;
    const std::int64_t needed = out.layout_ == StringLayout::Views ? 2 : 3;
    if (array.n_buffers < needed || array.buffers == nullptr) return "the array lacks its buffers";
    out.validity_ = array.null_count == 0 ? nullptr : static_cast<const std::uint8_t*>(array.buffers[0]);
    out.offsets_ = array.buffers[1];
    if (out.length_ == 0) return {};
    if (out.offsets_ == nullptr) return "the array lacks its buffers";
    switch (out.layout_) {
        case StringLayout::Offsets32:
            out.data_ = static_cast<const char*>(array.buffers[2]);
            if (!offsets_rise(static_cast<const std::int32_t*>(out.offsets_), out.offset_, out.length_))
                return "the array's offsets are not in order";
            break;
        case StringLayout::Offsets64:
            out.data_ = static_cast<const char*>(array.buffers[2]);
            if (!offsets_rise(static_cast<const std::int64_t*>(out.offsets_), out.offset_, out.length_))
                return "the array's offsets are not in order";
            break;
        case StringLayout::Views: {
            // Buffers: validity, views, the data buffers, and last the data buffers' sizes.
            const std::int64_t count = array.n_buffers - 3;
            if (count < 0) return "the array lacks its buffers";
            const auto* sizes = static_cast<const std::int64_t*>(array.buffers[array.n_buffers - 1]);
            out.data_buffers_.clear();
            for (std::int64_t k = 0; k < count; ++k)
                out.data_buffers_.push_back(static_cast<const char*>(array.buffers[2 + k]));
            const char* views = static_cast<const char*>(out.offsets_);
            for (std::int64_t i = out.offset_; i < out.offset_ + out.length_; ++i) {
                if (out.is_null(i - out.offset_)) continue;  // a null slot's view may hold anything
                std::int32_t len, buffer, at;
                std::memcpy(&len, views + 16 * i, 4);
                if (len < 0) return "the array holds a view of negative length";
                if (len <= 12) continue;
                std::memcpy(&buffer, views + 16 * i + 8, 4);
                std::memcpy(&at, views + 16 * i + 12, 4);
                if (buffer < 0 || buffer >= count || at < 0 ||
                    (sizes != nullptr && static_cast<std::int64_t>(at) + len > sizes[buffer]))
                    return "the array holds a view outside its data buffers";
            }
            break;
        }
    }
    if (out.data_ == nullptr && out.layout_ != StringLayout::Views) {
        static const char kEmpty = 0;
        out.data_ = &kEmpty;
    }
    return {};
}

}  // namespace scrubix::columns
