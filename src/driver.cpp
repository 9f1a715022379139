#include "driver.hpp"

#include "explain/change_list.hpp"
#include "explain/change_report.hpp"
#include "explain/normalizing_changes.hpp"
#include "pass/pass.hpp"
#include "pass/shortcuts/ascii_bytes.hpp"
#include "reference_path.hpp"
#include "translit/resolve.hpp"
#include "unicode/char_props.hpp"
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

// Appends the normalization stage's output for `text` to `out`. `kept` bytes at its start
// are known to be in the form already and to end at a boundary (0 when nothing is known).
void normalize_stage(std::string_view text, const Options& o, std::string& out, std::size_t kept = 0) {
    out.reserve(text.size());
    const NormalizationMode mode = o.unicode_normalization;
    if (kept != 0) {
        // Without protected characters the stage is one piece: the start is copied, not
        // scanned a second time.
        out.append(text.substr(0, kept));
        unicode::normalize_into(mode, text.substr(kept), out);
        return;
    }
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

// The characters the compatibility forms write as ASCII that the pass, given them as they
// stand, writes the same way and counts, found between ASCII bytes (or the text's ends): each
// is then a cluster alone both before and after the form, which cuts the text on both sides.
struct PassWrittenCompat {
    std::uint64_t spaces = 0;    // written as one space and counted by the space rule
    std::uint64_t ellipses = 0;  // written as "..." and counted by the other-symbol rule
};

// Whether everything the compatibility `form` changes in `text` past its first `kept` bytes
// (which `normalized_prefix` found in the form) is such characters; they are counted in
// `found`. The form of the text is then the text with each of them written as the pass writes
// it, so the pass can take the text as it stands: the same output, with those rules' counts
// taken back for the form's one.
bool only_pass_written_compat(std::string_view text, std::size_t kept, const Options& o, PassWrittenCompat& found) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t p = kept; p < n;) {
        std::size_t end = p;
        const char32_t c = utf8::decode(text, end);
        if ((p != 0 && bytes[p - 1] >= 0x80) || (end != n && bytes[end] >= 0x80)) return false;
        const std::uint8_t classes = unicode::pass_class_inline(c);
        // (The spaces whose compatibility form is U+0020 alone.)
        const bool space = c == 0xA0 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000;
        if (space && o.normalize_spaces && classes == unicode::kPassSpace) {
            ++found.spaces;
        } else if (c == 0x2026 && o.normalize_other && classes == unicode::kPassOther) {
            ++found.ellipses;
        } else {
            return false;
        }
        p = end + unicode::normalized_prefix(o.unicode_normalization, text.substr(end));
    }
    return true;
}

// Where the cleaned text of a call ended up.
enum class Written : std::uint8_t { Input, Normalized, Passed };

// The normalization stage, then the main pass (or, when the pass could change nothing, the
// normalized text itself). The stage writes to `scratch.normalized`, which is cleared first;
// the pass appends to `passed`. `plan` is the options' pass plan, or null to work it out when
// the pass runs.
Written clean_through_pass(std::string_view text, const Options& options, const PassPlan* plan, PassMode mode,
                           CleaningScratch& scratch, std::string& passed, Tally& tally) {
    std::string_view input = text;
    bool normalizing = options.unicode_normalization != NormalizationMode::None;
    std::size_t kept = 0;
    PassWrittenCompat deferred;
    bool deferring = false;  // the pass writes what the form would change
    if (normalizing && mode == PassMode::Shortcuts) {
        if (options.keyboard_only) {
            normalizing = !already_normalized(text, options);
        } else {
            // One scan finds whether the text is in the form and, if not, how much of its
            // start is: the stage then goes on from there.
            kept = unicode::normalized_prefix(options.unicode_normalization, text);
            normalizing = kept != text.size();
            const NormalizationMode form = options.unicode_normalization;
            deferring = normalizing && (form == NormalizationMode::NFKC || form == NormalizationMode::NFKD) &&
                        only_pass_written_compat(text, kept, options, deferred);
            normalizing = normalizing && !deferring;
        }
    }
    if (normalizing) {
        scratch.normalized.clear();
        normalize_stage(text, options, scratch.normalized, kept);
        if (scratch.normalized != text) tally.add(&CleaningStats::unicode_normalized);
        input = scratch.normalized;
    }
    if (deferring) tally.add(&CleaningStats::unicode_normalized);
    if (mode == PassMode::Shortcuts && !deferring && pass_is_identity(options))
        return normalizing ? Written::Normalized : Written::Input;
    if (plan != nullptr) {
        run_pass(input, options, *plan, mode, passed, tally);
    } else {
        run_pass(input, options, PassPlan(options), mode, passed, tally);
    }
    if (deferring) {
        if (deferred.spaces != 0) tally.take_back(&CleaningStats::spaces_normalized, deferred.spaces);
        if (deferred.ellipses != 0) tally.take_back(&CleaningStats::other_normalized, deferred.ellipses);
    }
    return Written::Passed;
}

CleaningResult clean_through_pass(std::string_view text, const Options& options, PassMode mode) {
    CleaningScratch scratch;
    Tally tally;
    CleaningResult result;
    switch (clean_through_pass(text, options, nullptr, mode, scratch, scratch.passed, tally)) {
        case Written::Input: result.text.assign(text); break;
        case Written::Normalized: result.text = std::move(scratch.normalized); break;
        case Written::Passed: result.text = std::move(scratch.passed); break;
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

std::variant<Tally, CleaningError> BatchCleaner::clean_append(std::string_view text, std::string& out) {
    // (The counters are added up where they are returned: no copy of them per text.)
    std::variant<Tally, CleaningError> outcome(std::in_place_type<Tally>);
    Tally& tally = *std::get_if<Tally>(&outcome);
    if (text.empty() || takes_fast_path(text, options_)) {
        out.append(text);
        return outcome;
    }
    // The pass writes straight after what `out` holds.
    switch (clean_through_pass(text, options_, &plan_, PassMode::Shortcuts, scratch_, out, tally)) {
        case Written::Input: out.append(text); break;
        case Written::Normalized: out.append(scratch_.normalized); break;
        case Written::Passed: break;
    }
    return outcome;
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

ExplainedResult explain(std::string_view text, const Options& options) {
    using namespace explain_detail;
    ExplainedResult explained;
    Tally tally;
    std::string normalized;
    Changes normalizing;
    const bool has_form = options.unicode_normalization != NormalizationMode::None;
    // Most texts are in the form already: then the stage would change nothing, and no
    // normalized copy is made.
    const bool normalizes = has_form && !already_normalized(text, options);
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
    Changes pass = run_explained_pass(input, options, explained.result.text, tally);
    // The pass may have joined a base and its marks (a character between them removed): the
    // output is brought back to the form, as `clean` does, and that is one more stage to compose.
    if (has_form && !unicode::is_normalized(options.unicode_normalization, explained.result.text)) {
        const std::string passed = std::move(explained.result.text);
        explained.result.text.clear();
        explained.result.text.reserve(passed.size());
        ChangeList renormalizing(passed);
        bool counted = tally.stats.unicode_normalized != 0;
        normalize_reporting(passed, passed, options.unicode_normalization, explained.result.text, renormalizing,
                            counted);
        if (counted && tally.stats.unicode_normalized == 0) tally.add(&CleaningStats::unicode_normalized);
        pass = compose(pass, renormalizing.take());
    }
    explained.changes = normalizes ? compose(normalizing, pass) : std::move(pass);
    explained.result.changes_made = tally.changes_made;
    explained.result.stats = tally.stats;
    return explained;
}

}  // namespace scrubix
