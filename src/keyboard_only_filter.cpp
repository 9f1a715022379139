#include "keyboard_only_filter.hpp"

#include "translit/resolve.hpp"
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

KeyboardOnlyFilter::Outcome KeyboardOnlyFilter::filter(std::string_view cluster, std::string_view processed,
                                                       const Options& o, unicode::EmojiVerdict& verdict) {
    // Emoji kept whole.
    if (o.emoji_policy == EmojiPolicy::Keep && unicode::is_emoji_cluster(cluster, verdict))
        return {Kind::kept_emoji};

    Outcome outcome{Kind::filtered};
    std::uint64_t chars = 0;
    filter_chars<false>(processed, o, filtered_, outcome.transliterated, outcome.removed, chars);
    if (!filtered_.empty()) return outcome;

    // Nothing survived: the cluster is dropped whole.
    if (unicode::is_emoji_cluster(cluster, verdict)) return {Kind::dropped_emoji};
    return {Kind::dropped, 0, chars};
}

void KeyboardOnlyFilter::commit(PassState& state, const Outcome& outcome, std::string_view processed,
                                std::string_view filtered, std::size_t hidden_removed) {
    switch (outcome.kind) {
        case Kind::kept_emoji:
            state.emit(processed);
            return;
        case Kind::filtered:
            if (outcome.transliterated)
                state.tally.add(&CleaningStats::non_keyboard_transliterated, outcome.transliterated);
            if (outcome.removed) state.tally.add(&CleaningStats::non_keyboard_removed, outcome.removed);
            state.emit(filtered);
            return;
        case Kind::dropped_emoji:
            // The hidden characters the pipeline removed go with the emoji: one change in all.
            if (hidden_removed) state.tally.take_back(&CleaningStats::hidden_chars_removed, hidden_removed);
            state.tally.add(&CleaningStats::emojis_dropped);
            break;
        case Kind::dropped:
            state.tally.add(&CleaningStats::non_keyboard_removed, outcome.removed);
            break;
    }
    state.note_drop();
}

KeyboardOnlyFilter::KeyboardOnlyFilter(bool remember, std::size_t text_size) noexcept
    : remember_(remember), pair_bits_(kMinPairBits) {
    // About one pair per 64 bytes of text, so that setting the memory up costs little.
    while (pair_bits_ < kMaxPairBits && (std::size_t(64) << pair_bits_) < text_size) ++pair_bits_;
}

void KeyboardOnlyFilter::allocate_remembered() {
    remembered_ = std::make_unique<Remembered[]>(std::size_t(2) << pair_bits_);
}

void KeyboardOnlyFilter::remember(Remembered* way, std::uint64_t key, std::size_t size, const Outcome& outcome) {
    const std::size_t text_size = outcome.kind == Kind::filtered ? filtered_.size() : 0;
    if (text_size > Remembered::kMaxText) return;
    // The newest outcome takes the first way; the one it displaces moves to the second.
    if (way[0].key_size != 0) way[1] = way[0];
    Remembered& slot = way[0];
    slot.key = key;
    slot.key_size = static_cast<std::uint8_t>(size);
    slot.kind = outcome.kind;
    slot.transliterated = static_cast<std::uint8_t>(outcome.transliterated);
    slot.removed = static_cast<std::uint8_t>(outcome.removed);
    slot.text_size = static_cast<std::uint8_t>(text_size);
    filtered_.copy(slot.text, text_size);
}

void KeyboardOnlyFilter::apply(PassState& state, std::string_view cluster, std::string_view processed,
                               std::size_t hidden_removed, unicode::EmojiVerdict& verdict) {
    const Options& o = state.options;
    // Keyboard ASCII only (a quote or dash the pipeline rewrote): filtered to itself, unless
    // an emoji kept whole comes first.
    if (remember_ && o.emoji_policy == EmojiPolicy::Drop && unicode::is_keyboard_ascii(processed)) {
        state.emit(processed);
        return;
    }
    if (!remember_ || cluster.size() > Remembered::kMaxKey) {
        const Outcome outcome = filter(cluster, processed, o, verdict);
        commit(state, outcome, processed, filtered_, hidden_removed);
        return;
    }
    std::uint64_t key;
    Remembered* way;
    if (const Remembered* known = find(cluster, key, way)) {
        commit(state, *known, processed, hidden_removed);
        return;
    }
    const Outcome outcome = filter(cluster, processed, o, verdict);
    commit(state, outcome, processed, filtered_, hidden_removed);
    remember(way, key, cluster.size(), outcome);
}

}  // namespace scrubix
