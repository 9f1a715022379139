#include "owned_array.hpp"

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace scrubix::columns {

namespace {

struct ExportedArray {
    std::shared_ptr<const OwnedArray> array;
    std::vector<const void*> pointers;
};

void release_array(ArrowArray* array) {
    delete static_cast<ExportedArray*>(array->private_data);
    array->release = nullptr;
}

void release_schema(ArrowSchema* schema) {
    delete static_cast<std::string*>(schema->private_data);
    schema->release = nullptr;
}

struct ExportedStream {
    std::vector<std::shared_ptr<const OwnedArray>> chunks;
    std::string format;
    std::size_t next = 0;
};

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) {
    try {
        export_schema(static_cast<ExportedStream*>(stream->private_data)->format, out);
        return 0;
    } catch (...) {
        return ENOMEM;
    }
}

int stream_get_next(ArrowArrayStream* stream, ArrowArray* out) {
    auto* state = static_cast<ExportedStream*>(stream->private_data);
    if (state->next == state->chunks.size()) {
        std::memset(out, 0, sizeof *out);  // the end: a released array
        return 0;
    }
    try {
        export_array(state->chunks[state->next], out);
    } catch (...) {
        return ENOMEM;
    }
    state->chunks[state->next++].reset();
    return 0;
}

const char* stream_last_error(ArrowArrayStream*) { return "out of memory"; }

void release_stream(ArrowArrayStream* stream) {
    delete static_cast<ExportedStream*>(stream->private_data);
    stream->release = nullptr;
}

}  // namespace

void export_array(const std::shared_ptr<const OwnedArray>& array, ArrowArray* out) {
    auto exported = std::make_unique<ExportedArray>();
    exported->array = array;
    for (const auto& buffer : array->buffers) {
        exported->pointers.push_back(buffer ? static_cast<const void*>(buffer->data()) : nullptr);
    }
    *out = ArrowArray{};
    out->length = array->length;
    out->null_count = array->null_count;
    out->offset = 0;
    out->n_buffers = static_cast<std::int64_t>(exported->pointers.size());
    out->n_children = 0;
    out->buffers = exported->pointers.data();
    out->children = nullptr;
    out->dictionary = nullptr;
    out->release = release_array;
    out->private_data = exported.release();
}

void export_schema(const std::string& format, ArrowSchema* out) {
    auto owned = std::make_unique<std::string>(format);
    *out = ArrowSchema{};
    out->format = owned->c_str();
    out->name = "";
    out->metadata = nullptr;
    out->flags = ARROW_FLAG_NULLABLE;
    out->n_children = 0;
    out->children = nullptr;
    out->dictionary = nullptr;
    out->release = release_schema;
    out->private_data = owned.release();
}

void export_stream(std::vector<std::shared_ptr<const OwnedArray>> chunks, std::string format,
                   ArrowArrayStream* out) {
    auto state = std::make_unique<ExportedStream>();
    state->chunks = std::move(chunks);
    state->format = std::move(format);
    out->get_schema = stream_get_schema;
    out->get_next = stream_get_next;
    out->get_last_error = stream_last_error;
    out->release = release_stream;
    out->private_data = state.release();
}

std::shared_ptr<const OwnedArray> widen_offsets(const OwnedArray& array) {
    auto wide = std::make_shared<OwnedArray>(array);
    wide->format = "U";
    const auto count = static_cast<std::size_t>(array.length) + 1;
    auto offsets = Buffer::allocate(count * sizeof(std::int64_t));
    const auto* narrow = array.buffers[1]->as<std::int32_t>();
    for (std::size_t i = 0; i < count; ++i) offsets->as<std::int64_t>()[i] = narrow[i];
    wide->buffers[1] = std::move(offsets);
    return wide;
}

}  // namespace scrubix::columns
