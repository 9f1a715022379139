#include "character_pass.hpp"

#include "unicode/grapheme.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

void CharacterPass::run(std::string_view text) {
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

std::size_t CharacterPass::emit_stretch(std::string_view text, std::size_t pos, std::size_t end) {
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

std::size_t CharacterPass::single_ascii(std::string_view text, std::size_t pos) {
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

}  // namespace scrubix
