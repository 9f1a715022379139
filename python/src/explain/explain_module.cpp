// The private extension module `scrubix._explain`: the change report for `scrubix.explain`.
// It reads the options from their settings dict (what pickling an Options gives), so it needs
// nothing of the other module's types.
#include <cstddef>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "arg_binding.hpp"
#include "explain/change_report.hpp"
#include "options_settings.hpp"
#include "py_ref.hpp"

namespace scrubix::py {

namespace {

PyObject* str_of(std::string_view bytes) {
    return PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "strict");
}

// Walks the input once, in step with the changes' offsets (which never go back): the str
// index of each byte offset, and the 1-based line and column of a change's start. LF, CR LF
// and a lone CR end a line.
class PositionWalk {
public:
    explicit PositionWalk(std::string_view text) noexcept : text_(text) {}

    void advance_to(std::size_t offset) noexcept {
        for (; byte_ < offset; ++byte_) {
            const auto b = static_cast<unsigned char>(text_[byte_]);
            if ((b & 0xC0) == 0x80) continue;
            ++index_;
            if (b == '\n' || (b == '\r' && (byte_ + 1 == text_.size() || text_[byte_ + 1] != '\n'))) {
                ++line_;
                line_start_ = index_;
            }
        }
    }
    std::size_t index() const noexcept { return index_; }
    std::size_t line() const noexcept { return line_; }
    std::size_t column() const noexcept { return index_ - line_start_ + 1; }

private:
    std::string_view text_;
    std::size_t byte_ = 0;
    std::size_t index_ = 0;
    std::size_t line_ = 1;
    std::size_t line_start_ = 0;
};

PyObject* change_tuple(std::string_view text, const ReportedChange& change, PositionWalk& walk, PyObject* counter) {
    walk.advance_to(change.start);
    const std::size_t start = walk.index(), line = walk.line(), column = walk.column();
    walk.advance_to(change.end);
    PyRef original(str_of(text.substr(change.start, change.end - change.start)));
    PyRef replacement(str_of(change.replacement));
    if (!original || !replacement) return nullptr;
    return Py_BuildValue("(nnOOOKnn)", static_cast<Py_ssize_t>(start), static_cast<Py_ssize_t>(walk.index()),
                         original.get(), replacement.get(), counter, static_cast<unsigned long long>(change.count),
                         static_cast<Py_ssize_t>(line), static_cast<Py_ssize_t>(column));
}

// (cleaned text, [(counter, amount), ...], [(start, end, original, replacement, counter,
// count, line, column), ...])
PyObject* report_to_py(std::string_view text, const ExplainedResult& explained) {
    const auto entries = explained.result.stats.entries();
    PyRef names[CleaningStats::kCount];
    PyRef stats(PyList_New(static_cast<Py_ssize_t>(entries.size())));
    if (!stats) return nullptr;
    for (std::size_t k = 0; k < entries.size(); ++k) {
        names[k] = PyRef(PyUnicode_FromStringAndSize(entries[k].first.data(), static_cast<Py_ssize_t>(entries[k].first.size())));
        if (!names[k]) return nullptr;
        PyObject* pair = Py_BuildValue("(OK)", names[k].get(), static_cast<unsigned long long>(entries[k].second));
        if (pair == nullptr) return nullptr;
        PyList_SetItem(stats.get(), static_cast<Py_ssize_t>(k), pair);
    }
    PyRef changes(PyList_New(static_cast<Py_ssize_t>(explained.changes.size())));
    if (!changes) return nullptr;
    PositionWalk walk(text);
    for (std::size_t i = 0; i < explained.changes.size(); ++i) {
        const ReportedChange& change = explained.changes[i];
        PyObject* item = change_tuple(text, change, walk, names[change.counter].get());
        if (item == nullptr) return nullptr;
        PyList_SetItem(changes.get(), static_cast<Py_ssize_t>(i), item);
    }
    PyRef cleaned(str_of(explained.result.text));
    if (!cleaned) return nullptr;
    return PyTuple_Pack(3, cleaned.get(), stats.get(), changes.get());
}

PyObject* module_explain(PyObject*, PyObject* args) {
    PyObject* text_arg = nullptr;
    PyObject* settings = nullptr;
    if (!PyArg_ParseTuple(args, "OO!:explain", &text_arg, &PyDict_Type, &settings)) return nullptr;
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
    return report_to_py(text, explained);
}

PyMethodDef kMethods[] = {
    {"explain", module_explain, METH_VARARGS,
     "explain(text, settings)\n--\n\n"
     "Clean `text` under the options whose settings dict is given and report every change:\n"
     "(cleaned text, [(counter, amount)], [(start, end, original, replacement, counter, count,\n"
     "line, column)]). Use `scrubix.explain`."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "scrubix._explain", "The change report behind scrubix.explain (private).", 0, kMethods,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace scrubix::py

PyMODINIT_FUNC PyInit__explain(void) { return PyModule_Create(&scrubix::py::kModule); }
