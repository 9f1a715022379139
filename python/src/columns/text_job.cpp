#include "text_job.hpp"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "arg_binding.hpp"
#include "column_clean.hpp"
#include "heap_type.hpp"
#include "parallel_rows.hpp"
#include "result_object.hpp"

namespace scrubix::columns {

namespace {

using py::AllowThreads;
using py::PyRef;

// Everything one batch needs. The worker thread reads `views` and `options` and writes
// `results`, `failure` and `message` only: it never touches a Python object, so a job can be
// dropped at any time once its worker is joined.
struct TextBatch {
    enum class Failure { None, Memory, Refused };

    std::vector<PyRef> items;    // the texts, held while the list may change
    std::vector<PyRef> encoded;  // owners of the UTF-8 behind `views`
    std::vector<std::string_view> views;
    std::vector<CleaningResult> results;
    Options options;
    unsigned threads = 1;
    Py_ssize_t first_index = 0;
    PyRef result_type;
    Failure failure = Failure::None;
    std::string message;
    std::thread worker;
    bool finished = false;

    // Cleans every view on up to `threads` threads; runs without the interpreter lock.
    void clean() noexcept {
        const auto count = static_cast<std::int64_t>(views.size());
        const std::int64_t step = block_rows(count, threads);
        try {
            for_each_block((count + step - 1) / step, threads, [&](std::int64_t b) {
                const std::int64_t end = std::min<std::int64_t>(count, (b + 1) * step);
                // One set of working strings for the block; each result gets its text here,
                // so the thread that builds the results only takes them over.
                BatchCleaner cleaner(options);
                for (std::int64_t i = b * step; i < end; ++i) {
                    CleaningResult& result = results[i];
                    auto outcome = cleaner.clean_append(views[i], result.text);
                    if (auto* error = std::get_if<CleaningError>(&outcome)) throw EngineRefusal(error->message());
                    const Tally& tally = std::get<Tally>(outcome);
                    result.changes_made = tally.changes_made;
                    result.stats = tally.stats;
                }
            });
        } catch (const EngineRefusal& e) {
            failure = Failure::Refused;
            try {
                message = e.what();
            } catch (...) {
                failure = Failure::Memory;
            }
        } catch (...) {
            failure = Failure::Memory;
        }
    }

    // Waits for the worker with the lock released, so the worker and other Python threads
    // go on while this one waits.
    void join() {
        if (!worker.joinable()) return;
        AllowThreads unlocked;
        worker.join();
    }
};

struct TextJobObject {
    PyObject_HEAD
    TextBatch* batch;
};

TextBatch*& batch_of(PyObject* self) { return reinterpret_cast<TextJobObject*>(self)->batch; }

PyObject* g_text_job_type = nullptr;

void text_job_dealloc(PyObject* self) {
    // A job dropped unfinished (an exception in the caller, the interpreter ending): its
    // worker reads memory the job owns, so it is joined before anything is freed.
    if (TextBatch* batch = batch_of(self)) {
        batch->join();
        delete batch;
    }
    py::free_instance(self);
}

PyObject* text_job_new(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "cannot create 'scrubix._columns.TextJob' instances");
    return nullptr;
}

// Sets the error for item `index` of a clean_many input whose encoding failed: a wrong type
// gets a TypeError naming the item; a lone surrogate keeps its UnicodeEncodeError with the item
// added to the reason.
void name_failed_item(PyObject* item, Py_ssize_t index) {
    if (!PyUnicode_Check(item)) {
        PyErr_Clear();
        const std::string type = py::type_qualname(item);
        PyErr_Format(PyExc_TypeError, "item %zd of texts: '%s' object is not an instance of 'str'", index,
                     type.c_str());
        return;
    }
    if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef owned_type(type), owned_value(value), owned_traceback(traceback);
    PyRef start(PyObject_GetAttrString(value, "start"));
    PyRef end(PyObject_GetAttrString(value, "end"));
    PyRef reason(PyObject_GetAttrString(value, "reason"));
    if (!start || !end || !reason) {
        PyErr_Clear();
        PyErr_Restore(owned_type.release(), owned_value.release(), owned_traceback.release());
        return;
    }
    PyRef named(PyUnicode_FromFormat("%U (item %zd of texts)", reason.get(), index));
    if (!named) return;
    PyRef error(PyObject_CallFunction(PyExc_UnicodeEncodeError, "sOOOO", "utf-8", item, start.get(), end.get(),
                                      named.get()));
    if (error) PyErr_SetObject(PyExc_UnicodeEncodeError, error.get());
}

// Reads and encodes the texts with the lock held; false with the error set.
bool encode_texts(PyObject* texts, TextBatch& batch) {
    const Py_ssize_t count = PyList_Size(texts);
    batch.items.reserve(static_cast<std::size_t>(count));
    batch.encoded.reserve(static_cast<std::size_t>(count));
    batch.views.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        // The list may be changed by other threads while this runs: hold each item.
        batch.items.push_back(PyRef::borrow(PyList_GetItem(texts, i)));
        PyObject* item = batch.items.back().get();
        PyRef holder;
        std::string_view view;
        if (item == nullptr || !py::utf8_bytes(item, holder, view)) {
            if (item != nullptr) name_failed_item(item, batch.first_index + i);
            return false;
        }
        batch.encoded.push_back(std::move(holder));
        batch.views.push_back(view);
    }
    batch.results.resize(static_cast<std::size_t>(count));
    return true;
}

