#include "char_tables.hpp"

#include <cstddef>

#include "char_props.hpp"
#include "utf8.hpp"

namespace scrubix::unicode {

namespace {

namespace cd = char_data;

constexpr char32_t kCodeSpaceEnd = 0x110000;

// The main pass reads the pass classes straight out of the property word.
static_assert(cd::bit_pass_hidden == kPassHidden && cd::bit_pass_control == kPassControl &&
              cd::bit_pass_space == kPassSpace && cd::bit_pass_dash == kPassDash &&
              cd::bit_pass_quote == kPassQuote && cd::bit_pass_other == kPassOther &&
              cd::bit_pass_line_sep == kPassLineSep);
static_assert(cd::pass_class_mask == (kPassHidden | kPassControl | kPassSpace | kPassDash |
                                      kPassQuote | kPassOther | kPassLineSep));
static_assert(cd::gc_mask >= Pf);

// Script classes of the table, in the engine's (ICU) script numbers.
constexpr std::uint16_t kScriptByClass[] = {kScriptCommon, kScriptInherited, kScriptLatin,
                                            kScriptUnknown, kScriptOther};
static_assert(cd::script_class_common == 0 && cd::script_class_inherited == 1 &&
              cd::script_class_latin == 2 && cd::script_class_unknown == 3 &&
              cd::script_class_other == 4);

template <class Index, std::size_t IndexSize, class Block, std::size_t BlockSize>
constexpr Block two_stage_read(const Index (&index)[IndexSize], const Block (&blocks)[BlockSize],
                               unsigned shift, char32_t c) noexcept {
    const std::size_t block = std::size_t(index[c >> shift]) << shift;
    return blocks[block | (c & ((char32_t(1) << shift) - 1))];
}

// Whether the index covers the whole code space and every block it names lies in `blocks`,
// so that any c below U+110000 reads inside both arrays.
template <class Index, std::size_t IndexSize, class Block, std::size_t BlockSize>
constexpr bool covers_code_space(const Index (&index)[IndexSize], const Block (&)[BlockSize],
                                 unsigned shift) {
    if (IndexSize << shift != kCodeSpaceEnd) return false;
    for (const Index block : index)
        if ((std::size_t(block) + 1) << shift > BlockSize) return false;
    return true;
}
static_assert(covers_code_space(cd::char_props_index, cd::char_props_blocks, cd::char_props_shift));
static_assert(covers_code_space(cd::char_class_index, cd::char_class_blocks, cd::char_class_shift));

// Values outside the code space (never produced by valid UTF-8) read as unassigned.
inline std::uint16_t props(char32_t c) noexcept { return property_word(c); }

inline std::uint8_t char_class(char32_t c) noexcept {
    if (c >= kCodeSpaceEnd) return std::uint8_t(cd::script_class_unknown << cd::gc_bits);
    return two_stage_read(cd::char_class_index, cd::char_class_blocks, cd::char_class_shift, c);
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
        const std::uint16_t p = props(c);
        // A: emoji presentation by default, or a pictograph that is not a text-style emoji
        // (so U+00A9 alone, Extended_Pictographic and Emoji, is not one).
        if ((p & cd::bit_emoji_presentation) != 0 ||
            (p & (cd::bit_extended_pictographic | cd::bit_emoji)) == cd::bit_extended_pictographic)
            return true;
        has_emoji |= (p & cd::bit_emoji) != 0;
        has_marker |= is_emoji_sequence_marker(c);
        if (has_emoji && has_marker) return true;
    }
    return false;
}

}  // namespace

bool is_hidden_char(char32_t c) noexcept { return (props(c) & cd::bit_hidden) != 0; }
bool is_emoji_char(char32_t c) noexcept { return (props(c) & cd::bit_emoji) != 0; }
bool is_emoji_presentation(char32_t c) noexcept {
    return (props(c) & cd::bit_emoji_presentation) != 0;
}
bool is_extended_pictographic(char32_t c) noexcept {
    return (props(c) & cd::bit_extended_pictographic) != 0;
}
bool is_white_space(char32_t c) noexcept { return (props(c) & cd::bit_white_space) != 0; }

GeneralCategory general_category(char32_t c) noexcept {
    return static_cast<GeneralCategory>(char_class(c) & cd::gc_mask);
}

std::uint16_t script_of(char32_t c) noexcept {
    return kScriptByClass[char_class(c) >> cd::gc_bits];
}

char32_t space_replacement(char32_t c) noexcept {
    return (props(c) & cd::bit_pass_space) != 0 ? U' ' : 0;
}

char32_t dash_replacement(char32_t c) noexcept {
    return (props(c) & cd::bit_pass_dash) != 0 ? U'-' : 0;
}

char32_t quote_replacement(char32_t c) noexcept {
    const std::uint16_t p = props(c);
    if ((p & cd::bit_pass_quote) == 0) return 0;
    return (p & cd::bit_quote_double) != 0 ? U'"' : U'\'';
}

std::uint8_t pass_class(char32_t c) noexcept { return pass_class_inline(c); }

bool is_emoji_cluster(std::string_view cluster, EmojiVerdict& slot, const Options& options) noexcept {
    if (slot == EmojiVerdict::Yes) return true;
    if (slot == EmojiVerdict::No) return false;
    // Pure ASCII (a lone '#', '*' or digit included) never is; and the question only
    // matters when keyboard-only mode or hidden-character removal asks it.
    const bool yes = !utf8::is_ascii(cluster) && (options.keyboard_only || options.remove_hidden) &&
                     classify_emoji_cluster(cluster);
    slot = yes ? EmojiVerdict::Yes : EmojiVerdict::No;
    return yes;
}

}  // namespace scrubix::unicode
