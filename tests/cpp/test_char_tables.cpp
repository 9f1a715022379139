// Character class tables against the Unicode data files, the three replacement maps as
// published, and the emoji-cluster test.
#include <array>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "harness.hpp"
#include "ucd_reader.hpp"
#include "unicode/char_props.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using namespace scrubix::unicode;

namespace {

constexpr char32_t kEnd = ucd_reader::kCodeSpaceEnd;

std::string hex(char32_t c) { return harness::show(c); }

std::string utf8_of(std::initializer_list<char32_t> cps) {
    std::string s;
    for (char32_t c : cps) utf8::append(s, c);
    return s;
}

bool emoji_cluster(std::string_view cluster) {
    EmojiVerdict slot = EmojiVerdict::Unknown;
    return is_emoji_cluster(cluster, slot);
}

// The two emoji properties the cluster test reads from the property word.
bool is_emoji_presentation(char32_t c) noexcept { return (property_word(c) & char_data::kBitEmojiPresentation) != 0; }
bool is_extended_pictographic(char32_t c) noexcept {
    return (property_word(c) & char_data::kBitExtendedPictographic) != 0;
}

struct Figures {
    std::uint32_t ranges = 0;
    std::uint32_t members = 0;
};

// Ranges and members of the set answered by `member` over the whole code space.
template <class Member>
Figures figures_of(Member member) {
    Figures f;
    bool previous = false;
    for (char32_t c = 0; c < kEnd; ++c) {
        const bool in = member(c);
        f.members += in;
        f.ranges += in && !previous;
        previous = in;
    }
    return f;
}

const std::array<const char*, 30> kCategoryNames = {
    "Cn", "Lu", "Ll", "Lt", "Lm", "Lo", "Mn", "Me", "Mc", "Nd", "Nl", "No", "Zs", "Zl", "Zp",
    "Cc", "Cf", "Co", "Cs", "Pd", "Ps", "Pe", "Pc", "Po", "Sm", "Sc", "Sk", "So", "Pi", "Pf"};

// FNV-1a over the bytes of every mapped code point (four, little-endian) and its ASCII value.
struct MapChecksum {
    std::uint64_t hash = 0xCBF29CE484222325;
    void add(char32_t c, char32_t value) {
        const unsigned char bytes[] = {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16),
                                       std::uint8_t(c >> 24), std::uint8_t(value)};
        for (unsigned char b : bytes) hash = (hash ^ b) * 0x100000001B3;
    }
};

}  // namespace

TEST_CASE("char_tables", "binary properties equal the UCD files for every code point") {
    const auto derived = ucd_reader::ucd_file("DerivedCoreProperties.txt");
    const auto emoji = ucd_reader::ucd_file("emoji-data.txt");
    const auto proplist = ucd_reader::ucd_file("PropList.txt");
    struct Property {
        const char* name;
        std::vector<bool> set;
        bool (*lookup)(char32_t) noexcept;
    };
    const Property properties[] = {
        {"Default_Ignorable_Code_Point", ucd_reader::property_set(derived, "Default_Ignorable_Code_Point"),
         &is_hidden_char},
        {"Emoji", ucd_reader::property_set(emoji, "Emoji"), &is_emoji_char},
        {"Emoji_Presentation", ucd_reader::property_set(emoji, "Emoji_Presentation"), &is_emoji_presentation},
        {"Extended_Pictographic", ucd_reader::property_set(emoji, "Extended_Pictographic"),
         &is_extended_pictographic},
        {"White_Space", ucd_reader::property_set(proplist, "White_Space"), &is_white_space},
    };
    for (const auto& p : properties)
        for (char32_t c = 0; c < kEnd; ++c)
            CHECK_EQ_MSG(p.lookup(c), bool(p.set[c]), std::string(p.name) + " " + hex(c));
}

TEST_CASE("char_tables", "general category equals UnicodeData.txt for every code point") {
    const auto categories = ucd_reader::general_categories(ucd_reader::ucd_file("UnicodeData.txt"));
    std::map<std::string, int> number;
    for (std::size_t i = 0; i < kCategoryNames.size(); ++i) number[kCategoryNames[i]] = int(i);
    for (char32_t c = 0; c < kEnd; ++c) {
        CHECK_EQ_MSG(int(general_category(c)), number.at(categories[c]), hex(c));
        // The inline control test agrees with the data: Cc other than TAB, LF and CR.
        const bool removable = categories[c] == "Cc" && c != 0x09 && c != 0x0A && c != 0x0D;
        CHECK_EQ_MSG(is_removable_control(c), removable, hex(c));
    }
}

