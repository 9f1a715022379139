#include "options_reader.hpp"

#include <string_view>

namespace scrubix::columns {

namespace {

using py::PyRef;

// The value of the getter `name`, looked up by a str made once: a call reads fifteen settings,
// and making and hashing fifteen new str objects was most of its cost on small batches.
PyObject* get_setting(PyObject* options, const char* name) {
    constexpr std::size_t kSlots = 16;
    static const char* names[kSlots] = {};
    static PyObject* keys[kSlots] = {};  // interned, kept for the life of the process
    std::size_t k = 0;
    while (k < kSlots && names[k] != nullptr && names[k] != name) ++k;
    if (k == kSlots) return PyObject_GetAttrString(options, name);
    if (names[k] == nullptr) {
        keys[k] = PyUnicode_InternFromString(name);
        if (keys[k] == nullptr) return nullptr;
        names[k] = name;
    }
    return PyObject_GetAttr(options, keys[k]);
}

bool read_flag(PyObject* options, const char* name, bool& out) {
    PyRef value(get_setting(options, name));
    if (!value) return false;
    const int truth = PyObject_IsTrue(value.get());
    if (truth < 0) return false;
    out = truth != 0;
    return true;
}

// Reads a text setting and finds the enumerator whose canonical word it is.
// Only line_endings may be None ("leave line breaks alone"): `absent` is then its value.
template <class Enum, std::size_t N>
bool read_word(PyObject* options, const char* name, const Enum (&choices)[N], Enum& out,
               const Enum* absent = nullptr) {
    PyRef value(get_setting(options, name));
    if (!value) return false;
    if (value.get() == Py_None && absent != nullptr) {
        out = *absent;
        return true;
    }
    if (!PyUnicode_Check(value.get())) {
        PyErr_Format(PyExc_TypeError, "options.%s is not a str but %R", name, value.get());
        return false;
    }
    for (Enum choice : choices) {
        if (PyUnicode_CompareWithASCIIString(value.get(), to_string(choice)) == 0) {
            out = choice;
            return true;
        }
    }
    PyErr_Format(PyExc_ValueError, "options.%s has the unknown value %R", name, value.get());
    return false;
}

constexpr NonAsciiPolicy kNonAscii[] = {NonAsciiPolicy::Drop, NonAsciiPolicy::Fold, NonAsciiPolicy::Transliterate};
constexpr LineEndingStyle kLineEndings[] = {LineEndingStyle::Lf, LineEndingStyle::Crlf, LineEndingStyle::Cr};
constexpr LineEndingStyle kNoLineEndings = LineEndingStyle::Absent;
constexpr NormalizationMode kNormalization[] = {NormalizationMode::None, NormalizationMode::NFD,
                                                NormalizationMode::NFC, NormalizationMode::NFKD,
                                                NormalizationMode::NFKC};

}  // namespace

bool read_options(PyObject* options, Options& out) {
    out = Options{};
    if (options == nullptr || options == Py_None) return true;
    bool keep_emoji = false;
    const bool ok = read_flag(options, "remove_hidden", out.remove_hidden) &&
                    read_flag(options, "remove_trailing_whitespace", out.remove_trailing_whitespace) &&
                    read_flag(options, "normalize_spaces", out.normalize_spaces) &&
                    read_flag(options, "normalize_dashes", out.normalize_dashes) &&
                    read_flag(options, "normalize_quotes", out.normalize_quotes) &&
                    read_flag(options, "normalize_other", out.normalize_other) &&
                    read_flag(options, "keyboard_only", out.keyboard_only) &&
                    read_flag(options, "extended_keyboard", out.extended_keyboard) &&
                    read_flag(options, "keep_emoji", keep_emoji) &&
                    read_word(options, "non_ascii_policy", kNonAscii, out.non_ascii_policy) &&
                    read_flag(options, "preserve_joiners", out.preserve_joiners) &&
                    read_flag(options, "remove_control_chars", out.remove_control_chars) &&
                    read_flag(options, "collapse_whitespace", out.collapse_whitespace) &&
                    read_word(options, "line_endings", kLineEndings, out.line_endings, &kNoLineEndings) &&
                    read_word(options, "unicode_normalization", kNormalization, out.unicode_normalization);
    out.emoji_policy = keep_emoji ? EmojiPolicy::Keep : EmojiPolicy::Drop;
    return ok;
}

}  // namespace scrubix::columns
