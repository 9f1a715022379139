// The change report: what the engine changed in a text and where. Each change is a span of the
// caller's input (byte offsets), the span of the cleaned text written instead, and the counter
// it counts under.
// Applying the changes in order to the input gives the cleaned text, and their amounts per
// counter add up to the result's stats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/options.hpp"
#include "records/stats.hpp"

namespace scrubix {

struct ReportedChange {
    std::size_t start = 0;  // the input span replaced, in bytes
    std::size_t end = 0;
    std::size_t written_start = 0;  // its replacement: the cleaned text's bytes in this span
    std::size_t written_end = 0;
    std::uint64_t count = 0;
    std::uint8_t counter = 0;  // index into CleaningStats::entries()
};

struct ExplainedResult {
    CleaningResult result;  // always owns its text
    std::vector<ReportedChange> changes;

    std::string_view replacement(const ReportedChange& change) const noexcept {
        return std::string_view(result.text).substr(change.written_start, change.written_end - change.written_start);
    }
};

// Cleans `text` like `clean`, through the pass with every shortcut off, and reports each
// change. Linear in the text.
ExplainedResult explain(std::string_view text, const Options& options);

}  // namespace scrubix