TEST_CASE("char_tables", "script equals Scripts.txt for every code point") {
    std::vector<std::uint16_t> expected(kEnd, kScriptUnknown);
    ucd_reader::for_each_range(ucd_reader::ucd_file("Scripts.txt"),
                               [&](char32_t first, char32_t last, const std::vector<std::string_view>& f) {
                                   const std::uint16_t v = f.at(1) == "Common"      ? kScriptCommon
                                                           : f.at(1) == "Inherited" ? kScriptInherited
                                                           : f.at(1) == "Latin"     ? kScriptLatin
                                                                                    : kScriptOther;
                                   for (char32_t c = first; c <= last; ++c) expected[c] = v;
                               });
    for (char32_t c = 0; c < kEnd; ++c) CHECK_EQ_MSG(script_of(c), expected[c], hex(c));
    CHECK_EQ(script_of(U'a'), kScriptLatin);
    CHECK_EQ(script_of(0x0301), kScriptInherited);
    CHECK_EQ(script_of(0x03B1), kScriptOther);  // Greek
    CHECK_EQ(script_of(0x0378), kScriptUnknown);  // unassigned
}

TEST_CASE("char_tables", "set figures are 17/4174, 150/1431, 80/1212 and 78/3537") {
    struct Case {
        const char* name;
        bool (*lookup)(char32_t) noexcept;
        char_data::SetFigures generated;
        Figures documented;
    };
    const Case cases[] = {
        {"hidden", &is_hidden_char, char_data::kFiguresHidden, {17, 4174}},
        {"emoji", &is_emoji_char, char_data::kFiguresEmoji, {150, 1431}},
        {"emoji presentation", &is_emoji_presentation, char_data::kFiguresEmojiPresentation, {80, 1212}},
        {"pictographic", &is_extended_pictographic, char_data::kFiguresExtendedPictographic, {78, 3537}},
    };
    for (const auto& k : cases) {
        const Figures seen = figures_of(k.lookup);
        CHECK_EQ_MSG(seen.ranges, k.documented.ranges, k.name);
        CHECK_EQ_MSG(seen.members, k.documented.members, k.name);
        CHECK_EQ_MSG(k.generated.ranges, k.documented.ranges, k.name);
        CHECK_EQ_MSG(k.generated.members, k.documented.members, k.name);
    }
}

