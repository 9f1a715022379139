#include "explain/span_changes.hpp"

namespace scrubix::explain_detail {

void Changes::count(SpanChange& change, std::size_t k, std::uint64_t amount) {
    const auto bit = static_cast<std::uint16_t>(1u << k);
    if (change.counted == 0 || change.counted == bit) {
        change.amount = saturating_add(change.counted == 0 ? 0 : change.amount, amount);
        change.counted = bit;
        return;
    }
    if (!change.counts_under_several()) {
        CounterAmounts amounts{};
        amounts[static_cast<std::size_t>(__builtin_ctz(change.counted))] = change.amount;
        change.amount = several_.size();
        several_.push_back(amounts);
    }
    CounterAmounts& amounts = several_[change.amount];
    amounts[k] = saturating_add(amounts[k], amount);
    change.counted |= bit;
}

void Changes::count_all(SpanChange& change, const Changes& other, const SpanChange& other_change) {
    other.for_each_amount(other_change, [&](std::size_t k, std::uint64_t amount) { count(change, k, amount); });
}

void Changes::count_each(SpanChange& change, const CounterAmounts& amounts, std::uint16_t counted) {
    for (unsigned bits = counted; bits != 0; bits &= bits - 1) {
        const auto k = static_cast<std::size_t>(__builtin_ctz(bits));
        count(change, k, amounts[k]);
    }
}

}  // namespace scrubix::explain_detail
