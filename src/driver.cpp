#include "driver.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "general_path.hpp"
#include "main_pass.hpp"
#include "translit/resolve.hpp"
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
    return o.keyboard_only ? unicode::is_keyboard_ascii(text) : utf8::is_ascii(text);
}

// Whether the main pass writes every text back as it is: no rule of it is enabled.
bool pass_is_identity(const Options& o) noexcept {
    return !o.remove_hidden && !o.remove_trailing_whitespace && !o.normalize_spaces &&
           !o.normalize_dashes && !o.normalize_quotes && !o.normalize_other && !o.keyboard_only &&
           !o.remove_control_chars && !o.collapse_whitespace && !o.has_line_endings();
}

// Index of the first byte at or after `i` that is not ASCII, or the text's size.
std::size_t next_non_ascii(std::string_view text, std::size_t i) noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
        if (high != 0) return i + unsigned(__builtin_ctz(unsigned(high)));
    }
#endif
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

// Calls `on_piece(piece)` for each piece the normalization stage normalizes on its own and
// `on_kept(character)` for each protected character between them, in order. Stops early and
// returns false when a call does.
template <class OnPiece, class OnKept>
bool for_each_piece(std::string_view text, const Options& o, OnPiece&& on_piece, OnKept&& on_kept) {
    if (!o.keyboard_only) return on_piece(text);
    // Cut at each protected character: normalize the pieces, copy the character itself.
    std::size_t piece = 0;
    for (std::size_t i = next_non_ascii(text, 0); i < text.size(); i = next_non_ascii(text, i)) {
        const std::size_t start = i;
        const char32_t c = utf8::decode(text, i);
        if (!translit::is_protected_from_normalization(c, o.non_ascii_policy, o.extended_keyboard)) continue;
        if (!on_piece(text.substr(piece, start - piece)) || !on_kept(text.substr(start, i - start))) return false;
        piece = i;
    }
    return on_piece(text.substr(piece));
}

void normalize_stage(std::string_view text, const Options& o, std::string& out) {
    out.reserve(text.size());
    const NormalizationMode mode = o.unicode_normalization;
    for_each_piece(
        text, o,
        [&](std::string_view piece) {
            unicode::normalize_into(mode, piece, out);
            return true;
        },
        [&](std::string_view kept) {
            out.append(kept);
            return true;
        });
}

// Whether the normalization stage would give the text back as it is (most texts are in the
// requested form already; then no normalized copy is made).
bool already_normalized(std::string_view text, const Options& o) {
    const NormalizationMode mode = o.unicode_normalization;
    return for_each_piece(
        text, o, [&](std::string_view piece) { return unicode::is_normalized(mode, piece); },
        [](std::string_view) { return true; });
}

// Steps 3 to 5 of a call: the normalization stage, then the main pass (or, when the pass
// could change nothing, the normalized text itself).
CleaningResult clean_through_pass(std::string_view text, const Options& options, bool shortcuts) {
    CleaningResult result;
    Tally tally;
    std::string normalized;
    std::string_view input = text;
    bool normalizing = options.unicode_normalization != NormalizationMode::None;
    if (normalizing && shortcuts && already_normalized(text, options)) normalizing = false;
    if (normalizing) {
        normalize_stage(text, options, normalized);
        if (normalized != text) tally.add(&CleaningStats::unicode_normalized);
        input = normalized;
    }

    if (shortcuts && pass_is_identity(options)) {
        if (normalizing) {
            result.text = std::move(normalized);
        } else {
            result.text.assign(text);
        }
    } else if (shortcuts) {
        run_main_pass(input, options, result.text, tally);
    } else {
        run_main_pass_general(input, options, result.text, tally);
    }
    result.changes_made = tally.changes_made;
    result.stats = tally.stats;
    return result;
}

}  // namespace

std::variant<CleaningResult, CleaningError> try_clean(std::string_view text, const Options& options) {
    if (text.empty() || takes_fast_path(text, options)) {
        CleaningResult result;
        result.unchanged = true;
        return result;
    }
    return clean_through_pass(text, options, true);
}

CleaningResult clean_general(std::string_view text, const Options& options) {
    return clean_through_pass(text, options, false);
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
