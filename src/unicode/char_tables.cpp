#include "char_tables.hpp"

#include <cstddef>

#include "char_props.hpp"
#include "utf8.hpp"

namespace scrubix::unicode {

namespace {

namespace cd = char_data;

// The main pass reads the pass classes straight out of the property word.
static_assert(cd::kBitPassHidden == kPassHidden && cd::kBitPassControl == kPassControl &&
              cd::kBitPassSpace == kPassSpace && cd::kBitPassDash == kPassDash &&
              cd::kBitPassQuote == kPassQuote && cd::kBitPassOther == kPassOther &&
              cd::kBitPassLineSep == kPassLineSep);
static_assert(cd::kPassClassMask == (kPassHidden | kPassControl | kPassSpace | kPassDash |
                                     kPassQuote | kPassOther | kPassLineSep));
static_assert(cd::kGcMask >= Pf);
static_assert(cd::CharClassTable::kLimit == 0x110000);

// Script classes of the table, in the engine's (ICU) script numbers.
constexpr std::uint16_t kScriptByClass[] = {kScriptCommon, kScriptInherited, kScriptLatin,
                                            kScriptUnknown, kScriptOther};
static_assert(cd::kScriptClassCommon == 0 && cd::kScriptClassInherited == 1 &&
              cd::kScriptClassLatin == 2 && cd::kScriptClassUnknown == 3 &&
              cd::kScriptClassOther == 4);

// Values outside the code space (never produced by valid UTF-8) read as unassigned.
inline std::uint8_t char_class(char32_t c) noexcept {
    return cd::CharClassTable::get(c, std::uint8_t(cd::kScriptClassUnknown << cd::kGcBits));
}

inline bool is_emoji_sequence_marker(char32_t c) noexcept {
    return c == 0x200D || c == 0x20E3 || c == 0xFE0F;
}

// The classification proper, for a cluster holding at least one non-ASCII byte.
bool classify_emoji_cluster(std::string_view cluster) noexcept {
    bool has_emoji = false;   // B: some code point is Emoji
    bool has_marker = false;  // C: ZWJ, keycap or VS16
    const auto* bytes = reinterpret_cast<const unsigned char*>(cluster.data());
    std::size_t i = 0;
    while (i < cluster.size()) {
        // A truncated sequence at the end is not read past the cluster.
        if (utf8::sequence_length(bytes[i]) > cluster.size() - i) break;
        const char32_t c = utf8::decode(cluster, i);
        const std::uint16_t p = property_word(c);
        // A: emoji presentation by default, or a pictograph that is not a text-style emoji
        // (so U+00A9 alone, Extended_Pictographic and Emoji, is not one).
        if ((p & cd::kBitEmojiPresentation) != 0 ||
            (p & (cd::kBitExtendedPictographic | cd::kBitEmoji)) == cd::kBitExtendedPictographic)
            return true;
        has_emoji |= (p & cd::kBitEmoji) != 0;
        has_marker |= is_emoji_sequence_marker(c);
        if (has_emoji && has_marker) return true;
    }
    return false;
}

}  // namespace

bool is_hidden_char(char32_t c) noexcept { return (property_word(c) & cd::kBitHidden) != 0; }
bool is_emoji_char(char32_t c) noexcept { return (property_word(c) & cd::kBitEmoji) != 0; }
bool is_white_space(char32_t c) noexcept { return (property_word(c) & cd::kBitWhiteSpace) != 0; }

GeneralCategory general_category(char32_t c) noexcept {
    return static_cast<GeneralCategory>(char_class(c) & cd::kGcMask);
}

std::uint16_t script_of(char32_t c) noexcept {
    return kScriptByClass[char_class(c) >> cd::kGcBits];
}

char32_t space_replacement(char32_t c) noexcept {
    return (property_word(c) & cd::kBitPassSpace) != 0 ? U' ' : 0;
}

char32_t dash_replacement(char32_t c) noexcept {
    return (property_word(c) & cd::kBitPassDash) != 0 ? U'-' : 0;
}

char32_t quote_replacement(char32_t c) noexcept {
    const std::uint16_t p = property_word(c);
    if ((p & cd::kBitPassQuote) == 0) return 0;
    return (p & cd::kBitQuoteDouble) != 0 ? U'"' : U'\'';
}

bool is_emoji_cluster(std::string_view cluster, EmojiVerdict& slot) noexcept {
    if (slot == EmojiVerdict::Yes) return true;
    if (slot == EmojiVerdict::No) return false;
    // Pure ASCII (a lone '#', '*' or digit included) never is: no ASCII character has an emoji
    // presentation, is a pictograph or marks a sequence, so only a cluster of one byte needs no
    // look (the longer ones of ASCII are CR LF).
    const bool yes = cluster.size() > 1 && classify_emoji_cluster(cluster);
    slot = yes ? EmojiVerdict::Yes : EmojiVerdict::No;
    return yes;
}

}  // namespace scrubix::unicode
