#include "resolve.hpp"

#include <cstddef>
#include <cstdint>

#include "../unicode/normalize.hpp"
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

// Fold steps shared by the fold and transliterate policies.
bool negate_or_fold(char32_t c, bool extended_keyboard, std::string& out) {
    const std::string_view negated = negated_relation(c);
    if (!negated.empty()) return keyboard_filter(negated, extended_keyboard, out);
    return fold_char(c, extended_keyboard, out);
}

bool transliterate(char32_t c, bool extended_keyboard, std::string& out) {
    if (negate_or_fold(c, extended_keyboard, out)) return true;
    // A table entry is final: the data is not asked even when the entry filters to nothing.
    const std::string_view spelling = symbol_to_ascii(c);
    if (!spelling.empty()) return keyboard_filter(spelling, extended_keyboard, out);
    if (!passes_transliteration_gate(c)) return false;
    std::string_view entry;
    if (!deunicode_lookup(c, entry)) return false;
    return keyboard_filter(trim_white_space(entry), extended_keyboard, out);
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
    if (c > 0x10FFFF) return false;
    const bool c_is_space = unicode::is_white_space(c);
    char32_t decomposition[unicode::kMaxDecomposition];
    const std::size_t n = unicode::nfkd_char(c, decomposition);
    bool wrote = false;
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t d = decomposition[i];
        // The space of a spacing accent (U+00A8 -> SP U+0308) is not kept.
        if (d == U' ' && !c_is_space) continue;
        wrote |= keyboard_filter_char(d, extended_keyboard, out);
    }
    return wrote;
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
    switch (policy) {
        case NonAsciiPolicy::Drop:
            return false;
        case NonAsciiPolicy::Fold:
            return !negated_relation(c).empty();
        case NonAsciiPolicy::Transliterate:
            return !negated_relation(c).empty() || !symbol_to_ascii(c).empty();
    }
    return false;
}

bool resolve_non_keyboard(char32_t c, NonAsciiPolicy policy, bool extended_keyboard, std::string& out) {
    switch (policy) {
        case NonAsciiPolicy::Drop:
            return false;
        case NonAsciiPolicy::Fold:
            return negate_or_fold(c, extended_keyboard, out);
        case NonAsciiPolicy::Transliterate:
            return transliterate(c, extended_keyboard, out);
    }
    return false;
}

}  // namespace scrubix::translit
