#include "character_pass.hpp"

#include "unicode/grapheme.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

// A cluster that starts with a non-ASCII character is never whitespace or a line break (the
// separators and NEL are stopped by their classes). Without keyboard-only mode, when no rule
// touches it, it is written as it is, and so is a printable ASCII character, so a run of such
// clusters is one write; a single space between them comes out as it is too. In keyboard-only
// mode a cluster of one untouched character gets the outcome remembered for that character,
// and a row of plain drops is counted at once (noting a drop twice changes nothing more).
std::size_t CharacterPass::untouched_clusters(std::string_view text, std::size_t pos) {
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
            props = plain_runs_ ? gr::props_of(c) : facts_of(c).props;
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
        }
        decoded = false;
        // (Keyboard-only mode asks its memory of code points; the plain runs read the tables.)
        std::uint8_t cls, plain_drop = 0;
        if (plain_runs_) {
            props = gr::props_of(c);
            cls = unicode::pass_class_inline(c);
        } else {
            const CodePointMemo::Facts& facts = facts_of(c);
            props = facts.props;
            cls = facts.classes;
            plain_drop = facts.plain_drop;  // (the next lookup may reuse the slot)
        }
        const bool touched = (cls & stop_) != 0;
        // One code point, or does the next one join it? The next one is kept for the next round.
        bool single = true;
        std::size_t next_end = end;
        char32_t next = 0;
        gr::Props next_props = 0;
        if (end < n) {
            if (bytes[end] < 0x80) {
                single = gr::gcb_of(props) != gr::kGcbPrepend;
            } else if (utf8::sequence_length(bytes[end]) <= n - end) {
                next = utf8::decode(text, next_end);
                next_props = plain_runs_ ? gr::props_of(next) : facts_of(next).props;
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
        } else if (single && plain_drop != 0) {
            dropped += plain_drop;
        } else {
            const KeyboardOnlyFilter::Remembered* known =
                single ? filter_.remembered(text.substr(pos, end - pos)) : nullptr;
            if (known == nullptr) break;
            if (const std::uint8_t chars = known->plain_drop()) {
                dropped += chars;
                facts_of(c).plain_drop = chars;
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

}  // namespace scrubix
