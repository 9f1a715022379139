// Room for a column's cleaned text, kept from the last large column whose array is gone.
//
// The first write to freshly allocated memory costs the kernel a page fault and a zeroed page
// for every 4 KiB: on a column of a hundred megabytes of short rows that is a fifth of what
// cleaning them costs, paid again on every call because allocations this large are mapped and
// unmapped each time. Columns of a similar size often follow one another (the frames of a
// corpus, a benchmark's repeats), so the room of the last one is kept for the next. Only one
// text's room is kept, of at least kLeastKept bytes (smaller ones come from the allocator's
// heap, written before) and at most kMostKept, so what stays allocated after the last column
// is bounded; a column of another size frees it.
#pragma once

#include <cstddef>
#include <string>

namespace scrubix::columns {

inline constexpr std::size_t kLeastKept = std::size_t{16} << 20;
inline constexpr std::size_t kMostKept = std::size_t{256} << 20;

// An empty string with room for at least `bytes`: the kept room when it fits `bytes` closely
// enough that the text would not be trimmed for unused room (see Buffer::adopt).
std::string text_with_room(std::size_t bytes);

// Keeps `text`'s room for a later column in place of the room kept before, when its size is
// worth keeping; otherwise leaves it to be freed with `text`.
void keep_room(std::string& text) noexcept;

}  // namespace scrubix::columns
