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
            if (pending_.size() != 1 || pending_[0] != ' ') pending_.assign(1, ' ');
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
    void note_drop() {
        just_dropped_ = true;
        if (!pending_.empty()) {
            if (pending_.size() != 1 || pending_[0] != ' ') pending_.assign(1, ' ');
            dropped_at_start_ = false;
        } else {
            dropped_at_start_ = !emitted_;
        }
    }

    // --- writing ---------------------------------------------------------------------------

    // Writes a visible cluster (or filtered text, or "..."): flushes the run first.
    void emit(std::string_view text) {
        flush();
        out.append(text);
        emitted_ = true;
        dropped_at_start_ = false;
    }

    // Writes a stretch of ASCII clusters that comes out unchanged (visible characters, line
    // breaks, whitespace between them) exactly as writing, holding and flushing them one by one
    // would. Only when nothing is pending; `rests` says whether the stretch holds whitespace or a
    // line break (which clear the just-dropped flag). A stretch that starts with whitespace
    // needs the flush gate open.
    void emit_verbatim(std::string_view stretch, bool rests) {
        out.append(stretch);
        emitted_ = true;
        dropped_at_start_ = false;
        if (rests) just_dropped_ = false;
    }

    // Writes a line break after ending the run at it.
    void emit_line_break(std::string_view line_break) {
        end_at_line_break();
        out.append(line_break);
        emitted_ = true;
        just_dropped_ = false;
        dropped_at_start_ = false;
    }

    // --- what the verbatim stretches need to know ------------------------------------------

    bool nothing_pending() const noexcept { return pending_.empty(); }
    bool flush_gate_open() const noexcept { return emitted_ || !dropped_at_start_; }
    bool just_dropped() const noexcept { return just_dropped_; }
    // A single held space and no drop flag: noting a drop and then holding a space would
    // leave the state exactly as it is.
    bool holds_lone_space() const noexcept {
        return pending_.size() == 1 && pending_[0] == ' ' && !just_dropped_ && !dropped_at_start_;
    }

private:
    void write_run();

    std::string pending_;
    bool emitted_ = false;
    bool dropped_at_start_ = false;
    bool just_dropped_ = false;
};

}  // namespace scrubix
