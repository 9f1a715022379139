// The column builder: string arrays cleaned in blocks of rows on native threads, read back
// through the export the Arrow consumers see. The switch to 64-bit offsets is tested at a
// lowered capacity, right at its edge.
#include <random>
#include <vector>

#include "column_clean.hpp"
#include "engine_check.hpp"
#include "random_options.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using namespace scrubix::columns;

namespace {

// Pieces rows are made of: every kind of rule, short and long runs, empty.
const std::vector<std::string> kPieces = {
    "", "plain words", "  ", "\t", "\n", "\r\n", "\u00a0", "\u200b", "\u00ad", "\x07", "\u2014", "\u201chi\u201d",
    "\u2026", "\ufb01", "e\u0301", "\u4e2d\u6587", "\U0001F469\u200d\U0001F4BB", "\U0001F600\ufe0f", "\u2028",
    std::string(300, 'x'),
};

// One input array with 32- or 64-bit offsets, its rows from `first` on (the array's offset) but
// the last `cut` (a slice of a longer array), and the cleaned rows expected of it; a null row
// has no expected text.
struct Case {
    std::vector<std::string> rows;
    std::vector<bool> valid;
    std::vector<std::uint8_t> validity;
    std::vector<std::int64_t> offsets;
    std::vector<std::int32_t> offsets32;
    std::string data;
    std::int64_t first = 0;
    std::int64_t cut = 0;
    bool wide = false;

