// Keyboard-only output: what happens to a visible cluster when `keyboard_only` is on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "pass_state.hpp"
#include "unicode/char_tables.hpp"

namespace scrubix {

// Per-pass filter with a reusable scratch string for the filtered text of one cluster. With
// `remember` on, it keeps the outcome of short clusters: what the filter makes of a cluster
// depends on its bytes alone (the pipeline before it is a function of them too), so a repeated
// letter, symbol or emoji sequence is resolved once per pass.
class KeyboardOnlyFilter {
    enum class Kind : std::uint8_t { kept_emoji, filtered, dropped_emoji, dropped };

public:
    // A remembered outcome, keyed by the cluster's bytes (at most eight, packed little-endian).
    class Remembered {
    public:
        // For an outcome that drops a cluster which is not an emoji: its character count
        // (what `non_keyboard_removed` grows by); 0 for every other outcome.
        std::uint8_t plain_drop() const noexcept { return kind == Kind::dropped ? removed : 0; }

    private:
        friend class KeyboardOnlyFilter;
        static constexpr std::size_t kMaxKey = 8;
        static constexpr std::size_t kMaxText = 11;
        std::uint64_t key = 0;
        std::uint8_t key_size = 0;  // 0: empty slot
        Kind kind = Kind::dropped;
        std::uint8_t transliterated = 0;
        std::uint8_t removed = 0;
        std::uint8_t text_size = 0;
        char text[kMaxText] = {};
    };

    // `text_size` sizes the memory of remembered outcomes: a short text gets a small one.
    explicit KeyboardOnlyFilter(bool remember = true, std::size_t text_size = 0) noexcept;

    // Emits, rewrites or drops one visible cluster. `cluster` is its text as it stands in
    // the input (for the emoji test), `processed` the text after the character pipeline,
    // `hidden_removed` the hidden characters the pipeline removed from it.
    void apply(PassState& state, std::string_view cluster, std::string_view processed,
               std::size_t hidden_removed, unicode::EmojiVerdict& verdict);

    // The remembered outcome for a cluster the pipeline leaves untouched, or null when none is
    // remembered yet (`apply` then works it out and remembers it).
    const Remembered* remembered(std::string_view cluster) {
        if (!remember_ || cluster.size() > Remembered::kMaxKey) return nullptr;
        std::uint64_t key;
        Remembered* way;
        return find(cluster, key, way);
    }

    // Applies an outcome remembered for `cluster`, which the pipeline left untouched.
    static void apply(PassState& state, const Remembered& outcome, std::string_view cluster) {
        commit(state, outcome, cluster, 0);
    }

private:
    // What the filter makes of one cluster; the filtered text is in `filtered_`.
    struct Outcome {
        Kind kind;
        std::uint64_t transliterated = 0;
        std::uint64_t removed = 0;  // for `dropped`: every character of the cluster
    };
    static constexpr unsigned kMinPairBits = 2;  // slots come in pairs (two ways)
    static constexpr unsigned kMaxPairBits = 8;

    Outcome filter(std::string_view cluster, std::string_view processed, const Options& o,
                   unicode::EmojiVerdict& verdict);
    static void commit(PassState& state, const Outcome& outcome, std::string_view processed,
                       std::string_view filtered, std::size_t hidden_removed);
    static void commit(PassState& state, const Remembered& slot, std::string_view processed,
                       std::size_t hidden_removed) {
        const Outcome outcome{slot.kind, slot.transliterated, slot.removed};
        commit(state, outcome, processed, std::string_view(slot.text, slot.text_size), hidden_removed);
    }
    // The remembered outcome for a cluster of at most kMaxKey bytes, or null; `key` and `way`
    // receive its packed bytes and the first way of its pair of slots.
    const Remembered* find(std::string_view cluster, std::uint64_t& key, Remembered*& way) {
        if (!remembered_) allocate_remembered();
        key = pack(cluster);
        // Mix every byte into the slot number (the leading bytes of UTF-8 repeat a lot).
        std::uint64_t h = key * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
        way = &remembered_[((h * 0xC4CEB9FE1A85EC53ull) >> (64 - pair_bits_)) * 2];
        const auto size = static_cast<std::uint8_t>(cluster.size());
        if (way[0].key == key && way[0].key_size == size) return &way[0];
        if (way[1].key == key && way[1].key_size == size) return &way[1];
        return nullptr;
    }
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
    // Stores the outcome just computed into `filtered_` for the cluster with `key`.
    void remember(Remembered* way, std::uint64_t key, std::size_t size, const Outcome& outcome);
    void allocate_remembered();

    bool remember_;
    unsigned pair_bits_;  // the memory holds 2 << pair_bits_ outcomes
    std::string filtered_;
    std::unique_ptr<Remembered[]> remembered_;  // allocated on first use
};

// Applies the combining long solidus overlay (U+0338) to the comparison operator that ends
// `filtered` ("=" becomes "!=", "<=" becomes "!<=", ...). Returns false, changing nothing,
// when the text does not end in one of the six negatable runs or the run follows a "-".
bool negate_trailing_operator(std::string& filtered);

}  // namespace scrubix
