// The cluster loop: the pass walks the text one grapheme cluster at a time. A line break is
// written as a line break (after the line-ending pre-pass); any other cluster goes through the
// character rules, and what is left is held as whitespace, filtered (keyboard-only mode) or
// written. With PassMode::Shortcuts the loop first offers each position to the shortcuts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "records/options.hpp"
#include "pass/character_rules.hpp"
#include "pass/keyboard_only_filter.hpp"
#include "pass/line_endings.hpp"
#include "pass/output.hpp"
#include "pass/pass.hpp"
#include "pass/pass_plan.hpp"
#include "pass/shortcuts/dropped_letters.hpp"
#include "pass/shortcuts/spelled_letters.hpp"
#include "pass/shortcuts/rule_characters.hpp"
#include "pass/shortcuts/verbatim_ascii.hpp"
#include "records/stats.hpp"

namespace scrubix {

class ClusterLoop {
public:
    // `plan` is the options' (PassPlan(options)).
    ClusterLoop(const Options& options, const PassPlan& plan, PassMode mode, std::string& out, Tally& tally,
                std::size_t text_size)
        : options_(options),
          mode_(mode),
          unify_breaks_(plan.unify_breaks),
          active_(plan.active),
          stop_(plan.stop),
          verbatim_(plan.verbatim),
          rule_characters_(plan.rule_characters),
          output_(options, out, tally),
          watch_seams_(plan.watch_seams) {
        if (options.keyboard_only) keyboard_.emplace(options, mode, text_size);
    }

    void run(std::string_view text);

    // The loop calling `observer.before(begin)` and `observer.after(begin, end)` around each
    // step: a cluster, or a stretch a shortcut took. The change report watches the pass this
    // way (explain/explained_pass.cpp defines it); `run` itself has no observer to pay for.
    template <class Observer>
    void run_observed(std::string_view text, Observer& observer);

    // Whether the output may have left the normalization form (Output::form_at_risk).
    bool form_at_risk() const noexcept { return output_.form_at_risk(); }

    // The line breaks the pre-pass rewrote as LF (with a line-ending style).
    const LineBreakCounts& line_breaks() const noexcept { return breaks_; }

    // --- what the shortcuts use (shortcuts/) -------------------------------------------------

    Output& output() noexcept { return output_; }
    const VerbatimAscii& verbatim() const noexcept { return verbatim_; }
    RuleCharacterScan& rule_characters() noexcept { return rule_characters_; }
    const Options& options() const noexcept { return options_; }
    bool keyboard_only() const noexcept { return options_.keyboard_only; }
    bool unifies_line_breaks() const noexcept { return unify_breaks_; }
    // The rule classes that end a run of clusters the shortcuts write untouched.
    std::uint8_t stop_classes() const noexcept { return stop_; }
    static std::size_t untouched_prefix(std::string_view cluster, std::uint8_t mask) noexcept {
        return scrubix::untouched_prefix(cluster, mask);
    }
    // (Keyboard-only mode only.)
    KeyboardOnlyFilter::Memory& memory() noexcept { return keyboard_->memory; }
    DroppedLetters& dropped_letters() noexcept { return keyboard_->dropped_letters; }
    SpelledLetters& spelled_letters() noexcept { return keyboard_->spelled_letters; }
    KeyboardOnlyFilter& filter() noexcept { return keyboard_->filter; }
    // The loop's body for a cluster known to be the one code point `c`, of rule classes `classes`.
    void clean_single(std::string_view cluster, char32_t c, std::uint8_t classes);
    // The loop's body for one cluster.
    void clean_cluster(std::string_view cluster);

private:
    // Writes the cluster when it is a line break.
    bool line_break(std::string_view cluster);
    // Runs the character rules over the cluster and points `cleaned` at the result (the cluster
    // itself when no rule touched it). False when the ellipsis rule ended the cluster.
    bool apply_rules(ClusterFacts& cluster, std::string_view& cleaned);
    // What is left of a cluster: held as whitespace, filtered, or written.
    void write(ClusterFacts& cluster, std::string_view cleaned);
    void write_ellipsis();
    // A character before `at` in `cluster` was removed or rewritten. With a form asked for,
    // the form is at risk when the code point at `at` (in the cluster or after it) joins what
    // is now before it (a mark, the second of a composition pair).
    void note_seam(std::string_view cluster, std::size_t at) {
        if (watch_seams_ && !output_.form_at_risk()) check_seam(cluster.data() + at);
    }
    void check_seam(const char* next) noexcept;

    const Options& options_;
    const PassMode mode_;
    const bool unify_breaks_;
    const std::uint8_t active_;  // rule classes that some enabled rule acts on
    const std::uint8_t stop_;
    const VerbatimAscii verbatim_;
    RuleCharacterScan rule_characters_;
    Output output_;
    // The keyboard-only filter and what its shortcuts remember, made in keyboard-only mode
    // only (a text cleaned otherwise pays nothing for them).
    struct KeyboardOnlyParts {
        KeyboardOnlyParts(const Options& options, PassMode mode, std::size_t text_size)
            : memory(text_size), filter(options, mode, memory) {}
        KeyboardOnlyFilter::Memory memory;
        DroppedLetters dropped_letters;
        SpelledLetters spelled_letters;
        KeyboardOnlyFilter filter;
    };
    std::optional<KeyboardOnlyParts> keyboard_;
    std::string buffer_;  // the cleaned text of one cluster
    const bool watch_seams_;  // a normalization form is asked for
    const char* text_end_ = nullptr;
    LineBreakCounts breaks_;
};

}  // namespace scrubix
