#include "options_settings.hpp"

#include <cstdint>
#include <iterator>
#include <string>
#include <type_traits>

#include "arg_binding.hpp"

namespace scrubix::py {

const char* const kSettingNames[kSettingCount] = {
#define SCRUBIX_SETTING_NAME(name, member, Type, value) #name,
    SCRUBIX_OPTIONS(SCRUBIX_SETTING_NAME)
#undef SCRUBIX_SETTING_NAME
};

namespace {

// ---- The words of the enumerated settings --------------------------------------------------

struct Word {
    const char* text;
    std::uint8_t value;
};

struct WordSet {
    const char* kind;
    const char* expected;
    const Word* words;
    std::size_t count;
};

constexpr Word kLineEndingWords[] = {
    {"lf", static_cast<std::uint8_t>(LineEndingStyle::Lf)},
    {"crlf", static_cast<std::uint8_t>(LineEndingStyle::Crlf)},
    {"cr", static_cast<std::uint8_t>(LineEndingStyle::Cr)},
    {"auto", static_cast<std::uint8_t>(LineEndingStyle::Absent)},
    {"none", static_cast<std::uint8_t>(LineEndingStyle::Absent)},
};
constexpr Word kNonAsciiWords[] = {
    {"drop", static_cast<std::uint8_t>(NonAsciiPolicy::Drop)},
    {"fold", static_cast<std::uint8_t>(NonAsciiPolicy::Fold)},
    {"transliterate", static_cast<std::uint8_t>(NonAsciiPolicy::Transliterate)},
};
constexpr Word kNormalizationWords[] = {
    {"none", static_cast<std::uint8_t>(NormalizationMode::None)},
    {"nfd", static_cast<std::uint8_t>(NormalizationMode::NFD)},
    {"nfc", static_cast<std::uint8_t>(NormalizationMode::NFC)},
    {"nfkd", static_cast<std::uint8_t>(NormalizationMode::NFKD)},
    {"nfkc", static_cast<std::uint8_t>(NormalizationMode::NFKC)},
};

constexpr WordSet words_of(LineEndingStyle) {
    return {"line ending style", "auto/none/lf/crlf/cr", kLineEndingWords, std::size(kLineEndingWords)};
}
constexpr WordSet words_of(NonAsciiPolicy) {
    return {"non-ASCII policy", "drop/fold/transliterate", kNonAsciiWords, std::size(kNonAsciiWords)};
}
constexpr WordSet words_of(NormalizationMode) {
    return {"normalization mode", "none/nfd/nfc/nfkd/nfkc", kNormalizationWords, std::size(kNormalizationWords)};
}

// Parses a str: ASCII letters are lowercased, nothing is trimmed. TypeError (bare) for a
// non-str, ValueError for an unknown word, UnicodeEncodeError for lone surrogates.
template <typename Enum>
bool parse_word(PyObject* text, Enum& out) {
    std::string word;
    if (!text_from_py(text, word)) return false;
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const WordSet set = words_of(Enum{});
    for (std::size_t i = 0; i < set.count; ++i) {
        if (word == set.words[i].text) {
            out = static_cast<Enum>(set.words[i].value);
            return true;
        }
    }
    const std::string message =
        std::string("invalid ") + set.kind + ": " + word + " (expected " + set.expected + ")";
    PyRef py_message(text_to_py(message));
    if (py_message) PyErr_SetObject(PyExc_ValueError, py_message.get());
    return false;
}

// ---- What each member type accepts, returns and prints -------------------------------------

// Flags (`bool`, and `EmojiPolicy` as keep_emoji) take a Python flag; the other types are words.
template <typename T>
constexpr bool kIsWord = !std::is_same_v<T, bool> && !std::is_same_v<T, EmojiPolicy>;

// Reads a Python value into a member, type check included (a bare TypeError).
bool read(PyObject* value, bool& out) { return flag_from_py(value, out); }
bool read(PyObject* value, EmojiPolicy& out) {
    bool keep = false;
    if (!flag_from_py(value, keep)) return false;
    out = keep ? EmojiPolicy::Keep : EmojiPolicy::Drop;
    return true;
}
bool read(PyObject* value, LineEndingStyle& out) {
    if (value == Py_None) {
        out = LineEndingStyle::Absent;
        return true;
    }
    return parse_word(value, out);
}
template <typename Enum>
bool read(PyObject* value, Enum& out) {
    return parse_word(value, out);
}

// The type check alone of a word's value: a str, or None for line endings (a bare TypeError).
template <typename T>
bool check_word_type(PyObject* value) {
    if (PyUnicode_Check(value) || (std::is_same_v<T, LineEndingStyle> && value == Py_None)) return true;
    raise_not_instance(value, "str");
    return false;
}

PyObject* to_py(bool flag) { return PyBool_FromLong(flag); }
PyObject* to_py(EmojiPolicy policy) { return PyBool_FromLong(policy == EmojiPolicy::Keep); }
PyObject* to_py(LineEndingStyle style) {
    if (style == LineEndingStyle::Absent) Py_RETURN_NONE;
    return PyUnicode_FromString(to_string(style));
}
template <typename Enum>
PyObject* to_py(Enum word) {
    return PyUnicode_FromString(to_string(word));
}

// repr writes flags as true/false and every enumeration (emoji_policy too) as its quoted word.
void append_repr(std::string& out, bool flag) { out += flag ? "true" : "false"; }
template <typename Enum>
void append_repr(std::string& out, Enum word) {
    out += '\'';
    out += to_string(word);
    out += '\'';
}

// ---- The settings table --------------------------------------------------------------------

struct SettingOps {
    // The record member's name, as repr writes it.
    const char* member;
    // The constructor's first step: the type check of a given value; flags are read at once.
    bool (*check)(PyObject* value, Options& record);
    // Type check and reading of a value into the record.
    bool (*read)(PyObject* value, Options& record);
    PyObject* (*value)(const Options& record);
    void (*repr)(std::string& out, const Options& record);
};

template <auto Member>
using MemberType = std::remove_cvref_t<decltype(std::declval<Options&>().*Member)>;

template <auto Member>
bool check_member(PyObject* value, Options& record) {
    if constexpr (kIsWord<MemberType<Member>>) {
        return check_word_type<MemberType<Member>>(value);
    } else {
        return read(value, record.*Member);
    }
}
template <auto Member>
bool read_member(PyObject* value, Options& record) {
    return read(value, record.*Member);
}
template <auto Member>
PyObject* member_value(const Options& record) {
    return to_py(record.*Member);
}
template <auto Member>
void member_repr(std::string& out, const Options& record) {
    append_repr(out, record.*Member);
}

constexpr SettingOps kSettings[kSettingCount] = {
#define SCRUBIX_SETTING_OPS(name, member, Type, value)                                        \
    {#member, check_member<&Options::member>, read_member<&Options::member>,                   \
     member_value<&Options::member>, member_repr<&Options::member>},
    SCRUBIX_OPTIONS(SCRUBIX_SETTING_OPS)
#undef SCRUBIX_SETTING_OPS
};

// The words are parsed after every type check, in this order.
constexpr setting::Index kWordParseOrder[] = {setting::line_endings, setting::unicode_normalization,
                                              setting::non_ascii_policy};
constexpr std::size_t kWordCount = 0
#define SCRUBIX_SETTING_IS_WORD(name, member, Type, value) +kIsWord<Type>
    SCRUBIX_OPTIONS(SCRUBIX_SETTING_IS_WORD)
#undef SCRUBIX_SETTING_IS_WORD
    ;
static_assert(std::size(kWordParseOrder) == kWordCount, "every word setting has its place in the parse order");

}  // namespace

bool read_arguments(PyObject* const* values, Options& record) {
    for (std::size_t s = 0; s < kSettingCount; ++s) {
        if (values[s] != nullptr && !kSettings[s].check(values[s], record)) {
            prefix_argument_error(kSettingNames[s]);
            return false;
        }
    }
    for (const std::size_t s : kWordParseOrder) {
        if (values[s] != nullptr && !kSettings[s].read(values[s], record)) return false;
    }
    return true;
}

bool apply_settings(Options& record, PyObject* mapping) {
    Py_ssize_t pos = 0;
    PyObject* borrowed_key = nullptr;
    PyObject* borrowed_value = nullptr;
    while (PyDict_Next(mapping, &pos, &borrowed_key, &borrowed_value)) {
        // A NumPy boolean's __bool__ runs Python code that may change the mapping: hold our own
        // references to the entry while it is applied.
        PyRef key = PyRef::borrow(borrowed_key);
        PyRef value = PyRef::borrow(borrowed_value);
        if (!PyUnicode_Check(key.get())) {
            raise_not_instance(key.get(), "str");
            return false;
        }
        std::size_t s = 0;
        while (s < kSettingCount && PyUnicode_CompareWithASCIIString(key.get(), kSettingNames[s]) != 0) ++s;
        if (s == kSettingCount) {
            // %U takes the key's text as it is; %S would call a subclass's __str__.
            PyErr_Format(PyExc_TypeError, "unexpected keyword argument %U", key.get());
            return false;
        }
        if (!kSettings[s].read(value.get(), record)) return false;
    }
    return true;
}

PyObject* setting_value(const Options& record, std::size_t s) { return kSettings[s].value(record); }

PyObject* settings_dict(const Options& record) {
    PyRef state(PyDict_New());
    if (!state) return nullptr;
    for (std::size_t s = 0; s < kSettingCount; ++s) {
        PyRef value(setting_value(record, s));
        if (!value || PyDict_SetItemString(state.get(), kSettingNames[s], value.get()) < 0) return nullptr;
    }
    return state.release();
}

std::string options_repr_text(const Options& record) {
    std::string text = "Options(";
    for (std::size_t s = 0; s < kSettingCount; ++s) {
        if (s != 0) text += ", ";
        text += kSettings[s].member;
        text += '=';
        kSettings[s].repr(text, record);
    }
    text += ')';
    return text;
}

}  // namespace scrubix::py
