// Keyboard-only output: what happens to a visible cluster when `keyboard_only` is on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pass_state.hpp"
#include "unicode/char_tables.hpp"

namespace scrubix {

// Per-pass filter with a reusable scratch string for the filtered text of one cluster. With
// `remember` on, it keeps the outcome for clusters of a single code point that the pipeline
// left untouched (the common case of a letter to transliterate or a character to drop), so a
// repeated character is resolved once per pass.
class KeyboardOnlyFilter {
public:
    explicit KeyboardOnlyFilter(bool remember = true) noexcept : remember_(remember) {}

    // Emits, rewrites or drops one visible cluster. `cluster` is its text as it stands in
    // the input (for the emoji test), `processed` the text after the character pipeline,
    // `hidden_removed` the hidden characters the pipeline removed from it.
    void apply(PassState& state, std::string_view cluster, std::string_view processed,
               std::size_t hidden_removed, unicode::EmojiVerdict& verdict);

private:
    enum class Kind : std::uint8_t { kept_emoji, filtered, dropped_emoji, dropped };

    // What the filter makes of one cluster; the filtered text is in `filtered_`.
    struct Outcome {
        Kind kind;
        std::uint64_t transliterated = 0;
        std::uint64_t removed = 0;  // for `dropped`: every character of the cluster
    };

    // A remembered outcome for a single code point; the filtered text is at most kMaxText bytes.
    struct Remembered {
        static constexpr std::size_t kMaxText = 8;
        char32_t code_point = ~char32_t{0};
        Kind kind = Kind::dropped;
        std::uint8_t transliterated = 0;
        std::uint8_t removed = 0;
        std::uint8_t text_size = 0;
        char text[kMaxText] = {};
    };
    static constexpr std::size_t kRememberedSlots = 256;

    Outcome filter(std::string_view cluster, std::string_view processed, const Options& o,
                   unicode::EmojiVerdict& verdict);
    static void commit(PassState& state, const Outcome& outcome, std::string_view processed,
                       std::string_view filtered, std::size_t hidden_removed);
    Remembered& slot_for(char32_t c);

    bool remember_;
    std::string filtered_;
    std::unique_ptr<Remembered[]> remembered_;  // allocated on first use
};

// Applies the combining long solidus overlay (U+0338) to the comparison operator that ends
// `filtered` ("=" becomes "!=", "<=" becomes "!<=", ...). Returns false, changing nothing,
// when the text does not end in one of the six negatable runs or the run follows a "-".
bool negate_trailing_operator(std::string& filtered);

}  // namespace scrubix
