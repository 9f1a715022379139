// The shortcuts' memory for one pass. What the pass makes of a code point or of a short cluster
// depends on its bytes alone (for one options record), so a repeated letter, symbol or emoji
// sequence needs working out once per pass. The memory has two parts:
// - per code point: what the loop over non-ASCII text asks of it, its grapheme properties and
//   rule classes, and once known the keyboard-only filter's outcome for the code point as a
//   cluster of its own, of type `Outcome`;
// - per cluster of two or more code points in at most eight bytes: the filter's outcome.
// In a text of a few kilobytes or more, a code point below U+10000 has an entry of its own,
// read straight from its UTF-8 bytes: the lead byte (and for three bytes the second) pick a
// page of 64 entries, the last byte the entry. Pages are allocated when the text first shows
// a character of theirs and each entry is filled when first asked, so a text pays for the
// scripts it uses, and an entry, once made, stays where it is. Other code points (emoji,
// mostly, and every one of a shorter text, which could not repay its pages) and clusters are
// hashed instead: each keeps two entries for one hash value, the newest first, so that two
// characters that meet often do not keep pushing each other out. The hashed parts are sized
// by the text, so a short text sets up little, and allocated on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "unicode/char_props.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

template <class Outcome>
class OutcomeMemory {
public:
    struct CodePoint {
        // Bits of `traits`, from the grapheme properties: the code point ends a cluster it
        // starts unless what follows joins it (it is neither Prepend, a Hangul jamo or
        // syllable, a regional indicator, a joiner nor a mark: grapheme break Other), and it
        // joins whatever precedes it (a mark, a spacing mark or the zero width joiner).
        static constexpr std::uint8_t kPlain = 0x80;
        static constexpr std::uint8_t kJoins = 0x40;
        // The low bits belong to the run that reads the entry: what it does with the code point
        // as a cluster of its own, once it has worked that out (0 until then).
        static constexpr std::uint8_t kTakeMask = 0x3F;

        char32_t code_point = ~char32_t{0};
        unicode::grapheme_rules::Props props = 0;
        std::uint8_t classes = 0;  // rule classes (see pass/character_rules.hpp)
        bool known = false;        // whether `outcome` holds the code point's outcome
        std::uint8_t traits = 0;
        Outcome outcome{};

        // Whether a cluster that starts with a code point of `traits` and `props` is it alone,
        // before `next`: the plain case at once, the pair rules otherwise.
        static bool ends_before(std::uint8_t traits, unicode::grapheme_rules::Props props,
                                const CodePoint& next) noexcept {
            if ((traits & kPlain) != 0 && (next.traits & kJoins) == 0) return true;
            return unicode::grapheme_rules::ends_after_first(props, next.props);
        }
    };

    // Clusters longer than this many bytes are not remembered.
    static constexpr std::size_t kMaxClusterBytes = 8;

    // Where the outcome of one cluster is (or would be) kept: the entry of its code point, or
    // a pair of slots of the cluster part.
    struct Place {
        CodePoint* code_point;  // null for a cluster of several code points
        std::uint64_t key;      // the cluster's bytes, little-endian
        std::uint8_t size;
        std::size_t pair;       // first of the two slots
    };

    // Texts from this size on have pages.
    static constexpr std::size_t kPagedTextBytes = 4096;

    explicit OutcomeMemory(std::size_t text_size) noexcept : paged_(text_size >= kPagedTextBytes) {
        // About one entry per 32 bytes of text of each kind, so that setting up costs little.
        while (code_point_bits_ < kMaxCodePointBits && (std::size_t(32) << code_point_bits_) < text_size)
            ++code_point_bits_;
        while (pair_bits_ < kMaxPairBits && (std::size_t(64) << pair_bits_) < text_size) ++pair_bits_;
    }

    // The entry of the non-ASCII code point `c`. A lookup may take the entry of another code
    // point over when entries of `c`'s length may move (see `moves`): such an entry is good
    // until the next lookup.
    CodePoint& code_point(char32_t c) {
        if (paged_ && c < 0x10000) return paged(c >> 12, (c >> 6) & 0x3F, c & 0x3F);
        return hashed(c);
    }

