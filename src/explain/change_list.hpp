// Collecting the changes of one stage (normalization, or the main pass) as spans of the text
// the stage read, and composing the two stages.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "explain/span_changes.hpp"
#include "records/options.hpp"
#include "records/stats.hpp"

namespace scrubix::explain_detail {

// The counters in `to` minus those in `from`, in declaration order.
inline CounterAmounts amounts_between(const CleaningStats& from, const CleaningStats& to) noexcept {
    // The counters are the struct's members in declaration order, as entries() lists them.
    static_assert(sizeof(CleaningStats) == sizeof(CounterAmounts));
    const auto before = std::bit_cast<CounterAmounts>(from);
    const auto after = std::bit_cast<CounterAmounts>(to);
    CounterAmounts amounts;
    for (std::size_t k = 0; k < amounts.size(); ++k) amounts[k] = saturating_sub(after[k], before[k]);
    return amounts;
}

constexpr std::size_t kUnicodeNormalized = 9;
constexpr std::size_t kLineEndingsNormalized = 8;

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

    static std::uint16_t counted_bits(const CounterAmounts& amounts) noexcept {
        unsigned bits = 0;
        for (std::size_t k = 0; k < amounts.size(); ++k) bits |= static_cast<unsigned>(amounts[k] != 0) << k;
        return static_cast<std::uint16_t>(bits);
    }

private:
    std::string_view input_;
    Changes changes_;
    SpanChange carry_;  // an uncounted rewrite waiting for the first counted change
    bool carrying_ = false;
};

// The changes over the input from the normalization stage's changes (input -> normalized
// text) and the pass's (over the normalized text): changes that overlap become one.
Changes compose(const Changes& normalizing, const Changes& pass);

// Runs the main pass over `text` (what the normalization stage gave) with its ASCII shortcuts
// only, writing into `out` and `tally`, and returns its changes over `text`.
Changes run_explained_pass(std::string_view text, const Options& options, std::string& out, Tally& tally);

}  // namespace scrubix::explain_detail
