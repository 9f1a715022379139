#include "pass/keyboard_only_filter.hpp"

#include "pass/shortcuts/ascii_bytes.hpp"
#include "translit/resolve.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {
constexpr char32_t kCombiningLongSolidusOverlay = 0x0338;

constexpr bool is_relation_char(char c) noexcept { return c == '<' || c == '=' || c == '>'; }

// Filters the code points of `processed` into `filtered`, counting them in `chars` and the
// non-keyboard ones in `transliterated` or `removed`. With `kOverlays` it also keeps the
// character that a U+0338 would negate; without, it starts over with it at the first U+0338,
// so that text without one pays nothing for negations.
template <bool kOverlays>
void filter_chars(std::string_view processed, const Options& o, std::string& filtered,
                  std::uint64_t& transliterated, std::uint64_t& removed, std::uint64_t& chars) {
    filtered.clear();
    transliterated = removed = chars = 0;
    // The character a U+0338 would negate: where its spelling starts and what it counted.
    char32_t base = 0;
    std::size_t base_at = 0;
    std::uint64_t* base_count = nullptr;
    for (std::size_t i = 0; i < processed.size();) {
        const char32_t c = utf8::decode(processed, i);
        const std::size_t at = filtered.size();
        ++chars;
        if (unicode::is_keyboard_char(c, o.extended_keyboard)) {
            utf8::append(filtered, c);
            if constexpr (kOverlays) {
                base = c;
                base_at = at;
                base_count = nullptr;
            }
            continue;
        }
        if (c == kCombiningLongSolidusOverlay) {
            if constexpr (!kOverlays) {
                return filter_chars<true>(processed, o, filtered, transliterated, removed, chars);
            } else if (base != 0) {
                // The base and its overlay are one negated character, as in the precomposed form.
                const translit::Negation negation =
                    translit::resolve_negated_pair(base, base_at, o.non_ascii_policy, o.extended_keyboard, filtered);
                if (negation != translit::Negation::none) {
                    if (base_count != nullptr) --*base_count;
                    --chars;
                    base_count = negation == translit::Negation::spelled ? &transliterated : &removed;
                    ++*base_count;
                    // A second overlay meets the negated relation, as it would after U+2260.
                    base = translit::negation_of(base);
                    continue;
                }
            }
        }
        std::uint64_t* count = &removed;
        if (o.non_ascii_policy != NonAsciiPolicy::Drop && c == kCombiningLongSolidusOverlay &&
            negate_trailing_operator(filtered)) {
            count = &transliterated;
        } else if (o.non_ascii_policy != NonAsciiPolicy::Drop &&
                   translit::resolve_non_keyboard(c, o.non_ascii_policy, o.extended_keyboard, filtered)) {
            count = &transliterated;
        }
        ++*count;
        if constexpr (kOverlays) {
            switch (translit::overlay_reach(c)) {
                case translit::OverlayReach::base:
                    base = c;
                    base_at = at;
                    base_count = count;
                    break;
                case translit::OverlayReach::through:
                    if (filtered.size() != at) base = 0;
                    break;
                case translit::OverlayReach::blocked:
                    base = 0;
                    break;
            }
        }
    }
}
}  // namespace

bool negate_trailing_operator(std::string& filtered) {
    std::size_t start = filtered.size();
    while (start > 0 && is_relation_char(filtered[start - 1])) --start;
    const std::string_view run = std::string_view(filtered).substr(start);
    if (run.empty() || (start > 0 && filtered[start - 1] == '-')) return false;
    const char* replacement = nullptr;
    if (run == "<") replacement = "!<";
    else if (run == "=") replacement = "!=";
    else if (run == ">") replacement = "!>";
    else if (run == "<=") replacement = "!<=";
    else if (run == ">=") replacement = "!>=";
    else if (run == "===") replacement = "!==";
    else return false;
    filtered.resize(start);
    filtered.append(replacement);
    return true;
}

bool KeyboardOnlyFilter::stays_emoji_when_normalized(std::string_view cleaned) {
    const NormalizationMode form = options_.unicode_normalization;
    if (form == NormalizationMode::None || unicode::is_normalized(form, cleaned)) return true;
    normalized_.clear();
    unicode::normalize_into(form, cleaned, normalized_);
    unicode::EmojiVerdict verdict = unicode::EmojiVerdict::Unknown;
    return unicode::is_emoji_cluster(normalized_, verdict);
}

