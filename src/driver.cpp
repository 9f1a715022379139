#include "driver.hpp"

#include "main_pass.hpp"
#include "translit/symbol_table.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {

// Nothing can change a pure-ASCII text when the options that act on ASCII are all off.
bool takes_fast_path(std::string_view text, const Options& o) noexcept {
    if (o.remove_trailing_whitespace || o.collapse_whitespace || o.has_line_endings() ||
        o.remove_control_chars || o.unicode_normalization != NormalizationMode::None)
        return false;
    if (!utf8::is_ascii(text)) return false;
    if (o.keyboard_only) {
        for (unsigned char b : text)
            if (!unicode::is_keyboard_char(b, false)) return false;
    }
    return true;
}

constexpr bool is_negated_relation(char32_t c) noexcept {
    return c == 0x2260 || c == 0x226E || c == 0x226F;
}

// Characters that keyboard-only resolution spells whole, so normalization must not split them.
bool is_protected(char32_t c, const Options& o) noexcept {
    if (c < 0x80 || unicode::is_keyboard_char(c, o.extended_keyboard)) return false;
    switch (o.non_ascii_policy) {
        case NonAsciiPolicy::Drop:
            return false;
        case NonAsciiPolicy::Fold:
            return is_negated_relation(c);
        case NonAsciiPolicy::Transliterate:
            return is_negated_relation(c) || !translit::symbol_to_ascii(c).empty();
    }
    return false;
}

void normalize_stage(std::string_view text, const Options& o, std::string& out) {
    out.reserve(text.size());
    const NormalizationMode mode = o.unicode_normalization;
    if (!o.keyboard_only || o.non_ascii_policy == NonAsciiPolicy::Drop) {
        unicode::normalize_into(mode, text, out);
        return;
    }
    // Cut at each protected character: normalize the pieces, copy the character itself.
    std::size_t piece = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        const char32_t c = utf8::decode(text, i);
        if (!is_protected(c, o)) continue;
        unicode::normalize_into(mode, text.substr(piece, start - piece), out);
        out.append(text.substr(start, i - start));
        piece = i;
    }
    unicode::normalize_into(mode, text.substr(piece), out);
}

}  // namespace

std::variant<CleaningResult, CleaningError> try_clean(std::string_view text, const Options& options) {
    CleaningResult result;
    if (text.empty() || takes_fast_path(text, options)) {
        result.unchanged = true;
        return result;
    }

    Tally tally;
    std::string normalized;
    std::string_view input = text;
    if (options.unicode_normalization != NormalizationMode::None) {
        normalize_stage(text, options, normalized);
        if (normalized != text) tally.add(&CleaningStats::unicode_normalized);
        input = normalized;
    }

    run_main_pass(input, options, result.text, tally);
    result.changes_made = tally.changes_made;
    result.stats = tally.stats;
    return result;
}

CleaningResult clean(std::string_view text, const Options& options) {
    auto outcome = try_clean(text, options);
    if (auto* error = std::get_if<CleaningError>(&outcome)) {
        throw EnginePanic("clean() failed: " + error->message() +
                          ". Enable the 'unorm' feature or call try_clean() to handle the error");
    }
    return std::get<CleaningResult>(std::move(outcome));
}

}  // namespace scrubix
