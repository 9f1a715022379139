// The keyboard-only filter: what happens to a visible cluster when `keyboard_only` is on. An
// emoji cluster is kept whole or dropped as one change; any other cluster keeps its keyboard
// characters and folds, spells or removes the rest, and is dropped when nothing is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "records/options.hpp"
#include "pass/character_rules.hpp"
#include "pass/output.hpp"
#include "pass/pass.hpp"
#include "pass/shortcuts/outcome_memory.hpp"

namespace scrubix {

class KeyboardOnlyFilter {
public:
    enum class Kind : std::uint8_t { KeptEmoji, Filtered, DroppedEmoji, Dropped };

    // An outcome as the memory keeps it, for a cluster of at most eight bytes.
    struct Remembered {
        static constexpr std::size_t kMaxText = 11;
        Kind kind = Kind::Dropped;
        std::uint8_t transliterated = 0;
        std::uint8_t removed = 0;
        std::uint8_t text_size = 0;
        bool visible = false;  // filtered to text that is not only spaces and tabs
        char text[kMaxText] = {};

        // For a cluster dropped that is not an emoji: its character count (what
        // `non_keyboard_removed` grows by); 0 for every other outcome.
        std::uint8_t plain_drop() const noexcept { return kind == Kind::Dropped ? removed : 0; }
        // For a cluster filtered to visible text with nothing removed: the text, written as it
        // is, and `transliterated` counted.
        std::string_view written() const noexcept {
            return visible ? std::string_view(text, text_size) : std::string_view();
        }
    };
    using Memory = OutcomeMemory<Remembered>;

    // With PassMode::Shortcuts the filter keeps its outcomes in `memory`.
    KeyboardOnlyFilter(const Options& options, PassMode mode, Memory& memory) noexcept
        : options_(options), mode_(mode), memory_(memory) {}

    // Writes, rewrites or drops one visible cluster. `cleaned` is its text after the character
    // rules; `cluster` holds its text in the input (for the emoji test) and the hidden
    // characters the rules removed from it.
    void apply(Output& output, ClusterFacts& cluster, std::string_view cleaned);

    // Applies an outcome remembered for `cluster`, which the character rules left untouched
    // (the shortcuts find it in the memory).
    static void apply(Output& output, const Remembered& outcome, std::string_view cluster) {
        commit(output, outcome, cluster, 0);
    }

private:
    // What the filter makes of one cluster; the filtered text is in `filtered_`.
    struct Outcome {
        Kind kind;
        std::uint64_t transliterated = 0;
        std::uint64_t removed = 0;  // for `Dropped`: every character of the cluster
    };

    Outcome filter(ClusterFacts& cluster, std::string_view cleaned);
    // Whether the emoji cluster `cleaned` is still one in the normalization form asked for
    // (always, when none is): the output is brought back to the form after the pass, and a
    // cluster that becomes text there (U+2194 U+0338 U+FE0F composes to U+21AE U+FE0F) would
    // be filtered by the next pass.
    bool stays_emoji_when_normalized(std::string_view cleaned);
    // Keeps the outcome just worked out (with its text in `filtered_`) when it fits.
    void remember(const Memory::Place& place, const Outcome& outcome);
    static void commit(Output& output, const Outcome& outcome, std::string_view cleaned,
                       std::string_view filtered, std::size_t hidden_removed);
    static void commit(Output& output, const Remembered& kept, std::string_view cleaned,
                       std::size_t hidden_removed) {
        const Outcome outcome{kept.kind, kept.transliterated, kept.removed};
        commit(output, outcome, cleaned, std::string_view(kept.text, kept.text_size), hidden_removed);
    }

    const Options& options_;
    const PassMode mode_;
    Memory& memory_;
    std::string filtered_;    // scratch for the filtered text of one cluster
    std::string normalized_;  // scratch for the normalized text of one emoji cluster
};

// Applies the combining long solidus overlay (U+0338) to the comparison operator that ends
// `filtered` ("=" becomes "!=", "<=" becomes "!<=", ...). Returns false, changing nothing,
// when the text does not end in one of the six negatable runs or the run follows a "-".
bool negate_trailing_operator(std::string& filtered);

}  // namespace scrubix
