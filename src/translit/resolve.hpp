// Keyboard text for non-keyboard characters: the keyboard filter every replacement goes
// through, folding by compatibility decomposition, and transliteration to ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
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

// U+0338 COMBINING LONG SOLIDUS OVERLAY: drawn through a relation or an arrow, it negates it.
inline constexpr char32_t kLongSolidusOverlay = 0x0338;

// Negated relations and arrows all lie in the blocks Arrows to Supplemental Mathematical
// Operators (a test over the character data checks that none lies elsewhere).
inline constexpr char32_t kNegationsFirst = 0x2190;
inline constexpr char32_t kNegationsLast = 0x2AFF;

// The base of a negated relation or arrow: B when the canonical decomposition of `c` is B
// followed by U+0338 (U+2209 -> U+2208, U+2260 -> '='), else 0.
char32_t negated_base(char32_t c) noexcept;

// The precomposed negated relation of `base` (U+2208 -> U+2209, '=' -> U+2260), or 0.
char32_t negation_of(char32_t base) noexcept;

// Whether `c` is U+0338 or a negated relation: characters that resolution spells the same in
// both canonical forms, so normalization must neither split nor join them.
inline bool is_negation_char(char32_t c) noexcept {
    return c == kLongSolidusOverlay || (c >= kNegationsFirst && c <= kNegationsLast && negated_base(c) != 0);
}

// How a U+0338 after a character reaches back to it: the character is a base of its own
// (a starter), lets the overlay through to the base before it (a mark that canonical order
// puts after the overlay), or stands between them (another overlay).
enum class OverlayReach : std::uint8_t { base, through, blocked };
OverlayReach overlay_reach(char32_t c) noexcept;

// What a base followed by U+0338 came to.
enum class Negation : std::uint8_t { none, spelled, removed };

// Resolves `base` followed by U+0338 as one negated character. `out` ends with the spelling
// the base alone was given, which starts at `at`; it is replaced by the negation: the
// precomposed negated relation when there is one (U+2208 U+0338 reads as U+2209), else, for
// a mathematical symbol, '!' before the base's spelling. Under drop, or when the negation
// has no spelling, the base's spelling goes too (removed). None, changing nothing, when the
// base is not something U+0338 negates.
Negation resolve_negated_pair(char32_t base, std::size_t at, NonAsciiPolicy policy, bool extended_keyboard,
                              std::string& out);

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
// nothing (drop); the fold (fold); and failing that the symbol table, then the gated
// transliteration data (transliterate). Under transliterate, what a fold leaves outside the
// keyboard set is spelled by the table and the data in place (U+33A7 "m/s", not "ms"). A
// negated relation is '!' and its base's spelling, or its own table entry, or nothing: never
// the base alone. True if it wrote anything.
bool resolve_non_keyboard(char32_t c, NonAsciiPolicy policy, bool extended_keyboard, std::string& out);

}  // namespace scrubix::translit