    // Whether the memory has pages (a text of kPagedTextBytes or more).
    bool paged() const noexcept { return paged_; }

    // Whether the entries of code points of `length` UTF-8 bytes are hashed, and so may move
    // (otherwise an entry stays where it is for the memory's life), with pages or without.
    template <bool kPaged>
    static constexpr bool moves(std::size_t length) noexcept { return !kPaged || length == 4; }

    // The entry of the non-ASCII code point whose UTF-8 sequence of `length` bytes starts at
    // `p`, read from the bytes, with pages (`kPaged`, which must be `paged()`) or without.
    // Good as long as `code_point`'s.
    template <bool kPaged>
    CodePoint& code_point_at(const unsigned char* p, std::size_t length) {
        if (moves<kPaged>(length)) {
            std::size_t i = 0;
            return hashed(utf8::decode(std::string_view(reinterpret_cast<const char*>(p), length), i));
        }
        // Two bytes: 110xxxxx 10yyyyyy is U+0xxxxxyyyyyy; three: 1110wwww 10xxxxxx 10yyyyyy.
        const bool two = length == 2;
        return paged(two ? 0u : p[0] & 0x0Fu, (two ? p[0] : p[1]) & 0x3Fu, p[length - 1] & 0x3Fu);
    }
    CodePoint& code_point_at(const unsigned char* p, std::size_t length) {
        return paged_ ? code_point_at<true>(p, length) : code_point_at<false>(p, length);
    }

    // The place of a cluster of at most kMaxClusterBytes bytes.
    Place place_of(std::string_view cluster) {
        const auto* p = reinterpret_cast<const unsigned char*>(cluster.data());
        if (utf8::sequence_length(p[0]) == cluster.size()) return {&code_point_at(p, cluster.size()), 0, 0, 0};
        const std::uint64_t key = pack(cluster);
        // Mix every byte into the slot number (the leading bytes of UTF-8 repeat a lot).
        std::uint64_t h = key * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
        return {nullptr, key, static_cast<std::uint8_t>(cluster.size()),
                std::size_t((h * 0xC4CEB9FE1A85EC53ull) >> (64 - pair_bits_)) * 2};
    }

    // The outcome kept for the cluster at `place`, or null.
    const Outcome* find(const Place& place) {
        if (place.code_point != nullptr) return place.code_point->known ? &place.code_point->outcome : nullptr;
        if (!clusters_) clusters_ = std::make_unique<Slot[]>(std::size_t(2) << pair_bits_);
        const Slot* way = &clusters_[place.pair];
        if (way[0].key == place.key && way[0].size == place.size) return &way[0].outcome;
        if (way[1].key == place.key && way[1].size == place.size) return &way[1].outcome;
        return nullptr;
    }

    // Keeps `outcome` for the cluster at `place` (after `find` missed it, with no lookup
    // since); in the cluster part, the outcome it displaces from the first way moves to the
    // second.
    void store(const Place& place, const Outcome& outcome) {
        if (place.code_point != nullptr) {
            place.code_point->outcome = outcome;
            place.code_point->known = true;
            return;
        }
        Slot* way = &clusters_[place.pair];
        if (way[0].size != 0) way[1] = way[0];
        way[0] = Slot{place.key, place.size, outcome};
    }

private:
    static constexpr char32_t kUnfilled = ~char32_t{0};

    // 64 entries of consecutive code points, and 64 such pages (4096 code points: U+0000 to
    // U+0FFF, or one lead byte of three). Pages and blocks not made yet are the unused ones
    // below, never written, whose entries read as unfilled: a lookup tests one thing.
    struct Page {
        CodePoint entries[64];
    };
    static constexpr Page kUnusedPage{};
    struct Block {
        Page* pages[64];
        constexpr Block() noexcept {
            for (Page*& page : pages) page = const_cast<Page*>(&kUnusedPage);
        }
    };
    static constexpr Block kUnusedBlock{};
    static Block* unused_block() noexcept { return const_cast<Block*>(&kUnusedBlock); }

