// The public settings of the options record, declared once. `Options` declares its members
// from this list, and the Python binding expands it into its keyword parameters, signature,
// getters, repr and pickled state; all of them list the settings in this order.
//
// Each row: the setting's public name, the record member behind it, the member's type and its
// default. The name is the member's own, except that `emoji_policy` is offered as the flag
// `keep_emoji` (true means keep); `repr` writes the member's name and value. What a setting
// accepts and returns follows from the type: `bool` is a flag, the enumerations are words,
// `LineEndingStyle` is a word or nothing (absent).
//
// `reserved_flag` is not listed: it has no public name (see `Options`).
#pragma once

//  X(public name                 member                      type               default)
#define SCRUBIX_OPTIONS(X)                                                                                      \
    X(remove_hidden,              remove_hidden,              bool,              true)                          \
    X(remove_trailing_whitespace, remove_trailing_whitespace, bool,              true)                          \
    X(normalize_spaces,           normalize_spaces,           bool,              true)                          \
    X(normalize_dashes,           normalize_dashes,           bool,              true)                          \
    X(normalize_quotes,           normalize_quotes,           bool,              true)                          \
    X(normalize_other,            normalize_other,            bool,              true)                          \
    X(keyboard_only,              keyboard_only,              bool,              true)                          \
    X(extended_keyboard,          extended_keyboard,          bool,              false)                         \
    X(keep_emoji,                 emoji_policy,               EmojiPolicy,       EmojiPolicy::Drop)             \
    X(non_ascii_policy,           non_ascii_policy,           NonAsciiPolicy,    NonAsciiPolicy::Transliterate) \
    X(preserve_joiners,           preserve_joiners,           bool,              false)                         \
    X(remove_control_chars,       remove_control_chars,       bool,              true)                          \
    X(collapse_whitespace,        collapse_whitespace,        bool,              false)                         \
    X(line_endings,               line_endings,               LineEndingStyle,   LineEndingStyle::Absent)       \
    X(unicode_normalization,      unicode_normalization,      NormalizationMode, NormalizationMode::None)
