// The engine options record of a `scrubix.Options` object, read through its public getters (the
// column module is a separate extension and cannot see the object's insides).
#pragma once

#include "records/options.hpp"
#include "py_ref.hpp"

namespace scrubix::columns {

// Fills `out` from `options` (None means the defaults). Returns false with a Python error set
// when a getter is missing or returns a value no `Options` would.
bool read_options(PyObject* options, Options& out);

}  // namespace scrubix::columns
