#include "main_pass.hpp"

#include <cstddef>
#include <cstdint>

#include "general_path.hpp"
#include "keyboard_only_filter.hpp"
#include "line_endings.hpp"
#include "pass_state.hpp"
#include "unicode/char_props.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"
#include "verbatim_ascii.hpp"

namespace scrubix {

namespace {

using unicode::EmojiVerdict;

constexpr char32_t kZeroWidthNonJoiner = 0x200C;
constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kFractionSlash = 0x2044;
constexpr char32_t kHorizontalEllipsis = 0x2026;
constexpr char32_t kMidlineHorizontalEllipsis = 0x22EF;

constexpr std::string_view kNextLine = "\xC2\x85";
constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";

constexpr bool is_printable_ascii(unsigned char b) noexcept { return b > 0x20 && b < 0x7F; }

bool is_spaces_and_tabs(std::string_view s) noexcept {
    for (char ch : s)
        if (ch != ' ' && ch != '\t') return false;
    return true;
}

// The pass classes that some enabled rule of the character pipeline acts on. A code point with
// none of them passes the pipeline unchanged.
std::uint8_t active_pass_classes(const Options& o) noexcept {
    std::uint8_t m = 0;
    if (o.remove_hidden) m |= unicode::kPassHidden;
    if (o.remove_control_chars) m |= unicode::kPassControl;
    if (o.normalize_spaces) m |= unicode::kPassSpace;
    if (o.normalize_dashes) m |= unicode::kPassDash;
    if (o.normalize_quotes) m |= unicode::kPassQuote;
    if (o.normalize_other) m |= unicode::kPassOther;
    return m;
}

inline std::uint8_t pass_class_of(char32_t c) noexcept {
    if (c < 0x80) return unicode::is_removable_control(c) ? unicode::kPassControl : 0;
    return unicode::pass_class_inline(c);
}

// How a pass runs: with every shortcut (the engine's way), or cluster by cluster through the
// general path only (the reference the shortcuts are tested against).
enum class Mode : std::uint8_t { shortcuts, general };

class MainPass {
public:
    MainPass(const Options& options, std::string& out, Tally& tally, Mode mode, std::size_t text_size)
        : o_(options),
          shortcuts_(mode == Mode::shortcuts),
          unify_breaks_(mode == Mode::shortcuts && options.has_line_endings()),
          active_(active_pass_classes(options)),
          plain_runs_(!options.keyboard_only),
          // Line and paragraph separators and NEL may be line breaks of their own.
          stop_(active_ | unicode::kPassLineSep | (options.has_line_endings() ? unicode::kPassControl : 0)),
          ascii_(options),
          state_(options, out, tally),
          filter_(mode == Mode::shortcuts, text_size) {}

    void run(std::string_view text);

    // Line breaks rewritten as LF on the way (only when the pass unifies them itself).
    const LineBreakCounts& breaks() const noexcept { return breaks_; }

private:
    // Writes the verbatim ASCII stretch [pos, end) as far as the pass state allows; returns
    // where the general path takes over.
    std::size_t emit_stretch(std::string_view text, std::size_t pos, std::size_t end);
    // The ASCII clusters that need no tables; returns the position after the one handled, or
    // `pos` when the cluster needs the general path.
    std::size_t single_ascii(std::string_view text, std::size_t pos);
    // Handles the clusters from `pos` that need no pipeline, in text where non-ASCII characters
    // and ASCII ones mix: runs of clusters no rule touches, written in one piece (not
    // keyboard-only), or characters whose keyboard-only outcome is remembered, with the ASCII
    // letters and single spaces between them. Returns where the general path takes over.
    std::size_t untouched_clusters(std::string_view text, std::size_t pos);
    void process_cluster(std::string_view cluster);
    // The same for a cluster known to be the one code point `c`, of pass classes `cls`.
    void process_single(std::string_view cluster, char32_t c, std::uint8_t cls);
    // What happens to a cluster once the pipeline has made `processed` of it.
    void decide(std::string_view cluster, std::string_view processed, std::size_t hidden_removed,
                EmojiVerdict& verdict);
    void emit_ellipsis();
    // The rules of the character pipeline for one code point `c` (with pass classes `cls`) of
    // `cluster`: removes it, keeps it (possibly changed), or ends the cluster at an ellipsis.
    enum class Rule : std::uint8_t { kept, removed, ellipsis };
    Rule rules(std::string_view cluster, char32_t& c, std::uint8_t cls, EmojiVerdict& verdict,
               std::size_t& hidden_removed);
    bool line_break_cluster(std::string_view cluster);
    // Runs the character pipeline over the cluster and points `processed` at the result (the
    // cluster itself when no rule touched it). False when the ellipsis rule ended the cluster.
    bool pipeline(std::string_view cluster, EmojiVerdict& verdict, std::size_t& hidden_removed,
                  std::string_view& processed);
    // Bytes at the start of the cluster with none of the pass classes in `mask`.
    std::size_t untouched_prefix(std::string_view cluster, std::uint8_t mask) const noexcept;

