// The Python class `Options`: one engine options record behind a borrow state.
#pragma once

#include "records/options.hpp"
#include "py_ref.hpp"

namespace scrubix::py {

// The class object (borrowed), created on first use; null with an error set on failure.
PyObject* options_type();

// A new `Options` object holding a copy of `record`; null with an error set.
PyObject* new_options_object(const Options& record);

// Whether `obj` is an `Options` object (the class has no subclasses).
bool is_options_object(PyObject* obj);

// Copies the record out of an `Options` object under a read borrow. Returns false with
// RuntimeError "Already mutably borrowed" while the object is inside its own __setstate__.
bool read_options_record(PyObject* obj, Options& out);

}  // namespace scrubix::py
