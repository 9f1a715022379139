// The fifteen public settings of the options record as Python spells them: names, flag
// access, the parsing of the text settings and their Python values.
#pragma once

#include <cstddef>

#include "options.hpp"
#include "py_ref.hpp"

namespace scrubix::py {

// The settings in constructor order (also the order of repr, pickled state and getters).
enum Setting : std::size_t {
    kRemoveHidden,
    kRemoveTrailingWhitespace,
    kNormalizeSpaces,
    kNormalizeDashes,
    kNormalizeQuotes,
    kNormalizeOther,
    kKeyboardOnly,
    kExtendedKeyboard,
    kKeepEmoji,
    kNonAsciiPolicy,
    kPreserveJoiners,
    kRemoveControlChars,
    kCollapseWhitespace,
    kLineEndings,
    kUnicodeNormalization,
    kSettingCount
};

extern const char* const kSettingNames[kSettingCount];

// non_ascii_policy, line_endings and unicode_normalization; the others are flags.
bool is_text_setting(std::size_t s);

// Flags; `keep_emoji` reads and writes `emoji_policy`.
void set_flag(Options& record, std::size_t s, bool value);
bool get_flag(const Options& record, std::size_t s);

// Type check of a text setting's value (a str, or None for line_endings); bare TypeError.
bool check_text_type(std::size_t s, PyObject* value);

// Parses a type-checked text setting into the record: ASCII letters are lowercased, nothing
// is trimmed. ValueError for an unknown word, UnicodeEncodeError for lone surrogates.
bool parse_text_setting(Options& record, std::size_t s, PyObject* value);

// Applies the entries of a dict (replace's keywords, or a pickled state) in its order. The
// first failing entry stops with its error set; the record is then partly changed.
bool apply_settings(Options& record, PyObject* mapping);

// The Python value of a setting: bool, canonical str, or None for absent line endings.
PyObject* setting_value(const Options& record, std::size_t s);

}  // namespace scrubix::py
