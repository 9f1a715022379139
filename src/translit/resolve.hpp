// Keyboard text for non-keyboard characters: the keyboard filter every replacement goes
// through, folding by compatibility decomposition, and transliteration to ASCII.
#pragma once

#include <string>
#include <string_view>

#include "../unicode/char_tables.hpp"
#include "../unicode/utf8.hpp"
#include "non_ascii_policy.hpp"

namespace scrubix::translit {

// U+2044 FRACTION SLASH, which the keyboard filter spells '/'.
inline constexpr char32_t kFractionSlash = 0x2044;

// Writes `c` to `out` when it is a keyboard character (U+2044 as '/'); true if it wrote a byte.
inline bool keyboard_filter_char(char32_t c, bool extended_keyboard, std::string& out) {
    if (c == kFractionSlash) {
        out.push_back('/');
        return true;
    }
    if (!unicode::is_keyboard_char(c, extended_keyboard)) return false;
    utf8::append(out, c);
    return true;
}

// Writes the keyboard-filtered code points of UTF-8 `text` to `out`; true if it wrote a byte.
bool keyboard_filter(std::string_view text, bool extended_keyboard, std::string& out);

// The fixed spelling of the negated relations U+2260 "!=", U+226E "!<" and U+226F "!>";
// empty for every other code point.
constexpr std::string_view negated_relation(char32_t c) noexcept {
    switch (c) {
        case 0x2260: return "!=";
        case 0x226E: return "!<";
        case 0x226F: return "!>";
        default: return {};
    }
}

// Writes the keyboard characters of the compatibility decomposition (NFKD) of `c`; a space
// coming from the decomposition of a non-space (as in U+00A8) is left out. True if it wrote.
bool fold_char(char32_t c, bool extended_keyboard, std::string& out);

// Whether the transliteration data may speak for `c`: below U+222DE and either Latin, or
// Common/Inherited punctuation, symbol, separator, modifier letter or other number that is
// not an emoji character.
bool passes_transliteration_gate(char32_t c) noexcept;

// Whether keyboard-only resolution under `policy` spells `c` whole (a negated relation, or a
// symbol-table spelling under transliterate) where its decomposition would spell it otherwise:
// the normalization stage must then leave `c` as it is. Keyboard characters never are.
bool is_protected_from_normalization(char32_t c, NonAsciiPolicy policy, bool extended_keyboard) noexcept;

// Appends the keyboard text that replaces the non-keyboard code point `c` under `policy`:
// nothing (drop); the negated relation or the fold (fold); and failing those the symbol
// table, then the gated transliteration data (transliterate). True if it wrote anything.
bool resolve_non_keyboard(char32_t c, NonAsciiPolicy policy, bool extended_keyboard, std::string& out);

}  // namespace scrubix::translit
