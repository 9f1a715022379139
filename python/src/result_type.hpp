// The Python class `CleaningResult`: the text, total and counters of one cleaning run.
#pragma once

#include <cstdint>
#include <string>

#include "py_ref.hpp"
#include "records/stats.hpp"

namespace scrubix::py {

// The class object (borrowed), created on first use; null with an error set on failure.
PyObject* result_type();

// A new `CleaningResult` that takes over `text` (valid UTF-8); null with an error set.
// `source` (borrowed, may be null) is the input str to hand back as `text`: pass it only when it
// is an exact str equal to `text`.
PyObject* new_result_object(std::string&& text, std::uint64_t changes_made, const CleaningStats& stats,
                            PyObject* source = nullptr);

}  // namespace scrubix::py
