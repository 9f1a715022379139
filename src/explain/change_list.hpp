// The changes of one stage (normalization, or the main pass) as spans of the text the stage
// read, and the steps that turn them into the report: composing the two stages, and one
// counter per change.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "explain/change_report.hpp"
#include "records/stats.hpp"

namespace scrubix::explain_detail {

using CounterAmounts = std::array<std::uint64_t, CleaningStats::kCount>;

// The counters in `to` minus those in `from`, in declaration order.
CounterAmounts amounts_between(const CleaningStats& from, const CleaningStats& to) noexcept;

constexpr std::size_t kUnicodeNormalized = 9;
constexpr std::size_t kLineEndingsNormalized = 8;

// A change that may count under several counters (a trimmed run that held a normalized
// space). `counted` marks the counters it counts under, even with an amount of 0 (the
// normalization counter counts texts, so only a text's first normalized piece carries the 1).
struct SpanChange {
    std::size_t start = 0;
    std::size_t end = 0;
    std::string replacement;
    CounterAmounts amounts{};
    std::uint16_t counted = 0;
};

// Collects a stage's changes in order. A rewrite nothing counted (the space a dropped
// cluster takes with it, or a run the flush gate holds back) belongs to the change that
// caused it: it joins the change before it, or the next one at the start of the text.
class ChangeList {
public:
    explicit ChangeList(std::string_view input) noexcept : input_(input) {}

    // The stage wrote `output` for input[start, end), counting `amounts`. The span is narrowed
    // to where the texts differ (at character boundaries) unless `whole` (a collapsed run is
    // one change, "   " -> " "); nothing is kept when they agree and nothing was counted.
    void add_counting(std::size_t start, std::size_t end, std::string_view output, const CounterAmounts& amounts,
                      std::uint16_t counted, bool whole = false);
    void add(std::size_t start, std::size_t end, std::string_view output, const CounterAmounts& amounts,
             bool whole = false) {
        add_counting(start, end, output, amounts, counted_bits(amounts), whole);
    }

    // The changes, with an uncounted rewrite that found no change to join kept as it is.
    std::vector<SpanChange> take();

    static std::uint16_t counted_bits(const CounterAmounts& amounts) noexcept;

private:
    std::string_view input_;
    std::vector<SpanChange> changes_;
    SpanChange carry_;  // an uncounted rewrite waiting for the first counted change
    bool carrying_ = false;
};

// The changes over the input from the normalization stage's changes (input -> `normalized`)
// and the pass's (over `normalized`): changes that touch become one.
std::vector<SpanChange> compose(std::string_view normalized, const std::vector<SpanChange>& normalizing,
                                const std::vector<SpanChange>& pass);

// One counter per change: the largest amount keeps the span, each other counter follows as
// an empty span at its end.
std::vector<ReportedChange> one_counter_each(std::vector<SpanChange>&& changes);

// Runs the main pass over `text` (what the normalization stage gave) with every shortcut off,
// writing into `out` and `tally`, and returns its changes over `text`.
std::vector<SpanChange> run_explained_pass(std::string_view text, const Options& options, std::string& out,
                                           Tally& tally);

}  // namespace scrubix::explain_detail
