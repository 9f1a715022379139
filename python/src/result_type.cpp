#include "result_type.hpp"

#include <iterator>
#include <new>
#include <utility>

#include "arg_binding.hpp"
#include "heap_type.hpp"
#include "repr_preview.hpp"
#include "result_object.hpp"

namespace scrubix::py {

namespace {

ResultObject* as_result(PyObject* obj) { return reinterpret_cast<ResultObject*>(obj); }

PyObject* g_result_type = nullptr;

PyObject* result_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "cannot create 'scrubix._scrubix.CleaningResult' instances");
    return nullptr;
}

void result_dealloc(PyObject* self) {
    ResultObject* r = as_result(self);
    r->text.~basic_string();
    Py_XDECREF(r->source);
    free_instance(self);
}

PyObject* result_get_text(PyObject* self, void*) {
    const ResultObject* r = as_result(self);
    if (r->source != nullptr) return PyRef::borrow(r->source).release();
    return text_to_py(r->text);
}

PyObject* result_get_changes_made(PyObject* self, void*) {
    return PyLong_FromUnsignedLongLong(as_result(self)->changes_made);
}

// A fresh dictionary at every read, keys in the counters' declaration order.
PyObject* result_get_stats(PyObject* self, void*) {
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [name, value] : as_result(self)->stats.entries()) {
        PyRef key(text_to_py(name));
        if (!key) return nullptr;
        PyRef count(PyLong_FromUnsignedLongLong(value));
        if (!count || PyDict_SetItem(dict.get(), key.get(), count.get()) < 0) return nullptr;
    }
    return dict.release();
}

PyObject* result_str(PyObject* self) { return result_get_text(self, nullptr); }

int result_bool(PyObject* self) { return as_result(self)->changes_made != 0; }

std::string decimal(std::uint64_t value) {
    char digits[20];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::string(std::make_reverse_iterator(digits + n), std::make_reverse_iterator(digits));
}

PyObject* result_repr(PyObject* self) {
    const ResultObject* r = as_result(self);
    std::string text = "CleaningResult(changes_made=" + decimal(r->changes_made) + ", text=" +
                       quoted_preview(r->text) + ")";
    return text_to_py(text);
}

bool is_result_object(PyObject* obj) {
    return g_result_type != nullptr && reinterpret_cast<PyObject*>(Py_TYPE(obj)) == g_result_type;
}

PyObject* result_richcompare(PyObject* self, PyObject* other, int op) {
    if (op == Py_NE) {
        // Through the full protocol, so the other operand's reflected __eq__ takes part.
        PyRef equal(PyObject_RichCompare(self, other, Py_EQ));
        if (!equal) return nullptr;
        const int truth = PyObject_IsTrue(equal.get());
        if (truth < 0) return nullptr;
        return PyBool_FromLong(!truth);
    }
    if (op != Py_EQ || !is_result_object(self) || !is_result_object(other)) Py_RETURN_NOTIMPLEMENTED;
    const ResultObject* a = as_result(self);
    const ResultObject* b = as_result(other);
    return PyBool_FromLong(a->changes_made == b->changes_made && a->stats == b->stats && a->text == b->text);
}

PyGetSetDef kGetters[] = {
    {"text", result_get_text, nullptr, "", nullptr},
    {"changes_made", result_get_changes_made, nullptr, "", nullptr},
    {"stats", result_get_stats, nullptr, "Per-operation counters as `dict[str, int]`.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr const char kResultDoc[] =
    "Result returned by `Cleaner.clean`.\n"
    "\n"
    "Attributes:\n"
    "- `text`: cleaned text output\n"
    "- `changes_made`: total number of transformations\n"
    "- `stats`: dict of per-operation counters";

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(result_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(result_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(result_repr)},
    {Py_tp_str, reinterpret_cast<void*>(result_str)},
    {Py_nb_bool, reinterpret_cast<void*>(result_bool)},
    {Py_tp_richcompare, reinterpret_cast<void*>(result_richcompare)},
    {Py_tp_getset, kGetters},
    {Py_tp_doc, const_cast<char*>(kResultDoc)},
    {0, nullptr},
};

PyType_Spec kSpec = {"scrubix._scrubix.CleaningResult", sizeof(ResultObject), 0, 0, kSlots};

}  // namespace

PyObject* result_type() {
    if (g_result_type == nullptr) g_result_type = create_type(kSpec);
    return g_result_type;
}

PyObject* new_result_object(std::string&& text, std::uint64_t changes_made, const CleaningStats& stats,
                            PyObject* source) {
    PyObject* type = result_type();
    if (type == nullptr) return nullptr;
    return new_result_of_type(reinterpret_cast<PyTypeObject*>(type), std::move(text), changes_made, stats,
                              source);
}

}  // namespace scrubix::py
