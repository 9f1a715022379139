#include "explain/change_list.hpp"

#include <algorithm>
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
    const auto& norm = normalizing.spans;
    const auto& passed = pass.spans;
    Changes out;
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

}  // namespace scrubix::explain_detail
