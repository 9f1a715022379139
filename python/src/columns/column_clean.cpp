#include "column_clean.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "kept_room.hpp"
#include "parallel_rows.hpp"
#include "unicode/utf8.hpp"

namespace scrubix::columns {

namespace {

constexpr std::uint64_t CleaningStats::*kCounters[] = {
    &CleaningStats::hidden_chars_removed,   &CleaningStats::trailing_whitespace_removed,
    &CleaningStats::spaces_normalized,      &CleaningStats::whitespace_collapsed,
    &CleaningStats::dashes_normalized,      &CleaningStats::quotes_normalized,
    &CleaningStats::other_normalized,       &CleaningStats::control_chars_removed,
    &CleaningStats::line_endings_normalized, &CleaningStats::unicode_normalized,
    &CleaningStats::non_keyboard_removed,   &CleaningStats::non_keyboard_transliterated,
    &CleaningStats::emojis_dropped,
};
static_assert(std::size(kCounters) == CleaningStats::kCount);

// What one block of rows produced: the cleaned texts back to back and where each row ends.
struct BlockOutput {
    std::string text;
    std::size_t bytes = 0;  // the text's size, kept once the text has gone into the column's
    std::vector<std::uint64_t> ends;
    CleaningStats stats;
    std::uint64_t changes_made = 0;
    std::int64_t invalid_row = -1;
};

// The rows' validity bitmap from bit 0, shifted a byte at a time from wherever the input's
// starts, and its count of nulls; null when no row is.
std::shared_ptr<Buffer> copy_validity(const StringColumnView& column, std::int64_t& null_count) {
    null_count = 0;
    const std::int64_t rows = column.size();
    if (column.validity_bits() == nullptr || rows == 0) return nullptr;
    const std::uint8_t* in = column.validity_bits() + (column.first_bit() >> 3);
    const unsigned shift = static_cast<unsigned>(column.first_bit() & 7);
    const auto bytes = static_cast<std::size_t>((rows + 7) / 8);
    const auto in_bytes = static_cast<std::size_t>((shift + rows + 7) / 8);  // those the rows' bits lie in
    auto bits = Buffer::allocate(bytes);
    std::uint8_t* out = bits->data();
    std::int64_t valid = 0;
    for (std::size_t k = 0; k < bytes; ++k) {
        unsigned byte = in[k] >> shift;
        if (shift != 0 && k + 1 < in_bytes) byte |= unsigned{in[k + 1]} << (8 - shift);
        if (k + 1 == bytes && rows % 8 != 0) byte &= (1u << (rows % 8)) - 1;  // no bits past the last row
        out[k] = static_cast<std::uint8_t>(byte);
        valid += std::popcount(out[k]);
    }
    null_count = rows - valid;
    if (null_count == 0) return nullptr;
    return bits;
}

template <class Offset>
std::shared_ptr<Buffer> join_offsets(const std::vector<BlockOutput>& blocks, std::int64_t rows) {
    auto buffer = Buffer::allocate(static_cast<std::size_t>(rows + 1) * sizeof(Offset));
    Offset* out = buffer->as<Offset>();
    std::size_t at = 0;
    std::uint64_t base = 0;
    out[at++] = 0;
    for (const auto& block : blocks) {
        for (std::uint64_t end : block.ends) out[at++] = static_cast<Offset>(base + end);
        base += block.bytes;
    }
    return buffer;
}

// Where the blocks' texts meet in the column's: each block is appended as soon as it and every
// block before it are done, by the thread that finished the last of them, and its room then
// serves a later block. So the column's text is written while the cleaning goes on, into room
// kept from the last column (see kept_room.hpp), and only a few blocks' texts are alive at once:
// a text of fresh blocks copied at the end paid a page fault per 4 KiB twice over, most of what
// two threads took beyond the cleaning.
class BlockJoin {
public:
    BlockJoin(std::vector<BlockOutput>& blocks, std::size_t column_bytes)
        : blocks_(blocks), done_(blocks.size(), false), text_(text_with_room(column_bytes)) {}

