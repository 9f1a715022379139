#include "pass/cluster_loop.hpp"

#include "pass/shortcuts/shortcuts.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {

constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";
constexpr char32_t kEmojiPresentationSelector = 0xFE0F;

}  // namespace

void ClusterLoop::run(std::string_view text) {
    text_end_ = text.data() + text.size();
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (mode_ == PassMode::Shortcuts) {
            const std::size_t next = take_shortcut(*this, text, pos);
            if (next > pos) {
                pos = next;
                continue;
            }
        }
        const std::size_t end = unicode::next_cluster_end(text, pos);
        clean_cluster(text.substr(pos, end - pos));
        pos = end;
    }
    output_.end_of_text();
}

void ClusterLoop::clean_cluster(std::string_view text) {
    if (line_break(text)) return;
    ClusterFacts cluster{text};
    std::string_view cleaned;
    if (!apply_rules(cluster, cleaned)) return;
    write(cluster, cleaned);
}

void ClusterLoop::clean_single(std::string_view text, char32_t c, std::uint8_t classes) {
    if (line_break(text)) return;
    ClusterFacts cluster{text};
    const char32_t original = c;
    switch (apply_character_rules(c, classes, cluster, options_, output_.tally)) {
        case RuleOutcome::Removed:
            note_seam(text, text.size());
            return;
        case RuleOutcome::Ellipsis:
            write_ellipsis();
            return;
        case RuleOutcome::ApostropheN:
            note_seam(text, text.size());
            write(cluster, kApostropheNQuoted);
            return;
        case RuleOutcome::Kept:
            if (c != original) note_seam(text, text.size());
            break;
    }
    char bytes[4];
    write(cluster, std::string_view(bytes, utf8::encode(c, bytes)));
}

bool ClusterLoop::line_break(std::string_view cluster) {
    if (unify_breaks_ && unify_line_break(cluster, breaks_)) {
        output_.emit_line_break("\n");
        return true;
    }
    if (cluster == "\n" || cluster == "\r\n" || cluster == "\r") {
        output_.emit_line_break(cluster);
        return true;
    }
    // Without a line-ending style, line and paragraph separators become LF as spaces.
    if (!unify_breaks_ && options_.normalize_spaces &&
        (cluster == kLineSeparator || cluster == kParagraphSeparator)) {
        output_.emit_line_break("\n");
        output_.tally.add(&CleaningStats::spaces_normalized);
        return true;
    }
    return false;
}

bool ClusterLoop::apply_rules(ClusterFacts& cluster, std::string_view& cleaned) {
    const std::string_view text = cluster.text;
    const std::size_t first = mode_ == PassMode::Shortcuts ? untouched_prefix(text, active_) : 0;
    if (mode_ == PassMode::Shortcuts && first == text.size()) {
        cleaned = text;
        return true;
    }
    // Code points written as they stand are copied in runs, when something after them is
    // removed or rewritten: a cluster the rules keep whole (an emoji sequence with its joiners
    // and selectors) is passed on as it stands, with no copy.
    std::size_t pending = 0;  // buffer_ holds the cleaned text before this input byte
    bool edited = false;      // (else buffer_ is stale and nothing was removed or rewritten)
    const auto flush_to = [&](std::size_t end) {
        if (!edited) buffer_.clear();
        buffer_.append(text.data() + pending, end - pending);
        edited = true;
    };
    bool rewritten = false;  // some code point of the cluster was rewritten
    for (std::size_t i = first; i < text.size();) {
        const std::size_t start = i;
        char32_t c = utf8::decode(text, i);
        const std::uint8_t classes = rule_classes_of(c);
        if (classes == 0) continue;
        // A presentation selector asks for the emoji look of the cluster; once the rules wrote
        // a character of it as ASCII (U+3030 as "-"), there is no emoji left to select, and the
        // selector would strand a lone U+FE0F after the rewrite.
        if (rewritten && c == kEmojiPresentationSelector) {
            flush_to(start);
            pending = i;
            output_.tally.add(&CleaningStats::hidden_chars_removed);
            ++cluster.hidden_removed;
            note_seam(text, i);
            continue;
        }
        const char32_t original = c;
        switch (apply_character_rules(c, classes, cluster, options_, output_.tally)) {
            case RuleOutcome::Removed:
                flush_to(start);
                pending = i;
                note_seam(text, i);
                continue;
            case RuleOutcome::Ellipsis:
                write_ellipsis();
                return false;
            case RuleOutcome::ApostropheN:
                flush_to(start);
                pending = i;
                buffer_.append(kApostropheNQuoted);
                note_seam(text, i);
                rewritten = true;
                continue;
            case RuleOutcome::Kept:
                if (c != original) {
                    flush_to(start);
                    pending = i;
                    utf8::append(buffer_, c);
                    // What is written is no longer the emoji the cluster was: the hidden rule
                    // and the keyboard-only filter treat the rest of it as ordinary text.
                    rewritten = true;
                    cluster.emoji = unicode::EmojiVerdict::No;
                    note_seam(text, i);
                }
                continue;
        }
    }
    if (!edited) {
        cleaned = text;
        return true;
    }
    flush_to(text.size());
    cleaned = buffer_;
    return true;
}

void ClusterLoop::write(ClusterFacts& cluster, std::string_view cleaned) {
    if (cleaned.empty()) return;
    if (is_spaces_and_tabs(cleaned)) {
        output_.hold(cleaned);
    } else if (options_.keyboard_only) {
        keyboard_->filter.apply(output_, cluster, cleaned);
    } else {
        output_.emit(cleaned);
    }
}

void ClusterLoop::check_seam(const char* next) noexcept {
    if (next == text_end_ || static_cast<unsigned char>(*next) < 0x80) return;
    std::size_t i = 0;
    const std::string_view rest(next, static_cast<std::size_t>(text_end_ - next));
    if (unicode::joins_previous(utf8::decode(rest, i))) output_.note_form_at_risk();
}

void ClusterLoop::write_ellipsis() {
    output_.emit("...");
    output_.tally.add(&CleaningStats::other_normalized);
}

}  // namespace scrubix
