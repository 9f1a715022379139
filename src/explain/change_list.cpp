#include "explain/change_list.hpp"

#include <algorithm>
#include <utility>

namespace scrubix::explain_detail {

namespace {

constexpr bool is_continuation(char b) noexcept { return (static_cast<unsigned char>(b) & 0xC0) == 0x80; }

// Appends `text` to the replacement of `change` after the input between them, so the change
// now ends at `end`.
void extend(SpanChange& change, std::string_view input, std::size_t start, std::size_t end, std::string_view text) {
    change.replacement.append(input.substr(change.end, start - change.end));
    change.replacement.append(text);
    change.end = end;
}

void add_amounts(SpanChange& into, const SpanChange& from) noexcept {
    for (std::size_t k = 0; k < into.amounts.size(); ++k) into.amounts[k] += from.amounts[k];
    into.counted |= from.counted;
}

}  // namespace

CounterAmounts amounts_between(const CleaningStats& from, const CleaningStats& to) noexcept {
    const auto before = from.entries();
    const auto after = to.entries();
    CounterAmounts amounts{};
    for (std::size_t k = 0; k < amounts.size(); ++k) amounts[k] = saturating_sub(after[k].second, before[k].second);
    return amounts;
}

std::uint16_t ChangeList::counted_bits(const CounterAmounts& amounts) noexcept {
    std::uint16_t bits = 0;
    for (std::size_t k = 0; k < amounts.size(); ++k)
        if (amounts[k] != 0) bits |= static_cast<std::uint16_t>(1u << k);
    return bits;
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
        if (!changes_.empty()) {
            extend(changes_.back(), input_, start, end, output);
        } else if (carrying_) {
            extend(carry_, input_, start, end, output);
        } else {
            carry_ = SpanChange{start, end, std::string(output)};
            carrying_ = true;
        }
        return;
    }
    SpanChange change{start, end, std::string(output), amounts, counted};
    if (carrying_) {
        extend(carry_, input_, start, end, output);
        carry_.amounts = amounts;
        carry_.counted = counted;
        change = std::move(carry_);
        carrying_ = false;
    }
    changes_.push_back(std::move(change));
}

std::vector<SpanChange> ChangeList::take() {
    if (carrying_) changes_.push_back(std::move(carry_));
    carrying_ = false;
    return std::move(changes_);
}

std::vector<SpanChange> compose(std::string_view normalized, const std::vector<SpanChange>& normalizing,
                                const std::vector<SpanChange>& pass) {
    // A normalizing change replaced input[start, end) with the normalized text of its
    // replacement's length; between such changes the two texts agree, the input shifted by
    // `shift` bytes from the normalized text.
    std::vector<SpanChange> out;
    out.reserve(normalizing.size() + pass.size());
    std::size_t i = 0, j = 0;
    std::ptrdiff_t shift = 0;
    auto at = [](std::size_t pos, std::ptrdiff_t by) {
        return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(pos) + by);
    };
    auto norm_start = [&] { return at(normalizing[i].start, -shift); };
    while (i < normalizing.size() || j < pass.size()) {
        const bool norm_first = i < normalizing.size() && (j == pass.size() || norm_start() <= pass[j].start);
        const std::size_t group_start = norm_first ? norm_start() : pass[j].start;
        const std::ptrdiff_t shift_before = shift;
        std::size_t group_end = group_start;
        std::size_t written = group_start;  // the normalized text up to here is in the replacement
        SpanChange group;
        auto take_normalizing = [&] {
            const std::size_t end = norm_start() + normalizing[i].replacement.size();
            group_end = std::max(group_end, end);
            add_amounts(group, normalizing[i]);
            shift = static_cast<std::ptrdiff_t>(normalizing[i].end) - static_cast<std::ptrdiff_t>(end);
            ++i;
        };
        auto take_pass = [&] {
            const SpanChange& p = pass[j];
            group_end = std::max(group_end, p.end);
            group.replacement.append(normalized.substr(written, p.start - written));
            group.replacement.append(p.replacement);
            written = p.end;
            add_amounts(group, p);
            ++j;
        };
        if (norm_first) {
            take_normalizing();
        } else {
            take_pass();
        }
        // Changes that overlap the group join it.
        for (;;) {
            if (i < normalizing.size() && norm_start() < group_end) {
                take_normalizing();
            } else if (j < pass.size() && pass[j].start < group_end) {
                take_pass();
            } else {
                break;
            }
        }
        group.replacement.append(normalized.substr(written, group_end - written));
        group.start = at(group_start, shift_before);
        group.end = at(group_end, shift);
        out.push_back(std::move(group));
    }
    return out;
}

std::vector<ReportedChange> one_counter_each(std::vector<SpanChange>&& changes) {
    std::vector<ReportedChange> out;
    out.reserve(changes.size());
    for (SpanChange& change : changes) {
        std::size_t main = change.amounts.size();
        for (std::size_t k = 0; k < change.amounts.size(); ++k) {
            if (!(change.counted & (1u << k))) continue;
            if (main == change.amounts.size() || change.amounts[k] > change.amounts[main]) main = k;
        }
        if (main == change.amounts.size()) main = 0;  // a rewrite no counter counted (none known)
        out.push_back({change.start, change.end, std::move(change.replacement), static_cast<std::uint8_t>(main),
                       change.amounts[main]});
        for (std::size_t k = 0; k < change.amounts.size(); ++k) {
            if (k == main || !(change.counted & (1u << k))) continue;
            out.push_back({change.end, change.end, std::string(), static_cast<std::uint8_t>(k), change.amounts[k]});
        }
    }
    return out;
}

}  // namespace scrubix::explain_detail