    std::string block_room(std::size_t bytes) {
        std::string room;
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (!spare_.empty()) {
                room = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        room.clear();
        room.reserve(bytes);
        return room;
    }

    // Block `b` is stored in the blocks: appends it and the done blocks after it, in order,
    // unless another thread is appending (it takes them). The copy is made without the lock,
    // so a thread asking for room does not wait for it.
    void finished(std::size_t b) {
        std::unique_lock<std::mutex> guard(lock_);
        done_[b] = true;
        if (appending_) return;
        appending_ = true;
        for (; next_ < blocks_.size() && done_[next_]; ++next_) {
            auto& block = blocks_[next_];
            guard.unlock();
            text_.append(block.text);
            guard.lock();
            spare_.push_back(std::move(block.text));
        }
        appending_ = false;
    }

    // The column's text, once every block is appended.
    std::string take_text() { return std::move(text_); }

private:
    std::vector<BlockOutput>& blocks_;
    std::mutex lock_;
    std::vector<bool> done_;
    std::size_t next_ = 0;
    bool appending_ = false;  // one thread appends at a time; only it touches text_
    std::vector<std::string> spare_;
    std::string text_;
};

// The UTF-8 bytes of the rows [begin, end), the room their cleaned text is first given: where
// the rows lie back to back, all bytes between the first's start and the last's end (a null
// row's too, mostly none); otherwise the non-null rows' own.
std::size_t input_bytes(const StringColumnView& column, std::int64_t begin, std::int64_t end) {
    if (column.contiguous()) return column.span(begin, end).size();
    std::size_t bytes = 0;
    for (std::int64_t i = begin; i < end; ++i) {
        if (!column.is_null(i)) bytes += column.value(i).size();
    }
    return bytes;
}

// Adds a row's counters to its block's, unsaturated: they count changes to the block's
// characters, so their sums stay far from wrapping.
void add_counts(CleaningStats& into, const CleaningStats& from) noexcept {
    for (auto counter : kCounters) into.*counter += from.*counter;
}

// Whether the rows [begin, end) are valid UTF-8, checked as one text where their bytes lie back
// to back: valid UTF-8 cut only where sequences begin leaves every piece valid. False when any
// row, a null one included (its bytes may be anything), may not be; the rows are then checked
// one by one.
bool rows_valid_together(const StringColumnView& column, std::int64_t begin, std::int64_t end) {
    if (!column.contiguous()) return false;
    const std::string_view bytes = column.span(begin, end);
    if (!utf8::is_valid(bytes)) return false;
    const char* const stop = bytes.data() + bytes.size();
    bool cuts_begin_sequences = true;
    for (std::int64_t i = begin; i < end; ++i) {
        const char* start = column.value(i).data();
        cuts_begin_sequences &= start == stop || !utf8::is_continuation(static_cast<unsigned char>(*start));
    }
    return cuts_begin_sequences;
}

// Rows per block of work: a few blocks per thread, so threads that draw short rows keep busy;
// one thread takes all rows in one block, whose text then needs no copy into the column's.
std::int64_t block_rows(std::int64_t rows, unsigned threads) noexcept {
    if (threads <= 1) return std::max<std::int64_t>(rows, 1);
    const std::int64_t per_block = rows / (8 * static_cast<std::int64_t>(std::max(1u, threads)));
    return std::clamp<std::int64_t>(per_block, 64, 8192);
}

}  // namespace

void add_stats(CleaningStats& into, const CleaningStats& from) noexcept {
    for (auto counter : kCounters) into.*counter = saturating_add(into.*counter, from.*counter);
}

CleanedColumn clean_column(const StringColumnView& column, const Options& options, unsigned threads,
                           bool want_row_changes, bool large, std::uint64_t offsets32_capacity) {
    const std::int64_t rows = column.size();
    const std::int64_t step = block_rows(rows, threads);
    const std::int64_t block_count = (rows + step - 1) / step;
    std::vector<BlockOutput> blocks(static_cast<std::size_t>(block_count));
    std::optional<BlockJoin> join;
    if (block_count > 1) join.emplace(blocks, input_bytes(column, 0, rows));

    std::shared_ptr<Buffer> changes;
    if (want_row_changes) changes = Buffer::allocate(static_cast<std::size_t>(rows) * sizeof(std::uint64_t));

    // Blocks are handed out in order, so once a block finds a bad row every earlier block has
    // been taken and will finish: the lowest bad row is then among the finished blocks.
    std::atomic<std::int64_t> first_bad_block{block_count};
    for_each_block(block_count, threads, [&](std::int64_t b) {
        if (b > first_bad_block.load(std::memory_order_relaxed)) return;
        const std::int64_t begin = b * step;
        const std::int64_t end = std::min(rows, begin + step);
        // The block is built here and stored once at its end: the outputs of neighbouring
        // blocks lie side by side and are written by other threads.
        BlockOutput out;
        const bool valid_together = rows_valid_together(column, begin, end);
        const std::size_t bytes_in = input_bytes(column, begin, end);
        // A lone block's text becomes the column's.
        out.text = join ? join->block_room(bytes_in) : text_with_room(bytes_in);
        out.ends.reserve(static_cast<std::size_t>(end - begin));
        BatchCleaner cleaner(options);
        std::uint64_t* const row_changes = changes ? changes->as<std::uint64_t>() : nullptr;
        for (std::int64_t i = begin; i < end; ++i) {
            std::uint64_t changed = 0;
            if (!column.is_null(i)) {
                const std::string_view text = column.value(i);
                if (!valid_together && !utf8::is_valid(text)) {
                    blocks[static_cast<std::size_t>(b)].invalid_row = i;
                    std::int64_t seen = first_bad_block.load(std::memory_order_relaxed);
                    while (b < seen && !first_bad_block.compare_exchange_weak(seen, b)) {
                    }
                    return;
                }
                auto outcome = cleaner.clean_append(text, out.text);
                if (auto* error = std::get_if<CleaningError>(&outcome)) throw EngineRefusal(error->message());
                const Tally& tally = std::get<Tally>(outcome);
                add_counts(out.stats, tally.stats);
                changed = tally.changes_made;
                out.changes_made += changed;
            }
            out.ends.push_back(out.text.size());
            if (row_changes != nullptr) row_changes[i] = changed;
        }
        out.bytes = out.text.size();
        blocks[static_cast<std::size_t>(b)] = std::move(out);
        if (join) join->finished(static_cast<std::size_t>(b));
    });
    for (const auto& block : blocks) {
        if (block.invalid_row >= 0) throw InvalidRow(block.invalid_row);
    }

    CleanedColumn cleaned;
    std::size_t total = 0;
    for (const auto& block : blocks) {
        total += block.bytes;
        add_stats(cleaned.stats, block.stats);
        cleaned.changes_made = saturating_add(cleaned.changes_made, block.changes_made);
    }
    auto strings = std::make_shared<OwnedArray>();
    strings->length = rows;
    auto validity = copy_validity(column, strings->null_count);
    large = large || total > offsets32_capacity;
    strings->format.assign(1, large ? 'U' : 'u');
    auto offsets = large ? join_offsets<std::int64_t>(blocks, rows) : join_offsets<std::int32_t>(blocks, rows);
    auto text = join ? join->take_text() : blocks.empty() ? std::string() : std::move(blocks.front().text);
    strings->buffers = {validity, std::move(offsets), Buffer::adopt(std::move(text))};
    cleaned.strings = std::move(strings);
    if (changes) {
        auto counts = std::make_shared<OwnedArray>();
        counts->format.assign(1, 'L');
        counts->length = rows;
        counts->null_count = cleaned.strings->null_count;
        counts->buffers = {validity, std::move(changes)};
        cleaned.row_changes = std::move(counts);
    }
    return cleaned;
}

}  // namespace scrubix::columns
