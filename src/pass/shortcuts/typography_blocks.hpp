// The typography block loop: the common case of machine-written prose outside keyboard-only
// mode (words of ASCII with curly quotes, dashes, ellipses, odd spaces and hidden characters
// among them, single spaces between words) in one loop that writes its output straight into a
// small buffer of its own. Per step it takes either sixteen bytes of ASCII that come out as they
// stand, copied in one store, or one unit that needs a look: a code point of two to four bytes
// followed by an ASCII byte or the end (so a cluster alone, and no mark can join what a rule
// writes in its place), or the ASCII byte before one. A rule character among them goes through
// the character rules at once, as the cluster loop's body would take it; an untouched one is
// copied. A longer cluster no rule acts on is copied whole; any other cluster (one with a rule
// character inside, a line break of its own, a control, a second space, CR, a tab) goes through
// the loop's body on the way, and the loop goes on after it. It leaves at text of other
// scripts (a letter alone before another non-ASCII one), which the copy shortcut and the
// untouched runs take better, and at whitespace runs the whitespace run has to settle.
//
// Outside keyboard-only mode no cluster is dropped whole, so the whitespace run has two states
// the loop follows: nothing held, or one space held. It hands the run its state before each
// cluster the body takes and on the way out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "pass/character_rules.hpp"
#include "pass/shortcuts/ascii_bytes.hpp"
#include "pass/shortcuts/keyboard_blocks.hpp"
#include "pass/shortcuts/verbatim_ascii.hpp"
#include "pass/whitespace_run.hpp"
#include "records/stats.hpp"
#include "unicode/char_props.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace typography_blocks_detail {

// Whether the loop may start at `pos`, a cluster start: an ASCII byte, or a code point of two
// or three bytes right before an ASCII byte or the end. (Text of other scripts, where one
// letter follows another, is left to the copy and the untouched runs at once.)
inline bool may_start(const unsigned char* bytes, std::size_t pos, std::size_t n) noexcept {
    const unsigned char b = bytes[pos];
    if (b < 0x80) return true;
    if (b >= 0xF0) return false;
    const std::size_t end = pos + 2 + std::size_t(b >= 0xE0);
    return end == n || bytes[end] < 0x80;
}

// The most spaces the loop holds itself (more are left to the whitespace run).
inline constexpr std::size_t kMostHeld = 16;

// The spaces the whitespace run holds when the loop can follow it from there (nothing but
// spaces, few enough, and no drop to remember), or -1.
inline int spaces_held(const WhitespaceRun& run) noexcept {
    const std::string_view pending = run.pending();
    if (run.just_dropped() || !run.flush_gate_open() || pending.size() > kMostHeld) return -1;
    for (char ch : pending)
        if (ch != ' ') return -1;
    return int(pending.size());
}

// Whether the rules of `stop` leave `cluster` as it stands because all they meet in it are
// hidden characters of an emoji sequence (its joiners and presentation selectors), which the
// hidden rule keeps: the loop's body would write the cluster unchanged and count nothing.
inline bool keeps_emoji_joiners(std::string_view cluster, std::uint8_t stop) noexcept {
    if ((stop & unicode::kPassHidden) == 0) return false;
    for (std::size_t i = 0; i < cluster.size();)
        if ((rule_classes_of(utf8::decode(cluster, i)) & stop & ~unicode::kPassHidden) != 0) return false;
    auto verdict = unicode::EmojiVerdict::Unknown;
    return unicode::is_emoji_cluster(cluster, verdict);
}

}  // namespace typography_blocks_detail

