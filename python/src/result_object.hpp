// The instance layout of `CleaningResult` and the one way to fill it. It is shared with the
// column module, which cleans whole batches natively and hands back one result per text.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "heap_type.hpp"
#include "py_ref.hpp"
#include "records/stats.hpp"

namespace scrubix::py {

struct ResultObject {
    PyObject_HEAD
    std::string text;
    std::uint64_t changes_made;
    CleaningStats stats;
    // The caller's own str when the text came through unchanged, so `text` returns that very
    // object; null otherwise. A str holds no references, so it cannot make a cycle.
    PyObject* source;
};

// A new instance of `type` (the `CleaningResult` class) taking over `text` (valid UTF-8); null
// with an error set. `source` (borrowed, may be null): see `ResultObject::source`.
inline PyObject* new_result_of_type(PyTypeObject* type, std::string&& text, std::uint64_t changes_made,
                                    const CleaningStats& stats, PyObject* source) {
    PyObject* self = alloc_instance(type);
    if (self == nullptr) return nullptr;
    auto* r = reinterpret_cast<ResultObject*>(self);
    new (&r->text) std::string(std::move(text));
    r->changes_made = changes_made;
    new (&r->stats) CleaningStats(stats);
    r->source = PyRef::borrow(source).release();
    return self;
}

}  // namespace scrubix::py
