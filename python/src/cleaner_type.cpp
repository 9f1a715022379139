#include "cleaner_type.hpp"

#include <string>
#include <utility>

#include "arg_binding.hpp"
#include "engine_call.hpp"
#include "heap_type.hpp"
#include "options_type.hpp"
#include "result_type.hpp"

namespace scrubix::py {

namespace {

struct CleanerObject {
    PyObject_HEAD
    Options record;  // the instance's own copy; never changes
};

CleanerObject* as_cleaner(PyObject* obj) { return reinterpret_cast<CleanerObject*>(obj); }

PyObject* g_cleaner_type = nullptr;

PyObject* cleaner_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static constexpr const char* kNames[] = {"options"};
    static constexpr Signature kSignature{"Cleaner.__new__()", kNames, 1, 0};
    PyObject* options = nullptr;
    if (!bind_arguments(kSignature, args, kwargs, &options)) return nullptr;

    Options record;
    if (options != nullptr && options != Py_None) {
        if (!is_options_object(options)) {
            raise_not_instance(options, "Options");
            prefix_argument_error("options");
            return nullptr;
        }
        if (!read_options_record(options, record)) return nullptr;
    }
    PyObject* self = alloc_instance(type);
    if (self == nullptr) return nullptr;
    as_cleaner(self)->record = record;
    return self;
}

void cleaner_dealloc(PyObject* self) { free_instance(self); }

PyObject* cleaner_clean(PyObject* self, PyObject* args, PyObject* kwargs) {
    static constexpr const char* kNames[] = {"text"};
    static constexpr Signature kSignature{"Cleaner.clean()", kNames, 1, 1};
    PyObject* text_arg = nullptr;
    if (!bind_arguments(kSignature, args, kwargs, &text_arg)) return nullptr;
    PyRef utf8;
    std::string_view text;
    if (!text_argument(text_arg, "text", utf8, text)) return nullptr;

    const Options options = as_cleaner(self)->record;
    EngineOutcome outcome = run_try_clean(text, options);
    if (!outcome.ok) return nullptr;
    if (const auto* error = std::get_if<CleaningError>(&outcome.value)) {
        const std::string message = error->message();
        PyErr_SetString(PyExc_ValueError, message.c_str());
        return nullptr;
    }
    auto* result = std::get_if<CleaningResult>(&outcome.value);
    // On the engine's fast paths the cleaned text is the input itself: the result keeps a copy.
    std::string cleaned = result->unchanged ? std::string(text) : std::move(result->text);
    PyObject* source = unchanged_source(text_arg, text, cleaned);
    return new_result_object(std::move(cleaned), result->changes_made, result->stats, source);
}

PyObject* cleaner_repr(PyObject* self) {
    const Options& r = as_cleaner(self)->record;
    std::string text = std::string("Cleaner(keyboard_only=") + (r.keyboard_only ? "true" : "false") +
                       ", emoji_policy='" + to_string(r.emoji_policy) + "')";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* cleaner_reduce(PyObject* self, PyObject*) {
    PyRef options(new_options_object(as_cleaner(self)->record));
    if (!options) return nullptr;
    PyRef args(PyTuple_Pack(1, options.get()));
    if (!args) return nullptr;
    return PyTuple_Pack(2, reinterpret_cast<PyObject*>(Py_TYPE(self)), args.get());
}

PyMethodDef kMethods[] = {
    {"clean", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(cleaner_clean)),
     METH_VARARGS | METH_KEYWORDS,
     "clean($self, text)\n--\n\n"
     "Clean input text and return a `CleaningResult`.\n"
     "\n"
     "The GIL is released while the cleaning pipeline runs. Raises `ValueError`\n"
     "if requested normalization is unavailable in the current build configuration."},
    {"__reduce__", cleaner_reduce, METH_NOARGS,
     "__reduce__($self)\n--\n\nPickle support: reconstruct as `Cleaner(options)`."},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char kCleanerDoc[] =
    "Cleaner(options=None)\n--\n\n"
    "Reusable text cleaner.\n"
    "\n"
    "Construct once and call `clean` repeatedly.";

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(cleaner_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(cleaner_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(cleaner_repr)},
    {Py_tp_methods, kMethods},
    {Py_tp_doc, const_cast<char*>(kCleanerDoc)},
    {0, nullptr},
};

PyType_Spec kSpec = {"scrubix._scrubix.Cleaner", sizeof(CleanerObject), 0, 0, kSlots};

}  // namespace

PyObject* cleaner_type() {
    if (g_cleaner_type == nullptr) g_cleaner_type = create_type(kSpec);
    return g_cleaner_type;
}

}  // namespace scrubix::py
