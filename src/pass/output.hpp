// The pass's output: the text written so far, the counters, and the whitespace run that every
// write settles first.
#pragma once

#include <string>
#include <string_view>

#include "records/options.hpp"
#include "pass/whitespace_run.hpp"
#include "records/stats.hpp"

namespace scrubix {

class Output {
public:
    Output(const Options& options, std::string& text, Tally& tally) noexcept
        : tally(tally), text_(text), run_(options) {}

    Tally& tally;

    // Spaces and tabs: held in the run.
    void hold(std::string_view whitespace) { run_.hold(whitespace); }
    void hold(char whitespace) { run_.hold(std::string_view(&whitespace, 1)); }

    // Visible text (a cluster, its filtered form, or "..."): the run is flushed first.
    void emit(std::string_view visible) {
        run_.flush(text_, tally);
        text_.append(visible);
        run_.note_written();
    }

    // A line break: the run before it is trailing whitespace.
    void emit_line_break(std::string_view line_break) {
        run_.end_at_line_break(text_, tally);
        text_.append(line_break);
        run_.note_line_break();
    }

    // A stretch of ASCII clusters that comes out unchanged (visible characters, line breaks,
    // whitespace between them), written exactly as holding, flushing and writing them one by
    // one would. Only with nothing held; a stretch that starts with whitespace needs the flush
    // gate open. `rests` says whether it holds whitespace or a line break.
    void emit_stretch(std::string_view stretch, bool rests) {
        text_.append(stretch);
        run_.note_stretch(rests);
    }

    // Text the keyboard-only block loop wrote while it followed the whitespace run itself
    // (shortcuts/keyboard_blocks.hpp), with something written before it.
    void emit_stretch_raw(std::string_view stretch) { text_.append(stretch); }
    // The end of that loop: the rest of its text, and the run's state as it left it.
    void resume_after_block_loop(std::string_view stretch, bool space_held, bool just_dropped) {
        text_.append(stretch);
        run_.resume(space_held, just_dropped);
    }

    // The end of the typography block loop (shortcuts/typography_blocks.hpp): what it wrote,
    // and how many spaces it left held.
    void resume_after_typography(std::string_view stretch, std::size_t spaces_held) {
        text_.append(stretch);
        if (!stretch.empty()) run_.note_written();
        run_.resume_spaces(spaces_held);
    }

    // The keyboard-only filter dropped a whole cluster.
    void note_drop() { run_.note_drop(); }

    void end_of_text() { run_.end_of_text(text_, tally); }

    // The text written may have left the normalization form the stage gave its input: the
    // pass joined characters the stage saw apart, or wrote an emoji cluster kept whole with a
    // character the stage left whole for keyboard-only mode to spell. With a form asked for,
    // the output is then checked and normalized again.
    void note_form_at_risk() noexcept { form_at_risk_ = true; }
    bool form_at_risk() const noexcept { return form_at_risk_; }

    const WhitespaceRun& run() const noexcept { return run_; }

private:
    std::string& text_;
    WhitespaceRun run_;
    bool form_at_risk_ = false;
};

}  // namespace scrubix
