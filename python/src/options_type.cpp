#include "options_type.hpp"

#include <cstddef>
#include <string>

#include "arg_binding.hpp"
#include "heap_type.hpp"
#include "options_settings.hpp"

namespace scrubix::py {

namespace {

// ---- The object and its borrow state -------------------------------------------------------

struct OptionsObject {
    PyObject_HEAD
    Options record;
    // Number of read borrows held, or kWriteBorrowed while __setstate__ runs.
    Py_ssize_t borrows;
};

constexpr Py_ssize_t kWriteBorrowed = -1;

OptionsObject* as_options(PyObject* obj) { return reinterpret_cast<OptionsObject*>(obj); }

// A read borrow for the guard's lifetime. When the object is being written, `held()` is false
// and, if asked to, RuntimeError "Already mutably borrowed" is set.
class ReadBorrow {
public:
    ReadBorrow(PyObject* obj, bool raise = true) : obj_(as_options(obj)) {
        if (obj_->borrows == kWriteBorrowed) {
            if (raise) PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
            obj_ = nullptr;
        } else {
            ++obj_->borrows;
        }
    }
    ReadBorrow(const ReadBorrow&) = delete;
    ReadBorrow& operator=(const ReadBorrow&) = delete;
    ~ReadBorrow() {
        if (obj_ != nullptr) --obj_->borrows;
    }
    bool held() const { return obj_ != nullptr; }
    const Options& record() const { return obj_->record; }

private:
    OptionsObject* obj_;
};

// The write borrow; fails with RuntimeError "Already borrowed" when any borrow is held.
class WriteBorrow {
public:
    explicit WriteBorrow(PyObject* obj) : obj_(as_options(obj)) {
        if (obj_->borrows != 0) {
            PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
            obj_ = nullptr;
        } else {
            obj_->borrows = kWriteBorrowed;
        }
    }
    WriteBorrow(const WriteBorrow&) = delete;
    WriteBorrow& operator=(const WriteBorrow&) = delete;
    ~WriteBorrow() {
        if (obj_ != nullptr) obj_->borrows = 0;
    }
    bool held() const { return obj_ != nullptr; }
    Options& record() { return obj_->record; }

private:
    OptionsObject* obj_;
};

PyObject* g_options_type = nullptr;

// ---- Constructor, getters, repr, comparison ------------------------------------------------

PyObject* options_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSignature{"Options.__new__()", kSettingNames, kSettingCount, 0};
    PyObject* values[kSettingCount];
    if (!bind_arguments(kSignature, args, kwargs, values)) return nullptr;

    Options record;
    if (!read_arguments(values, record)) return nullptr;

