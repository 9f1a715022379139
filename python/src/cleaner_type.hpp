// The Python class `Cleaner`: an immutable options record and the fallible engine entry.
#pragma once

#include "py_ref.hpp"

namespace scrubix::py {

// The class object (borrowed), created on first use; null with an error set on failure.
PyObject* cleaner_type();

}  // namespace scrubix::py
