#include "keyboard_only_filter.hpp"

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

KeyboardOnlyFilter::Outcome KeyboardOnlyFilter::filter(std::string_view cluster, std::string_view processed,
                                                       const Options& o, unicode::EmojiVerdict& verdict) {
    // Emoji kept whole.
    if (o.emoji_policy == EmojiPolicy::Keep && unicode::is_emoji_cluster(cluster, verdict, o))
        return {Kind::kept_emoji};

    filtered_.clear();
    Outcome outcome{Kind::filtered};
    std::uint64_t chars = 0;
    for (std::size_t i = 0; i < processed.size();) {
        const char32_t c = utf8::decode(processed, i);
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
    if (unicode::is_emoji_cluster(cluster, verdict, o)) return {Kind::dropped_emoji};
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

KeyboardOnlyFilter::Remembered& KeyboardOnlyFilter::slot_for(char32_t c) {
    if (!remembered_) remembered_ = std::make_unique<Remembered[]>(kRememberedSlots);
    return remembered_[(std::uint32_t(c) * 0x9E3779B1u) >> 24];
}

void KeyboardOnlyFilter::apply(PassState& state, std::string_view cluster, std::string_view processed,
                               std::size_t hidden_removed, unicode::EmojiVerdict& verdict) {
    const Options& o = state.options;
    // A cluster of one code point the pipeline left as it was: its outcome depends on the code
    // point alone (no hidden characters were removed, no overlay can follow an operator).
    const bool single = remember_ && processed.data() == cluster.data() && processed.size() == cluster.size() &&
                        utf8::sequence_length(static_cast<unsigned char>(cluster[0])) == cluster.size();
    if (!single) {
        const Outcome outcome = filter(cluster, processed, o, verdict);
        commit(state, outcome, processed, filtered_, hidden_removed);
        return;
    }
    std::size_t i = 0;
    const char32_t c = utf8::decode(cluster, i);
    Remembered& slot = slot_for(c);
    if (slot.code_point != c) {
        const Outcome outcome = filter(cluster, processed, o, verdict);
        commit(state, outcome, processed, filtered_, hidden_removed);
        if (filtered_.size() > Remembered::kMaxText || outcome.transliterated > 1 || outcome.removed > 1)
            return;
        slot.code_point = c;
        slot.kind = outcome.kind;
        slot.transliterated = static_cast<std::uint8_t>(outcome.transliterated);
        slot.removed = static_cast<std::uint8_t>(outcome.removed);
        slot.text_size = static_cast<std::uint8_t>(outcome.kind == Kind::filtered ? filtered_.size() : 0);
        filtered_.copy(slot.text, slot.text_size);
        return;
    }
    const Outcome outcome{slot.kind, slot.transliterated, slot.removed};
    commit(state, outcome, processed, std::string_view(slot.text, slot.text_size), 0);
}

}  // namespace scrubix