    PyObject* self = alloc_instance(type);
    if (self == nullptr) return nullptr;
    as_options(self)->record = record;
    as_options(self)->borrows = 0;
    return self;
}

void options_dealloc(PyObject* self) { free_instance(self); }

PyObject* options_get(PyObject* self, void* closure) {
    ReadBorrow borrow(self);
    if (!borrow.held()) return nullptr;
    return setting_value(borrow.record(), reinterpret_cast<std::size_t>(closure));
}

PyObject* options_repr(PyObject* self) {
    ReadBorrow borrow(self);
    if (!borrow.held()) return nullptr;
    return text_to_py(options_repr_text(borrow.record()));
}

PyObject* not_implemented() { Py_RETURN_NOTIMPLEMENTED; }

PyObject* options_richcompare(PyObject* self, PyObject* other, int op) {
    if (op == Py_NE) {
        // Through the full protocol, so the other operand's reflected __eq__ takes part.
        PyRef equal(PyObject_RichCompare(self, other, Py_EQ));
        if (!equal) return nullptr;
        const int truth = PyObject_IsTrue(equal.get());
        if (truth < 0) return nullptr;
        return PyBool_FromLong(!truth);
    }
    if (op != Py_EQ || !is_options_object(self) || !is_options_object(other)) return not_implemented();
    ReadBorrow left(self, false);
    ReadBorrow right(other, false);
    if (!left.held() || !right.held()) return not_implemented();
    return PyBool_FromLong(left.record() == right.record());
}

// ---- Methods -------------------------------------------------------------------------------

PyObject* options_replace(PyObject* self, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSignature{"Options.replace()", nullptr, 0, 0, true};
    if (!bind_arguments(kSignature, args, kwargs, nullptr)) return nullptr;
    ReadBorrow borrow(self);
    if (!borrow.held()) return nullptr;
    Options record = borrow.record();
    if (kwargs != nullptr && !apply_settings(record, kwargs)) return nullptr;
    return new_options_object(record);
}

PyObject* options_reduce(PyObject* self, PyObject*) {
    Options record;
    {
        ReadBorrow borrow(self);
        if (!borrow.held()) return nullptr;
        record = borrow.record();
    }
    PyRef state(settings_dict(record));
    if (!state) return nullptr;
    PyRef no_args(PyTuple_New(0));
    if (!no_args) return nullptr;
    return PyTuple_Pack(3, reinterpret_cast<PyObject*>(Py_TYPE(self)), no_args.get(), state.get());
}

PyObject* options_setstate(PyObject* self, PyObject* args, PyObject* kwargs) {
    static constexpr const char* kNames[] = {"state"};
    static constexpr Signature kSignature{"Options.__setstate__()", kNames, 1, 1};
    PyObject* state = nullptr;
    if (!bind_arguments(kSignature, args, kwargs, &state)) return nullptr;
    WriteBorrow borrow(self);
    if (!borrow.held()) return nullptr;
    if (!PyDict_Check(state)) {
        raise_not_instance(state, "dict");
        prefix_argument_error("state");
        return nullptr;
    }
    Options record;  // the default, not the current record
    if (!apply_settings(record, state)) return nullptr;
    borrow.record() = record;
    Py_RETURN_NONE;
}

template <Options (*Preset)() noexcept>
PyObject* options_preset(PyObject*, PyObject*) {
    return new_options_object(Preset());
}

// ---- The type ------------------------------------------------------------------------------

PyGetSetDef kGetters[] = {
#define SCRUBIX_SETTING_GETTER(name, member, Type, value) \
    {#name, options_get, nullptr, "", reinterpret_cast<void*>(setting::name)},
    SCRUBIX_OPTIONS(SCRUBIX_SETTING_GETTER)
#undef SCRUBIX_SETTING_GETTER
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kMethods[] = {
    {"replace", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(options_replace)),
     METH_VARARGS | METH_KEYWORDS,
     "replace($self, **kwargs)\n--\n\n"
     "Return a copy of these options with the named fields replaced.\n"
     "\n"
     "Accepts the same keyword arguments as the constructor; unnamed fields\n"
     "keep their current values. Use this to derive from a preset, for\n"
     "example `Options.code_safe_preset().replace(normalize_other=True)`."},
    {"minimal_preset", options_preset<minimal_preset>, METH_NOARGS | METH_STATIC,
     "minimal_preset()\n--\n\nMinimal preset: removes hidden characters only."},
    {"balanced_preset", options_preset<balanced_preset>, METH_NOARGS | METH_STATIC,
     "balanced_preset()\n--\n\nBalanced preset for typical human-authored text."},
    {"humanize_preset", options_preset<humanize_preset>, METH_NOARGS | METH_STATIC,
     "humanize_preset()\n--\n\nHumanize preset for AI-generated text normalization."},
    {"aggressive_preset", options_preset<aggressive_preset>, METH_NOARGS | METH_STATIC,
     "aggressive_preset()\n--\n\nAggressive preset: maximum cleanup, keyboard-only output."},
    {"code_safe_preset", options_preset<code_safe_preset>, METH_NOARGS | METH_STATIC,
     "code_safe_preset()\n--\n\n"
     "Code-safe preset for docs/source text.\n"
     "\n"
     "Keeps emoji, non-ASCII characters, and ellipsis-like punctuation,\n"
     "while normalizing typographic quotes and dashes to ASCII."},
    {"__reduce__", options_reduce, METH_NOARGS,
     "__reduce__($self)\n--\n\nPickle support: reconstruct via `Options()` + `__setstate__`."},
    {"__setstate__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(options_setstate)),
     METH_VARARGS | METH_KEYWORDS, "__setstate__($self, state)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

// The signature line is written from the declared settings and their defaults.
constexpr auto kOptionsDoc = [] {
    constexpr const char* kBody =
        "\n--\n\n"
        "Cleaning options used by `Cleaner`.\n"
        "\n"
        "Most callers should start with a preset and derive from it with\n"
        "`replace`, for example `Options.code_safe_preset().replace(keep_emoji=True)`.";
    ConstantText<1024> doc;
    append_signature_line(doc);
    doc.append(kBody);
    return doc;
}();

PyType_Slot kSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(options_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(options_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(options_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(options_richcompare)},
    {Py_tp_getset, kGetters},
    {Py_tp_methods, kMethods},
    {Py_tp_doc, const_cast<char*>(kOptionsDoc.text)},
    {0, nullptr},
};

PyType_Spec kSpec = {"scrubix._scrubix.Options", sizeof(OptionsObject), 0, 0, kSlots};

}  // namespace

PyObject* options_type() {
    if (g_options_type == nullptr) g_options_type = create_type(kSpec);
    return g_options_type;
}

bool is_options_object(PyObject* obj) {
    return g_options_type != nullptr && reinterpret_cast<PyObject*>(Py_TYPE(obj)) == g_options_type;
}

PyObject* new_options_object(const Options& record) {
    PyObject* type = options_type();
    if (type == nullptr) return nullptr;
    PyObject* self = alloc_instance(reinterpret_cast<PyTypeObject*>(type));
    if (self == nullptr) return nullptr;
    as_options(self)->record = record;
    as_options(self)->borrows = 0;
    return self;
}

bool read_options_record(PyObject* obj, Options& out) {
    ReadBorrow borrow(obj);
    if (!borrow.held()) return false;
    out = borrow.record();
    return true;
}

}  // namespace scrubix::py
