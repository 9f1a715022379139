// The extension module `_scrubix`: its initialisation and the one-shot functions `clean` and
// `humanize`.
#include <string>
#include <utility>

#include "arg_binding.hpp"
#include "cleaner_type.hpp"
#include "engine_call.hpp"
#include "options_type.hpp"
#include "py_ref.hpp"
#include "result_type.hpp"

namespace scrubix::py {

namespace {

// Binds `text`, cleans it with `options` outside the interpreter lock, returns a new str.
PyObject* clean_text(const Signature& signature, PyObject* args, PyObject* kwargs, const Options& options) {
    PyObject* text_arg = nullptr;
    if (!bind_arguments(signature, args, kwargs, &text_arg)) return nullptr;
    PyRef utf8;
    std::string_view text;
    if (!text_argument(text_arg, "text", utf8, text)) return nullptr;
    EngineOutcome outcome = run_clean(text, options);
    if (!outcome.ok) return nullptr;
    const auto* result = std::get_if<CleaningResult>(&outcome.value);
    const std::string_view cleaned = result->view(text);
    if (PyObject* same = unchanged_source(text_arg, text, cleaned)) return PyRef::borrow(same).release();
    return text_to_py(cleaned);
}

constexpr const char* kTextParameter[] = {"text"};

PyObject* module_clean(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSignature{"clean()", kTextParameter, 1, 1};
    return clean_text(kSignature, args, kwargs, Options{});
}

PyObject* module_humanize(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSignature{"humanize()", kTextParameter, 1, 1};
    return clean_text(kSignature, args, kwargs, humanize_preset());
}

PyMethodDef kCleanDef = {
    "clean", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(module_clean)),
    METH_VARARGS | METH_KEYWORDS,
    "clean(text)\n--\n\n"
    "Clean text with the default `scrubix` policy and return cleaned text only.\n"
    "\n"
    "Keyboard-only mode normalizes and transliterates non-ASCII text to ASCII\n"
    "where feasible (`\"Café\"` -> `\"Cafe\"`, `\"Straße\"` -> `\"Strasse\"`), then\n"
    "drops remaining non-keyboard glyphs.\n"
    "\n"
    "Use `Cleaner` when you need `changes_made` and per-operation stats.\n"
    "\n"
    "The GIL is released while the cleaning pipeline runs."};

PyMethodDef kHumanizeDef = {
    "humanize", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(module_humanize)),
    METH_VARARGS | METH_KEYWORDS,
    "humanize(text)\n--\n\n"
    "Clean text with the \"humanize\" preset and return cleaned text only.\n"
    "\n"
    "This preset applies typographic normalization and whitespace collapsing.\n"
    "\n"
    "The GIL is released while the cleaning pipeline runs."};

// Appends `name` to the module's __all__ (creating the list on first use), then sets the
// attribute. Takes over the reference to `value`, which may be null after a failed creation.
bool add_item(PyObject* module, const char* name, PyObject* value) {
    PyRef owned(value);
    if (!owned) return false;
    PyRef all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyRef(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    PyRef py_name(PyUnicode_FromString(name));
    if (!py_name || PyList_Append(all.get(), py_name.get()) < 0) return false;
    return PyObject_SetAttr(module, py_name.get(), owned.get()) == 0;
}

PyObject* module_function(PyObject* module, PyMethodDef* def) {
    PyRef module_name(PyModule_GetNameObject(module));
    if (!module_name) return nullptr;
    return PyCMethod_New(def, module, module_name.get(), nullptr);
}

int module_exec(PyObject* module) {
    if (!PyModule_Check(module)) {
        raise_not_instance(module, "module");
        return -1;
    }
    const bool ok = add_item(module, "__version__", PyUnicode_FromString("0.2.0")) &&
                    add_item(module, "HAS_STATS", PyBool_FromLong(1)) &&
                    add_item(module, "HAS_SECURITY", PyBool_FromLong(0)) &&
                    add_item(module, "clean", module_function(module, &kCleanDef)) &&
                    add_item(module, "humanize", module_function(module, &kHumanizeDef)) &&
                    add_item(module, "Cleaner", PyRef::borrow(cleaner_type()).release()) &&
                    add_item(module, "Options", PyRef::borrow(options_type()).release()) &&
                    add_item(module, "CleaningResult", PyRef::borrow(result_type()).release());
    return ok ? 0 : -1;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "_scrubix",
    "Native extension module backing the public `scrubix` Python package.",
    0,
    nullptr,
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace scrubix::py

extern "C" PyMODINIT_FUNC PyInit__scrubix(void) { return PyModuleDef_Init(&scrubix::py::kModule); }
