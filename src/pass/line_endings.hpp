// Line endings in a requested style, in two steps around the cluster loop.
//
// The pre-pass rewrites every CR LF, lone CR, U+0085, U+2028 and U+2029 as LF and counts what
// it found. It runs one cluster at a time inside the loop: each of these breaks is a cluster
// of its own (CR LF is one cluster, and every other break stands alone), so rewriting them on
// the way gives what rewriting the text first would, without a copy. The post-pass writes the
// finished output's LFs in the requested style and counts the breaks that did not have it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "records/options.hpp"
#include "records/stats.hpp"

namespace scrubix {

// What the pre-pass found: CR LF pairs, lone CRs, and U+0085/U+2028/U+2029.
struct LineBreakCounts {
    std::uint64_t crlf = 0;
    std::uint64_t cr = 0;
    std::uint64_t other = 0;
};

// The pre-pass for one cluster: whether it is a break that becomes LF (counted in `found`).
inline bool unify_line_break(std::string_view cluster, LineBreakCounts& found) noexcept {
    constexpr std::string_view kNextLine = "\xC2\x85";
    constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";
    constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";
    std::uint64_t* count = nullptr;
    if (cluster == "\r\n") count = &found.crlf;
    else if (cluster == "\r") count = &found.cr;
    else if (cluster == kNextLine || cluster == kLineSeparator || cluster == kParagraphSeparator)
        count = &found.other;
    if (count == nullptr) return false;
    *count = saturating_add(*count, 1);
    return true;
}

// The post-pass: converts the LFs `out` holds from `start` on (what the pass wrote) to `style`
// and counts the breaks that did not already have it.
void convert_line_breaks(LineEndingStyle style, const LineBreakCounts& found, std::string& out, std::size_t start,
                         Tally& tally);

}  // namespace scrubix
