// Keyboard-only output: what happens to a visible cluster when `keyboard_only` is on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "pass_state.hpp"
#include "unicode/char_tables.hpp"

namespace scrubix {

// Per-pass filter with a reusable scratch string for the filtered text of one cluster.
class KeyboardOnlyFilter {
public:
    // Emits, rewrites or drops one visible cluster. `cluster` is its text as it stands in
    // the input (for the emoji test), `processed` the text after the character pipeline,
    // `hidden_removed` the hidden characters the pipeline removed from it.
    void apply(PassState& state, std::string_view cluster, std::string_view processed,
               std::size_t hidden_removed, unicode::EmojiVerdict& verdict);

private:
    std::string filtered_;
};

// Applies the combining long solidus overlay (U+0338) to the comparison operator that ends
// `filtered` ("=" becomes "!=", "<=" becomes "!<=", ...). Returns false, changing nothing,
// when the text does not end in one of the six negatable runs or the run follows a "-".
bool negate_trailing_operator(std::string& filtered);

}  // namespace scrubix