    const Options& o_;
    const bool shortcuts_;
    const bool unify_breaks_;
    const std::uint8_t active_;
    const bool plain_runs_;
    const std::uint8_t stop_;  // pass classes that end a run of plain clusters
    const VerbatimAscii ascii_;
    PassState state_;
    KeyboardOnlyFilter filter_;
    std::string buffer_;
    LineBreakCounts breaks_;
};

void MainPass::run(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t pos = 0;
    while (pos < n) {
        if (shortcuts_) {
            const unsigned char b = bytes[pos];
            // A character before a non-ASCII byte never starts a stretch (a mark may join it).
            if (b < 0x80 && (pos + 1 == n || bytes[pos + 1] < 0x80)) {
                if (state_.nothing_pending() && (!ascii_.is_whitespace(b) || state_.flush_gate_open())) {
                    const std::size_t end = emit_stretch(text, pos, ascii_.end_of_stretch(bytes, pos, n));
                    if (end > pos) {
                        pos = end;
                        continue;
                    }
                }
            } else {
                const std::size_t next = untouched_clusters(text, pos);
                if (next > pos) {
                    pos = next;
                    continue;
                }
            }
            if (b < 0x80) {
                const std::size_t next = single_ascii(text, pos);
                if (next > pos) {
                    pos = next;
                    continue;
                }
            }
        }
        const std::size_t end = unicode::next_cluster_end(text, pos);
        process_cluster(text.substr(pos, end - pos));
        pos = end;
    }
    state_.end_of_text();
}

// A cluster that starts with a non-ASCII character is never whitespace or a line break (the
// separators and NEL are stopped by their classes). Without keyboard-only mode, when no rule
// touches it, it is written as it is, and so is a printable ASCII character, so a run of such
// clusters is one write; a single space between them comes out as it is too. In keyboard-only
// mode a cluster of one untouched character gets the outcome remembered for that character,
// and a row of plain drops is counted at once (noting a drop twice changes nothing more).
std::size_t MainPass::untouched_clusters(std::string_view text, std::size_t pos) {
    namespace gr = unicode::grapheme_rules;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t run = pos;        // the run of plain clusters starts here...
    std::size_t settled = pos;    // ...and is known to extend at least to here
    std::uint64_t dropped = 0;    // characters of plain drops not yet counted or noted
    std::uint64_t absorbed = 0;   // characters of plain drops noted already, not yet counted
    const auto count_drops = [&] {
        state_.tally.add(&CleaningStats::non_keyboard_removed, dropped + absorbed);
        if (dropped != 0) state_.note_drop();
        dropped = absorbed = 0;
    };
    // The non-ASCII code point at `pos` when already decoded: its value, end and properties.
    bool decoded = false;
    char32_t c = 0;
    std::size_t end = pos;
    gr::Props props = 0;
    while (pos < n) {
        const unsigned char b = bytes[pos];
        if (b < 0x80) {
            // A printable character or a space before a non-ASCII character that does not join.
            const std::size_t at = pos + 1;
            if (at == n || bytes[at] < 0x80 || (b != ' ' && !is_printable_ascii(b))) break;
            if (utf8::sequence_length(bytes[at]) > n - at) break;
            // (A space that opens a run would join whitespace already pending.)
            if (plain_runs_ && b == ' ' && settled == run && !state_.nothing_pending()) break;
            end = at;
            c = utf8::decode(text, end);
            props = gr::props_of(c);
            if (gr::joins_ascii(props)) break;
            decoded = true;
            if (plain_runs_) {
                // A space belongs to the run only once the cluster after it does.
                if (b != ' ') settled = at;
            } else if (b == ' ' && dropped != 0 && state_.holds_lone_space()) {
                // Noting a drop and holding a space leave this state as it is: only count.
                absorbed += dropped;
                dropped = 0;
            } else {
                if ((dropped | absorbed) != 0) count_drops();
                if (b == ' ') state_.hold(' ');
                else state_.emit(text.substr(pos, 1));
            }
            pos = at;
            continue;
        }
        if (!decoded) {
            if (utf8::sequence_length(b) > n - pos) break;
            end = pos;
            c = utf8::decode(text, end);
            props = gr::props_of(c);
        }
        decoded = false;
        const std::uint8_t cls = unicode::pass_class_inline(c);
        const bool touched = (cls & stop_) != 0;
        // One code point, or does the next one join it? The next one is kept for the next round.
        bool single = true;
        std::size_t next_end = end;
        char32_t next = 0;
        gr::Props next_props = 0;
        if (end < n) {
            if (bytes[end] < 0x80) {
                single = gr::gcb_of(props) != gr::gcb_prepend;
            } else if (utf8::sequence_length(bytes[end]) <= n - end) {
                next = utf8::decode(text, next_end);
                next_props = gr::props_of(next);
                decoded = true;
                single = gr::ends_after_first(props, next_props);
            } else {
                single = false;
            }
        }
        if (touched) {
            // A lone code point some rule acts on goes through the pipeline here and now.
            if (!single || (plain_runs_ && pos != settled)) break;
            if (plain_runs_ && settled > run) state_.emit(text.substr(run, settled - run));
            if ((dropped | absorbed) != 0) count_drops();
            process_single(text.substr(pos, end - pos), c, cls);
            run = settled = end;
        } else if (plain_runs_) {
            if (!single) {
                end = unicode::next_cluster_end(text, pos);
                if (untouched_prefix(text.substr(pos, end - pos), stop_) != end - pos) break;
                decoded = false;
            }
            settled = end;
        } else {
            const KeyboardOnlyFilter::Remembered* known =
                single ? filter_.remembered(text.substr(pos, end - pos)) : nullptr;
            if (known == nullptr) break;
            if (const std::uint8_t chars = known->plain_drop()) {
                dropped += chars;
            } else {
                if ((dropped | absorbed) != 0) count_drops();
                KeyboardOnlyFilter::apply(state_, *known, text.substr(pos, end - pos));
            }
        }
        pos = end;
        if (decoded) {
            c = next;
            props = next_props;
            end = next_end;
        }
    }
    if ((dropped | absorbed) != 0) count_drops();
    if (!plain_runs_) return pos;
    if (settled > run) state_.emit(text.substr(run, settled - run));
    return settled;
}

std::size_t MainPass::emit_stretch(std::string_view text, std::size_t pos, std::size_t end) {
    bool rests = false;
    if (state_.just_dropped()) {
        // The first whitespace after a drop is held as one space: a tab there is not verbatim.
        for (std::size_t k = pos; k < end; ++k) {
            const unsigned char b = static_cast<unsigned char>(text[k]);
            if (b == '\t') {
                end = k;
                break;
            }
            if (ascii_.is_whitespace(b) || ascii_.is_line_break(b)) {
                rests = true;
                break;
            }
        }
    }
    if (end > pos) state_.emit_verbatim(text.substr(pos, end - pos), rests);
    return end;
}

std::size_t MainPass::single_ascii(std::string_view text, std::size_t pos) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const unsigned char b = bytes[pos];
    // An ASCII character followed by another ASCII byte (or the end) is a cluster of its own.
    const bool alone = pos + 1 == n || bytes[pos + 1] < 0x80;
    if (b == '\n') {
        state_.emit_line_break(text.substr(pos, 1));
        return pos + 1;
    }
    if (b == '\r' && !unify_breaks_) {
        const std::size_t len = (pos + 1 < n && bytes[pos + 1] == '\n') ? 2 : 1;
        state_.emit_line_break(text.substr(pos, len));
        return pos + len;
    }
    if (!alone) {
        // Before a non-ASCII character: a cluster of its own unless a mark or joiner follows.
        if (!is_printable_ascii(b) && b != ' ' && b != '\t') return pos;
        const std::size_t next = pos + 1;
        if (utf8::sequence_length(bytes[next]) > n - next) return pos;
        std::size_t after = next;
        if (unicode::grapheme_rules::joins_ascii(unicode::grapheme_rules::props_of(utf8::decode(text, after))))
            return pos;
    }
    if (b == ' ' || b == '\t') {
        state_.hold(static_cast<char>(b));
        return pos + 1;
    }
    // Printable ASCII passes every rule and the keyboard filter unchanged.
    if (is_printable_ascii(b)) {
        state_.emit(text.substr(pos, 1));
        return pos + 1;
    }
    return pos;
}

// Line-break clusters, and with a line-ending style every break the style rewrites as LF.
bool MainPass::line_break_cluster(std::string_view cluster) {
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

void MainPass::process_cluster(std::string_view cluster) {
    if (line_break_cluster(cluster)) return;

    EmojiVerdict verdict = EmojiVerdict::Unknown;
    std::size_t hidden_removed = 0;
    std::string_view processed;
    if (!pipeline(cluster, verdict, hidden_removed, processed)) return;
    decide(cluster, processed, hidden_removed, verdict);
}

void MainPass::process_single(std::string_view cluster, char32_t c, std::uint8_t cls) {
    if (line_break_cluster(cluster)) return;

    EmojiVerdict verdict = EmojiVerdict::Unknown;
    std::size_t hidden_removed = 0;
    switch (rules(cluster, c, cls, verdict, hidden_removed)) {
        case Rule::removed:
            return;
        case Rule::ellipsis:
            emit_ellipsis();
            return;
        case Rule::kept:
            break;
    }
    char bytes[4];
    decide(cluster, std::string_view(bytes, utf8::encode(c, bytes)), hidden_removed, verdict);
}

void MainPass::decide(std::string_view cluster, std::string_view processed, std::size_t hidden_removed,
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

void MainPass::emit_ellipsis() {
    state_.emit("...");
    state_.tally.add(&CleaningStats::other_normalized);
}

std::size_t MainPass::untouched_prefix(std::string_view cluster, std::uint8_t mask) const noexcept {
    std::size_t i = 0;
    while (i < cluster.size()) {
        std::size_t next = i;
        if ((pass_class_of(utf8::decode(cluster, next)) & mask) != 0) break;
        i = next;
    }
    return i;
}

bool MainPass::pipeline(std::string_view cluster, EmojiVerdict& verdict, std::size_t& hidden_removed,
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
            case Rule::kept:
                utf8::append(buffer_, c);
                continue;
        }
    }
    processed = buffer_;
    return true;
}

MainPass::Rule MainPass::rules(std::string_view cluster, char32_t& c, std::uint8_t cls, EmojiVerdict& verdict,
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
            keep = unicode::is_emoji_cluster(cluster, verdict, o_);
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
            c = q;
            tally.add(&CleaningStats::quotes_normalized);
        }
    }
    // Other symbols: the fraction slash and the ellipses.
    if (o_.normalize_other && (cls & unicode::kPassOther)) {
        if (c == kFractionSlash) {
            c = '/';
            tally.add(&CleaningStats::other_normalized);
        } else if (c == kHorizontalEllipsis || c == kMidlineHorizontalEllipsis) {
            return Rule::ellipsis;
        }
    }
    return Rule::kept;
}

void run_pass(std::string_view text, const Options& options, std::string& out, Tally& tally, Mode mode) {
    // The general path rewrites line breaks in a copy first; the shortcut pass does it on the way.
    std::string unified;
    LineBreakCounts breaks;
    if (options.has_line_endings() && mode == Mode::general) {
        breaks = unify_line_breaks(text, unified);
        text = unified;
    }
    out.reserve(text.size());
    MainPass pass(options, out, tally, mode, text.size());
    pass.run(text);
    if (mode == Mode::shortcuts) breaks = pass.breaks();
    if (options.has_line_endings()) convert_line_breaks(options.line_endings, breaks, out, tally);
}

}  // namespace

void run_main_pass(std::string_view text, const Options& options, std::string& out, Tally& tally) {
    run_pass(text, options, out, tally, Mode::shortcuts);
}

void run_main_pass_general(std::string_view text, const Options& options, std::string& out, Tally& tally) {
    run_pass(text, options, out, tally, Mode::general);
}

}  // namespace scrubix
