#include "explain/change_list.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace scrubix::explain_detail {

namespace {

constexpr bool is_continuation(char b) noexcept { return (static_cast<unsigned char>(b) & 0xC0) == 0x80; }

// Takes in `text` written for input[start, end), after the input between `change` and it, so
// the change now ends at `end`.
void extend(SpanChange& change, std::size_t start, std::size_t end, std::string_view text) noexcept {
    change.replacement_size += (start - change.end) + text.size();
    change.end = end;
}

}  // namespace

CounterAmounts amounts_between(const CleaningStats& from, const CleaningStats& to) noexcept {
    // The counters are the struct's members in declaration order, as entries() lists them.
    static_assert(sizeof(CleaningStats) == sizeof(CounterAmounts));
    const auto before = std::bit_cast<CounterAmounts>(from);
    const auto after = std::bit_cast<CounterAmounts>(to);
    CounterAmounts amounts{};
    for (std::size_t k = 0; k < amounts.size(); ++k) amounts[k] = saturating_sub(after[k], before[k]);
    return amounts;
}

std::uint16_t ChangeList::counted_bits(const CounterAmounts& amounts) noexcept {
    std::uint16_t bits = 0;
    for (std::size_t k = 0; k < amounts.size(); ++k)
        if (amounts[k] != 0) bits |= static_cast<std::uint16_t>(1u << k);
    return bits;
}

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

void ChangeList::add_counting(std::size_t start, std::size_t end, std::string_view output,
                              const CounterAmounts& amounts, std::uint16_t counted, bool whole) {
    const std::string_view original = input_.substr(start, end - start);
    if (original == output) {
        if (counted == 0) return;
    } else if (!whole) {
        // Narrow to where the texts differ; equal bytes end on the same character boundary.
        std::size_t front = 0;
        const std::size_t shorter = std::min(original.size(), output.size());
        while (front < shorter && original[front] == output[front]) ++front;
        while (front > 0 && front < original.size() && is_continuation(original[front])) --front;
        std::size_t back = 0;
        while (back < shorter - front && original[original.size() - 1 - back] == output[output.size() - 1 - back])
            ++back;
        while (back > 0 && is_continuation(original[original.size() - back])) --back;
        // A change keeps at least one character of the input (LF written as CR LF is the LF
        // replaced, not a CR put before it).
        if (front + back == original.size() && !original.empty()) {
            if (back > 0) {
                do --back; while (back > 0 && is_continuation(original[original.size() - back]));
            } else {
                do --front; while (front > 0 && is_continuation(original[front]));
            }
        }
        start += front;
        end -= back;
        output = output.substr(front, output.size() - front - back);
    }
    if (counted == 0) {
        if (!changes_.spans.empty()) {
            extend(changes_.spans.back(), start, end, output);
        } else if (carrying_) {
            extend(carry_, start, end, output);
        } else {
            carry_ = SpanChange{start, end, output.size()};
            carrying_ = true;
        }
        return;
    }
    SpanChange change{start, end, output.size()};
    if (carrying_) {
        extend(carry_, start, end, output);
        change = carry_;
        carrying_ = false;
    }
    changes_.count_each(change, amounts, counted);
    changes_.spans.push_back(change);
}

Changes ChangeList::take() {
    if (carrying_) changes_.spans.push_back(carry_);
    carrying_ = false;
    return std::move(changes_);
}

Changes compose(const Changes& normalizing, const Changes& pass) {
    // A normalizing change replaced input[start, end) with normalized text of its replacement's
    // size; between such changes the two texts agree, the input shifted by `shift` bytes from
    // the normalized text.
    const std::vector<SpanChange>& norm = normalizing.spans;
    const std::vector<SpanChange>& passed = pass.spans;
    Changes out;
    out.spans.reserve(norm.size() + passed.size());
    std::size_t i = 0, j = 0;
    std::ptrdiff_t shift = 0;
    auto at = [](std::size_t pos, std::ptrdiff_t by) {
        return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + by);
    };
    auto norm_start = [&] { return at(norm[i].start, -shift); };
    while (i < norm.size() || j < passed.size()) {
        const bool norm_first = i < norm.size() && (j == passed.size() || norm_start() <= passed[j].start);
        const std::size_t group_start = norm_first ? norm_start() : passed[j].start;
        const std::ptrdiff_t shift_before = shift;
        std::size_t group_end = group_start;
        std::size_t written = group_start;  // the normalized text up to here is in the replacement
        SpanChange group;
        auto take_normalizing = [&] {
            const std::size_t end = norm_start() + norm[i].replacement_size;
            group_end = std::max(group_end, end);
            out.count_all(group, normalizing, norm[i]);
            shift = static_cast<std::ptrdiff_t>(norm[i].end) - static_cast<std::ptrdiff_t>(end);
            ++i;
        };
        auto take_pass = [&] {
            const SpanChange& p = passed[j];
            group_end = std::max(group_end, p.end);
            group.replacement_size += (p.start - written) + p.replacement_size;
            written = p.end;
            out.count_all(group, pass, p);
            ++j;
        };
        if (norm_first) {
            take_normalizing();
        } else {
            take_pass();
        }
        // Changes that overlap the group join it.
        for (;;) {
            if (i < norm.size() && norm_start() < group_end) {
                take_normalizing();
            } else if (j < passed.size() && passed[j].start < group_end) {
                take_pass();
            } else {
                break;
            }
        }
        group.replacement_size += group_end - written;
        group.start = at(group_start, shift_before);
        group.end = at(group_end, shift);
        out.spans.push_back(group);
    }
    return out;
}

std::vector<ReportedChange> one_counter_each(const Changes& changes) {
    std::vector<ReportedChange> out;
    out.reserve(changes.spans.size());
    std::size_t read = 0, written = 0;  // where the last change ended, in the input and the output
    for (const SpanChange& change : changes.spans) {
        ReportedChange main;
        main.start = change.start;
        main.end = change.end;
        main.written_start = written + (change.start - read);
        main.written_end = main.written_start + change.replacement_size;
        read = change.end;
        written = main.written_end;
        // A rewrite no counter counted (none known) counts 0 under the first.
        bool found = false;
        changes.for_each_amount(change, [&](std::size_t k, std::uint64_t amount) {
            if (!found || amount > main.count) {
                main.counter = static_cast<std::uint8_t>(k);
                main.count = amount;
                found = true;
            }
        });
        out.push_back(main);
        if (!change.counts_under_several()) continue;
        changes.for_each_amount(change, [&](std::size_t k, std::uint64_t amount) {
            if (k != main.counter)
                out.push_back({change.end, change.end, written, written, amount, static_cast<std::uint8_t>(k)});
        });
    }
    return out;
}

}  // namespace scrubix::explain_detail
