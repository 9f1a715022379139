// The ASCII shortcut: stretches of ASCII that the pass copies to the output exactly as they
// stand, and single ASCII clusters handled without the tables.
//
// Printable ASCII passes every rule of the pass, a space between two printable characters is
// held and flushed unchanged, and a line break with nothing pending is written as it is. So when
// the pass is at rest (no whitespace pending, none of the drop flags set), such a stretch can be
// appended in one piece instead of cluster by cluster. Which other bytes belong to a stretch
// depends on the options, following the whitespace run (pass/whitespace_run.hpp) and the line
// endings: tabs and runs of whitespace only when runs are not collapsed, whitespace before a
// line break only when it is neither collapsed nor trimmed, controls only when nothing removes
// them, CR only when line endings are left alone.
#pragma once

#include <cstddef>
#include <string_view>

#include "records/options.hpp"
#include "pass/shortcuts/ascii_bytes.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

class VerbatimAscii {
public:
    explicit VerbatimAscii(const Options& options) noexcept;

    // End of the verbatim stretch that starts at `pos`, or `pos` when there is none. The stretch
    // ends in a visible character or a line break, before a byte that starts a new cluster: never
    // before a non-ASCII byte (which may carry a mark that joins the character before it).
    // The caller guarantees that the pass is at rest and, when the stretch starts with a space or
    // a tab, that the flush gate is open.
    std::size_t end_of_stretch(const unsigned char* bytes, std::size_t pos, std::size_t n) const noexcept;

    // Whether `b` is a whitespace byte that a stretch may hold (a space, or a tab when tabs pass).
    bool is_whitespace(unsigned char b) const noexcept { return b == ' ' || (uncollapsed_ && b == '\t'); }
    // Whether `b` ends a line inside a stretch (LF, or CR when line endings are left alone).
    bool is_line_break(unsigned char b) const noexcept { return b == '\n' || (cr_ && b == '\r'); }

private:
    // The byte-by-byte rule: whether the byte at `i` belongs to a stretch.
    bool verbatim_at(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept;
    bool is_visible(unsigned char b) const noexcept;
    std::size_t without_held_whitespace(const unsigned char* bytes, std::size_t pos,
                                        std::size_t end) const noexcept;

    bool controls_;          // controls other than TAB/LF/CR are written unchanged
    bool uncollapsed_;       // a tab, and whitespace after whitespace, are written unchanged
    bool before_break_;      // whitespace before a line break or the end is written unchanged
    bool cr_;                // CR is a line break of its own (no line-ending style)
};

// Writes the verbatim stretch that starts at `pos` to `output` (the pass's writer), as far as
// the whitespace run allows; returns its end, or `pos` when the cluster loop takes over. The
// caller guarantees what end_of_stretch asks.
template <class Output>
[[gnu::always_inline]] inline std::size_t write_verbatim_stretch(Output& output, const VerbatimAscii& verbatim,
                                                                 std::string_view text, std::size_t pos) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t end = verbatim.end_of_stretch(bytes, pos, text.size());
    bool rests = false;
    if (output.run().just_dropped()) {
        // The first whitespace after a drop is held as one space: a tab there is not verbatim.
        for (std::size_t k = pos; k < end; ++k) {
            const unsigned char b = bytes[k];
            if (b == '\t') {
                end = k;
                break;
            }
            if (verbatim.is_whitespace(b) || verbatim.is_line_break(b)) {
                rests = true;
                break;
            }
        }
    }
    if (end > pos) output.emit_stretch(text.substr(pos, end - pos), rests);
    return end;
}

// The ASCII cluster at `pos` when it needs no tables: a line break (CR only when line endings
// are left alone, `cr_stays`), a space or tab to hold, or a printable character, each alone in
// its cluster. Returns the position after it, or `pos` when the cluster loop takes over.
template <class Output>
std::size_t write_ascii_cluster(Output& output, std::string_view text, std::size_t pos, bool cr_stays) {
    namespace gr = unicode::grapheme_rules;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const unsigned char b = bytes[pos];
    if (b == '\n') {
        output.emit_line_break(text.substr(pos, 1));
        return pos + 1;
    }
    if (b == '\r' && cr_stays) {
        const std::size_t len = (pos + 1 < n && bytes[pos + 1] == '\n') ? 2 : 1;
        output.emit_line_break(text.substr(pos, len));
        return pos + len;
    }
    // An ASCII character followed by another ASCII byte (or the end) is a cluster of its own;
    // before a non-ASCII character it is unless a mark or joiner follows.
    const bool alone = pos + 1 == n || bytes[pos + 1] < 0x80;
    if (!alone) {
        if (!ascii::is_printable(b) && b != ' ' && b != '\t') return pos;
        std::size_t next = pos + 1;
        if (utf8::sequence_length(bytes[next]) > n - next) return pos;
        if (gr::joins_ascii(gr::props_of(utf8::decode(text, next)))) return pos;
    }
    if (b == ' ' || b == '\t') {
        output.hold(static_cast<char>(b));
        return pos + 1;
    }
    // Printable ASCII passes every rule and the keyboard-only filter unchanged.
    if (ascii::is_printable(b)) {
        output.emit(text.substr(pos, 1));
        return pos + 1;
    }
    return pos;
}

// The ASCII shortcuts at `pos`, where an ASCII byte ends the text or another follows it: the
// verbatim stretch there when the whitespace run lets one start, else the single cluster.
// `Loop` is the cluster loop (output(), verbatim(), unifies_line_breaks()).
template <class Loop>
[[gnu::always_inline]] inline std::size_t take_ascii(Loop& loop, std::string_view text, std::size_t pos) {
    auto& output = loop.output();
    const auto& run = output.run();
    if (run.empty() && (!loop.verbatim().is_whitespace(static_cast<unsigned char>(text[pos])) || run.flush_gate_open())) {
        const std::size_t end = write_verbatim_stretch(output, loop.verbatim(), text, pos);
        if (end > pos) return end;
    }
    return write_ascii_cluster(output, text, pos, !loop.unifies_line_breaks());
}

// The same, as a call of its own (for loops that meet ASCII now and then).
template <class Loop>
[[gnu::noinline]] std::size_t take_ascii_call(Loop& loop, std::string_view text, std::size_t pos) {
    return take_ascii(loop, text, pos);
}

}  // namespace scrubix
