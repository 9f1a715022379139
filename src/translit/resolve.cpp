#include "resolve.hpp"

#include <cstddef>
#include <cstdint>

#include "../unicode/normalize.hpp"
#include "../unicode/normalize_data.hpp"
#include "deunicode.hpp"
#include "symbol_table.hpp"

namespace scrubix::translit {

namespace {

// General categories (ICU numbering) whose Common/Inherited members the data may spell:
// Lm, No, Zs, Zl, Zp, Pd, Ps, Pe, Po, Sm, Sc, Sk, So, Pi, Pf.
constexpr std::uint32_t kGateCategories = 0x3FB87810;

static_assert(kGateCategories ==
                  ((1u << unicode::Lm) | (1u << unicode::No) | (1u << unicode::Zs) |
                   (1u << unicode::Zl) | (1u << unicode::Zp) | (1u << unicode::Pd) |
                   (1u << unicode::Ps) | (1u << unicode::Pe) | (1u << unicode::Po) |
                   (1u << unicode::Sm) | (1u << unicode::Sc) | (1u << unicode::Sk) |
                   (1u << unicode::So) | (1u << unicode::Pi) | (1u << unicode::Pf)),
              "gate mask lists the intended categories");

// Strips White_Space from both ends. The transliteration data is ASCII, so each byte is a
// code point of its own.
std::string_view trim_white_space(std::string_view s) noexcept {
    while (!s.empty() && unicode::is_white_space(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && unicode::is_white_space(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// The table entry or the gated data for `c`; true if it wrote. A table entry is final: the
// data is not asked even when the entry filters to nothing.
bool spell(char32_t c, bool extended_keyboard, std::string& out) {
    const std::string_view spelling = symbol_to_ascii(c);
    if (!spelling.empty()) return keyboard_filter(spelling, extended_keyboard, out);
    if (!passes_transliteration_gate(c)) return false;
    std::string_view entry;
    if (!deunicode_lookup(c, entry)) return false;
    return keyboard_filter(trim_white_space(entry), extended_keyboard, out);
}

// Writes the keyboard characters of the compatibility decomposition of `c`; a space coming
// from the decomposition of a non-space (as in U+00A8) is left out. With `spell_rest` (the fold
// under transliterate) the other characters of the decomposition are spelled by the table and
// the data where they stand, so that the fold keeps its meaning (U+33A7 "m/s", not "ms"). True
// only when the decomposition gave a keyboard character; otherwise `out` is left as it was, so
// that the character's own table entry still wins (U+2126 "ohm", not U+03A9 "Omega").
bool fold_into(char32_t c, bool extended_keyboard, bool spell_rest, std::string& out) {
    if (c > 0x10FFFF) return false;
    const std::size_t start = out.size();
    const bool c_is_space = unicode::is_white_space(c);
    char32_t decomposition[unicode::kMaxDecomposition];
    const std::size_t n = unicode::nfkd_char(c, decomposition);
    bool folded = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t d = decomposition[i];
        // The space of a spacing accent (U+00A8 -> SP U+0308) is not kept.
        if (d == U' ' && !c_is_space) continue;
        if (keyboard_filter_char(d, extended_keyboard, out)) {
            folded = true;
        } else if (spell_rest && d != c) {
            spell(d, extended_keyboard, out);
        }
    }
    if (!folded) out.resize(start);
    return folded;
}

bool transliterate(char32_t c, bool extended_keyboard, std::string& out) {
    if (fold_into(c, extended_keyboard, true, out)) return true;
    return spell(c, extended_keyboard, out);
}

bool resolve(char32_t c, NonAsciiPolicy policy, bool extended_keyboard, std::string& out);

// A base character's spelling: itself when it is a keyboard character, else its resolution.
bool spell_base(char32_t base, NonAsciiPolicy policy, bool extended_keyboard, std::string& out) {
    if (keyboard_filter_char(base, extended_keyboard, out)) return true;
    return resolve(base, policy, extended_keyboard, out);
}

// A negated relation with base `base`: its own table entry (transliterate), else '!' and the
// base's spelling; nothing when the base has none, so the negation is never lost alone.
bool negate(char32_t c, char32_t base, NonAsciiPolicy policy, bool extended_keyboard, std::string& out) {
    if (policy == NonAsciiPolicy::Transliterate) {
        const std::string_view spelling = symbol_to_ascii(c);
        if (!spelling.empty()) return keyboard_filter(spelling, extended_keyboard, out);
    }
    const std::size_t start = out.size();
    out.push_back('!');
    if (spell_base(base, policy, extended_keyboard, out)) return true;
    out.resize(start);
    return false;
}

bool resolve(char32_t c, NonAsciiPolicy policy, bool extended_keyboard, std::string& out) {
    if (policy == NonAsciiPolicy::Drop) return false;
    if (const char32_t base = negated_base(c)) return negate(c, base, policy, extended_keyboard, out);
    if (policy == NonAsciiPolicy::Fold) return fold_char(c, extended_keyboard, out);
    return transliterate(c, extended_keyboard, out);
}

}  // namespace

bool keyboard_filter(std::string_view text, bool extended_keyboard, std::string& out) {
    bool wrote = false;
    for (std::size_t i = 0; i < text.size();) {
        wrote |= keyboard_filter_char(utf8::decode(text, i), extended_keyboard, out);
    }
    return wrote;
}

bool fold_char(char32_t c, bool extended_keyboard, std::string& out) {
    return fold_into(c, extended_keyboard, false, out);
}

bool passes_transliteration_gate(char32_t c) noexcept {
    if (c >= kDeunicodeEnd) return false;
    const std::uint16_t script = unicode::script_of(c);
    if (script == unicode::kScriptLatin) return true;
    if (script != unicode::kScriptCommon && script != unicode::kScriptInherited) return false;
    return ((kGateCategories >> unicode::general_category(c)) & 1u) != 0 && !unicode::is_emoji_char(c);
}

bool is_protected_from_normalization(char32_t c, NonAsciiPolicy policy, bool extended_keyboard) noexcept {
    if (c < 0x80 || unicode::is_keyboard_char(c, extended_keyboard)) return false;
    // Negations are resolved alike in both canonical forms under every policy: normalization
    // neither splits nor joins them, so that both forms also count the same.
    if (is_negation_char(c)) return true;
    return policy == NonAsciiPolicy::Transliterate && !symbol_to_ascii(c).empty();
}

char32_t negated_base(char32_t c) noexcept {
    namespace nd = unicode::normalization;
    if (c < kNegationsFirst || c > kNegationsLast) return 0;
    const std::uint16_t entry = nd::decomposition_entry(nd::record_of(c));
    if (entry == 0) return 0;
    const auto canonical = nd::decomposition(entry, false);
    return canonical.size() == 2 && canonical[1] == kLongSolidusOverlay ? canonical[0] : 0;
}

OverlayReach overlay_reach(char32_t c) noexcept {
    namespace nd = unicode::normalization;
    constexpr std::uint8_t kOverlayClass = nd::combining_class(nd::record_of(kLongSolidusOverlay));
    const std::uint8_t ccc = nd::combining_class(nd::record_of(c));
    if (ccc == 0) return OverlayReach::base;
    return ccc > kOverlayClass ? OverlayReach::through : OverlayReach::blocked;
}

char32_t negation_of(char32_t base) noexcept {
    namespace nd = unicode::normalization;
    return nd::compose_pair(base, nd::record_of(base), kLongSolidusOverlay, nd::record_of(kLongSolidusOverlay));
}

Negation resolve_negated_pair(char32_t base, std::size_t at, NonAsciiPolicy policy, bool extended_keyboard,
                              std::string& out) {
    const char32_t negated = negation_of(base);
    // Without a precomposed form (U+2ADD, whose negation is excluded from composition, or
    // any other operator) a mathematical symbol is still negated.
    if (negated == 0 && unicode::general_category(base) != unicode::Sm) return Negation::none;
    if (policy == NonAsciiPolicy::Drop) {
        out.resize(at);
        return Negation::removed;
    }
    if (negated != 0) {
        out.resize(at);
        return resolve(negated, policy, extended_keyboard, out) ? Negation::spelled : Negation::removed;
    }
    if (out.size() == at) return Negation::removed;
    out.insert(at, 1, '!');
    return Negation::spelled;
}

bool resolve_non_keyboard(char32_t c, NonAsciiPolicy policy, bool extended_keyboard, std::string& out) {
    return resolve(c, policy, extended_keyboard, out);
}

}  // namespace scrubix::translit
