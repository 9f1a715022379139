#include "pass/keyboard_only_filter.hpp"

#include "pass/shortcuts/ascii_bytes.hpp"
#include "translit/resolve.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {
constexpr char32_t kCombiningLongSolidusOverlay = 0x0338;

constexpr bool is_relation_char(char c) noexcept { return c == '<' || c == '=' || c == '>'; }
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

KeyboardOnlyFilter::Outcome KeyboardOnlyFilter::filter(ClusterFacts& cluster, std::string_view cleaned) {
    const Options& o = options_;
    // Emoji kept whole.
    if (o.emoji_policy == EmojiPolicy::Keep && unicode::is_emoji_cluster(cluster.text, cluster.emoji, o))
        return {Kind::KeptEmoji};

    filtered_.clear();
    Outcome outcome{Kind::Filtered};
    std::uint64_t chars = 0;
    for (std::size_t i = 0; i < cleaned.size();) {
        const char32_t c = utf8::decode(cleaned, i);
        ++chars;
        if (unicode::is_keyboard_char(c, o.extended_keyboard)) {
            utf8::append(filtered_, c);
        } else if (o.non_ascii_policy != NonAsciiPolicy::Drop && c == kCombiningLongSolidusOverlay &&
                   negate_trailing_operator(filtered_)) {
            ++outcome.transliterated;
        } else if (o.non_ascii_policy == NonAsciiPolicy::Drop) {
            ++outcome.removed;
        } else if (translit::resolve_non_keyboard(c, o.non_ascii_policy, o.extended_keyboard, filtered_)) {
            ++outcome.transliterated;
        } else {
            ++outcome.removed;
        }
    }
    if (!filtered_.empty()) return outcome;

    // Nothing survived: the cluster is dropped whole.
    if (unicode::is_emoji_cluster(cluster.text, cluster.emoji, o)) return {Kind::DroppedEmoji};
    return {Kind::Dropped, 0, chars};
}

void KeyboardOnlyFilter::commit(Output& output, const Outcome& outcome, std::string_view cleaned,
                                std::string_view filtered, std::size_t hidden_removed) {
    Tally& tally = output.tally;
    switch (outcome.kind) {
        case Kind::KeptEmoji:
            output.emit(cleaned);
            return;
        case Kind::Filtered:
            if (outcome.transliterated)
                tally.add(&CleaningStats::non_keyboard_transliterated, outcome.transliterated);
            if (outcome.removed) tally.add(&CleaningStats::non_keyboard_removed, outcome.removed);
            output.emit(filtered);
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
    if (mode_ == PassMode::Shortcuts && options_.emoji_policy == EmojiPolicy::Drop && ascii::is_keyboard_text(cleaned)) {
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
    filtered_.copy(kept.text, text_size);
    memory_.store(place, kept);
}

}  // namespace scrubix