    // The entry of the code point `top` << 12 | `mid` << 6 | `low`, below U+10000.
    CodePoint& paged(unsigned top, unsigned mid, unsigned low) {
        CodePoint& entry = blocks_[top]->pages[mid]->entries[low];
        if (entry.code_point == kUnfilled) [[unlikely]] return first_sight(top, mid, low);
        return entry;
    }

    // The entry of a code point asked for the first time, in a page made when it is the
    // first of its page.
    [[gnu::noinline]] CodePoint& first_sight(unsigned top, unsigned mid, unsigned low) {
        Block* block = blocks_[top];
        if (block == unused_block()) {
            owned_blocks_.push_back(std::make_unique<Block>());
            block = blocks_[top] = owned_blocks_.back().get();
        }
        Page* page = block->pages[mid];
        if (page == &kUnusedPage) {
            owned_pages_.push_back(std::make_unique<Page>());
            page = block->pages[mid] = owned_pages_.back().get();
        }
        CodePoint& entry = page->entries[low];
        fill(entry, char32_t(top << 12 | mid << 6 | low));
        return entry;
    }

    static void fill(CodePoint& entry, char32_t c) noexcept {
        namespace gr = unicode::grapheme_rules;
        entry.code_point = c;
        entry.props = gr::props_of(c);
        entry.classes = unicode::pass_class_inline(c);
        entry.known = false;
        entry.traits = (gr::gcb_of(entry.props) == gr::kGcbOther ? CodePoint::kPlain : 0) |
                       (gr::joins_ascii(entry.props) ? CodePoint::kJoins : 0);
    }

    // The entry of `c` above U+FFFF, in the hashed part.
    CodePoint& hashed(char32_t c) {
        if (!code_points_) code_points_ = std::make_unique<CodePoint[]>(std::size_t(1) << code_point_bits_);
        CodePoint* way = &code_points_[((std::uint32_t(c) * 0x9E3779B1u) >> (32 - code_point_bits_)) & ~1u];
        if (way[0].code_point == c) return way[0];
        if (way[1].code_point == c) return way[1];
        way[1] = way[0];
        fill(way[0], c);
        return way[0];
    }

    struct Slot {
        std::uint64_t key = 0;
        std::uint8_t size = 0;  // 0: empty
        Outcome outcome{};
    };
    static constexpr unsigned kMaxCodePointBits = 10;
    static constexpr unsigned kMaxPairBits = 8;

    // The bytes of a cluster of at most eight bytes as one little-endian word.
    static std::uint64_t pack(std::string_view s) noexcept {
        const char* p = s.data();
        std::uint16_t two;
        std::uint32_t four;
        switch (s.size()) {
            case 1: return static_cast<unsigned char>(p[0]);
            case 2: std::memcpy(&two, p, 2); return two;
            case 3: std::memcpy(&two, p, 2); return two | std::uint64_t(static_cast<unsigned char>(p[2])) << 16;
            case 4: std::memcpy(&four, p, 4); return four;
            default: break;
        }
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < s.size(); ++i) key |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
        return key;
    }

    const bool paged_;
    unsigned code_point_bits_ = 4;
    unsigned pair_bits_ = 2;
    Block* blocks_[16] = {unused_block(), unused_block(), unused_block(), unused_block(),
                          unused_block(), unused_block(), unused_block(), unused_block(),
                          unused_block(), unused_block(), unused_block(), unused_block(),
                          unused_block(), unused_block(), unused_block(), unused_block()};
    std::vector<std::unique_ptr<Block>> owned_blocks_;
    std::vector<std::unique_ptr<Page>> owned_pages_;
    std::unique_ptr<CodePoint[]> code_points_;
    std::unique_ptr<Slot[]> clusters_;
};

}  // namespace scrubix
