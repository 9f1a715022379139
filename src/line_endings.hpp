// Line-ending normalization: every recognised line break becomes LF before the main pass,
// and the finished output's LFs are written in the requested style afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "options.hpp"
#include "stats.hpp"

namespace scrubix {

// What the pre-pass found: CR LF pairs, lone CRs, and U+0085/U+2028/U+2029.
struct LineBreakCounts {
    std::uint64_t crlf = 0;
    std::uint64_t cr = 0;
    std::uint64_t other = 0;
};

// Rewrites every CR LF, lone CR, U+0085, U+2028 and U+2029 of `text` as LF into `out`.
LineBreakCounts unify_line_breaks(std::string_view text, std::string& out);

// Converts the LFs of `out` to `style` and counts the breaks that did not already have it.
void convert_line_breaks(LineEndingStyle style, const LineBreakCounts& found, std::string& out,
                         Tally& tally);

}  // namespace scrubix
