// State of one main pass that lives across clusters: the output, the counters, the pending
// whitespace run and the three flags that decide what happens to whitespace next to dropped
// clusters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "options.hpp"
#include "stats.hpp"

namespace scrubix {

class PassState {
public:
    PassState(const Options& options, std::string& out, Tally& tally) noexcept
        : options(options), out(out), tally(tally) {}

    const Options& options;
    std::string& out;
    Tally& tally;

    // --- whitespace runs -------------------------------------------------------------------

    // A cluster of spaces and tabs was found.
    void hold(std::string_view whitespace) {
        if (just_dropped_) {
            pending_.assign(1, ' ');
        } else {
            pending_.append(whitespace);
        }
        just_dropped_ = false;
    }
    void hold(char whitespace) { hold(std::string_view(&whitespace, 1)); }

    // Before a visible cluster or an ellipsis is written. Writes the run only when something
    // was already emitted or no cluster was dropped at the very start.
    void flush() {
        if (!pending_.empty()) {
            if (emitted_ || !dropped_at_start_) write_run();
            pending_.clear();
        }
    }

    // A line-break cluster: the run is trailing whitespace.
    void end_at_line_break();
    // After the last cluster.
    void end_of_text();
    // The keyboard-only filter dropped a whole cluster.
    void note_drop() noexcept;

    // --- writing ---------------------------------------------------------------------------

    // Writes a visible cluster (or filtered text, or "..."): flushes the run first.
    void emit(std::string_view text) {
        flush();
        out.append(text);
        emitted_ = true;
        dropped_at_start_ = false;
    }

    // Writes visible ASCII clusters, possibly joined by single spaces (`spaced`), exactly as
    // emitting each cluster and holding each space one by one would.
    void emit_words(std::string_view words, bool spaced) {
        emit(words);
        if (spaced) just_dropped_ = false;
    }

    // Writes a line break after ending the run at it.
    void emit_line_break(std::string_view line_break) {
        end_at_line_break();
        out.append(line_break);
        emitted_ = true;
        just_dropped_ = false;
        dropped_at_start_ = false;
    }

private:
    void write_run();

    std::string pending_;
    bool emitted_ = false;
    bool dropped_at_start_ = false;
    bool just_dropped_ = false;
};

}  // namespace scrubix
