// Cleaning every row of one string array on native threads into a new string array.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "driver.hpp"
#include "owned_array.hpp"
#include "records/stats.hpp"
#include "string_column.hpp"

namespace scrubix::columns {

// A row whose bytes are not UTF-8: the lowest such row of the array.
struct InvalidRow : std::runtime_error {
    std::int64_t row;
    explicit InvalidRow(std::int64_t r) : std::runtime_error("invalid UTF-8"), row(r) {}
};

// The engine refused the options (a CleaningError); carries its message.
struct EngineRefusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CleanedColumn {
    std::shared_ptr<const OwnedArray> strings;
    std::shared_ptr<const OwnedArray> row_changes;  // null unless asked for
    CleaningStats stats;
    std::uint64_t changes_made = 0;
};

// The most text bytes an array with 32-bit offsets can hold.
inline constexpr std::uint64_t kOffsets32Capacity = INT32_MAX;

// Cleans each non-null row of `column` with `options` on up to `threads` threads; nulls stay
// null. The result has 64-bit offsets when `large` is set or its text is longer than
// `offsets32_capacity` (lowered by tests, which cannot afford gigabytes). Throws InvalidRow,
// EngineRefusal, or bad_alloc. Touches no Python object.
CleanedColumn clean_column(const StringColumnView& column, const Options& options, unsigned threads,
                           bool want_row_changes, bool large, std::uint64_t offsets32_capacity = kOffsets32Capacity);

// Adds every counter of `from` to `into`, saturating, as the engine's own counters do.
void add_stats(CleaningStats& into, const CleaningStats& from) noexcept;

}  // namespace scrubix::columns