TEST_CASE("char_tables", "the hidden set is the seventeen published ranges") {
    const std::vector<std::pair<char32_t, char32_t>> ranges = {
        {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
        {0x180B, 0x180F}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
        {0xFE00, 0xFE0F}, {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}};
    std::size_t next = 0;
    for (char32_t c = 0; c < kEnd; ++c) {
        while (next < ranges.size() && ranges[next].second < c) ++next;
        const bool listed = next < ranges.size() && ranges[next].first <= c;
        CHECK_EQ_MSG(is_hidden_char(c), listed, hex(c));
    }
}

TEST_CASE("char_tables", "space, dash and quote maps: 16, 30 and 55 disjoint entries, checksummed") {
    // The maps are this system's own, listed in tools/gen_char_tables.py; the checksum over all
    // code points pins them, so a changed entry fails here and must be changed on purpose.
    std::size_t spaces = 0, dashes = 0, quotes = 0;
    MapChecksum sum;
    for (char32_t c = 0; c < kEnd; ++c) {
        const char32_t space = space_replacement(c), dash = dash_replacement(c), quote = quote_replacement(c);
        spaces += space != 0;
        dashes += dash != 0;
        quotes += quote != 0;
        CHECK_EQ_MSG((space != 0) + (dash != 0) + (quote != 0) <= 1, true, hex(c));
        CHECK_EQ_MSG(space == 0 || space == U' ', true, hex(c));
        CHECK_EQ_MSG(dash == 0 || dash == U'-', true, hex(c));
        CHECK_EQ_MSG(quote == 0 || quote == U'\'' || quote == U'"', true, hex(c));
        if (space | dash | quote) sum.add(c, space | dash | quote);
    }
    CHECK_EQ(spaces, std::size_t(16));
    CHECK_EQ(dashes, std::size_t(30));
    CHECK_EQ(quotes, std::size_t(55));
    CHECK_EQ(sum.hash, std::uint64_t(0x70B9166F4B9593E7));
}

TEST_CASE("char_tables", "pass_class agrees with the individual tests for every code point") {
    for (char32_t c = 0; c < kEnd; ++c) {
        std::uint8_t expected = 0;
        if (is_hidden_char(c)) expected |= kPassHidden;
        if (is_removable_control(c)) expected |= kPassControl;
        if (space_replacement(c) != 0) expected |= kPassSpace;
        if (dash_replacement(c) != 0) expected |= kPassDash;
        if (quote_replacement(c) != 0) expected |= kPassQuote;
        if (c == 0x2044 || c == 0x2026 || c == 0x22EF) expected |= kPassOther;
        if (c == 0x2028 || c == 0x2029) expected |= kPassLineSep;
        CHECK_EQ_MSG(int(pass_class_inline(c)), int(expected), hex(c));
    }
}

TEST_CASE("char_tables", "published edge cases") {
    for (char32_t c : {0x200B, 0x2060, 0xFEFF, 0xE0001, 0x180E, 0x1D17A, 0xFE0F, 0x00AD})
        CHECK_EQ_MSG(is_hidden_char(c), true, hex(c));
    for (char32_t c : {0x00A0, 0x3000, 0x1D17B, 0x0020, 0x2028})
        CHECK_EQ_MSG(is_hidden_char(c), false, hex(c));
    CHECK(is_removable_control(0x0085));
    for (char32_t c : {U'\t', U'\n', U'\r'}) {
        CHECK(!is_removable_control(c));
        CHECK_EQ(pass_class_inline(c), std::uint8_t(0));
    }
    CHECK_EQ(dash_replacement(0x2212), U'-');
    CHECK_EQ(dash_replacement(0x00AD), char32_t(0));  // soft hyphen is hidden, not a dash
    CHECK_EQ(pass_class_inline(0x00AD), std::uint8_t(kPassHidden));
    CHECK_EQ(quote_replacement(0xFF02), U'\'');
    CHECK_EQ(quote_replacement(0xFF07), U'\'');
    CHECK_EQ(quote_replacement(0x2033), U'"');
    CHECK_EQ(quote_replacement(0x2034), U'\'');
    CHECK_EQ(quote_replacement(0x0149), U'\'');
    // ASCII is in no map: the maps never rewrite their own values.
    for (char32_t c = 0; c < 0x80; ++c) {
        CHECK_EQ(space_replacement(c) | dash_replacement(c) | quote_replacement(c), char32_t(0));
    }
    CHECK_EQ(general_category(U'A'), Lu);
    CHECK_EQ(general_category(0xD800), Cs);
    CHECK_EQ(general_category(0x10FFFD), Co);
    CHECK_EQ(general_category(0x10FFFF), Cn);
    for (char32_t c : {0x0009, 0x0085, 0x00A0, 0x2028, 0x3000}) CHECK_EQ_MSG(is_white_space(c), true, hex(c));
    CHECK(!is_white_space(0x200B));
}

TEST_CASE("char_tables", "values beyond U+10FFFF read as unassigned, without reading past the tables") {
    for (char32_t c : {char32_t(0x110000), char32_t(0x1FFFFF), char32_t(0xFFFFFFFF)}) {
        CHECK(!is_hidden_char(c) && !is_emoji_char(c) && !is_emoji_presentation(c));
        CHECK(!is_extended_pictographic(c) && !is_white_space(c));
        CHECK_EQ(general_category(c), Cn);
        CHECK_EQ(script_of(c), kScriptUnknown);
        CHECK_EQ(pass_class_inline(c), std::uint8_t(0));
        CHECK_EQ(space_replacement(c) | dash_replacement(c) | quote_replacement(c), char32_t(0));
    }
}

TEST_CASE("char_tables", "emoji clusters: text-style symbols need U+FE0F, pictographs never do") {
    for (char32_t c : {0x00A9, 0x00AE, 0x2122, 0x2764}) {
        CHECK_EQ_MSG(emoji_cluster(utf8_of({c})), false, hex(c));
        CHECK_EQ_MSG(emoji_cluster(utf8_of({c, 0xFE0F})), true, hex(c));
    }
    CHECK(emoji_cluster(utf8_of({0x1F600})));
    CHECK(emoji_cluster(utf8_of({0x1F600, 0x1F3FD})));
    CHECK(emoji_cluster(utf8_of({0x1F000})));  // pictographic, not Emoji
    CHECK(emoji_cluster(utf8_of({0x1F1E9, 0x1F1EA})));  // regional-indicator pair
    CHECK(emoji_cluster(utf8_of({0x0023, 0xFE0F, 0x20E3})));
    CHECK(emoji_cluster(utf8_of({0x0031, 0xFE0F, 0x20E3})));
    for (const char* ascii : {"#", "*", "7", "", "ab"}) CHECK_EQ_MSG(emoji_cluster(ascii), false, ascii);
    CHECK(!emoji_cluster(utf8_of({0x200B})));
    CHECK(!emoji_cluster(utf8_of({U'e', 0x0301})));
    CHECK(!emoji_cluster(utf8_of({U'a', 0xFE0F})));  // a marker needs an Emoji base
    CHECK(!emoji_cluster(utf8_of({0x00E9, 0x200D})));
}

TEST_CASE("char_tables", "a lone code point is an emoji cluster by its default presentation") {
    const auto path = ucd_reader::ucd_file("emoji-data.txt");
    const auto presentation = ucd_reader::property_set(path, "Emoji_Presentation");
    const auto emoji = ucd_reader::property_set(path, "Emoji");
    for (char32_t c = 0x80; c < kEnd; ++c) {
        if (!emoji[c]) continue;
        CHECK_EQ_MSG(emoji_cluster(utf8_of({c})), bool(presentation[c]), hex(c));
        CHECK_EQ_MSG(emoji_cluster(utf8_of({c, 0xFE0F})), true, hex(c));
    }
}

TEST_CASE("char_tables", "every fully-qualified sequence of emoji-test.txt is an emoji cluster") {
    const auto path = ucd_reader::ucd_file("emoji-test.txt");
    std::size_t seen = 0;
    ucd_reader::for_each_record(path, [&](const std::vector<std::string_view>& fields) {
        if (fields.at(1) != "fully-qualified") return;
        std::string cluster;
        for (std::string_view cp : ucd_reader::split(fields[0], ' '))
            if (!cp.empty()) utf8::append(cluster, ucd_reader::parse_hex(cp));
        ++seen;
        CHECK_EQ_MSG(emoji_cluster(cluster), true, std::string(fields[0]));
    });
    // The file states its own count: every listed sequence was read.
    std::ifstream in(path);
    std::string line;
    std::size_t stated = 0;
    while (std::getline(in, line))
        if (line.starts_with("# fully-qualified : ")) stated = std::stoul(line.substr(20));
    CHECK(stated > 0);
    CHECK_EQ(seen, stated);
}

TEST_CASE("char_tables", "the emoji verdict is cached in the slot") {
    const std::string grinning = utf8_of({0x1F600});
    EmojiVerdict slot = EmojiVerdict::Unknown;
    CHECK(is_emoji_cluster(grinning, slot));
    CHECK(slot == EmojiVerdict::Yes);
    // A known verdict is answered as stored, whatever the cluster.
    slot = EmojiVerdict::Yes;
    CHECK(is_emoji_cluster("a", slot));
    slot = EmojiVerdict::No;
    CHECK(!is_emoji_cluster(grinning, slot));
    slot = EmojiVerdict::Unknown;
    CHECK(!is_emoji_cluster("#", slot));
    CHECK(slot == EmojiVerdict::No);
}

TEST_CASE("char_tables", "a cluster cut inside a sequence is not read past its end") {
    const std::string whole = utf8_of({0x00A9, 0xFE0F});
    for (std::size_t n = 1; n < whole.size(); ++n) {
        // An exact-size heap copy, so that a sanitizer build sees any read beyond it.
        const std::unique_ptr<char[]> cut(new char[n]);
        std::memcpy(cut.get(), whole.data(), n);
        EmojiVerdict slot = EmojiVerdict::Unknown;
        CHECK(!is_emoji_cluster(std::string_view(cut.get(), n), slot));
    }
}

TEST_CASE("char_tables", "keyboard ASCII text: one byte decides, at every offset of the block scan") {
    for (unsigned b = 0; b < 256; ++b) {
        const bool keyboard = b < 0x80 && is_keyboard_char(char32_t(b), false);
        for (std::size_t n = 1; n <= 40; ++n) {
            for (std::size_t at = 0; at < n; ++at) {
                std::string text(n, 'a');
                text[at] = char(b);
                CHECK_EQ_MSG(is_keyboard_ascii(text), keyboard, hex(b) + " at " + std::to_string(at));
            }
        }
    }
    CHECK(is_keyboard_ascii(""));
}
