// The Python class `TextJob`: one batch of `clean_many` texts being cleaned on a native thread
// while the calling thread encodes the next batch and builds the results of the previous one.
#pragma once

#include "options_reader.hpp"
#include "py_ref.hpp"

namespace scrubix::columns {

// The class object (borrowed), created on first use; null with an error set on failure.
PyObject* text_job_type();

// Encodes every text of the list `texts` with the lock held (an item that is not a str, or
// does not encode, raises naming its index counted from `first_index`), then starts cleaning
// them on a native thread and returns the `TextJob` at once (with one thread, cleans them on
// this one, the lock released, before returning); null with an error set.
// `result_type` is the `CleaningResult` class the results are made of.
PyObject* start_text_job(PyObject* texts, const Options& options, unsigned threads, Py_ssize_t first_index,
                         PyObject* result_type);

}  // namespace scrubix::columns
