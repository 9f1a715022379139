#include "text_job.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
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
#include "result_object.hpp"

namespace scrubix::columns {

namespace {

using py::AllowThreads;
using py::PyRef;

// A batch ends after this many texts or this many bytes of UTF-8, whichever comes first.
constexpr Py_ssize_t kBatchTexts = 8192;
constexpr std::size_t kBatchBytes = std::size_t{1} << 20;

// A batch is handed out in at least this many blocks of texts, and four per thread: small
// enough that a thread which takes the last one keeps the others waiting only briefly, large
// enough that taking one costs nothing next to cleaning it.
constexpr std::int64_t kBlocksPerBatch = 32;

enum class Failure { None, Memory, Refused };

// One batch of texts. The cleaning threads read `views` and write `results` and the failure,
// never a Python object; the hand-out fields are guarded by the pool's mutex.
struct TextBatch {
    std::vector<PyRef> items;    // the texts, held while the list may change
    std::vector<PyRef> encoded;  // owners of the UTF-8 behind `views`
    std::vector<std::string_view> views;
    std::vector<CleaningResult> results;
    Py_ssize_t first_index = 0;  // the index in the caller's input of the list's first item
    PyRef result_type;           // the `CleaningResult` class
    bool finished = false;

    std::int64_t step = 1;         // texts per block
    std::int64_t blocks = 0;       // blocks in all
    std::int64_t next = 0;         // the next block to hand out; `blocks` once none is left
    std::int64_t in_progress = 0;  // blocks handed out and not yet cleaned
    Failure failure = Failure::None;
    std::string message;

    bool queued = false;           // added to the pool and not yet finished or cancelled
    bool done() const noexcept { return next == blocks && in_progress == 0; }

    // Cleans one block; runs without the interpreter lock. Returns the failure, and its
    // message in `refusal`.
    Failure clean_block(const Options& options, std::int64_t block, std::string& refusal) noexcept {
        const auto count = static_cast<std::int64_t>(views.size());
        try {
            // One set of working strings for the block; each result gets its text here, so the
            // thread that builds the results only takes them over.
            BatchCleaner cleaner(options);
            for (std::int64_t i = block * step; i < std::min(count, (block + 1) * step); ++i) {
                CleaningResult& result = results[static_cast<std::size_t>(i)];
                auto outcome = cleaner.clean_append(views[static_cast<std::size_t>(i)], result.text);
                if (auto* error = std::get_if<CleaningError>(&outcome)) {
                    refusal = error->message();
                    return Failure::Refused;
                }
                const Tally& tally = std::get<Tally>(outcome);
                result.changes_made = tally.changes_made;
                result.stats = tally.stats;
            }
        } catch (...) {
            return Failure::Memory;
        }
        return Failure::None;
    }
};

// The threads that clean the batches of one `clean_many` call, shared by its jobs. Batches
// are cleaned block by block, the oldest batch first, by `threads - 1` workers and by the
// calling thread whenever it waits for a batch: so the calling thread reads, encodes and
// builds results while the workers clean, and cleans beside them the rest of the time, and
// no more threads run than were asked for.
class CleaningPool {
public:
    CleaningPool(const Options& options, unsigned threads) : options_(options), threads_(threads) {}
    CleaningPool(const CleaningPool&) = delete;
    CleaningPool& operator=(const CleaningPool&) = delete;

    ~CleaningPool() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            stopping_ = true;
        }
        work_.notify_all();
        // The workers hold no Python object and are idle by now: each ends at once.
        for (auto& worker : workers_) worker.join();
    }

    // Queues a batch whose texts are encoded; its blocks go to the workers from now on. Workers
    // are started as the batches have blocks for them; without any the calling thread cleans
    // alone.
    void add(TextBatch& batch) {
        const auto count = static_cast<std::int64_t>(batch.views.size());
        const std::int64_t blocks = std::max<std::int64_t>(kBlocksPerBatch, 4 * std::int64_t{threads_});
        batch.step = std::max<std::int64_t>(1, (count + blocks - 1) / blocks);
        batch.blocks = (count + batch.step - 1) / batch.step;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            queue_.push_back(&batch);
            batch.queued = true;
        }
        try {
            const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(threads_, batch.blocks));
            while (workers_.size() + 1 < wanted) workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // No more threads to be had: those there are, the calling thread included, do it all.
        }
        work_.notify_all();
    }

    // Returns once `batch` is cleaned, cleaning blocks meanwhile (of later batches too, while
    // the last ones of this batch are still being cleaned elsewhere). Runs without the lock.
    void finish(TextBatch& batch) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!batch.done()) {
            if (!clean_next(lock)) done_.wait(lock);
        }
        remove(batch);
    }

    // Stops handing out the blocks of `batch` and returns once none of it is being cleaned,
    // so it can be freed. Runs without the lock.
    void cancel(TextBatch& batch) {
        std::unique_lock<std::mutex> lock(mutex_);
        batch.next = batch.blocks;
        done_.wait(lock, [&] { return batch.in_progress == 0; });
        remove(batch);
    }

