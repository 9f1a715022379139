// The whitespace run: spaces and tabs are held until what follows them decides their fate.
//
// A run ends in one of three ways. Before visible text it is flushed: written as it stands, or
// as one space when runs are collapsed, unless the flush gate is shut (the text so far wrote
// nothing but dropped a cluster at its very start, so the run would open the output). Before a
// line break or at the end of the text it is trailing whitespace: trimmed when that option is
// on, else written. Next to a cluster the keyboard-only filter drops, the run shrinks to one
// space, so that removing a word leaves one gap and not two.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "records/options.hpp"
#include "records/stats.hpp"

namespace scrubix {

// Whether `s` is made of spaces and tabs only: what the whitespace run holds.
inline bool is_spaces_and_tabs(std::string_view s) noexcept {
    for (char ch : s)
        if (ch != ' ' && ch != '\t') return false;
    return true;
}

class WhitespaceRun {
public:
    explicit WhitespaceRun(const Options& options) noexcept
        : collapse_(options.collapse_whitespace), trim_(options.remove_trailing_whitespace) {}

    // A cluster of spaces and tabs was found.
    void hold(std::string_view whitespace) {
        if (just_dropped_) {
            make_one_space();
        } else {
            pending_.append(whitespace);
        }
        just_dropped_ = false;
    }

    // The keyboard-only filter dropped a whole cluster. A drop at the very start stays one
    // until something is written, however many drops and runs follow it.
    void note_drop() {
        just_dropped_ = true;
        if (!pending_.empty()) {
            make_one_space();
        } else if (!written_) {
            dropped_at_start_ = true;
        }
    }

    // The flush gate: a run before visible text is written only when something was written
    // already or no cluster was dropped at the very start.
    bool flush_gate_open() const noexcept { return written_ || !dropped_at_start_; }

    // Visible text follows: the run is flushed through the gate.
    void flush(std::string& out, Tally& tally) {
        if (pending_.empty()) return;
        if (flush_gate_open()) write(out, tally);
        pending_.clear();
    }

    // A line break follows: the run is trailing whitespace, trimmed or written as it stands.
    void end_at_line_break(std::string& out, Tally& tally);
    // The text ends: the run is trimmed, or flushed through the gate.
    void end_of_text(std::string& out, Tally& tally);

    // Visible text was written after the run was flushed.
    void note_written() noexcept {
        written_ = true;
        dropped_at_start_ = false;
    }
    // A line break was written after the run was trimmed.
    void note_line_break() noexcept {
        note_written();
        just_dropped_ = false;
    }
    // A verbatim stretch was written (with nothing pending); `rests` says whether it held
    // whitespace or a line break, which clear the just-dropped flag as holding them would.
    void note_stretch(bool rests) noexcept {
        note_written();
        if (rests) just_dropped_ = false;
    }

    // The state a loop that followed the run itself leaves it in, with something written
    // already: at most one space held, and whether the last cluster was dropped.
    void resume(bool space_held, bool just_dropped) {
        if (space_held) {
            make_one_space();
        } else {
            pending_.clear();
        }
        just_dropped_ = just_dropped;
    }

    // The state a loop that followed the run itself leaves it in, outside keyboard-only mode:
    // `count` spaces held.
    void resume_spaces(std::size_t count) {
        if (pending_.size() != count || pending_.find_first_not_of(' ') != std::string::npos) pending_.assign(count, ' ');
        just_dropped_ = false;
    }

    bool empty() const noexcept { return pending_.empty(); }
    // Whether some text or line break was written.
    bool wrote() const noexcept { return written_; }
    // The spaces and tabs held (the change report reads what a flush would write).
    std::string_view pending() const noexcept { return pending_; }
    bool just_dropped() const noexcept { return just_dropped_; }
    // A single held space and no drop flag: noting a drop and then holding a space would
    // leave the run exactly as it is.
    bool holds_lone_space() const noexcept {
        return pending_.size() == 1 && pending_[0] == ' ' && !just_dropped_ && !dropped_at_start_;
    }

private:
    void make_one_space() {
        if (pending_.size() != 1 || pending_[0] != ' ') pending_.assign(1, ' ');
    }
    // Writes the run, collapsed to one space when runs are collapsed.
    void write(std::string& out, Tally& tally);

    std::string pending_;
    bool written_ = false;           // some text or line break was written
    bool dropped_at_start_ = false;  // a cluster was dropped before anything was written
    bool just_dropped_ = false;      // the last cluster was dropped
    const bool collapse_;
    const bool trim_;
};

}  // namespace scrubix
