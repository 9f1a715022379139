// Per-kind change counters, the change total beside them, and the engine's result record.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace scrubix {

constexpr std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) noexcept {
    const std::uint64_t s = a + b;
    return s < a ? std::numeric_limits<std::uint64_t>::max() : s;
}
constexpr std::uint64_t saturating_sub(std::uint64_t a, std::uint64_t b) noexcept {
    return a > b ? a - b : 0;
}

struct CleaningStats {
    std::uint64_t hidden_chars_removed = 0;
    std::uint64_t trailing_whitespace_removed = 0;
    std::uint64_t spaces_normalized = 0;
    std::uint64_t whitespace_collapsed = 0;
    std::uint64_t dashes_normalized = 0;
    std::uint64_t quotes_normalized = 0;
    std::uint64_t other_normalized = 0;
    std::uint64_t control_chars_removed = 0;
    std::uint64_t line_endings_normalized = 0;
    std::uint64_t unicode_normalized = 0;
    std::uint64_t non_keyboard_removed = 0;
    std::uint64_t non_keyboard_transliterated = 0;
    std::uint64_t emojis_dropped = 0;

    static constexpr std::size_t kCount = 13;

    // The thirteen (name, value) pairs in declaration order.
    std::array<std::pair<std::string_view, std::uint64_t>, kCount> entries() const noexcept {
        return {{
            {"hidden_chars_removed", hidden_chars_removed},
            {"trailing_whitespace_removed", trailing_whitespace_removed},
            {"spaces_normalized", spaces_normalized},
            {"whitespace_collapsed", whitespace_collapsed},
            {"dashes_normalized", dashes_normalized},
            {"quotes_normalized", quotes_normalized},
            {"other_normalized", other_normalized},
            {"control_chars_removed", control_chars_removed},
            {"line_endings_normalized", line_endings_normalized},
            {"unicode_normalized", unicode_normalized},
            {"non_keyboard_removed", non_keyboard_removed},
            {"non_keyboard_transliterated", non_keyboard_transliterated},
            {"emojis_dropped", emojis_dropped},
        }};
    }

    friend bool operator==(const CleaningStats&, const CleaningStats&) = default;
};

// The counters of one run together with their running total. Every amount added to or
// taken from a counter goes to `changes_made` as well, both saturating.
struct Tally {
    CleaningStats stats;
    std::uint64_t changes_made = 0;

    void add(std::uint64_t CleaningStats::*counter, std::uint64_t amount = 1) noexcept {
        stats.*counter = saturating_add(stats.*counter, amount);
        changes_made = saturating_add(changes_made, amount);
    }
    void take_back(std::uint64_t CleaningStats::*counter, std::uint64_t amount) noexcept {
        stats.*counter = saturating_sub(stats.*counter, amount);
        changes_made = saturating_sub(changes_made, amount);
    }
};

// What one run returns. On the fast paths `text` is empty and `unchanged` is set: the
// cleaned text is then the caller's input itself.
struct CleaningResult {
    std::string text;
    std::uint64_t changes_made = 0;
    CleaningStats stats;
    bool unchanged = false;

    std::string_view view(std::string_view input) const noexcept {
        return unchanged ? input : std::string_view(text);
    }
};

}  // namespace scrubix
