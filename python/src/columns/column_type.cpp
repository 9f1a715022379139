#include "column_type.hpp"

#include <new>
#include <utility>

#include "heap_type.hpp"

namespace scrubix::columns {

namespace {

using py::PyRef;

struct ColumnObject {
    PyObject_HEAD
    std::shared_ptr<const OwnedArray> array;
};

ColumnObject* as_column(PyObject* obj) { return reinterpret_cast<ColumnObject*>(obj); }

PyObject* g_column_type = nullptr;

template <class T>
void destroy_capsule(PyObject* capsule, const char* name) {
    auto* value = static_cast<T*>(PyCapsule_GetPointer(capsule, name));
    if (value == nullptr) {
        PyErr_Clear();
        return;
    }
    if (value->release != nullptr) value->release(value);
    delete value;
}

void destroy_schema(PyObject* capsule) { destroy_capsule<ArrowSchema>(capsule, "arrow_schema"); }
void destroy_array(PyObject* capsule) { destroy_capsule<ArrowArray>(capsule, "arrow_array"); }
void destroy_stream(PyObject* capsule) { destroy_capsule<ArrowArrayStream>(capsule, "arrow_array_stream"); }

template <class T>
PyObject* make_capsule(T* value, const char* name, PyCapsule_Destructor destroy) {
    PyObject* capsule = PyCapsule_New(value, name, destroy);
    if (capsule == nullptr) {
        if (value->release != nullptr) value->release(value);
        delete value;
    }
    return capsule;
}

void column_dealloc(PyObject* self) {
    as_column(self)->array.~shared_ptr();
    py::free_instance(self);
}

PyObject* column_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "cannot create 'scrubix._columns.Column' instances");
    return nullptr;
}

// __arrow_c_array__(requested_schema=None): the array in a new pair of capsules. A requested
// schema is a hint the protocol lets a producer ignore; the caller casts if it must.
PyObject* column_arrow_c_array(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* kNames[] = {"requested_schema", nullptr};
    PyObject* requested = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O:__arrow_c_array__", const_cast<char**>(kNames),
                                     &requested))
        return nullptr;
    const auto& array = as_column(self)->array;
    auto* schema = new (std::nothrow) ArrowSchema{};
    auto* exported = new (std::nothrow) ArrowArray{};
    if (schema == nullptr || exported == nullptr) {
        delete schema;
        delete exported;
        return PyErr_NoMemory();
    }
    try {
        export_schema(array->format, schema);
        export_array(array, exported);
    } catch (const std::bad_alloc&) {
        if (schema->release != nullptr) schema->release(schema);
        delete schema;
        delete exported;
        return PyErr_NoMemory();
    }
    PyRef schema_cap(schema_capsule(schema));
    if (!schema_cap) {
        if (exported->release != nullptr) exported->release(exported);
        delete exported;
        return nullptr;
    }
    PyRef array_cap(array_capsule(exported));
    if (!array_cap) return nullptr;
    return PyTuple_Pack(2, schema_cap.get(), array_cap.get());
}

Py_ssize_t column_len(PyObject* self) { return static_cast<Py_ssize_t>(as_column(self)->array->length); }

PyObject* column_repr(PyObject* self) {
    const auto& array = as_column(self)->array;
    return PyUnicode_FromFormat("<scrubix Column of %zd rows, Arrow format '%s'>",
                                static_cast<Py_ssize_t>(array->length), array->format.c_str());
}

PyObject* column_get_format(PyObject* self, void*) {
    return PyUnicode_FromString(as_column(self)->array->format.c_str());
}

PyObject* column_get_null_count(PyObject* self, void*) {
    return PyLong_FromLongLong(as_column(self)->array->null_count);
}

PyMethodDef kMethods[] = {
    {"__arrow_c_array__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(column_arrow_c_array)),
     METH_VARARGS | METH_KEYWORDS,
     "__arrow_c_array__($self, requested_schema=None)\n--\n\n"
     "The array as a pair of (schema, array) capsules of the Arrow PyCapsule protocol."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kGetters[] = {
    {"format", column_get_format, nullptr, "The Arrow format string: 'u', 'U' or 'L'.", nullptr},
    {"null_count", column_get_null_count, nullptr, "The number of null rows.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char kColumnDoc[] =
    "An array made by scrubix, readable by any Arrow library through `__arrow_c_array__`.";

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(column_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(column_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(column_repr)},
    {Py_sq_length, reinterpret_cast<void*>(column_len)},
    {Py_tp_methods, kMethods},
    {Py_tp_getset, kGetters},
    {Py_tp_doc, const_cast<char*>(kColumnDoc)},
    {0, nullptr},
};

PyType_Spec kSpec = {"scrubix._columns.Column", sizeof(ColumnObject), 0, 0, kSlots};

}  // namespace

PyObject* column_type() {
    if (g_column_type == nullptr) g_column_type = py::create_type(kSpec);
    return g_column_type;
}

PyObject* new_column(std::shared_ptr<const OwnedArray> array) {
    PyObject* type = column_type();
    if (type == nullptr) return nullptr;
    PyObject* self = py::alloc_instance(reinterpret_cast<PyTypeObject*>(type));
    if (self == nullptr) return nullptr;
    new (&as_column(self)->array) std::shared_ptr<const OwnedArray>(std::move(array));
    return self;
}

const std::shared_ptr<const OwnedArray>* column_array(PyObject* obj) {
    if (g_column_type == nullptr || reinterpret_cast<PyObject*>(Py_TYPE(obj)) != g_column_type) {
        PyErr_SetString(PyExc_TypeError, "expected a scrubix Column");
        return nullptr;
    }
    return &as_column(obj)->array;
}

PyObject* schema_capsule(ArrowSchema* value) { return make_capsule(value, "arrow_schema", destroy_schema); }
PyObject* array_capsule(ArrowArray* value) { return make_capsule(value, "arrow_array", destroy_array); }
PyObject* stream_capsule(ArrowArrayStream* value) {
    return make_capsule(value, "arrow_array_stream", destroy_stream);
}

}  // namespace scrubix::columns