private:
    void remove(TextBatch& batch) {
        queue_.erase(std::find(queue_.begin(), queue_.end(), &batch));
        batch.queued = false;
    }

    // With the mutex held: cleans the next block of the oldest batch that has one, the mutex
    // released meanwhile; false when no block is left to take.
    bool clean_next(std::unique_lock<std::mutex>& lock) {
        auto found = std::find_if(queue_.begin(), queue_.end(), [](TextBatch* b) { return b->next < b->blocks; });
        if (found == queue_.end()) return false;
        TextBatch& batch = **found;
        const std::int64_t block = batch.next++;
        ++batch.in_progress;
        lock.unlock();
        std::string refusal;
        const Failure failure = batch.clean_block(options_, block, refusal);
        lock.lock();
        --batch.in_progress;
        if (failure != Failure::None && batch.failure == Failure::None) {
            // The first failure ends the batch: its other blocks are not cleaned.
            batch.failure = failure;
            batch.message = std::move(refusal);
            batch.next = batch.blocks;
        }
        if (batch.done()) done_.notify_all();
        return true;
    }

    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            if (!clean_next(lock)) work_.wait(lock);
        }
    }

    const Options options_;
    const unsigned threads_;
    std::mutex mutex_;
    std::condition_variable work_;  // a batch was added, or the pool is stopping
    std::condition_variable done_;  // a batch was cleaned to its end
    std::deque<TextBatch*> queue_;  // batches not yet finished or cancelled, oldest first
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

// A batch and the pool that cleans it, which the jobs of one call share.
struct Job {
    std::shared_ptr<CleaningPool> pool;
    TextBatch batch;
};

struct TextJobObject {
    PyObject_HEAD
    Job* job;
};

Job*& job_of(PyObject* self) { return reinterpret_cast<TextJobObject*>(self)->job; }

PyObject* g_text_job_type = nullptr;

void text_job_dealloc(PyObject* self) {
    // A job dropped unfinished (an exception in the caller, the interpreter ending): the pool's
    // threads read memory the job owns, so they are done with it before anything is freed.
    if (Job* job = job_of(self)) {
        if (job->batch.queued) {
            AllowThreads unlocked;
            job->pool->cancel(job->batch);
        }
        delete job;
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

// Reads and encodes texts from item `start` of the list on, with the lock held, until the
// batch holds kBatchTexts texts or kBatchBytes bytes of UTF-8 (the text that reaches it is
// taken whole), and sets `end` to the index after the last one; false with the error set.
// Batches bounded in bytes keep the encoding of the first batch and the building of the last
// one's results short, the two steps the cleaning does not overlap.
bool encode_texts(PyObject* texts, Py_ssize_t start, TextBatch& batch, Py_ssize_t& end) {
    const auto most = static_cast<std::size_t>(std::clamp<Py_ssize_t>(PyList_Size(texts) - start, 0, kBatchTexts));
    batch.items.reserve(most);
    batch.encoded.reserve(most);
    batch.views.reserve(most);
    std::size_t bytes = 0;
    end = start;
    // The list may be changed by other threads while this runs: its size is read at each item,
    // and each item is held.
    while (end < PyList_Size(texts) && end - start < kBatchTexts && bytes < kBatchBytes) {
        batch.items.push_back(PyRef::borrow(PyList_GetItem(texts, end)));
        PyObject* item = batch.items.back().get();
        PyRef holder;
        std::string_view view;
        if (item == nullptr || !py::utf8_bytes(item, holder, view)) {
            if (item != nullptr) name_failed_item(item, batch.first_index + end);
            return false;
        }
        batch.encoded.push_back(std::move(holder));
        batch.views.push_back(view);
        bytes += view.size();
        ++end;
    }
    batch.results.resize(batch.views.size());
    return true;
}

// finish(): waits for the cleaning, then returns the list of CleaningResult in order, or
// raises the error the cleaning met. An unchanged text keeps its own str object.
PyObject* text_job_finish(PyObject* self, PyObject*) {
    Job* job = job_of(self);
    TextBatch* batch = &job->batch;
    if (batch->finished) {
        PyErr_SetString(PyExc_RuntimeError, "the job was already finished");
        return nullptr;
    }
    batch->finished = true;
    {
        AllowThreads unlocked;
        job->pool->finish(*batch);
    }
    if (batch->failure == Failure::Memory) return PyErr_NoMemory();
    if (batch->failure == Failure::Refused) {
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

constexpr const char kTextJobDoc[] = "A batch of texts being cleaned on native threads.";

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

PyObject* start_text_job(PyObject* texts, Py_ssize_t start, const Options& options, unsigned threads,
                         Py_ssize_t first_index, PyObject* previous, PyObject* result_type, Py_ssize_t& end) {
    PyObject* type = text_job_type();
    if (type == nullptr) return nullptr;
    if (previous != Py_None && Py_TYPE(previous) != reinterpret_cast<PyTypeObject*>(type)) {
        PyErr_SetString(PyExc_TypeError, "previous must be a TextJob or None");
        return nullptr;
    }
    auto* job = new (std::nothrow) Job;
    if (job == nullptr) return PyErr_NoMemory();
    PyRef self(py::alloc_instance(reinterpret_cast<PyTypeObject*>(type)));
    if (!self) {
        delete job;
        return nullptr;
    }
    job_of(self.get()) = job;
    TextBatch& batch = job->batch;
    batch.first_index = first_index;
    batch.result_type = PyRef::borrow(result_type);
    try {
        job->pool = previous != Py_None ? job_of(previous)->pool : std::make_shared<CleaningPool>(options, threads);
        if (!encode_texts(texts, start, batch, end)) return nullptr;
        job->pool->add(batch);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    return self.release();
}

}  // namespace scrubix::columns
