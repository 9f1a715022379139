// How every function and method of the module binds its arguments, and the conversions of
// Python values into engine values (text, flags) with their TypeError messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "py_ref.hpp"

namespace scrubix::py {

// The named parameters of one callable. Each may be given by position or by keyword; the first
// `required` of them must be given. `extra_keywords` lets unknown keywords through to the
// callable itself (for `**kwargs`).
struct Signature {
    const char* display_name;  // "clean()", "Cleaner.__new__()", ...
    const char* const* names;
    std::size_t count;
    std::size_t required;
    bool extra_keywords = false;
};

// Fills out[0..count) with borrowed references to the bound values (null where a parameter was
// not given). Returns false with a TypeError set when the call does not fit the signature.
bool bind_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

// Sets TypeError "'<qualname>' object is not an instance of '<expected>'" (or the form for None).
void raise_not_instance(PyObject* value, const char* expected);

// If the pending error is a TypeError, replaces it with "argument '<name>': <message>";
// any other pending error is left alone.
void prefix_argument_error(const char* name);

// The qualified name of the value's type, as error messages print it.
std::string type_qualname(PyObject* value);

// Copies a str (or subclass instance) as UTF-8 into `out`. Returns false with an error set:
// TypeError for a non-str (bare message), UnicodeEncodeError for a lone surrogate.
bool text_from_py(PyObject* value, std::string& out);

// The UTF-8 encoding of a str as a bytes object held by `holder`, viewed by `out`; the errors
// of text_from_py.
bool utf8_bytes(PyObject* value, PyRef& holder, std::string_view& out);

// Same, for a bound argument: a TypeError gets the "argument '<name>': " prefix.
bool text_argument(PyObject* value, const char* name, std::string& out);

// Encodes a bound str argument as UTF-8 without copying it again: `holder` keeps the bytes
// object alive and `out` views its buffer (immutable, so it may be read without the lock).
bool text_argument(PyObject* value, const char* name, PyRef& holder, std::string_view& out);

// `value` (borrowed) when it is an exact str whose UTF-8 `input` came out of cleaning as `output`
// byte for byte, so the caller can hand back the very object it was given; null otherwise (a str
// subclass instance always yields a plain str).
PyObject* unchanged_source(PyObject* value, std::string_view input, std::string_view output);

// A new str from UTF-8 text, or null with an error set.
PyObject* text_to_py(std::string_view text);

// Reads a flag: exactly True or False, or a NumPy boolean scalar through its __bool__.
// Returns false with an error set (TypeError with the bare message when the type is wrong).
bool flag_from_py(PyObject* value, bool& out);

}  // namespace scrubix::py
