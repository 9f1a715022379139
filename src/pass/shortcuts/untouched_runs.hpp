// The shortcuts for text where non-ASCII characters and ASCII ones mix. A cluster that starts
// with a non-ASCII character is never whitespace or a line break (the separators and NEL are
// stopped by their rule classes), so between such clusters only two things need the loop:
// a code point some rule acts on, and a cluster the keyboard-only filter has not seen yet.
//
// The run without keyboard-only mode is here; the keyboard-only one is in remembered_runs.hpp.
// It takes the cluster loop (pass/cluster_loop.hpp) as `Loop`, and uses of it: output() (the
// writer), stop_classes(), untouched_prefix(cluster, classes) and clean_single(cluster, c,
// classes). It returns where the loop takes over (`pos` when at once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pass/shortcuts/ascii_bytes.hpp"
#include "records/stats.hpp"
#include "unicode/char_props.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace untouched_runs_detail {

namespace gr = unicode::grapheme_rules;

// Makes `c` the code point at `pos` (ending at `end`), decoding it unless the round before
// did (`decoded`, which is cleared). False when its bytes would run past the end of the text.
inline bool code_point_at(std::string_view text, std::size_t pos, bool& decoded, char32_t& c,
                          std::size_t& end) noexcept {
    if (!decoded) {
        if (utf8::sequence_length(static_cast<unsigned char>(text[pos])) > text.size() - pos) return false;
        end = pos;
        c = utf8::decode(text, end);
    }
    decoded = false;
    return true;
}

// Whether the code point of properties `props` that ends at `end` is a cluster alone. When the
// answer needs the code point after it, that one is decoded into `next` (ending at `next_end`,
// of properties `next_props`, read with `props_of`) and `decoded` is set: the next round
// starts with it.
template <class PropsOf>
bool is_alone(std::string_view text, std::size_t end, gr::Props props, PropsOf&& props_of, char32_t& next,
              std::size_t& next_end, gr::Props& next_props, bool& decoded) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    next_end = end;
    if (end == n) return true;
    if (bytes[end] < 0x80) return gr::gcb_of(props) != gr::kGcbPrepend;
    if (utf8::sequence_length(bytes[end]) > n - end) return false;
    next = utf8::decode(text, next_end);
    next_props = props_of(next);
    decoded = true;
    return gr::ends_after_first(props, next_props);
}

// Whether the ASCII byte at `pos` is a printable character or a space before a non-ASCII code
// point that does not join it, which then is a cluster of its own. That code point is decoded
// into `c` (ending at `end`, of properties `props`, read with `props_of`).
template <class PropsOf>
bool ascii_alone_before(std::string_view text, std::size_t pos, PropsOf&& props_of, char32_t& c,
                        std::size_t& end, gr::Props& props) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const unsigned char b = bytes[pos];
    const std::size_t at = pos + 1;
    if (at == n || bytes[at] < 0x80 || (b != ' ' && !ascii::is_printable(b))) return false;
    if (utf8::sequence_length(bytes[at]) > n - at) return false;
    end = at;
    c = utf8::decode(text, end);
    props = props_of(c);
    return !gr::joins_ascii(props);
}

}  // namespace untouched_runs_detail

// Without keyboard-only mode: a cluster no rule touches is written as it is, and so is a
// printable ASCII character, so a run of them is one write; a single space between them comes
// out as it is too. A lone code point some rule acts on goes through the rules on the way.
template <class Loop>
std::size_t take_untouched_run(Loop& loop, std::string_view text, std::size_t pos) {
    namespace gr = unicode::grapheme_rules;
    namespace detail = untouched_runs_detail;
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
            gr::Props props;
            if (!detail::ascii_alone_before(text, pos, gr::props_of, c, end, props)) break;
            // (A space that opens a run would join whitespace already held.)
            if (b == ' ' && settled == run && !output.run().empty()) break;
            decoded = true;
            // A space belongs to the run only once the cluster after it does.
            ++pos;
            if (b != ' ') settled = pos;
            continue;
        }
        if (!detail::code_point_at(text, pos, decoded, c, end)) break;
        const gr::Props props = gr::props_of(c);
        const std::uint8_t classes = unicode::pass_class_inline(c);
        char32_t next = 0;
        std::size_t next_end;
        gr::Props next_props = 0;
        const bool single = detail::is_alone(text, end, props, gr::props_of, next, next_end, next_props, decoded);
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

}  // namespace scrubix
