// The options record: fifteen public settings (declared in options_members.hpp) and a reserved
// flag, all one byte each; its default value and the presets.
#pragma once

#include <cstdint>

#include "options_members.hpp"
#include "translit/non_ascii_policy.hpp"
#include "unicode/normalization_form.hpp"

namespace scrubix {

enum class EmojiPolicy : std::uint8_t { Keep = 0, Drop = 1 };
using NonAsciiPolicy = translit::NonAsciiPolicy;
// A present line-ending style; `Absent` stands for "leave line breaks alone".
enum class LineEndingStyle : std::uint8_t { Lf = 0, Crlf = 1, Cr = 2, Absent = 0xFF };
using NormalizationMode = unicode::NormalizationForm;

struct Options {
#define SCRUBIX_OPTIONS_MEMBER(name, member, Type, value) Type member = value;
    SCRUBIX_OPTIONS(SCRUBIX_OPTIONS_MEMBER)
#undef SCRUBIX_OPTIONS_MEMBER
    // Carried along by copies and compared, but read by no cleaning stage. It has no public
    // name, so a record built from public settings holds false here.
    bool reserved_flag = false;

    bool has_line_endings() const noexcept { return line_endings != LineEndingStyle::Absent; }

    friend bool operator==(const Options&, const Options&) = default;
};

static_assert(sizeof(Options) == 16, "Options is sixteen one-byte members");

constexpr Options minimal_preset() noexcept {
    Options o;
    o.remove_trailing_whitespace = false;
    o.normalize_spaces = false;
    o.normalize_dashes = false;
    o.normalize_quotes = false;
    o.normalize_other = false;
    o.keyboard_only = false;
    o.remove_control_chars = false;
    return o;
}

constexpr Options balanced_preset() noexcept {
    Options o;
    o.keyboard_only = false;
    o.unicode_normalization = NormalizationMode::NFC;
    return o;
}

constexpr Options humanize_preset() noexcept {
    Options o;
    o.keyboard_only = false;
    o.collapse_whitespace = true;
    o.unicode_normalization = NormalizationMode::NFKC;
    return o;
}

constexpr Options aggressive_preset() noexcept {
    Options o;
    o.collapse_whitespace = true;
    o.line_endings = LineEndingStyle::Lf;
    o.unicode_normalization = NormalizationMode::NFKC;
    o.reserved_flag = true;
    return o;
}

constexpr Options code_safe_preset() noexcept {
    Options o;
    o.normalize_other = false;
    o.keyboard_only = false;
    o.emoji_policy = EmojiPolicy::Keep;
    o.preserve_joiners = true;
    return o;
}

// Canonical lowercase words, as the Python surface prints and parses them.
constexpr const char* to_string(EmojiPolicy p) noexcept {
    return p == EmojiPolicy::Keep ? "keep" : "drop";
}
constexpr const char* to_string(NonAsciiPolicy p) noexcept {
    switch (p) {
        case NonAsciiPolicy::Drop: return "drop";
        case NonAsciiPolicy::Fold: return "fold";
        case NonAsciiPolicy::Transliterate: return "transliterate";
    }
    return "transliterate";
}
constexpr const char* to_string(LineEndingStyle s) noexcept {
    switch (s) {
        case LineEndingStyle::Lf: return "lf";
        case LineEndingStyle::Crlf: return "crlf";
        case LineEndingStyle::Cr: return "cr";
        case LineEndingStyle::Absent: return "auto";
    }
    return "auto";
}
constexpr const char* to_string(NormalizationMode m) noexcept {
    switch (m) {
        case NormalizationMode::None: return "none";
        case NormalizationMode::NFD: return "nfd";
        case NormalizationMode::NFC: return "nfc";
        case NormalizationMode::NFKD: return "nfkd";
        case NormalizationMode::NFKC: return "nfkc";
    }
    return "none";
}
// The enumerator names, as error messages print them.
constexpr const char* enumerator_name(NormalizationMode m) noexcept {
    switch (m) {
        case NormalizationMode::None: return "None";
        case NormalizationMode::NFD: return "NFD";
        case NormalizationMode::NFC: return "NFC";
        case NormalizationMode::NFKD: return "NFKD";
        case NormalizationMode::NFKC: return "NFKC";
    }
    return "None";
}

}  // namespace scrubix
