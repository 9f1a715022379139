// Letters of two UTF-8 bytes the keyboard-only block loop writes with one read: a record per
// code point U+0000-07FF (Latin-1, Latin Extended, Greek, Cyrillic, ...) that the filter
// writes as a short text of its own, with nothing removed, and that is a cluster alone beside
// ASCII (it joins nothing before it and only a mark or a joiner would join it). A record is
// made once the loop has worked the letter out in full, and stays true for the pass: the
// outcome of a code point depends on its bytes alone.
//
// A record is eight bytes: the text, its length (never 0 in a record made, so 0 is "none") and
// the count of characters spelled. The loop reads it with one load, stores all eight bytes after
// what it has written and keeps `size` of them, so an accented letter inside an ASCII word
// costs a read and a store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace scrubix {

class SpelledLetters {
public:
    // Texts up to this many bytes have records.
    static constexpr std::size_t kMaxText = 6;

    struct Record {
        char text[kMaxText];
        std::uint8_t size;
        std::uint8_t spelled;
    };
    static_assert(sizeof(Record) == 8);

    // The table, for `record`; null until a letter is noted.
    const Record* records() const noexcept { return records_.get(); }

    // The record of the code point whose UTF-8 sequence of two bytes (lead 0xC0-0xDF) starts
    // at `p`; its size is 0 when none was made.
    static const Record& record(const Record* records, const unsigned char* p) noexcept {
        return records[index_of(p)];
    }

    // Makes the record of the letter at `p` (as for `record`): it is written as `text`
    // (1 to kMaxText bytes), counting `spelled` characters spelled.
    void note(const unsigned char* p, std::string_view text, std::uint8_t spelled) {
        if (!records_) records_ = std::make_unique<Record[]>(kRecords);
        Record& r = records_[index_of(p)];
        std::memcpy(r.text, text.data(), text.size());
        r.size = static_cast<std::uint8_t>(text.size());
        r.spelled = spelled;
    }

private:
    // 110xxxxx 10yyyyyy: record xxxxxyyyyyy.
    static constexpr std::size_t kRecords = 32 * 64;
    static std::size_t index_of(const unsigned char* p) noexcept { return std::size_t(p[0] & 0x1F) << 6 | (p[1] & 0x3F); }

    std::unique_ptr<Record[]> records_;
};

}  // namespace scrubix
