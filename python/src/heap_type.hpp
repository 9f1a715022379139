// Plumbing shared by the three classes: creating heap types from their PyType_Spec and allocating
// and freeing their instances through the limited API.
#pragma once

#include "py_ref.hpp"

namespace scrubix::py {

// Type flags for classes that Python code can neither subclass nor change: the default flags,
// plus Py_TPFLAGS_IMMUTABLETYPE when the running interpreter knows it (3.10 and later).
unsigned int sealed_type_flags();

// Creates a type from its PyType_Spec, or returns null with an error set.
PyObject* create_type(PyType_Spec& type_spec);

// A new, zero-filled instance of `type` (a heap type of this module), or null with an error.
PyObject* alloc_instance(PyTypeObject* type);

// Frees an instance made by alloc_instance and drops its reference to the heap type.
void free_instance(PyObject* self);

}  // namespace scrubix::py
