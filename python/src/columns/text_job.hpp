// The Python class `TextJob`: one batch of `clean_many` texts being cleaned on native threads
// while the calling thread encodes the next batch and builds the results of the previous one.
#pragma once

#include "options_reader.hpp"
#include "py_ref.hpp"

namespace scrubix::columns {

// The class object (borrowed), created on first use; null with an error set on failure.
PyObject* text_job_type();

// Encodes a batch of the texts of the list `texts` from item `start` on (at most a few
// thousand texts or about a MiB of UTF-8) with the lock held, and sets `end` to the index
// after the batch's last text. An item that is not a str, or does not encode, raises naming its
// index counted from `first_index`, the index of the list's first item in the caller's input.
// Then hands the batch to the threads that clean and returns the `TextJob` at once; its
// finish() cleans beside them until the batch is done. `previous` is the job of the same call's
// previous batch, whose threads (and options) this one shares, or None to start `threads`
// threads, the calling thread counted, for `options`. `result_type` is the `CleaningResult`
// class the results are made of. Null with an error set.
PyObject* start_text_job(PyObject* texts, Py_ssize_t start, const Options& options, unsigned threads,
                         Py_ssize_t first_index, PyObject* previous, PyObject* result_type, Py_ssize_t& end);

}  // namespace scrubix::columns