    ArrowArray array() {
        ArrowArray a{};
        a.length = static_cast<std::int64_t>(rows.size()) - first - cut;
        a.offset = first;
        a.null_count = -1;
        a.n_buffers = 3;
        buffers_[0] = validity.data();
        buffers_[1] = wide ? static_cast<const void*>(offsets.data()) : offsets32.data();
        buffers_[2] = data.data();
        a.buffers = buffers_;
        return a;
    }

private:
    const void* buffers_[3] = {};
};

Case random_case(std::mt19937& rng) {
    Case c;
    const std::size_t count = rng() % 700;
    c.wide = rng() % 2 == 0;
    c.first = count == 0 ? 0 : static_cast<std::int64_t>(rng() % 4 % count);
    c.cut = count == 0 ? 0 : static_cast<std::int64_t>(rng() % 11 % (count - static_cast<std::size_t>(c.first)));
    c.validity.assign(count / 8 + 1, 0);
    c.offsets.push_back(0);
    for (std::size_t i = 0; i < count; ++i) {
        std::string row;
        for (std::size_t k = rng() % 6; k > 0; --k) row += kPieces[rng() % kPieces.size()];
        const bool valid = rng() % 10 != 0;
        if (valid) c.validity[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        c.data += valid || rng() % 2 ? row : "";  // a null row may still own bytes
        c.rows.push_back(row);
        c.valid.push_back(valid);
        c.offsets.push_back(static_cast<std::int64_t>(c.data.size()));
    }
    c.offsets32.assign(c.offsets.begin(), c.offsets.end());
    return c;
}

// The exported array read back as the consumer reads it.
StringColumnView read_back(const std::shared_ptr<const OwnedArray>& owned, ArrowArray& array, ArrowSchema& schema) {
    export_array(owned, &array);
    export_schema(owned->format, &schema);
    StringColumnView view;
    const std::string problem = view_string_array(schema, array, view);
    CHECK_EQ(problem, std::string());
    return view;
}

struct Exported {
    ArrowArray array{};
    ArrowSchema schema{};
    ~Exported() {
        if (array.release != nullptr) array.release(&array);
        if (schema.release != nullptr) schema.release(&schema);
    }
};

}  // namespace

TEST_CASE("column_builder", "blocks of rows on threads give each row's own result; offsets widen past the capacity") {
    std::mt19937 rng(20261208);
    for (int trial = 0; trial < 60; ++trial) {
        Case c = random_case(rng);
        const Options o = random_options::draw(rng);
        ArrowSchema schema{};
        schema.format = c.wide ? "U" : "u";
        const ArrowArray input = c.array();
        StringColumnView view;
        CHECK_EQ(view_string_array(schema, input, view), std::string());

        std::vector<std::string> expected;
        std::vector<std::uint64_t> changes;
        CleaningStats stats;
        std::uint64_t total = 0;
        std::int64_t nulls = 0;
        const std::size_t stop = c.rows.size() - static_cast<std::size_t>(c.cut);
        for (std::size_t i = static_cast<std::size_t>(c.first); i < stop; ++i) {
            nulls += !c.valid[i];
            const auto result = clean(c.rows[i], o);
            expected.push_back(c.valid[i] ? std::string(result.view(c.rows[i])) : std::string());
            changes.push_back(c.valid[i] ? result.changes_made : 0);
            if (c.valid[i]) columns::add_stats(stats, result.stats);
            total += expected.back().size();
        }
        // The capacity at the edge (just enough, one byte short) or far above.
        const std::uint64_t capacity = trial % 3 == 0 ? kOffsets32Capacity : total - (trial % 3 == 1 && total > 0);
        const unsigned threads = 1 + rng() % 3;
        const CleanedColumn cleaned = clean_column(view, o, threads, true, c.wide, capacity);
        const std::string context = "trial " + std::to_string(trial) + ", " + std::to_string(threads) + " threads";
        CHECK_EQ_MSG(cleaned.strings->format, std::string(c.wide || total > capacity ? "U" : "u"), context);
        CHECK(cleaned.stats == stats);
        CHECK_EQ_MSG(cleaned.strings->null_count, nulls, context);

        Exported out;
        const StringColumnView got = read_back(cleaned.strings, out.array, out.schema);
        const auto* row_changes = cleaned.row_changes->buffers[1]->as<std::uint64_t>();
        CHECK_EQ_MSG(got.size(), static_cast<std::int64_t>(expected.size()), context);
        for (std::int64_t i = 0; i < got.size(); ++i) {
            const std::size_t source = static_cast<std::size_t>(c.first + i);
            CHECK_EQ_MSG(got.is_null(i), !c.valid[source], context);
            CHECK_EQ_MSG(std::string(got.value(i)), expected[static_cast<std::size_t>(i)], context);
            CHECK_EQ_MSG(row_changes[i], changes[static_cast<std::size_t>(i)], context);
        }
        // A chunk kept at 32 bits joins 64-bit ones of its stream by widening: the same rows.
        if (cleaned.strings->format == "u") {
            Exported wide;
            const StringColumnView widened = read_back(widen_offsets(*cleaned.strings), wide.array, wide.schema);
            CHECK(widened.layout() == StringLayout::Offsets64);
            for (std::int64_t i = 0; i < got.size(); ++i) CHECK_EQ(widened.value(i), got.value(i));
        }
    }
}

TEST_CASE("column_builder", "the row named invalid is the first valid-flagged row that is not UTF-8 on its own") {
    // Text of whole characters cut at random bytes: some cuts split a character between two
    // rows whose bytes together are valid. Null rows may hold any bytes.
    std::mt19937 rng(14);
    for (int trial = 0; trial < 200; ++trial) {
        std::string text;
        while (text.size() < 3000) text += kPieces[rng() % kPieces.size()];
        const std::size_t count = 1 + rng() % 300;
        Case c;
        c.wide = trial % 2 == 1;
        c.validity.assign(count / 8 + 1, 0);
        c.offsets.push_back(0);
        std::int64_t expected = -1;
        for (std::size_t i = 0, at = 0; i < count; ++i) {
            const std::size_t len = rng() % (trial % 3 == 0 ? 4 : 12);
            std::string row = text.substr(at, len);
            at += row.size();
            const bool valid = rng() % 8 != 0;
            if (!valid && rng() % 2) row = "\xE2\x80";
            if (valid) c.validity[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
            if (valid && expected < 0 && !utf8::is_valid_portable(row)) expected = static_cast<std::int64_t>(i);
            c.data += row;
            c.rows.push_back(row);
            c.offsets.push_back(static_cast<std::int64_t>(c.data.size()));
        }
        c.offsets32.assign(c.offsets.begin(), c.offsets.end());
        ArrowSchema schema{};
        schema.format = c.wide ? "U" : "u";
        const ArrowArray input = c.array();
        StringColumnView view;
        CHECK_EQ(view_string_array(schema, input, view), std::string());
        std::int64_t got = -1;
        try {
            clean_column(view, Options{}, 1 + rng() % 3, false, c.wide);
        } catch (const InvalidRow& e) {
            got = e.row;
        }
        CHECK_EQ_MSG(got, expected, "trial " + std::to_string(trial));
    }
}
