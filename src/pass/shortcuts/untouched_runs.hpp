// The shortcuts for text where non-ASCII characters and ASCII ones mix. A cluster that starts
// with a non-ASCII character is never whitespace or a line break (the separators and NEL are
// stopped by their rule classes), so between such clusters only two things need the loop:
// a code point some rule acts on, and a cluster the keyboard-only filter has not seen yet.
//
// Both functions take the cluster loop (pass/cluster_loop.hpp) as `Loop`, and use of it:
// output() (the writer), stop_classes(), untouched_prefix(cluster, classes),
// clean_single(cluster, c, classes), and in keyboard-only mode memory() and filter(). Each returns where the loop takes over (`pos` when at once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pass/shortcuts/ascii_bytes.hpp"
#include "stats.hpp"
#include "unicode/char_props.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

// Without keyboard-only mode: a cluster no rule touches is written as it is, and so is a
// printable ASCII character, so a run of them is one write; a single space between them comes
// out as it is too. A lone code point some rule acts on goes through the rules on the way.
template <class Loop>
std::size_t take_untouched_run(Loop& loop, std::string_view text, std::size_t pos) {
    namespace gr = unicode::grapheme_rules;
    auto& output = loop.output();
    const std::uint8_t stop = loop.stop_classes();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t run = pos;      // the run of untouched clusters starts here...
    std::size_t settled = pos;  // ...and is known to extend at least to here
    // The non-ASCII code point at `pos` when already decoded: its value and end.
    bool decoded = false;
    char32_t c = 0;
    std::size_t end = pos;
    while (pos < n) {
        const unsigned char b = bytes[pos];
        if (b < 0x80) {
            // A printable character or a space before a non-ASCII character that does not join.
            const std::size_t at = pos + 1;
            if (at == n || bytes[at] < 0x80 || (b != ' ' && !ascii::is_printable(b))) break;
            if (utf8::sequence_length(bytes[at]) > n - at) break;
            // (A space that opens a run would join whitespace already held.)
            if (b == ' ' && settled == run && !output.run().empty()) break;
            end = at;
            c = utf8::decode(text, end);
            if (gr::joins_ascii(gr::props_of(c))) break;
            decoded = true;
            // A space belongs to the run only once the cluster after it does.
            if (b != ' ') settled = at;
            pos = at;
            continue;
        }
        if (!decoded) {
            if (utf8::sequence_length(b) > n - pos) break;
            end = pos;
            c = utf8::decode(text, end);
        }
        decoded = false;
        const gr::Props props = gr::props_of(c);
        const std::uint8_t classes = unicode::pass_class_inline(c);
        // One code point, or does the next one join it? The next one is kept for the next round.
        bool single = true;
        std::size_t next_end = end;
        char32_t next = 0;
        if (end < n) {
            if (bytes[end] < 0x80) {
                single = gr::gcb_of(props) != gr::gcb_prepend;
            } else if (utf8::sequence_length(bytes[end]) <= n - end) {
                next = utf8::decode(text, next_end);
                decoded = true;
                single = gr::ends_after_first(props, gr::props_of(next));
            } else {
                single = false;
            }
        }
        if ((classes & stop) != 0) {
            if (!single || pos != settled) break;
            if (settled > run) output.emit(text.substr(run, settled - run));
            loop.clean_single(text.substr(pos, end - pos), c, classes);
            run = settled = end;
        } else {
            if (!single) {
                end = unicode::next_cluster_end(text, pos);
                if (loop.untouched_prefix(text.substr(pos, end - pos), stop) != end - pos) break;
                decoded = false;
            }
            settled = end;
        }
        pos = end;
        if (decoded) {
            c = next;
            end = next_end;
        }
    }
    if (settled > run) output.emit(text.substr(run, settled - run));
    return settled;
}

// In keyboard-only mode: a cluster of one untouched code point gets the outcome the filter
// remembers for it, with the printable ASCII characters and single spaces between such
// clusters written on the way; a row of plain drops is counted at once (noting a drop twice
// changes the whitespace run no more than once).
template <class Loop>
std::size_t take_remembered_run(Loop& loop, std::string_view text, std::size_t pos) {
    namespace gr = unicode::grapheme_rules;
    auto& output = loop.output();
    auto& memory = loop.memory();
    auto& filter = loop.filter();
    const std::uint8_t stop = loop.stop_classes();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::uint64_t dropped = 0;   // characters of plain drops not yet counted or noted
    std::uint64_t absorbed = 0;  // characters of plain drops noted already, not yet counted
    const auto count_drops = [&] {
        output.tally.add(&CleaningStats::non_keyboard_removed, dropped + absorbed);
        if (dropped != 0) output.note_drop();
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
            if (at == n || bytes[at] < 0x80 || (b != ' ' && !ascii::is_printable(b))) break;
            if (utf8::sequence_length(bytes[at]) > n - at) break;
            end = at;
            c = utf8::decode(text, end);
            props = memory.code_point(c).props;
            if (gr::joins_ascii(props)) break;
            decoded = true;
            if (b == ' ' && dropped != 0 && output.run().holds_lone_space()) {
                // Noting a drop and holding a space leave the run as it is: only count.
                absorbed += dropped;
                dropped = 0;
            } else {
                if ((dropped | absorbed) != 0) count_drops();
                if (b == ' ') output.hold(' ');
                else output.emit(text.substr(pos, 1));
            }
            pos = at;
            continue;
        }
        if (!decoded) {
            if (utf8::sequence_length(b) > n - pos) break;
            end = pos;
            c = utf8::decode(text, end);
        }
        decoded = false;
        const auto& facts = memory.code_point(c);
        props = facts.props;
        const std::uint8_t classes = facts.classes;  // (the next lookup may reuse the slot)
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
                next_props = memory.code_point(next).props;
                decoded = true;
                single = gr::ends_after_first(props, next_props);
            } else {
                single = false;
            }
        }
        if (!single) break;
        const std::string_view cluster = text.substr(pos, end - pos);
        if ((classes & stop) != 0) {
            // A lone code point some rule acts on goes through the rules here and now.
            if ((dropped | absorbed) != 0) count_drops();
            loop.clean_single(cluster, c, classes);
        } else {
            const auto* known = filter.remembered(cluster);
            if (known == nullptr) break;
            if (const std::uint8_t chars = known->plain_drop()) {
                dropped += chars;
            } else {
                if ((dropped | absorbed) != 0) count_drops();
                filter.apply(output, *known, cluster);
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
    return pos;
}

}  // namespace scrubix
