#include "keyboard_only_filter.hpp"

#include <cstdint>

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

void KeyboardOnlyFilter::apply(PassState& state, std::string_view cluster, std::string_view processed,
                               std::size_t hidden_removed, unicode::EmojiVerdict& verdict) {
    const Options& o = state.options;

    // Emoji kept whole.
    if (o.emoji_policy == EmojiPolicy::Keep && unicode::is_emoji_cluster(cluster, verdict, o)) {
        state.emit(processed);
        return;
    }

    filtered_.clear();
    std::uint64_t transliterated = 0;
    std::uint64_t removed = 0;
    std::uint64_t chars = 0;
    for (std::size_t i = 0; i < processed.size();) {
        const char32_t c = utf8::decode(processed, i);
        ++chars;
        if (unicode::is_keyboard_char(c, o.extended_keyboard)) {
            utf8::append(filtered_, c);
        } else if (o.non_ascii_policy != NonAsciiPolicy::Drop && c == kCombiningLongSolidusOverlay &&
                   negate_trailing_operator(filtered_)) {
            ++transliterated;
        } else if (o.non_ascii_policy == NonAsciiPolicy::Drop) {
            ++removed;
        } else if (translit::resolve_non_keyboard(c, o.non_ascii_policy, o.extended_keyboard, filtered_)) {
            ++transliterated;
        } else {
            ++removed;
        }
    }

    if (!filtered_.empty()) {
        if (transliterated) state.tally.add(&CleaningStats::non_keyboard_transliterated, transliterated);
        if (removed) state.tally.add(&CleaningStats::non_keyboard_removed, removed);
        state.emit(filtered_);
        return;
    }

    // Nothing survived: the cluster is dropped whole.
    if (unicode::is_emoji_cluster(cluster, verdict, o)) {
        if (hidden_removed) state.tally.take_back(&CleaningStats::hidden_chars_removed, hidden_removed);
        state.tally.add(&CleaningStats::emojis_dropped);
    } else {
        state.tally.add(&CleaningStats::non_keyboard_removed, chars);
    }
    state.note_drop();
}

}  // namespace scrubix
