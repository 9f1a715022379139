// Options records drawn at random, for the native tests and the fuzz targets alike: sixteen
// bytes choose the sixteen members, each byte giving a valid value of its member. The fuzz
// targets take the bytes from their input, the tests from a seeded generator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "records/options.hpp"

namespace random_options {

inline constexpr std::size_t kBytes = 16;

// The options record that `bytes` (kBytes of them) choose.
inline scrubix::Options from_bytes(const std::uint8_t* bytes) noexcept {
    using namespace scrubix;
    auto flag = [&](std::size_t k) { return (bytes[k] & 1) != 0; };
    Options o;
    o.remove_hidden = flag(0);
    o.remove_trailing_whitespace = flag(1);
    o.normalize_spaces = flag(2);
    o.normalize_dashes = flag(3);
    o.normalize_quotes = flag(4);
    o.normalize_other = flag(5);
    o.keyboard_only = flag(6);
    o.extended_keyboard = flag(7);
    o.emoji_policy = flag(8) ? EmojiPolicy::Keep : EmojiPolicy::Drop;
    o.non_ascii_policy = static_cast<NonAsciiPolicy>(bytes[9] % 3);
    o.preserve_joiners = flag(10);
    o.remove_control_chars = flag(11);
    o.collapse_whitespace = flag(12);
    const unsigned style = bytes[13] % 4;
    o.line_endings = style == 3 ? LineEndingStyle::Absent : static_cast<LineEndingStyle>(style);
    o.unicode_normalization = static_cast<NormalizationMode>(bytes[14] % 5);
    o.reserved_flag = flag(15);
    return o;
}

// An options record drawn from `rng` (a standard random engine).
template <class Rng>
scrubix::Options draw(Rng& rng) {
    std::uint8_t bytes[kBytes];
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(rng());
    return from_bytes(bytes);
}

}  // namespace random_options
