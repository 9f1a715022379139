#include "driver.hpp"

#include "explain/change_list.hpp"
#include "pass/pass.hpp"
#include "pass/shortcuts/ascii_bytes.hpp"
#include "reference_path.hpp"
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

// Calls `on_piece(piece)` for each piece the normalization stage normalizes on its own and
// `on_kept(character)` for each protected character between them, in order. Stops early and
// returns false when a call does.
template <class OnPiece, class OnKept>
bool for_each_piece(std::string_view text, const Options& o, OnPiece&& on_piece, OnKept&& on_kept) {
    if (!o.keyboard_only) return on_piece(text);
    // Cut at each protected character: normalize the pieces, copy the character itself.
    std::size_t piece = 0;
    for (std::size_t i = ascii::next_non_ascii(text, 0); i < text.size(); i = ascii::next_non_ascii(text, i)) {
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
    // Every piece of a text in the form is in the form, so the pieces are asked one by one
    // (each character looked at for the cut) only when the whole is not.
    if (unicode::is_normalized(mode, text)) return true;
    if (!o.keyboard_only) return false;
    return for_each_piece(
        text, o, [&](std::string_view piece) { return unicode::is_normalized(mode, piece); },
        [](std::string_view) { return true; });
}

// The normalization stage, then the main pass (or, when the pass could change nothing, the
// normalized text itself).
CleaningResult clean_through_pass(std::string_view text, const Options& options, PassMode mode) {
    CleaningResult result;
    Tally tally;
    std::string normalized;
    std::string_view input = text;
    bool normalizing = options.unicode_normalization != NormalizationMode::None;
    if (normalizing && mode == PassMode::Shortcuts && already_normalized(text, options)) normalizing = false;
    if (normalizing) {
        normalize_stage(text, options, normalized);
        if (normalized != text) tally.add(&CleaningStats::unicode_normalized);
        input = normalized;
    }

    if (mode == PassMode::Shortcuts && pass_is_identity(options)) {
        if (normalizing) {
            result.text = std::move(normalized);
        } else {
            result.text.assign(text);
        }
    } else {
        run_pass(input, options, mode, result.text, tally);
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
    return clean_through_pass(text, options, PassMode::Shortcuts);
}

CleaningResult clean_reference(std::string_view text, const Options& options) {
    return clean_through_pass(text, options, PassMode::Reference);
}

CleaningResult clean(std::string_view text, const Options& options) {
    auto outcome = try_clean(text, options);
    if (auto* error = std::get_if<CleaningError>(&outcome)) {
        throw EnginePanic("clean() failed: " + error->message() +
                          ". Enable the 'unorm' feature or call try_clean() to handle the error");
    }
    return std::get<CleaningResult>(std::move(outcome));
}

// ---- The change report ---------------------------------------------------------------------

namespace {

// The normalization stage for one piece, reporting its changes: the piece is normalized in
// parts cut before ASCII characters (normalization never reaches back across one), so a
// change spans no more than the non-ASCII text around it. The counter counts texts: the
// first change carries it.
void normalize_reporting(std::string_view text, std::string_view piece, NormalizationMode mode, std::string& out,
                         explain_detail::ChangeList& changes, bool& counted) {
    using explain_detail::kUnicodeNormalized;
    const auto base = static_cast<std::size_t>(piece.data() - text.data());
    std::size_t pos = 0;
    while (pos < piece.size()) {
        const std::size_t non_ascii = ascii::next_non_ascii(piece, pos);
        if (non_ascii >= piece.size()) {
            out.append(piece.substr(pos));
            return;
        }
        // An ASCII letter may compose with the marks after it.
        const std::size_t start = non_ascii > pos ? non_ascii - 1 : non_ascii;
        std::size_t end = non_ascii;
        while (end < piece.size() && static_cast<unsigned char>(piece[end]) >= 0x80) ++end;
        out.append(piece.substr(pos, start - pos));
        const std::size_t from = out.size();
        unicode::normalize_into(mode, piece.substr(start, end - start), out);
        const std::string_view written = std::string_view(out).substr(from);
        if (written != piece.substr(start, end - start)) {
            explain_detail::CounterAmounts amounts{};
            amounts[kUnicodeNormalized] = counted ? 0 : 1;
            changes.add_counting(base + start, base + end, written, amounts, 1u << kUnicodeNormalized);
            counted = true;
        }
        pos = end;
    }
}

}  // namespace

ExplainedResult explain(std::string_view text, const Options& options) {
    using namespace explain_detail;
    ExplainedResult explained;
    Tally tally;
    std::string normalized;
    std::vector<SpanChange> normalizing;
    const bool normalizes = options.unicode_normalization != NormalizationMode::None;
    if (normalizes) {
        ChangeList changes(text);
        bool counted = false;
        normalized.reserve(text.size());
        for_each_piece(
            text, options,
            [&](std::string_view piece) {
                normalize_reporting(text, piece, options.unicode_normalization, normalized, changes, counted);
                return true;
            },
            [&](std::string_view kept) {
                normalized.append(kept);
                return true;
            });
        normalizing = changes.take();
        if (counted) tally.add(&CleaningStats::unicode_normalized);
    }
    const std::string_view input = normalizes ? std::string_view(normalized) : text;
    std::vector<SpanChange> pass = run_explained_pass(input, options, explained.result.text, tally);
    // The pass may have joined a base and its marks (a character between them removed): the
    // output is brought back to the form, as `clean` does, and that is one more stage to compose.
    if (normalizes && !unicode::is_normalized(options.unicode_normalization, explained.result.text)) {
        const std::string passed = std::move(explained.result.text);
        explained.result.text.clear();
        explained.result.text.reserve(passed.size());
        ChangeList renormalizing(passed);
        bool counted = tally.stats.unicode_normalized != 0;
        normalize_reporting(passed, passed, options.unicode_normalization, explained.result.text, renormalizing,
                            counted);
        if (counted && tally.stats.unicode_normalized == 0) tally.add(&CleaningStats::unicode_normalized);
        pass = compose(passed, pass, renormalizing.take());
    }
    explained.changes = one_counter_each(normalizes ? compose(normalized, normalizing, pass) : std::move(pass));
    explained.result.changes_made = tally.changes_made;
    explained.result.stats = tally.stats;
    return explained;
}

}  // namespace scrubix
