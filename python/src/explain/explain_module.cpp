// The private extension module `scrubix._explain`: the change report for `scrubix.explain`.
// It reads the options from their settings dict (what pickling an Options gives), so it needs
// nothing of the other module's types.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "arg_binding.hpp"
#include "explain/change_report.hpp"
#include "explain/position_walk.hpp"
#include "explain/short_text_cache.hpp"
#include "options_settings.hpp"
#include "py_ref.hpp"

namespace scrubix::py {

namespace {

constexpr Py_ssize_t kChangeFields = 8;

// Whether `type` can hold a change: a tuple subclass defined in Python (a heap type, whose
// allocator the limited API hands out) whose instances have no attribute dict, so that a
// change holds its eight fields and nothing else.
bool is_change_type(PyObject* type) {
    if (PyType_Check(type) && PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(type), &PyTuple_Type) &&
        (PyType_GetFlags(reinterpret_cast<PyTypeObject*>(type)) & Py_TPFLAGS_HEAPTYPE)) {
        PyRef dict_offset(PyObject_GetAttrString(type, "__dictoffset__"));
        if (!dict_offset) return false;
        const long offset = PyLong_AsLong(dict_offset.get());
        if (offset == -1 && PyErr_Occurred()) return false;
        if (offset == 0) return true;
    }
    PyErr_SetString(PyExc_TypeError, "the change type must be a tuple subclass defined in Python, with __slots__ = ()");
    return false;
}

// Builds the change objects: instances of the caller's tuple subclass, allocated at their size
// and filled in place, with the texts that repeat (a quote, a dash, the empty replacement)
// and the counter names shared.
class ChangeBuilder {
public:
    ChangeBuilder(PyTypeObject* type, std::string_view input, const ExplainedResult& explained, PyObject** names)
        : type_(type),
          alloc_(reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc))),
          input_(input),
          explained_(explained),
          names_(names),
          walk_(input) {}

    PyObject* list() {
        PyRef list(PyList_New(static_cast<Py_ssize_t>(explained_.change_count())));
        if (!list) return nullptr;
        Py_ssize_t i = 0;
        bool failed = false;
        explained_.for_each_change([&](const ReportedChange& change) {
            PyObject* item = failed ? nullptr : build(change);
            if (item == nullptr) {
                failed = true;
                return;
            }
            PyList_SetItem(list.get(), i++, item);
        });
        return failed ? nullptr : list.release();
    }

private:
    PyObject* build(const ReportedChange& change) {
        walk_.advance_to(change.start);
        const std::size_t start = walk_.index(), line = walk_.line(), column = walk_.column();
        walk_.advance_to(change.end);
        PyRef item(alloc_(type_, kChangeFields));
        if (!item) return nullptr;
        // Ints and strs make no reference cycle: the collector need not watch the change, nor
        // walk the thousands of them a report may hold.
        PyObject_GC_UnTrack(item.get());
        PyObject* fields[kChangeFields] = {
            PyLong_FromSize_t(start),
            PyLong_FromSize_t(walk_.index()),
            texts_.get(input_.substr(change.start, change.end - change.start)),
            texts_.get(explained_.replacement(change)),
            names_[change.counter],
            PyLong_FromUnsignedLongLong(change.count),
            line_number(line),
            PyLong_FromSize_t(column),
        };
        Py_INCREF(fields[4]);
        bool complete = true;
        for (Py_ssize_t k = 0; k < kChangeFields; ++k) {
            // Steals the field, or drops it when the item cannot take it.
            if (fields[k] == nullptr || PyTuple_SetItem(item.get(), k, fields[k]) != 0) complete = false;
        }
        return complete ? item.release() : nullptr;
    }

    // The changes on one line share its number.
    PyObject* line_number(std::size_t line) {
        if (!line_ || line != line_value_) {
            line_ = PyRef(PyLong_FromSize_t(line));
            if (!line_) return nullptr;
            line_value_ = line;
        }
        Py_INCREF(line_.get());
        return line_.get();
    }

    PyTypeObject* type_;
    allocfunc alloc_;
    std::string_view input_;
    const ExplainedResult& explained_;
    PyObject** names_;
    PositionWalk walk_;
    ShortTextCache texts_;
    PyRef line_;
    std::size_t line_value_ = 0;
};

// (cleaned text, {counter: amount}, [change, ...]) with each change an instance of
// `change_type`: (start, end, original, replacement, counter, count, line, column).
PyObject* report_to_py(std::string_view text, const ExplainedResult& explained, PyObject* change_type) {
    const auto entries = explained.result.stats.entries();
    PyRef names[CleaningStats::kCount];
    PyObject* borrowed[CleaningStats::kCount];
    PyRef stats(PyDict_New());
    if (!stats) return nullptr;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        names[k] = PyRef(text_to_py(entries[k].first));
        PyRef amount(PyLong_FromUnsignedLongLong(entries[k].second));
        if (!names[k] || !amount || PyDict_SetItem(stats.get(), names[k].get(), amount.get()) != 0) return nullptr;
        borrowed[k] = names[k].get();
    }
    ChangeBuilder builder(reinterpret_cast<PyTypeObject*>(change_type), text, explained, borrowed);
    PyRef changes(builder.list());
    if (!changes) return nullptr;
    PyRef cleaned(text_to_py(explained.result.text));
    if (!cleaned) return nullptr;
    return PyTuple_Pack(3, cleaned.get(), stats.get(), changes.get());
}

PyObject* module_explain(PyObject*, PyObject* args) {
    PyObject* text_arg = nullptr;
    PyObject* settings = nullptr;
    PyObject* change_type = nullptr;
    if (!PyArg_ParseTuple(args, "OO!O:explain", &text_arg, &PyDict_Type, &settings, &change_type)) return nullptr;
    if (!is_change_type(change_type)) return nullptr;
    Options options;
    if (!apply_settings(options, settings)) return nullptr;
    PyRef utf8;
    std::string_view text;
    if (!text_argument(text_arg, "text", utf8, text)) return nullptr;
    ExplainedResult explained;
    bool out_of_memory = false;
    std::string failure;
    Py_BEGIN_ALLOW_THREADS
    try {
        explained = explain(text, options);
    } catch (const std::bad_alloc&) {
        out_of_memory = true;
    } catch (const std::exception& error) {
        failure = error.what();
        if (failure.empty()) failure = "engine failure";
    }
    Py_END_ALLOW_THREADS
    if (out_of_memory) return PyErr_NoMemory();
    if (!failure.empty()) {
        PyErr_SetString(PyExc_RuntimeError, failure.c_str());
        return nullptr;
    }
    return report_to_py(text, explained, change_type);
}

PyMethodDef kMethods[] = {
    {"explain", module_explain, METH_VARARGS,
     "explain(text, settings, change_type)\n--\n\n"
     "Clean `text` under the options whose settings dict is given and report every change:\n"
     "(cleaned text, {counter: amount}, [change_type((start, end, original, replacement,\n"
     "counter, count, line, column))]). Use `scrubix.explain`."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "scrubix._explain", "The change report behind scrubix.explain (private).", 0, kMethods,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace scrubix::py

PyMODINIT_FUNC PyInit__explain(void) { return PyModule_Create(&scrubix::py::kModule); }
