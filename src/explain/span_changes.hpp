// A stage's changes as spans of the text it read, with the counters each counts under.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "records/stats.hpp"

namespace scrubix::explain_detail {

using CounterAmounts = std::array<std::uint64_t, CleaningStats::kCount>;

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
    std::deque<SpanChange> spans;  // grows without moving what it holds

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

}  // namespace scrubix::explain_detail