KeyboardOnlyFilter::Outcome KeyboardOnlyFilter::filter(ClusterFacts& cluster, std::string_view cleaned) {
    const Options& o = options_;
    // Emoji kept whole.
    if (o.emoji_policy == EmojiPolicy::Keep && unicode::is_emoji_cluster(cluster.text, cluster.emoji)) {
        if (stays_emoji_when_normalized(cleaned)) return {Kind::KeptEmoji};
        cluster.emoji = unicode::EmojiVerdict::No;  // filtered as the text it becomes
    }

    Outcome outcome{Kind::Filtered};
    std::uint64_t chars = 0;
    filter_chars<false>(cleaned, o, filtered_, outcome.transliterated, outcome.removed, chars);
    if (!filtered_.empty()) return outcome;

    // Nothing survived: the cluster is dropped whole.
    if (unicode::is_emoji_cluster(cluster.text, cluster.emoji)) return {Kind::DroppedEmoji};
    return {Kind::Dropped, 0, chars};
}

void KeyboardOnlyFilter::commit(Output& output, const Outcome& outcome, std::string_view cleaned,
                                std::string_view filtered, std::size_t hidden_removed) {
    Tally& tally = output.tally;
    switch (outcome.kind) {
        case Kind::KeptEmoji:
            output.emit(cleaned);
            output.note_form_at_risk();
            return;
        case Kind::Filtered:
            if (outcome.transliterated)
                tally.add(&CleaningStats::non_keyboard_transliterated, outcome.transliterated);
            if (outcome.removed) tally.add(&CleaningStats::non_keyboard_removed, outcome.removed);
            // What the filter leaves of a cluster may be only whitespace (a space and its
            // marks, a no-break space spelled " "): it is held like any other, so trimmed
            // and collapsed in this pass and not in the next.
            if (is_spaces_and_tabs(filtered)) {
                output.hold(filtered);
            } else {
                output.emit(filtered);
            }
            return;
        case Kind::DroppedEmoji:
            // The emoji take-back: the hidden characters the rules removed from the cluster go
            // with it, so the dropped emoji is one change in all.
            if (hidden_removed) tally.take_back(&CleaningStats::hidden_chars_removed, hidden_removed);
            tally.add(&CleaningStats::emojis_dropped);
            break;
        case Kind::Dropped:
            tally.add(&CleaningStats::non_keyboard_removed, outcome.removed);
            break;
    }
    output.note_drop();
}

void KeyboardOnlyFilter::apply(Output& output, ClusterFacts& cluster, std::string_view cleaned) {
    // Keyboard text only (a quote or dash the rules rewrote) is its own filtered form, unless
    // an emoji kept whole comes first.
    if (mode_ == PassMode::Shortcuts && options_.emoji_policy == EmojiPolicy::Drop && unicode::is_keyboard_ascii(cleaned)) {
        output.emit(cleaned);
        return;
    }
    if (mode_ == PassMode::Reference || cluster.text.size() > Memory::kMaxClusterBytes) {
        const Outcome outcome = filter(cluster, cleaned);
        commit(output, outcome, cleaned, filtered_, cluster.hidden_removed);
        return;
    }
    const Memory::Place place = memory_.place_of(cluster.text);
    if (const Remembered* known = memory_.find(place)) {
        commit(output, *known, cleaned, cluster.hidden_removed);
        return;
    }
    const Outcome outcome = filter(cluster, cleaned);
    commit(output, outcome, cleaned, filtered_, cluster.hidden_removed);
    remember(place, outcome);
}

void KeyboardOnlyFilter::remember(const Memory::Place& place, const Outcome& outcome) {
    const std::size_t text_size = outcome.kind == Kind::Filtered ? filtered_.size() : 0;
    if (text_size > Remembered::kMaxText) return;
    Remembered kept;
    kept.kind = outcome.kind;
    kept.transliterated = static_cast<std::uint8_t>(outcome.transliterated);
    kept.removed = static_cast<std::uint8_t>(outcome.removed);
    kept.text_size = static_cast<std::uint8_t>(text_size);
    kept.visible = outcome.kind == Kind::Filtered && outcome.removed == 0 && !is_spaces_and_tabs(filtered_);
    filtered_.copy(kept.text, text_size);
    memory_.store(place, kept);
}

}  // namespace scrubix