// The loop from `pos` (a cluster start); returns where it stopped, `pos` when at once. Only
// outside keyboard-only mode. `Loop` is the cluster loop (output(), options(), verbatim(),
// stop_classes()).
template <class Loop>
std::size_t take_typography_blocks(Loop& loop, std::string_view text, std::size_t pos) {
    namespace blocks = keyboard_blocks_detail;
    namespace gr = unicode::grapheme_rules;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    if (!typography_blocks_detail::may_start(bytes, pos, n)) return pos;
    namespace detail = typography_blocks_detail;
    auto& output = loop.output();
    const auto& run = output.run();
    const int held_at_start = detail::spaces_held(run);
    if (held_at_start < 0) return pos;
    const std::uint8_t stop = loop.stop_classes();
    const Options& options = loop.options();
    // Line breaks of their own, and controls (line breaks too with a line-ending style), need
    // the loop's body.
    constexpr std::uint8_t kLeft = unicode::kPassLineSep | unicode::kPassControl;

    char buffer[blocks::kBufferBytes];
    std::size_t size = 0;
    std::size_t held = std::size_t(held_at_start);  // spaces held, as the whitespace run would
    const std::size_t start = pos;
    int full_blocks = 0;  // blocks of sixteen ASCII bytes in a row
    const auto make_room = [&] {
        if (size > blocks::kBufferBytes - blocks::kStepBytes) [[unlikely]] {
            output.emit_stretch_raw(std::string_view(buffer, size));
            size = 0;
        }
    };
    // The spaces held, before visible text (flushed) or a line break (trailing), written or
    // counted as the whitespace run does it.
    const auto settle_spaces = [&](bool trailing) {
        if (held == 0) return;
        if (trailing && options.remove_trailing_whitespace) {
            output.tally.add(&CleaningStats::trailing_whitespace_removed, held);
        } else if (options.collapse_whitespace) {
            buffer[size++] = ' ';
            if (held > 1) output.tally.add(&CleaningStats::whitespace_collapsed, held - 1);
        } else {
            std::memset(buffer + size, ' ', held);
            size += held;
        }
        held = 0;
    };
    // Visible text after the spaces held (a long cluster goes straight to the output when it
    // does not fit).
    const auto append = [&](const void* from, std::size_t length) {
        settle_spaces(false);
        const auto* p = static_cast<const char*>(from);
        if (length <= blocks::kBufferBytes - size) {
            std::memcpy(buffer + size, p, length);
            size += length;
        } else {
            output.emit_stretch_raw(std::string_view(buffer, size));
            output.emit_stretch_raw(std::string_view(p, length));
            size = 0;
        }
    };
    // A code point or "..." (at most four bytes) after the spaces held: each step starts with
    // room for it, so it is copied byte by byte, with no call.
    const auto append_short = [&](const void* from, std::size_t length) {
        settle_spaces(false);
        const auto* p = static_cast<const char*>(from);
        char* to = buffer + size;
        to[0] = p[0];
        if (length > 1) {
            to[1] = p[1];
            if (length > 2) {
                to[2] = p[2];
                if (length > 3) to[3] = p[3];
            }
        }
        size += length;
    };
    // Whether the non-ASCII code point at `at` (after an ASCII one) starts a cluster.
    const auto starts_cluster = [&](std::size_t at) {
        std::size_t end = at;
        return !gr::joins_ascii(gr::props_of(utf8::decode(text, end)));
    };

    bool handed_over = false;  // the run is in the state the body left it in
    // Any other cluster goes through the loop's body on the way, with what the loop wrote
    // handed over first; the loop goes on when the run is left in a state it follows.
    const auto through_body = [&](std::size_t end) {
        output.resume_after_typography(std::string_view(buffer, size), held);
        size = 0;
        loop.clean_cluster(text.substr(pos, end - pos));
        pos = end;
        // (Or the loop ends with the run as the body left it.)
        const int now_held = detail::spaces_held(run);
        handed_over = now_held < 0;
        held = handed_over ? 0 : std::size_t(now_held);
        return !handed_over;
    };

    while (pos < n) {
        const unsigned char b = bytes[pos];
        make_room();
        if (b >= 0x80) {
            full_blocks = 0;
            const std::size_t end = pos + utf8::sequence_length(b);
            std::size_t at = pos;
            char32_t c = utf8::decode(text, at);
            const gr::Props props = gr::props_of(c);
            const std::uint8_t classes = unicode::pass_class_inline(c);
            // Before an ASCII byte or the end, a code point is a cluster alone unless Prepend.
            if (end == n || (bytes[end] < 0x80 && gr::gcb_of(props) != gr::kGcbPrepend)) {
                if ((classes & stop) == 0) {
                    append_short(bytes + pos, end - pos);
                    pos = end;
                    continue;
                }
                // A space the rules write would make a run of two with the one held; line
                // breaks of their own and controls (line breaks too with a line-ending style)
                // take the body.
                if ((classes & kLeft) != 0 || held == detail::kMostHeld) {
                    if (!through_body(end)) break;
                    continue;
                }
                ClusterFacts cluster{text.substr(pos, end - pos)};
                const char32_t original = c;
                switch (apply_character_rules(c, classes, cluster, loop.options(), output.tally)) {
                    case RuleOutcome::Removed:
                        break;
                    case RuleOutcome::Ellipsis:
                        append_short("...", 3);
                        output.tally.add(&CleaningStats::other_normalized);
                        break;
                    case RuleOutcome::ApostropheN:
                        append(kApostropheNQuoted.data(), kApostropheNQuoted.size());
                        break;
                    case RuleOutcome::Kept:
                        if (c == U' ') {
                            ++held;
                        } else if (c == original) {
                            append_short(bytes + pos, end - pos);
                        } else {
                            char encoded[4];
                            append_short(encoded, utf8::encode(c, encoded));
                        }
                        break;
                }
                pos = end;
                continue;
            }
            // Before another non-ASCII code point: a letter alone before another one starts
            // text of other scripts, which the copy and the untouched runs take better.
            if ((classes & stop) == 0 && bytes[end] >= 0x80) {
                at = end;
                if (gr::ends_after_first(props, gr::props_of(utf8::decode(text, at)))) break;
            }
            // A longer cluster (an emoji sequence, a letter and its marks): copied when no rule
            // acts on any of it, or only the hidden rule on the joiners of an emoji sequence.
            const std::size_t cluster_end = unicode::next_cluster_end(text, pos);
            const std::string_view cluster = text.substr(pos, cluster_end - pos);
            if (untouched_prefix(cluster, stop) == cluster.size() || detail::keeps_emoji_joiners(cluster, stop)) {
                append(bytes + pos, cluster_end - pos);
                pos = cluster_end;
                continue;
            }
            if (!through_body(cluster_end)) break;
            continue;
        }
        if (held == 0) {
            // The last bytes of the text are looked at in a copy padded with a control byte,
            // which no block takes and which nothing before it joins.
            unsigned char tail[32];
            const unsigned char* block = bytes + pos;
            if (const std::size_t left = n - pos; left <= 16) {
                std::memset(tail, 0, sizeof tail);
                if (left >= 8) {
                    std::memcpy(tail, block, 8);
                    std::memcpy(tail + left - 8, block + left - 8, 8);
                } else {
                    for (std::size_t k = 0; k < left; ++k) tail[k] = block[k];
                }
                block = tail;
            }
            unsigned rests = 0, before_high = 0;
            const unsigned ok = blocks::verbatim_bytes(block, rests, before_high);
            unsigned taken = unsigned(__builtin_ctz(~ok | 0x10000u));
            // A printable character before a non-ASCII one is a cluster alone when that one
            // does not join it.
            if (taken != 0 && ((before_high >> (taken - 1)) & 1) != 0 && !starts_cluster(pos + taken)) --taken;
            if (taken != 0) {
                std::memcpy(buffer + size, block, 16);
                size += taken;
                pos += taken;
                if (taken < 16) {
                    full_blocks = 0;
                } else if (++full_blocks == blocks::kLongStretchBlocks) {
                    // A long stretch: the ASCII shortcut copies the rest of it straight to the
                    // output (nothing is held here).
                    full_blocks = 0;
                    output.resume_after_typography(std::string_view(buffer, size), 0);
                    size = 0;
                    pos = write_verbatim_stretch(output, loop.verbatim(), text, pos);
                }
                continue;
            }
        }
        // One ASCII cluster: alone unless what follows joins it.
        const bool alone = pos + 1 == n || bytes[pos + 1] < 0x80 || starts_cluster(pos + 1);
        if (alone && ascii::is_printable(b)) {
            append_short(bytes + pos, 1);
        } else if (alone && b == ' ' && held < detail::kMostHeld) {
            ++held;
        } else if (b == '\n') {
            settle_spaces(true);
            buffer[size++] = '\n';
        } else {
            if (!through_body(unicode::next_cluster_end(text, pos))) break;
            continue;
        }
        ++pos;
    }
    if (pos != start && !handed_over) output.resume_after_typography(std::string_view(buffer, size), held);
    return pos;
}

}  // namespace scrubix
