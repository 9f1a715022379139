// The Python class `Column`: an array the column module made, handed to any Arrow library
// through `__arrow_c_array__`.
#pragma once

#include <memory>

#include "owned_array.hpp"
#include "py_ref.hpp"

namespace scrubix::columns {

// The class object (borrowed), created on first use; null with an error set on failure.
PyObject* column_type();

// A new `Column` sharing `array`; null with an error set.
PyObject* new_column(std::shared_ptr<const OwnedArray> array);

// The array of a `Column` object, or null (with TypeError set) for any other object.
const std::shared_ptr<const OwnedArray>* column_array(PyObject* obj);

// A capsule named as the Arrow PyCapsule protocol names it, owning `value` (released and
// freed by the capsule unless a consumer moved it out). Takes over `value`.
PyObject* schema_capsule(ArrowSchema* value);
PyObject* array_capsule(ArrowArray* value);
PyObject* stream_capsule(ArrowArrayStream* value);

}  // namespace scrubix::columns
