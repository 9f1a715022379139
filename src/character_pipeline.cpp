#include "character_pass.hpp"

#include "translit/resolve.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {

using unicode::EmojiVerdict;

constexpr char32_t kZeroWidthNonJoiner = 0x200C;
constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kHorizontalEllipsis = 0x2026;
constexpr char32_t kMidlineHorizontalEllipsis = 0x22EF;
// U+0149 is a letter n after an apostrophe: the quote rule normalizes the apostrophe only.
constexpr char32_t kApostropheN = 0x0149;
constexpr std::string_view kApostropheNQuoted = "'n";

constexpr std::string_view kNextLine = "\xC2\x85";
constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";

bool is_spaces_and_tabs(std::string_view s) noexcept {
    for (char ch : s)
        if (ch != ' ' && ch != '\t') return false;
    return true;
}

}  // namespace

bool CharacterPass::line_break_cluster(std::string_view cluster) {
    if (unify_breaks_) {
        std::uint64_t* found = nullptr;
        if (cluster == "\r\n") found = &breaks_.crlf;
        else if (cluster == "\r") found = &breaks_.cr;
        else if (cluster == kNextLine || cluster == kLineSeparator || cluster == kParagraphSeparator)
            found = &breaks_.other;
        if (found != nullptr) {
            *found = saturating_add(*found, 1);
            state_.emit_line_break("\n");
            return true;
        }
    }
    if (cluster == "\n" || cluster == "\r\n" || cluster == "\r") {
        state_.emit_line_break(cluster);
        return true;
    }
    // Line and paragraph separators become LF under `normalize_spaces`.
    if (!o_.has_line_endings() && o_.normalize_spaces &&
        (cluster == kLineSeparator || cluster == kParagraphSeparator)) {
        state_.emit_line_break("\n");
        state_.tally.add(&CleaningStats::spaces_normalized);
        return true;
    }
    return false;
}

void CharacterPass::process_cluster(std::string_view cluster) {
    if (line_break_cluster(cluster)) return;

    EmojiVerdict verdict = EmojiVerdict::Unknown;
    std::size_t hidden_removed = 0;
    std::string_view processed;
    if (!pipeline(cluster, verdict, hidden_removed, processed)) return;
    decide(cluster, processed, hidden_removed, verdict);
}

void CharacterPass::process_single(std::string_view cluster, char32_t c, std::uint8_t cls) {
    if (line_break_cluster(cluster)) return;

    EmojiVerdict verdict = EmojiVerdict::Unknown;
    std::size_t hidden_removed = 0;
    switch (rules(cluster, c, cls, verdict, hidden_removed)) {
        case Rule::removed:
            return;
        case Rule::ellipsis:
            emit_ellipsis();
            return;
        case Rule::apostrophe_n:
            decide(cluster, kApostropheNQuoted, hidden_removed, verdict);
            return;
        case Rule::kept:
            break;
    }
    char bytes[4];
    decide(cluster, std::string_view(bytes, utf8::encode(c, bytes)), hidden_removed, verdict);
}

void CharacterPass::decide(std::string_view cluster, std::string_view processed, std::size_t hidden_removed,
                      EmojiVerdict& verdict) {
    if (processed.empty()) return;
    if (is_spaces_and_tabs(processed)) {
        state_.hold(processed);
    } else if (o_.keyboard_only) {
        filter_.apply(state_, cluster, processed, hidden_removed, verdict);
    } else {
        state_.emit(processed);
    }
}

void CharacterPass::emit_ellipsis() {
    state_.emit("...");
    state_.tally.add(&CleaningStats::other_normalized);
}

std::size_t CharacterPass::untouched_prefix(std::string_view cluster, std::uint8_t mask) const noexcept {
    std::size_t i = 0;
    while (i < cluster.size()) {
        std::size_t next = i;
        if ((pass_class_of(utf8::decode(cluster, next)) & mask) != 0) break;
        i = next;
    }
    return i;
}

bool CharacterPass::pipeline(std::string_view cluster, EmojiVerdict& verdict, std::size_t& hidden_removed,
                        std::string_view& processed) {
    const std::size_t first = shortcuts_ ? untouched_prefix(cluster, active_) : 0;
    if (shortcuts_ && first == cluster.size()) {
        processed = cluster;
        return true;
    }
    buffer_.assign(cluster.data(), first);
    processed = {};
    for (std::size_t i = first; i < cluster.size();) {
        const std::size_t start = i;
        char32_t c = utf8::decode(cluster, i);
        const std::uint8_t cls = pass_class_of(c);
        if (cls == 0) {
            buffer_.append(cluster.substr(start, i - start));
            continue;
        }
        switch (rules(cluster, c, cls, verdict, hidden_removed)) {
            case Rule::removed:
                continue;
            case Rule::ellipsis:
                emit_ellipsis();
                return false;
            case Rule::apostrophe_n:
                buffer_.append(kApostropheNQuoted);
                continue;
            case Rule::kept:
                utf8::append(buffer_, c);
                continue;
        }
    }
    processed = buffer_;
    return true;
}

CharacterPass::Rule CharacterPass::rules(std::string_view cluster, char32_t& c, std::uint8_t cls, EmojiVerdict& verdict,
                               std::size_t& hidden_removed) {
    Tally& tally = state_.tally;
    // Hidden characters.
    if (o_.remove_hidden && (cls & unicode::kPassHidden)) {
        bool keep;
        if ((c == kZeroWidthNonJoiner || c == kZeroWidthJoiner) && o_.preserve_joiners) {
            keep = true;
        } else if (o_.keyboard_only && o_.emoji_policy == EmojiPolicy::Drop) {
            keep = false;
        } else {
            keep = unicode::is_emoji_cluster(cluster, verdict);
        }
        if (keep) return Rule::kept;
        tally.add(&CleaningStats::hidden_chars_removed);
        ++hidden_removed;
        return Rule::removed;
    }
    // Control characters.
    if (o_.remove_control_chars && (cls & unicode::kPassControl)) {
        tally.add(&CleaningStats::control_chars_removed);
        return Rule::removed;
    }
    // Spaces, dashes, quotes.
    if (o_.normalize_spaces && (cls & unicode::kPassSpace)) {
        c = unicode::space_replacement(c);
        tally.add(&CleaningStats::spaces_normalized);
    }
    if (o_.normalize_dashes && (cls & unicode::kPassDash)) {
        const char32_t d = unicode::dash_replacement(c);
        if (d != 0 && d != c) {
            c = d;
            tally.add(&CleaningStats::dashes_normalized);
        }
    }
    if (o_.normalize_quotes && (cls & unicode::kPassQuote)) {
        const char32_t q = unicode::quote_replacement(c);
        if (q != 0 && q != c) {
            tally.add(&CleaningStats::quotes_normalized);
            if (c == kApostropheN) return Rule::apostrophe_n;
            c = q;
        }
    }
    // Other symbols: the fraction slash and the ellipses.
    if (o_.normalize_other && (cls & unicode::kPassOther)) {
        if (c == translit::kFractionSlash) {
            c = '/';
            tally.add(&CleaningStats::other_normalized);
        } else if (c == kHorizontalEllipsis || c == kMidlineHorizontalEllipsis) {
            return Rule::ellipsis;
        }
    }
    return Rule::kept;
}

}  // namespace scrubix
