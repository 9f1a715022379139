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

#include "explain/span_changes.hpp"
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

// The cleaned text with its counters, and the changes that made it.
struct ExplainedResult {
    CleaningResult result;  // always owns its text
    explain_detail::Changes changes;

    // How many changes for_each_change reports.
    std::size_t change_count() const noexcept {
        std::size_t count = 0;
        for (const explain_detail::SpanChange& change : changes.spans)
            count += change.counts_under_several() ? static_cast<std::size_t>(__builtin_popcount(change.counted)) : 1;
        return count;
    }

    // Calls `f(const ReportedChange&)` for each change in order, one counter each: where a
    // span counts under several counters, the largest amount keeps the span and each other
    // counter follows as an empty span at its end. A rewrite no counter counted (none is
    // known) counts 0 under the first.
    template <class F>
    void for_each_change(F&& f) const {
        std::size_t read = 0, written = 0;  // where the last change ended, in the input and the output
        for (const explain_detail::SpanChange& change : changes.spans) {
            ReportedChange main;
            main.start = change.start;
            main.end = change.end;
            main.written_start = written + (change.start - read);
            main.written_end = main.written_start + change.replacement_size;
            read = change.end;
            written = main.written_end;
            bool found = false;
            changes.for_each_amount(change, [&](std::size_t k, std::uint64_t amount) {
                if (!found || amount > main.count) {
                    main.counter = static_cast<std::uint8_t>(k);
                    main.count = amount;
                    found = true;
                }
            });
            f(static_cast<const ReportedChange&>(main));
            if (!change.counts_under_several()) continue;
            changes.for_each_amount(change, [&](std::size_t k, std::uint64_t amount) {
                if (k != main.counter) f(ReportedChange{change.end, change.end, written, written, amount,
                                                        static_cast<std::uint8_t>(k)});
            });
        }
    }

    std::string_view replacement(const ReportedChange& change) const noexcept {
        return std::string_view(result.text).substr(change.written_start, change.written_end - change.written_start);
    }
};

// Cleans `text` like `clean`, through the pass with its ASCII shortcuts only, and reports
// each change. Linear in the text.
ExplainedResult explain(std::string_view text, const Options& options);

}  // namespace scrubix
