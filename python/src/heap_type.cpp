#include "heap_type.hpp"

namespace scrubix::py {

namespace {

// The running interpreter's minor version (built once against 3.9, loaded by any later 3.x).
int running_minor_version() {
    // Py_GetVersion() starts with "3.<minor>.".
    const char* version = Py_GetVersion();
    int minor = 0;
    const char* p = version;
    while (*p != '\0' && *p != '.') ++p;
    if (*p == '.') ++p;
    while (*p >= '0' && *p <= '9') minor = minor * 10 + (*p++ - '0');
    return minor;
}

}  // namespace

unsigned int sealed_type_flags() {
    constexpr unsigned int kImmutableType = 1U << 8;  // Py_TPFLAGS_IMMUTABLETYPE, 3.10+
    unsigned int flags = Py_TPFLAGS_DEFAULT;
    if (running_minor_version() >= 10) flags |= kImmutableType;
    return flags;
}

PyObject* create_type(PyType_Spec& type_spec) {
    type_spec.flags = sealed_type_flags();
    return PyType_FromSpec(&type_spec);
}

PyObject* alloc_instance(PyTypeObject* type) {
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    return alloc(type, 0);
}

void free_instance(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_fn(self);
    Py_DECREF(type);
}

}  // namespace scrubix::py
