#include "options_settings.hpp"

#include <cstdint>
#include <iterator>
#include <string>

#include "arg_binding.hpp"

namespace scrubix::py {

const char* const kSettingNames[kSettingCount] = {
    "remove_hidden",        "remove_trailing_whitespace", "normalize_spaces",
    "normalize_dashes",     "normalize_quotes",           "normalize_other",
    "keyboard_only",        "extended_keyboard",          "keep_emoji",
    "non_ascii_policy",     "preserve_joiners",           "remove_control_chars",
    "collapse_whitespace",  "line_endings",               "unicode_normalization",
};

namespace {

// The record member behind each plain flag (keep_emoji is spelled through emoji_policy).
bool Options::*flag_member(std::size_t s) {
    switch (s) {
        case kRemoveHidden: return &Options::remove_hidden;
        case kRemoveTrailingWhitespace: return &Options::remove_trailing_whitespace;
        case kNormalizeSpaces: return &Options::normalize_spaces;
        case kNormalizeDashes: return &Options::normalize_dashes;
        case kNormalizeQuotes: return &Options::normalize_quotes;
        case kNormalizeOther: return &Options::normalize_other;
        case kKeyboardOnly: return &Options::keyboard_only;
        case kExtendedKeyboard: return &Options::extended_keyboard;
        case kPreserveJoiners: return &Options::preserve_joiners;
        case kRemoveControlChars: return &Options::remove_control_chars;
        case kCollapseWhitespace: return &Options::collapse_whitespace;
        default: return nullptr;
    }
}

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

constexpr WordSet kLineEndingSet{"line ending style", "auto/none/lf/crlf/cr", kLineEndingWords,
                                 std::size(kLineEndingWords)};
constexpr WordSet kNonAsciiSet{"non-ASCII policy", "drop/fold/transliterate", kNonAsciiWords,
                               std::size(kNonAsciiWords)};
constexpr WordSet kNormalizationSet{"normalization mode", "none/nfd/nfc/nfkd/nfkc", kNormalizationWords,
                                    std::size(kNormalizationWords)};

bool parse_word(PyObject* text, const WordSet& set, std::uint8_t& out) {
    std::string word;
    if (!text_from_py(text, word)) return false;
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (std::size_t i = 0; i < set.count; ++i) {
        if (word == set.words[i].text) {
            out = set.words[i].value;
            return true;
        }
    }
    const std::string message =
        std::string("invalid ") + set.kind + ": " + word + " (expected " + set.expected + ")";
    PyRef py_message(text_to_py(message));
    if (py_message) PyErr_SetObject(PyExc_ValueError, py_message.get());
    return false;
}

}  // namespace

bool is_text_setting(std::size_t s) {
    return s == kNonAsciiPolicy || s == kLineEndings || s == kUnicodeNormalization;
}

void set_flag(Options& record, std::size_t s, bool value) {
    if (s == kKeepEmoji) {
        record.emoji_policy = value ? EmojiPolicy::Keep : EmojiPolicy::Drop;
    } else {
        record.*flag_member(s) = value;
    }
}

bool get_flag(const Options& record, std::size_t s) {
    if (s == kKeepEmoji) return record.emoji_policy == EmojiPolicy::Keep;
    return record.*flag_member(s);
}

bool check_text_type(std::size_t s, PyObject* value) {
    if (PyUnicode_Check(value) || (s == kLineEndings && value == Py_None)) return true;
    raise_not_instance(value, "str");
    return false;
}

bool parse_text_setting(Options& record, std::size_t s, PyObject* value) {
    std::uint8_t parsed = 0;
    switch (s) {
        case kLineEndings:
            if (value == Py_None) {
                record.line_endings = LineEndingStyle::Absent;
                return true;
            }
            if (!parse_word(value, kLineEndingSet, parsed)) return false;
            record.line_endings = static_cast<LineEndingStyle>(parsed);
            return true;
        case kNonAsciiPolicy:
            if (!parse_word(value, kNonAsciiSet, parsed)) return false;
            record.non_ascii_policy = static_cast<NonAsciiPolicy>(parsed);
            return true;
        default:
            if (!parse_word(value, kNormalizationSet, parsed)) return false;
            record.unicode_normalization = static_cast<NormalizationMode>(parsed);
            return true;
    }
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
        if (is_text_setting(s)) {
            if (!check_text_type(s, value.get()) || !parse_text_setting(record, s, value.get())) return false;
        } else {
            bool flag = false;
            if (!flag_from_py(value.get(), flag)) return false;
            set_flag(record, s, flag);
        }
    }
    return true;
}

PyObject* setting_value(const Options& record, std::size_t s) {
    switch (s) {
        case kNonAsciiPolicy: return PyUnicode_FromString(to_string(record.non_ascii_policy));
        case kUnicodeNormalization: return PyUnicode_FromString(to_string(record.unicode_normalization));
        case kLineEndings:
            if (!record.has_line_endings()) Py_RETURN_NONE;
            return PyUnicode_FromString(to_string(record.line_endings));
        default: return PyBool_FromLong(get_flag(record, s));
    }
}

}  // namespace scrubix::py
