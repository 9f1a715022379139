// The shortcuts' memory for one pass. What the pass makes of a code point or of a short cluster
// depends on its bytes alone (for one options record), so a repeated letter, symbol or emoji
// sequence needs working out once per pass. The memory has two parts:
// - per code point: what the loop over non-ASCII text asks of it, its grapheme properties and
//   rule classes, and once known the keyboard-only filter's outcome for the code point as a
//   cluster of its own, of type `Outcome`;
// - per cluster of two or more code points in at most eight bytes: the filter's outcome.
// Each part keeps two entries for one hash value, the newest first, so that two characters
// that meet often do not keep pushing each other out.
// Both parts are sized by the text, so a short text sets up little, and allocated on first use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "unicode/char_props.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

template <class Outcome>
class OutcomeMemory {
public:
    struct CodePoint {
        char32_t code_point = ~char32_t{0};
        unicode::grapheme_rules::Props props = 0;
        std::uint8_t classes = 0;  // rule classes (see pass/character_rules.hpp)
        bool known = false;        // whether `outcome` holds the code point's outcome
        Outcome outcome{};
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

    explicit OutcomeMemory(std::size_t text_size) noexcept {
        // About one entry per 32 bytes of text of each kind, so that setting up costs little.
        while (code_point_bits_ < kMaxCodePointBits && (std::size_t(32) << code_point_bits_) < text_size)
            ++code_point_bits_;
        while (pair_bits_ < kMaxPairBits && (std::size_t(64) << pair_bits_) < text_size) ++pair_bits_;
    }

    // The entry of `c`. A lookup may take the entry of another code point over, so an entry is
    // good until the next lookup. (The loop asks the rule classes of non-ASCII code points only.)
    CodePoint& code_point(char32_t c) {
        if (!code_points_) code_points_ = std::make_unique<CodePoint[]>(std::size_t(1) << code_point_bits_);
        CodePoint* way = &code_points_[((std::uint32_t(c) * 0x9E3779B1u) >> (32 - code_point_bits_)) & ~1u];
        if (way[0].code_point == c) return way[0];
        if (way[1].code_point == c) return way[1];
        way[1] = way[0];
        way[0].code_point = c;
        way[0].props = unicode::grapheme_rules::props_of(c);
        way[0].classes = unicode::pass_class_inline(c);
        way[0].known = false;
        return way[0];
    }

    // The place of a cluster of at most kMaxClusterBytes bytes.
    Place place_of(std::string_view cluster) {
        if (utf8::sequence_length(static_cast<unsigned char>(cluster[0])) == cluster.size()) {
            std::size_t i = 0;
            return {&code_point(utf8::decode(cluster, i)), 0, 0, 0};
        }
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

    unsigned code_point_bits_ = 4;
    unsigned pair_bits_ = 2;
    std::unique_ptr<CodePoint[]> code_points_;
    std::unique_ptr<Slot[]> clusters_;
};

}  // namespace scrubix
