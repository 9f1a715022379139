// The private extension module `scrubix._columns`: whole arrays and batches of texts cleaned on
// native threads with the interpreter lock released. Arrays come and go through the Arrow C
// data interface; texts come from `clean_many` and leave as `CleaningResult` objects.
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "arg_binding.hpp"
#include "column_clean.hpp"
#include "column_type.hpp"
#include "options_reader.hpp"
#include "py_ref.hpp"
#include "result_object.hpp"
#include "text_job.hpp"

namespace scrubix::columns {

namespace {

using py::AllowThreads;
using py::PyRef;

// `CleaningResult` of the package's core module, checked to have the layout this module
// was built with.
PyObject* g_result_type = nullptr;

// An array, schema or stream of the C data interface owned here: released on every way out.
// `take` moves one out of a producer's capsule, which then no longer releases it.
template <class T>
class Imported {
public:
    Imported() = default;
    Imported(const Imported&) = delete;
    Imported& operator=(const Imported&) = delete;
    ~Imported() {
        if (value_.release != nullptr) value_.release(&value_);
    }
    void take(T* from) {
        value_ = *from;
        from->release = nullptr;
    }
    T* get() { return &value_; }

private:
    T value_{};
};

using ImportedArray = Imported<ArrowArray>;
using ImportedSchema = Imported<ArrowSchema>;
using ImportedStream = Imported<ArrowArrayStream>;

std::string last_error(ImportedStream& stream) {
    ArrowArrayStream* s = stream.get();
    const char* message = s->get_last_error == nullptr ? nullptr : s->get_last_error(s);
    return message == nullptr ? "the Arrow stream failed" : message;
}

bool thread_count(PyObject* value, unsigned& out) {
    const long n = PyLong_AsLong(value);
    if (n == -1 && PyErr_Occurred()) return false;
    if (n < 1) {
        PyErr_SetString(PyExc_ValueError, "threads must be at least 1");
        return false;
    }
    out = static_cast<unsigned>(std::min<long>(n, 1024));
    return true;
}

PyObject* stats_dict(const CleaningStats& stats) {
    // The counters' names, made once and interned: every call returns a dict of them.
    static PyObject* keys[CleaningStats::kCount] = {};
    PyRef dict(PyDict_New());
    if (!dict) return nullptr;
    std::size_t k = 0;
    for (const auto& [name, value] : stats.entries()) {
        if (keys[k] == nullptr) {
            keys[k] = PyUnicode_InternFromString(std::string(name).c_str());
            if (keys[k] == nullptr) return nullptr;
        }
        PyRef count(PyLong_FromUnsignedLongLong(value));
        if (!count || PyDict_SetItem(dict.get(), keys[k++], count.get()) < 0) return nullptr;
    }
    return dict.release();
}

// Runs clean_column without the interpreter lock; on failure sets the Python error. `base_row`
// is the index of the array's first row in the whole column (for chunks and stream batches).
bool clean_unlocked(const StringColumnView& view, const Options& options, unsigned threads, bool with_stats,
                    bool large, std::int64_t base_row, CleanedColumn& out) {
    enum class Failure { None, Memory, Invalid, Refused, Other } failure = Failure::None;
    std::int64_t bad_row = 0;
    std::string message;
    {
        AllowThreads unlocked;
        try {
            out = clean_column(view, options, threads, with_stats, large);
        } catch (const InvalidRow& e) {
            failure = Failure::Invalid;
            bad_row = e.row;
        } catch (const EngineRefusal& e) {
            failure = Failure::Refused;
            message = e.what();
        } catch (const std::bad_alloc&) {
            failure = Failure::Memory;
        } catch (const std::exception& e) {
            failure = Failure::Other;
            message = e.what();
        }
    }
    switch (failure) {
        case Failure::None: return true;
        case Failure::Memory: PyErr_NoMemory(); return false;
        case Failure::Invalid:
            PyErr_Format(PyExc_ValueError, "row %lld of the array is not valid UTF-8",
                         static_cast<long long>(base_row + bad_row));
            return false;
        case Failure::Refused: PyErr_SetString(PyExc_ValueError, message.c_str()); return false;
        case Failure::Other: PyErr_SetString(PyExc_RuntimeError, message.c_str()); return false;
    }
    return false;
}

// Reads an imported array as strings (TypeError for another type, ValueError for broken
// offsets or views) and cleans it, keeping 64-bit offsets for a large_string array.
bool clean_imported(const ArrowSchema& schema, const ArrowArray& array, const Options& options, unsigned threads,
                    bool with_stats, std::int64_t base_row, CleanedColumn& out) {
    StringColumnView view;
    const std::string problem = view_string_array(schema, array, view);
    if (!problem.empty()) {
        PyErr_SetString(problem.rfind("expected", 0) == 0 ? PyExc_TypeError : PyExc_ValueError, problem.c_str());
        return false;
    }
    return clean_unlocked(view, options, threads, with_stats, view.layout() == StringLayout::Offsets64, base_row, out);
}

// The result triple (strings, stats, row changes) of one cleaned array; the last two None
// unless asked for.
PyObject* cleaned_triple(CleanedColumn& cleaned, bool with_stats) {
    PyRef strings(new_column(std::move(cleaned.strings)));
    PyRef stats(with_stats ? stats_dict(cleaned.stats) : PyRef::borrow(Py_None).release());
    if (!strings || !stats) return nullptr;
    PyRef rows = cleaned.row_changes ? PyRef(new_column(std::move(cleaned.row_changes))) : PyRef::borrow(Py_None);
    if (!rows) return nullptr;
    return PyTuple_Pack(3, strings.get(), stats.get(), rows.get());
}

// The structure in a producer's capsule, or null with an error set (a wrong capsule, or one
// already moved out by another consumer).
template <class T>
T* capsule_pointer(PyObject* capsule, const char* name) {
    auto* value = static_cast<T*>(PyCapsule_GetPointer(capsule, name));
    if (value != nullptr && value->release == nullptr) {
        PyErr_Format(PyExc_ValueError, "the Arrow data in the '%s' capsule was already consumed", name);
        return nullptr;
    }
    return value;
}

// The options record and the thread count of a call.
bool call_settings(PyObject* options_obj, PyObject* threads_obj, Options& options, unsigned& threads) {
    return read_options(options_obj, options) && thread_count(threads_obj, threads);
}

// clean_array(schema_capsule, array_capsule, options, threads, with_stats, base_row)
PyObject* clean_array(PyObject*, PyObject* args) {
    PyObject *schema_cap, *array_cap, *options_obj, *threads_obj;
    int with_stats;
    long long base_row;
    if (!PyArg_ParseTuple(args, "OOOOpL:clean_array", &schema_cap, &array_cap, &options_obj, &threads_obj,
                          &with_stats, &base_row))
        return nullptr;
    auto* schema = capsule_pointer<ArrowSchema>(schema_cap, "arrow_schema");
    auto* source = schema == nullptr ? nullptr : capsule_pointer<ArrowArray>(array_cap, "arrow_array");
    Options options;
    unsigned threads = 1;
    if (source == nullptr || !call_settings(options_obj, threads_obj, options, threads)) return nullptr;
    ImportedArray array;
    array.take(source);
    CleanedColumn cleaned;
    if (!clean_imported(*schema, *array.get(), options, threads, with_stats != 0, base_row, cleaned)) return nullptr;
    return cleaned_triple(cleaned, with_stats != 0);
}

// clean_stream(stream_capsule, options, threads, with_stats): every batch of the stream in
// turn, each released once cleaned. Returns (strings chunks, stats, row-change chunks, format),
// the stats and row changes None unless asked for.
PyObject* clean_stream(PyObject*, PyObject* args) {
    PyObject *stream_cap, *options_obj, *threads_obj;
    int with_stats;
    if (!PyArg_ParseTuple(args, "OOOp:clean_stream", &stream_cap, &options_obj, &threads_obj, &with_stats))
        return nullptr;
    auto* source = capsule_pointer<ArrowArrayStream>(stream_cap, "arrow_array_stream");
    Options options;
    unsigned threads = 1;
    if (source == nullptr || !call_settings(options_obj, threads_obj, options, threads)) return nullptr;
    ImportedStream stream;
    stream.take(source);
    ImportedSchema schema;
    if (stream.get()->get_schema(stream.get(), schema.get()) != 0) {
        PyErr_SetString(PyExc_RuntimeError, last_error(stream).c_str());
        return nullptr;
    }
    std::vector<CleanedColumn> chunks;
    CleaningStats totals;
    std::int64_t rows = 0;
    for (;;) {
        ImportedArray batch;
        ArrowArray next{};
        if (stream.get()->get_next(stream.get(), &next) != 0) {
            PyErr_SetString(PyExc_RuntimeError, last_error(stream).c_str());
            return nullptr;
        }
        if (next.release == nullptr) break;
        batch.take(&next);
        CleanedColumn cleaned;
        if (!clean_imported(*schema.get(), *batch.get(), options, threads, with_stats != 0, rows, cleaned))
            return nullptr;
        rows += batch.get()->length;
        add_stats(totals, cleaned.stats);
        chunks.push_back(std::move(cleaned));
    }
    // One stream has one type: if some chunk needed 64-bit offsets, all get them.
    const bool large = std::any_of(chunks.begin(), chunks.end(),
                                   [](const CleanedColumn& c) { return c.strings->format == "U"; });
    PyRef strings(PyList_New(0));
    PyRef counts(with_stats ? PyList_New(0) : PyRef::borrow(Py_None).release());
    if (!strings || !counts) return nullptr;
    for (auto& chunk : chunks) {
        std::shared_ptr<const OwnedArray> array = std::move(chunk.strings);
        if (large && array->format == "u") array = widen_offsets(*array);
        PyRef column(new_column(std::move(array)));
        if (!column || PyList_Append(strings.get(), column.get()) < 0) return nullptr;
        if (with_stats) {
            PyRef count(new_column(std::move(chunk.row_changes)));
            if (!count || PyList_Append(counts.get(), count.get()) < 0) return nullptr;
        }
    }
    PyRef stats(with_stats ? stats_dict(totals) : PyRef::borrow(Py_None).release());
    PyRef format(PyUnicode_FromString(large ? "U" : "u"));
    if (!stats || !format) return nullptr;
    return PyTuple_Pack(4, strings.get(), stats.get(), counts.get(), format.get());
}

// stream_of(columns, format): a stream capsule yielding the columns in order.
PyObject* stream_of(PyObject*, PyObject* args) {
    PyObject* list;
    const char* format;
    if (!PyArg_ParseTuple(args, "Os:stream_of", &list, &format)) return nullptr;
    PyRef items(PySequence_List(list));
    if (!items) return nullptr;
    std::vector<std::shared_ptr<const OwnedArray>> chunks;
    for (Py_ssize_t i = 0, n = PyList_Size(items.get()); i < n; ++i) {
        const auto* array = column_array(PyList_GetItem(items.get(), i));
        if (array == nullptr) return nullptr;
        chunks.push_back(*array);
    }
    auto* stream = new (std::nothrow) ArrowArrayStream{};
    if (stream == nullptr) return PyErr_NoMemory();
    try {
        export_stream(std::move(chunks), format, stream);
    } catch (const std::bad_alloc&) {
        delete stream;
        return PyErr_NoMemory();
    }
    return stream_capsule(stream);
}

// start_texts(texts, start, options, threads, first_index, previous): (job, end), the TextJob
// cleaning a batch of the list of str from item `start` on, and the index after the batch;
// the job's finish() returns the batch's CleaningResults in order. `previous` is the pending
// job of the same call, whose threads this one shares, or None.
PyObject* start_texts(PyObject*, PyObject* args) {
    PyObject *texts, *options_obj, *threads_obj, *previous;
    Py_ssize_t start, first_index;
    if (!PyArg_ParseTuple(args, "O!nOOnO:start_texts", &PyList_Type, &texts, &start, &options_obj, &threads_obj,
                          &first_index, &previous))
        return nullptr;
    if (start < 0) {
        PyErr_SetString(PyExc_ValueError, "start must not be negative");
        return nullptr;
    }
    Options options;
    unsigned threads = 1;
    if (!call_settings(options_obj, threads_obj, options, threads)) return nullptr;
    Py_ssize_t end = start;
    PyRef job(start_text_job(texts, start, options, threads, first_index, previous, g_result_type, end));
    if (!job) return nullptr;
    return Py_BuildValue("(On)", job.get(), end);
}

PyMethodDef kFunctions[] = {
    {"clean_array", clean_array, METH_VARARGS,
     "clean_array(schema, array, options, threads, with_stats, base_row)\n--\n\n"
     "Clean one Arrow string array given as PyCapsules; (strings, stats, row_changes), the last two\n"
     "None unless with_stats."},
    {"clean_stream", clean_stream, METH_VARARGS,
     "clean_stream(stream, options, threads, with_stats)\n--\n\n"
     "Clean an Arrow stream of string arrays batch by batch; (chunks, stats, row_changes, format),\n"
     "stats and row_changes None unless with_stats."},
    {"stream_of", stream_of, METH_VARARGS,
     "stream_of(columns, format)\n--\n\nAn Arrow stream capsule yielding the columns in order."},
    {"start_texts", start_texts, METH_VARARGS,
     "start_texts(texts, start, options, threads, first_index, previous)\n--\n\n"
     "Start cleaning a batch of a list of str from item start on, on native threads; (job, end), the\n"
     "TextJob whose finish() returns the batch's results and the index after the batch. The job\n"
     "shares the threads of previous, the pending job of the same call, or starts new ones for None."},
    {nullptr, nullptr, 0, nullptr},
};

int module_exec(PyObject* module) {
    PyRef core(PyImport_ImportModule("scrubix._scrubix"));
    if (!core) return -1;
    PyRef result_type(PyObject_GetAttrString(core.get(), "CleaningResult"));
    if (!result_type) return -1;
    PyRef size(PyObject_GetAttrString(result_type.get(), "__basicsize__"));
    if (!size) return -1;
    if (PyLong_AsSsize_t(size.get()) != static_cast<Py_ssize_t>(sizeof(py::ResultObject))) {
        PyErr_SetString(PyExc_ImportError, "scrubix._columns was built for another scrubix._scrubix");
        return -1;
    }
    if (g_result_type == nullptr) g_result_type = result_type.release();
    PyObject* column = column_type();
    if (column == nullptr) return -1;
    if (PyModule_AddObject(module, "Column", PyRef::borrow(column).release()) < 0) return -1;
    PyObject* job = text_job_type();
    if (job == nullptr) return -1;
    return PyModule_AddObject(module, "TextJob", PyRef::borrow(job).release()) == 0 ? 0 : -1;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "_columns",
    "Native batch cleaning for scrubix: Arrow string arrays and lists of texts.",
    0,
    kFunctions,
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace scrubix::columns

extern "C" PyMODINIT_FUNC PyInit__columns(void) { return PyModuleDef_Init(&scrubix::columns::kModule); }
