// Arrays the column module builds and hands out through the Arrow C data interface. The
// buffers are shared: every export holds a reference, so a consumer may keep an exported array
// after the Python object that made it is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "arrow_abi.hpp"
#include "kept_room.hpp"

namespace scrubix::columns {

// One heap-allocated buffer: uninitialised bytes (no zeroing pass over bytes about to be
// written), or a string taken over whole.
struct Buffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::string text;  // the storage when `bytes` is null
    std::size_t size = 0;

    static std::shared_ptr<Buffer> allocate(std::size_t size) {
        auto buffer = std::make_shared<Buffer>();
        buffer->bytes.reset(new std::uint8_t[size == 0 ? 1 : size]);
        buffer->size = size;
        return buffer;
    }
    // Takes over `text` with no copy, unless a quarter or more of the room it took is unused
    // (it grew past what was reserved, or cleaning shrank it much): the buffer lives as long
    // as the array does.
    static std::shared_ptr<Buffer> adopt(std::string&& text) {
        auto buffer = std::make_shared<Buffer>();
        if (text.size() < text.capacity() - text.capacity() / 4) text.shrink_to_fit();
        buffer->size = text.size();
        buffer->text = std::move(text);
        return buffer;
    }
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    // A taken-over text's room may serve the next column.
    ~Buffer() {
        if (!bytes) keep_room(text);
    }

    std::uint8_t* data() noexcept { return bytes ? bytes.get() : reinterpret_cast<std::uint8_t*>(text.data()); }
    template <class T>
    T* as() noexcept {
        return reinterpret_cast<T*>(data());
    }
};

struct OwnedArray {
    std::string format;  // "u", "U", or "L" for counts
    std::int64_t length = 0;
    std::int64_t null_count = 0;
    // In the interface's order; a null entry (the validity of an array without nulls) is
    // exported as a null pointer.
    std::vector<std::shared_ptr<Buffer>> buffers;
};

// Fills `out` with a new array and schema sharing `array`'s buffers. May throw bad_alloc.
void export_array(const std::shared_ptr<const OwnedArray>& array, ArrowArray* out);
void export_schema(const std::string& format, ArrowSchema* out);

// A stream that yields `chunks` in order, all of the type `format`.
void export_stream(std::vector<std::shared_ptr<const OwnedArray>> chunks, std::string format,
                   ArrowArrayStream* out);

// The same strings with 64-bit offsets (data and validity shared), for a chunk of type "u".
std::shared_ptr<const OwnedArray> widen_offsets(const OwnedArray& array);

}  // namespace scrubix::columns
