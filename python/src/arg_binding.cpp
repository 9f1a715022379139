#include "arg_binding.hpp"

#include <initializer_list>
#include <vector>

namespace scrubix::py {

namespace {

const char* was_or_were(Py_ssize_t n) { return n == 1 ? "was" : "were"; }

void raise_too_many_positional(const Signature& sig, Py_ssize_t given) {
    const auto count = static_cast<Py_ssize_t>(sig.count);
    if (sig.required == sig.count) {
        PyErr_Format(PyExc_TypeError, "%s takes %zd positional arguments but %zd %s given",
                     sig.display_name, count, given, was_or_were(given));
    } else {
        PyErr_Format(PyExc_TypeError, "%s takes from %zd to %zd positional arguments but %zd %s given",
                     sig.display_name, static_cast<Py_ssize_t>(sig.required), count, given,
                     was_or_were(given));
    }
}

// "'a'", "'a' and 'b'", "'a', 'b' and 'c'".
std::string quoted_name_list(const std::vector<const char*>& names) {
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) list += (i + 1 == names.size()) ? " and " : ", ";
        list += '\'';
        list += names[i];
        list += '\'';
    }
    return list;
}

bool raise_missing_required(const Signature& sig, PyObject* const* out) {
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < sig.required; ++i) {
        if (out[i] == nullptr) missing.push_back(sig.names[i]);
    }
    if (missing.empty()) return false;
    const std::string list = quoted_name_list(missing);
    PyErr_Format(PyExc_TypeError, "%s missing %zd required positional argument%s: %s",
                 sig.display_name, static_cast<Py_ssize_t>(missing.size()),
                 missing.size() == 1 ? "" : "s", list.c_str());
    return true;
}

// Index of the parameter called `key`, or -1.
Py_ssize_t parameter_index(const Signature& sig, PyObject* key) {
    if (!PyUnicode_Check(key)) return -1;
    for (std::size_t i = 0; i < sig.count; ++i) {
        if (PyUnicode_CompareWithASCIIString(key, sig.names[i]) == 0) return static_cast<Py_ssize_t>(i);
    }
    return -1;
}

// True when `attr` of `type` is a str equal to one of the given words.
bool type_attr_is(PyObject* type, const char* attr, std::initializer_list<const char*> words) {
    PyRef value(PyObject_GetAttrString(type, attr));
    if (!value) {
        PyErr_Clear();
        return false;
    }
    if (!PyUnicode_Check(value.get())) return false;
    for (const char* word : words) {
        if (PyUnicode_CompareWithASCIIString(value.get(), word) == 0) return true;
    }
    return false;
}

bool is_numpy_bool(PyObject* value) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
    return type_attr_is(type, "__module__", {"numpy"}) && type_attr_is(type, "__name__", {"bool_", "bool"});
}

// Calls `__bool__` the way the interpreter looks up special methods: on the type, bound to
// the value through the descriptor protocol.
bool numpy_bool_value(PyObject* value, bool& out) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
    PyRef method(PyObject_GetAttrString(type, "__bool__"));
    if (!method) {
        PyErr_Clear();
        PyRef type_name(PyObject_GetAttrString(type, "__name__"));
        if (!type_name) return false;
        PyErr_Format(PyExc_TypeError, "object of type '%S' does not define a '__bool__' conversion",
                     type_name.get());
        return false;
    }
    PyRef getter(PyObject_GetAttrString(method.get(), "__get__"));
    if (getter) {
        method = PyRef(PyObject_CallFunctionObjArgs(getter.get(), value, type, nullptr));
        if (!method) return false;
    } else {
        PyErr_Clear();
    }
    PyRef result(PyObject_CallObject(method.get(), nullptr));
    if (!result) return false;
    if (result.get() == Py_True || result.get() == Py_False) {
        out = result.get() == Py_True;
        return true;
    }
    raise_not_instance(result.get(), "bool");
    return false;
}

}  // namespace

bool bind_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
    for (std::size_t i = 0; i < sig.count; ++i) out[i] = nullptr;

    const Py_ssize_t given = args ? PyTuple_Size(args) : 0;
    if (given < 0) return false;
    if (given > static_cast<Py_ssize_t>(sig.count)) {
        raise_too_many_positional(sig, given);
        return false;
    }
    for (Py_ssize_t i = 0; i < given; ++i) out[i] = PyTuple_GetItem(args, i);

    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            const Py_ssize_t index = parameter_index(sig, key);
            if (index < 0) {
                if (sig.extra_keywords) continue;
                // %U takes a str's text as it is; %S would call a subclass's __str__.
                PyErr_Format(PyExc_TypeError,
                             PyUnicode_Check(key) ? "%s got an unexpected keyword argument '%U'"
                                                  : "%s got an unexpected keyword argument '%S'",
                             sig.display_name, key);
                return false;
            }
            if (out[index] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                             sig.display_name, sig.names[index]);
                return false;
            }
            out[index] = value;
        }
    }
    return !raise_missing_required(sig, out);
}

std::string type_qualname(PyObject* value) {
    PyRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(value)), "__qualname__"));
    if (name) {
        PyRef text(PyObject_Str(name.get()));
        if (text) {
            PyRef bytes(PyUnicode_AsUTF8String(text.get()));
            if (bytes) return std::string(PyBytes_AsString(bytes.get()), static_cast<std::size_t>(PyBytes_Size(bytes.get())));
        }
    }
    PyErr_Clear();
    return "<unknown>";
}

void raise_not_instance(PyObject* value, const char* expected) {
    if (value == Py_None) {
        PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
        return;
    }
    const std::string qualname = type_qualname(value);
    PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of '%s'", qualname.c_str(), expected);
}

void prefix_argument_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef type_ref(type), value_ref(value), traceback_ref(traceback);
    PyRef message(value ? PyObject_Str(value) : PyUnicode_FromString(""));
    if (!message) return;
    PyErr_Format(PyExc_TypeError, "argument '%s': %S", name, message.get());
}

bool utf8_bytes(PyObject* value, PyRef& holder, std::string_view& out) {
    if (!PyUnicode_Check(value)) {
        raise_not_instance(value, "str");
        return false;
    }
    holder = PyRef(PyUnicode_AsUTF8String(value));
    if (!holder) return false;
    const char* data = PyBytes_AsString(holder.get());
    const Py_ssize_t size = PyBytes_Size(holder.get());
    if (data == nullptr || size < 0) return false;
    out = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

bool text_from_py(PyObject* value, std::string& out) {
    PyRef bytes;
    std::string_view text;
    if (!utf8_bytes(value, bytes, text)) return false;
    out.assign(text);
    return true;
}

bool text_argument(PyObject* value, const char* name, std::string& out) {
    if (text_from_py(value, out)) return true;
    prefix_argument_error(name);
    return false;
}

bool text_argument(PyObject* value, const char* name, PyRef& holder, std::string_view& out) {
    if (utf8_bytes(value, holder, out)) return true;
    prefix_argument_error(name);
    return false;
}

PyObject* unchanged_source(PyObject* value, std::string_view input, std::string_view output) {
    return PyUnicode_CheckExact(value) && input == output ? value : nullptr;
}

PyObject* text_to_py(std::string_view text) {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

bool flag_from_py(PyObject* value, bool& out) {
    if (value == Py_True || value == Py_False) {
        out = value == Py_True;
        return true;
    }
    if (is_numpy_bool(value)) return numpy_bool_value(value, out);
    raise_not_instance(value, "bool");
    return false;
}

}  // namespace scrubix::py
