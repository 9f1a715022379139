#include "main_pass.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "keyboard_only_filter.hpp"
#include "line_endings.hpp"
#include "pass_state.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {

using unicode::EmojiVerdict;

constexpr char32_t kZeroWidthNonJoiner = 0x200C;
constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kFractionSlash = 0x2044;
constexpr char32_t kHorizontalEllipsis = 0x2026;
constexpr char32_t kMidlineHorizontalEllipsis = 0x22EF;

constexpr bool is_printable_ascii(unsigned char b) noexcept { return b > 0x20 && b < 0x7F; }

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

// 0x80 in every byte of `x` that is zero, 0 elsewhere (exact, no borrow across bytes).
constexpr std::uint64_t zero_bytes(std::uint64_t x) noexcept {
    const std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((x & low7) + low7) | x | low7);
}

// End of the stretch starting at `pos` (a printable ASCII byte) made of printable ASCII
// words joined by single spaces; the stretch never ends in a space. Eight bytes a step.
std::size_t scan_words(const unsigned char* bytes, std::size_t pos, std::size_t n) noexcept {
    std::size_t i = pos;
    bool prev_space = false;
    while (i + 8 <= n) {
        std::uint64_t x;
        std::memcpy(&x, bytes + i, 8);
        const bool below_space = ((x - 0x20 * kOnes) & ~x & kHighs) != 0;
        const bool above_tilde = (((x + kOnes) | x) & kHighs) != 0;
        if (below_space || above_tilde) break;
        const std::uint64_t spaces = zero_bytes(x ^ (0x20 * kOnes));
        if ((spaces & (spaces << 8)) != 0 || (prev_space && (spaces & 0x80))) break;
        prev_space = (spaces >> 63) != 0;
        i += 8;
    }
    // The rest byte by byte.
    for (;;) {
        while (i < n && is_printable_ascii(bytes[i])) ++i;
        if (i + 1 < n && bytes[i] == ' ' && bytes[i - 1] != ' ' && is_printable_ascii(bytes[i + 1])) {
            i += 2;
            continue;
        }
        break;
    }
    return bytes[i - 1] == ' ' ? i - 1 : i;
}

bool is_spaces_and_tabs(std::string_view s) noexcept {
    for (char ch : s)
        if (ch != ' ' && ch != '\t') return false;
    return true;
}

class MainPass {
public:
    MainPass(const Options& options, std::string& out, Tally& tally)
        : o_(options), state_(options, out, tally) {}

    void run(std::string_view text);

private:
    void process_cluster(std::string_view cluster);
    // Runs the character pipeline over the cluster; false when the ellipsis rule ended it.
    bool pipeline(std::string_view cluster, EmojiVerdict& verdict, std::size_t& hidden_removed);

    const Options& o_;
    PassState state_;
    KeyboardOnlyFilter filter_;
    std::string buffer_;
};

void MainPass::run(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t pos = 0;
    while (pos < n) {
        const unsigned char b = bytes[pos];
        // ASCII needs no tables: a character followed by another ASCII byte (or the end)
        // is a cluster of its own, and printable ASCII passes every rule unchanged.
        if (b < 0x80) {
            const bool alone = pos + 1 == n || bytes[pos + 1] < 0x80;
            if (is_printable_ascii(b)) {
                // Words joined by single spaces come out as they are: each space is held and
                // flushed unchanged by the word after it.
                std::size_t end = scan_words(bytes, pos, n);
                // The last character may take a following mark into its cluster.
                if (end < n && bytes[end] >= 0x80) {
                    --end;
                    if (end > pos && bytes[end - 1] == ' ') --end;
                }
                if (end > pos) {
                    const std::string_view words = text.substr(pos, end - pos);
                    state_.emit_words(words, words.find(' ') != std::string_view::npos);
                    pos = end;
                    continue;
                }
            } else if (b == '\n') {
                state_.emit_line_break(text.substr(pos, 1));
                ++pos;
                continue;
            } else if (b == '\r') {
                const std::size_t len = (pos + 1 < n && bytes[pos + 1] == '\n') ? 2 : 1;
                state_.emit_line_break(text.substr(pos, len));
                pos += len;
                continue;
            } else if ((b == ' ' || b == '\t') && alone) {
                state_.hold(static_cast<char>(b));
                ++pos;
                continue;
            }
        }
        const std::size_t end = unicode::next_cluster_end(text, pos);
        process_cluster(text.substr(pos, end - pos));
        pos = end;
    }
    state_.end_of_text();
}

void MainPass::process_cluster(std::string_view cluster) {
    // Line-break clusters (CR LF, LF and CR are handled before the tables are asked).
    if (cluster == "\n" || cluster == "\r\n" || cluster == "\r") {
        state_.emit_line_break(cluster);
        return;
    }
    // Line and paragraph separators become LF under `normalize_spaces`.
    if (!o_.has_line_endings() && o_.normalize_spaces &&
        (cluster == "\xE2\x80\xA8" || cluster == "\xE2\x80\xA9")) {
        state_.emit_line_break("\n");
        state_.tally.add(&CleaningStats::spaces_normalized);
        return;
    }

    EmojiVerdict verdict = EmojiVerdict::Unknown;
    std::size_t hidden_removed = 0;
    if (!pipeline(cluster, verdict, hidden_removed)) return;

    if (buffer_.empty()) return;
    if (is_spaces_and_tabs(buffer_)) {
        state_.hold(buffer_);
    } else if (o_.keyboard_only) {
        filter_.apply(state_, cluster, buffer_, hidden_removed, verdict);
    } else {
        state_.emit(buffer_);
    }
}

bool MainPass::pipeline(std::string_view cluster, EmojiVerdict& verdict, std::size_t& hidden_removed) {
    buffer_.clear();
    Tally& tally = state_.tally;
    for (std::size_t i = 0; i < cluster.size();) {
        const std::size_t start = i;
        char32_t c = utf8::decode(cluster, i);
        const std::uint8_t cls = c < 0x80 ? (unicode::is_removable_control(c) ? unicode::kPassControl : 0)
                                          : unicode::pass_class(c);
        if (cls == 0) {
            buffer_.append(cluster.substr(start, i - start));
            continue;
        }
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
            if (keep) {
                buffer_.append(cluster.substr(start, i - start));
            } else {
                tally.add(&CleaningStats::hidden_chars_removed);
                ++hidden_removed;
            }
            continue;
        }
        // Control characters.
        if (o_.remove_control_chars && (cls & unicode::kPassControl)) {
            tally.add(&CleaningStats::control_chars_removed);
            continue;
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
                state_.emit("...");
                tally.add(&CleaningStats::other_normalized);
                return false;
            }
        }
        utf8::append(buffer_, c);
    }
    return true;
}

}  // namespace

void run_main_pass(std::string_view text, const Options& options, std::string& out, Tally& tally) {
    std::string unified;
    LineBreakCounts breaks;
    if (options.has_line_endings()) {
        breaks = unify_line_breaks(text, unified);
        text = unified;
    }
    out.reserve(text.size());
    MainPass(options, out, tally).run(text);
    if (options.has_line_endings()) convert_line_breaks(options.line_endings, breaks, out, tally);
}

}  // namespace scrubix
