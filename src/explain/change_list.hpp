// The changes of one stage (normalization, or the main pass) as spans of the text the stage
// read, and the steps that turn them into the report: composing the two stages, and one
// counter per change.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

// A change over the text a stage read. Its replacement is not stored: between two changes a
// stage writes the text as it stood, so a stage's changes tile its output and a change's
// replacement is the `replacement_size` bytes of the output where the text before it ends.
//
// `counted` marks the counters the change counts under, even with an amount of 0 (the
// normalization counter counts texts, so only a text's first normalized piece carries the 1).
// Nearly every change counts under one counter, whose amount is `amount`; a change that counts
// under several (a trimmed run that held a normalized space) keeps them in its Changes' table,
// and `amount` is their index there.
struct SpanChange {
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t replacement_size = 0;
    std::uint64_t amount = 0;
    std::uint16_t counted = 0;

    bool counts_under_several() const noexcept { return (counted & (counted - 1)) != 0; }
};

// A stage's changes in order, with the amounts of those that count under several counters.
class Changes {
public:
    std::vector<SpanChange> spans;

    // Counts `amount` under counter `k` for `change` (one of `spans`, or one to be added).
    void count(SpanChange& change, std::size_t k, std::uint64_t amount);
    // Counts for `change` what `other_change` of `other` counts.
    void count_all(SpanChange& change, const Changes& other, const SpanChange& other_change);
    // Counts `amounts` under the counters marked in `counted`.
    void count_each(SpanChange& change, const CounterAmounts& amounts, std::uint16_t counted);

    // Calls `f(counter, amount)` for each counter `change` counts under, in order.
    template <class F>
    void for_each_amount(const SpanChange& change, F&& f) const {
        if (change.counts_under_several()) {
            const CounterAmounts& amounts = several_[change.amount];
            for (std::size_t k = 0; k < amounts.size(); ++k)
                if (change.counted & (1u << k)) f(k, amounts[k]);
        } else if (change.counted != 0) {
            f(static_cast<std::size_t>(__builtin_ctz(change.counted)), change.amount);
        }
    }

private:
    std::vector<CounterAmounts> several_;
};

// Collects a stage's changes in order. A rewrite nothing counted (the space a dropped
// cluster takes with it, or a run the flush gate holds back) belongs to the change that
// caused it: it joins the change before it, or the next one at the start of the text.
class ChangeList {
public:
    explicit ChangeList(std::string_view input) noexcept : input_(input) {}

    // The stage wrote `output` for input[start, end), counting `amounts` under the counters
    // marked in `counted`. The span is narrowed to where the texts differ (at character
    // boundaries) unless `whole` (a collapsed run is one change, "   " -> " "); nothing is
    // kept when they agree and nothing was counted.
    void add_counting(std::size_t start, std::size_t end, std::string_view output, const CounterAmounts& amounts,
                      std::uint16_t counted, bool whole = false);
    void add(std::size_t start, std::size_t end, std::string_view output, const CounterAmounts& amounts,
             bool whole = false) {
        add_counting(start, end, output, amounts, counted_bits(amounts), whole);
    }

    // The changes, with an uncounted rewrite that found no change to join kept as it is.
    Changes take();

    static std::uint16_t counted_bits(const CounterAmounts& amounts) noexcept;

private:
    std::string_view input_;
    Changes changes_;
    SpanChange carry_;  // an uncounted rewrite waiting for the first counted change
    bool carrying_ = false;
};

// The changes over the input from the normalization stage's changes (input -> normalized
// text) and the pass's (over the normalized text): changes that overlap become one.
Changes compose(const Changes& normalizing, const Changes& pass);

// One counter per change: the largest amount keeps the span, each other counter follows as
// an empty span at its end. Each change's replacement is placed in the output.
std::vector<ReportedChange> one_counter_each(const Changes& changes);

// Runs the main pass over `text` (what the normalization stage gave) with its ASCII shortcuts
// only, writing into `out` and `tally`, and returns its changes over `text`.
Changes run_explained_pass(std::string_view text, const Options& options, std::string& out, Tally& tally);

}  // namespace scrubix::explain_detail
