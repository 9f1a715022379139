// Where the cluster loop tries its shortcuts: at each position, before segmenting a cluster.
#pragma once

#include <cstddef>
#include <string_view>

#include "pass/shortcuts/remembered_runs.hpp"
#include "pass/shortcuts/rule_characters.hpp"
#include "pass/shortcuts/typography_blocks.hpp"
#include "pass/shortcuts/untouched_runs.hpp"
#include "pass/shortcuts/verbatim_ascii.hpp"

namespace scrubix {

// Takes what a shortcut can take from `pos` on: a verbatim ASCII stretch, a copy up to the next
// rule character, a stretch of prose with typography, a run of untouched or remembered clusters,
// or one ASCII cluster. Returns where the loop goes on (`pos` when no
// shortcut applies and the cluster there goes through the loop's body). `Loop` is the cluster
// loop; see untouched_runs.hpp for what the shortcuts use of it.
template <class Loop>
inline std::size_t take_shortcut(Loop& loop, std::string_view text, std::size_t pos) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const unsigned char b = bytes[pos];
    // A character before a non-ASCII byte never starts a stretch (a mark may join it).
    if (b < 0x80 && (pos + 1 == n || bytes[pos + 1] < 0x80)) return take_ascii(loop, text, pos);
    if (loop.keyboard_only()) {
        const std::size_t end = take_remembered_run(loop, text, pos);
        if (end > pos) return end;
    } else {
        // Outside keyboard-only mode no cluster is dropped whole, so with nothing held the
        // clusters before the next rule character come out as they stand.
        const auto& run = loop.output().run();
        if (run.empty() && !run.just_dropped() && run.flush_gate_open()) {
            const std::size_t end = loop.rule_characters().end_of_copy(text, pos);
            if (end > pos) {
                loop.output().emit_stretch(text.substr(pos, end - pos), false);
                return end;
            }
        }
        // Prose with typography: a rule character or an ASCII character before one, most often.
        const std::size_t typography_end = take_typography_blocks(loop, text, pos);
        if (typography_end > pos) return typography_end;
        const std::size_t end = take_untouched_run(loop, text, pos);
        if (end > pos) return end;
    }
    if (b < 0x80) return write_ascii_cluster(loop.output(), text, pos, !loop.unifies_line_breaks());
    return pos;
}

}  // namespace scrubix