// finish(): waits for the cleaning, then returns the list of CleaningResult in order, or
// raises the error the cleaning met. An unchanged text keeps its own str object.
PyObject* text_job_finish(PyObject* self, PyObject*) {
    TextBatch* batch = batch_of(self);
    if (batch->finished) {
        PyErr_SetString(PyExc_RuntimeError, "the job was already finished");
        return nullptr;
    }
    batch->finished = true;
    batch->join();
    if (batch->failure == TextBatch::Failure::Memory) return PyErr_NoMemory();
    if (batch->failure == TextBatch::Failure::Refused) {
        PyErr_SetString(PyExc_ValueError, batch->message.c_str());
        return nullptr;
    }
    const auto count = static_cast<Py_ssize_t>(batch->views.size());
    PyRef list(PyList_New(count));
    if (!list) return nullptr;
    auto* type = reinterpret_cast<PyTypeObject*>(batch->result_type.get());
    for (Py_ssize_t i = 0; i < count; ++i) {
        CleaningResult& result = batch->results[static_cast<std::size_t>(i)];
        const std::string_view view = batch->views[static_cast<std::size_t>(i)];
        PyObject* source = py::unchanged_source(batch->items[i].get(), view, result.text);
        PyObject* object =
            py::new_result_of_type(type, std::move(result.text), result.changes_made, result.stats, source);
        if (object == nullptr) return nullptr;
        PyList_SetItem(list.get(), i, object);
        batch->encoded[i] = PyRef();
    }
    return list.release();
}

PyMethodDef kMethods[] = {
    {"finish", text_job_finish, METH_NOARGS,
     "finish($self)\n--\n\nWait for the cleaning; the list of CleaningResult in order."},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char kTextJobDoc[] = "A batch of texts being cleaned on a native thread.";

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(text_job_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(text_job_dealloc)},
    {Py_tp_methods, kMethods},
    {Py_tp_doc, const_cast<char*>(kTextJobDoc)},
    {0, nullptr},
};

PyType_Spec kSpec = {"scrubix._columns.TextJob", sizeof(TextJobObject), 0, 0, kSlots};

}  // namespace

PyObject* text_job_type() {
    if (g_text_job_type == nullptr) g_text_job_type = py::create_type(kSpec);
    return g_text_job_type;
}

PyObject* start_text_job(PyObject* texts, const Options& options, unsigned threads, Py_ssize_t first_index,
                         PyObject* result_type) {
    PyObject* type = text_job_type();
    if (type == nullptr) return nullptr;
    auto* batch = new (std::nothrow) TextBatch;
    if (batch == nullptr) return PyErr_NoMemory();
    PyRef self(py::alloc_instance(reinterpret_cast<PyTypeObject*>(type)));
    if (!self) {
        delete batch;
        return nullptr;
    }
    batch_of(self.get()) = batch;
    batch->options = options;
    batch->threads = threads;
    batch->first_index = first_index;
    batch->result_type = PyRef::borrow(result_type);
    try {
        if (!encode_texts(texts, *batch)) return nullptr;
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    // One thread means one core: the batch is cleaned here, and the job only builds results.
    // With more, a worker cleans while the caller goes on with the next batch.
    if (threads > 1) {
        try {
            batch->worker = std::thread([batch] { batch->clean(); });
            return self.release();
        } catch (const std::system_error&) {
            // No thread to be had: clean here as for one thread.
        }
    }
    {
        AllowThreads unlocked;
        batch->clean();
    }
    return self.release();
}

}  // namespace scrubix::columns
