// The typography block loop: the common case of machine-written prose outside keyboard-only
// mode (words of ASCII with curly quotes, dashes, ellipses, odd spaces and hidden characters
// among them, single spaces between words) in one loop that writes its output straight into a
// small buffer of its own. Per step it takes either sixteen bytes of ASCII that come out as they
// stand, copied in one store, or one unit that needs a look: a code point of two or three bytes
// followed by an ASCII byte or the end (so a cluster alone, and no mark can join what a rule
// writes in its place), or the ASCII byte before one. A rule character among them goes through
// the character rules at once, as the cluster loop's body would take it; an untouched one is
// copied. Everything else is left to the other shortcuts and the loop: longer clusters, code
// points of four bytes, runs of letters of other scripts, line separators and controls, runs
// of whitespace, CR and tabs.
//
// Outside keyboard-only mode no cluster is dropped whole, so the whitespace run has two states
// the loop follows: nothing held, or one space held. On the way out it hands the run its state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "pass/character_rules.hpp"
#include "pass/shortcuts/ascii_bytes.hpp"
#include "pass/shortcuts/keyboard_blocks.hpp"
#include "pass/shortcuts/verbatim_ascii.hpp"
#include "records/stats.hpp"
#include "unicode/char_props.hpp"
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
    auto& output = loop.output();
    const auto& run = output.run();
    if (run.just_dropped() || !(run.empty() || run.holds_lone_space())) return pos;
    const std::uint8_t stop = loop.stop_classes();
    // Line breaks of their own, and controls (line breaks too with a line-ending style), need
    // the loop's body.
    constexpr std::uint8_t kLeft = unicode::kPassLineSep | unicode::kPassControl;

    blocks::BlockState s;
    s.space_held = !run.empty();
    const std::size_t start = pos;
    int full_blocks = 0;  // blocks of sixteen ASCII bytes in a row
    const auto make_room = [&] {
        if (s.size > blocks::kBufferBytes - blocks::kStepBytes) [[unlikely]] {
            output.emit_stretch_raw(std::string_view(s.buffer, s.size));
            s.size = 0;
        }
    };
    const auto append = [&](const void* from, std::size_t size) {
        s.flush_space();
        std::memcpy(s.buffer + s.size, from, size);
        s.size += size;
    };
    // Whether the non-ASCII code point at `at` (after an ASCII one) starts a cluster.
    const auto starts_cluster = [&](std::size_t at) {
        std::size_t end = at;
        return !gr::joins_ascii(gr::props_of(utf8::decode(text, end)));
    };

    while (pos < n) {
        const unsigned char b = bytes[pos];
        make_room();
        if (b >= 0x80) {
            // A code point of two or three bytes before an ASCII byte or the end: a cluster
            // alone unless it is Prepend.
            if (b >= 0xF0) break;
            full_blocks = 0;
            const std::size_t end = pos + 2 + std::size_t(b >= 0xE0);
            if (end < n && bytes[end] >= 0x80) break;
            std::size_t at = pos;
            char32_t c = utf8::decode(text, at);
            if (end < n && gr::gcb_of(gr::props_of(c)) == gr::kGcbPrepend) break;
            const std::uint8_t classes = unicode::pass_class_inline(c);
            if ((classes & stop) == 0) {
                append(bytes + pos, end - pos);
                pos = end;
                continue;
            }
            // A space the rules write would make a run of two with the one held.
            if ((classes & kLeft) != 0 || (s.space_held && (classes & unicode::kPassSpace) != 0)) break;
            ClusterFacts cluster{text.substr(pos, end - pos)};
            const char32_t original = c;
            switch (apply_character_rules(c, classes, cluster, loop.options(), output.tally)) {
                case RuleOutcome::Removed:
                    break;
                case RuleOutcome::Ellipsis:
                    append("...", 3);
                    output.tally.add(&CleaningStats::other_normalized);
                    break;
                case RuleOutcome::ApostropheN:
                    append(kApostropheNQuoted.data(), kApostropheNQuoted.size());
                    break;
                case RuleOutcome::Kept:
                    if (c == U' ') {
                        s.space_held = true;
                    } else if (c == original) {
                        append(bytes + pos, end - pos);
                    } else {
                        char encoded[4];
                        append(encoded, utf8::encode(c, encoded));
                    }
                    break;
            }
            pos = end;
            continue;
        }
        if (!s.space_held) {
            // The last bytes of the text are looked at in a copy padded with a control byte,
            // which no block takes and which nothing before it joins.
            unsigned char tail[32] = {};
            const unsigned char* block = bytes + pos;
            if (n - pos <= 16) block = static_cast<const unsigned char*>(std::memcpy(tail, block, n - pos));
            unsigned rests = 0, before_high = 0;
            const unsigned ok = blocks::verbatim_bytes(block, rests, before_high);
            unsigned taken = unsigned(__builtin_ctz(~ok | 0x10000u));
            // A printable character before a non-ASCII one is a cluster alone when that one
            // does not join it.
            if (taken != 0 && ((before_high >> (taken - 1)) & 1) != 0 && !starts_cluster(pos + taken)) --taken;
            if (taken != 0) {
                std::memcpy(s.buffer + s.size, block, 16);
                s.size += taken;
                pos += taken;
                if (taken < 16) {
                    full_blocks = 0;
                } else if (++full_blocks == blocks::kLongStretchBlocks) {
                    // A long stretch: the ASCII shortcut copies the rest of it straight to the
                    // output (nothing is held here).
                    full_blocks = 0;
                    output.resume_after_typography(std::string_view(s.buffer, s.size), false);
                    s.size = 0;
                    pos = write_verbatim_stretch(output, loop.verbatim(), text, pos);
                }
                continue;
            }
        }
        // One ASCII cluster: alone unless what follows joins it.
        if (pos + 1 < n && bytes[pos + 1] >= 0x80 && !starts_cluster(pos + 1)) break;
        if (ascii::is_printable(b)) {
            append(bytes + pos, 1);
        } else if (b == ' ' && !s.space_held) {
            s.space_held = true;
        } else if (b == '\n' && !s.space_held) {
            s.buffer[s.size++] = '\n';
        } else {
            break;
        }
        ++pos;
    }
    if (pos != start) output.resume_after_typography(std::string_view(s.buffer, s.size), s.space_held);
    return pos;
}

}  // namespace scrubix
