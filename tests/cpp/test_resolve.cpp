#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "harness.hpp"
#include "ucd_reader.hpp"
#include "translit/deunicode.hpp"
#include "translit/resolve.hpp"
#include "translit/symbol_table.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using translit::fold_char;
using translit::keyboard_filter;
using translit::keyboard_filter_char;
using translit::NonAsciiPolicy;
using translit::resolve_non_keyboard;

namespace {

bool is_scalar(char32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

// The text resolve_non_keyboard appends for `c`, checking that its answer tells whether it
// wrote and that it only appends.
std::string resolve(char32_t c, NonAsciiPolicy policy, bool extended = false) {
    std::string out = "#";
    const bool wrote = resolve_non_keyboard(c, policy, extended, out);
    CHECK_EQ_MSG(out.substr(0, 1), std::string("#"), harness::show(c) + " overwrote the buffer");
    out.erase(0, 1);
    CHECK_EQ_MSG(wrote, !out.empty(), harness::show(c) + " reports " + harness::show(wrote));
    return out;
}

std::string fold(char32_t c, bool extended = false) {
    std::string out;
    const bool wrote = fold_char(c, extended, out);
    CHECK_EQ_MSG(wrote, !out.empty(), harness::show(c));
    return out;
}

std::string filtered(std::string_view text, bool extended = false) {
    std::string out;
    keyboard_filter(text, extended, out);
    return out;
}

bool all_keyboard(std::string_view s, bool extended) {
    for (std::size_t i = 0; i < s.size();)
        if (!unicode::is_keyboard_char(utf8::decode(s, i), extended)) return false;
    return true;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The deunicode entry straight from the release files.
struct RawDeunicode {
    std::string pointers, mapping;
    std::optional<std::string> entry(char32_t c) const {
        if (std::size_t{c} * 3 + 3 > pointers.size()) return std::nullopt;
        if (c == 0x014A || c == 0x014B) return c == 0x014A ? "NG" : "ng";  // the release swaps eng's case
        const auto* rec = reinterpret_cast<const unsigned char*>(pointers.data()) + 3 * c;
        if (rec[2] <= 2) return std::string(reinterpret_cast<const char*>(rec), rec[2]);
        const std::size_t off = rec[0] | (std::size_t{rec[1]} << 8);
        if (off + rec[2] > mapping.size()) return std::nullopt;
        return mapping.substr(off, rec[2]);
    }
};

// Latin, or a Common/Inherited punctuation, symbol, separator, modifier letter or other
// number that is not an emoji character, below the end of the data.
bool reaches_data(char32_t c) {
    if (c >= translit::kDeunicodeEnd) return false;
    const auto script = unicode::script_of(c);
    if (script == unicode::kScriptLatin) return true;
    if (script != unicode::kScriptCommon && script != unicode::kScriptInherited) return false;
    if (unicode::is_emoji_char(c)) return false;
    switch (unicode::general_category(c)) {
        case unicode::Lm: case unicode::No: case unicode::Zs: case unicode::Zl: case unicode::Zp:
        case unicode::Pd: case unicode::Ps: case unicode::Pe: case unicode::Po: case unicode::Sm:
        case unicode::Sc: case unicode::Sk: case unicode::So: case unicode::Pi: case unicode::Pf:
            return true;
        default:
            return false;
    }
}

std::string trim_white_space(std::string s) {
    while (!s.empty() && unicode::is_white_space(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t lead = 0;
    while (lead < s.size() && unicode::is_white_space(static_cast<unsigned char>(s[lead]))) ++lead;
    return s.substr(lead);
}

// The transliteration of c's compatibility decomposition character by character (the space
// of a spacing accent left out), and whether a character the fold cannot keep was spelled.
std::string decomposition_transliterated(char32_t c, bool extended, bool& spelled_rest) {
    char32_t d[unicode::kMaxDecomposition];
    const std::size_t n = unicode::nfkd_char(c, d);
    std::string out;
    spelled_rest = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (d[i] == U' ' && !unicode::is_white_space(c)) continue;
        if (d[i] == translit::kFractionSlash || unicode::is_keyboard_char(d[i], extended)) {
            out += fold(d[i], extended);
        } else if (d[i] != c) {
            const std::string spelt = resolve(d[i], NonAsciiPolicy::Transliterate, extended);
            spelled_rest |= !spelt.empty();
            out += spelt;
        }
    }
    return out;
}

}  // namespace

TEST_CASE("resolve", "keyboard filter writes only keyboard characters and the fraction slash") {
    for (bool extended : {false, true}) {
        std::size_t written = 0;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (!is_scalar(c)) continue;
            std::string out;
            const bool wrote = keyboard_filter_char(c, extended, out);
            CHECK_EQ_MSG(wrote, !out.empty(), harness::show(c));
            if (out.empty()) continue;
            ++written;
            std::string self;
            utf8::append(self, c);
            const std::string want = c == translit::kFractionSlash ? "/" : self;
            CHECK_EQ_MSG(out, want, harness::show(c));
            CHECK_EQ_MSG(all_keyboard(out, extended), true, harness::show(c));
            // The only controls that ever pass are TAB, LF and CR.
            const auto first = static_cast<unsigned char>(out[0]);
            if (first < 0x20 || first == 0x7F)
                CHECK_EQ_MSG(first == '\t' || first == '\n' || first == '\r', true, harness::show(c));
        }
        // 95 printable, TAB, LF, CR, the fraction slash, and the 14 extended characters.
        CHECK_EQ(written, std::size_t(extended ? 113 : 99));
    }
    CHECK_EQ(filtered("a\x01\tb\x7F\r\n\xC3\xA9\xE2\x81\x84\xE2\x82\xAC"), std::string("a\tb\r\n/"));
    CHECK_EQ(filtered("\xE2\x82\xAC\xC2\xB1", true), std::string("\xE2\x82\xAC\xC2\xB1"));
    std::string out = "kept";
    CHECK(!keyboard_filter("\xC3\xA9\x01", false, out));
    CHECK(!keyboard_filter("", false, out));
    CHECK_EQ(out, std::string("kept"));
}

TEST_CASE("resolve", "fold by compatibility decomposition") {
    const struct {
        char32_t c;
        std::string_view want;
    } cases[] = {
        {0x00BD, "1/2"},  // vulgar fraction, its fraction slash spelt '/'
        {0xFB01, "fi"},   {0x00E9, "e"},  {0x2460, "1"}, {0xFF21, "A"}, {0x2122, "TM"},
        {0x00A0, " "},    // white space itself, so the space of its decomposition stays
        {0x3000, " "},    {0x2003, " "},
        {0x00A8, ""},     // space + diaeresis: that space is not kept
        {0x00B4, ""},     {0x00DF, ""}, {0x0142, ""}, {0x0416, ""}, {0x0301, ""},
        {0x1E9B, "s"},    // long s with dot above: compatibility, then canonical
        {0x01C4, "DZ"},   {0x2474, "(1)"}, {0x3392, "MHz"},
        {0xAC00, ""},     // Hangul: conjoining jamo, none of them keyboard characters
    };
    for (const auto& k : cases) CHECK_EQ_MSG(fold(k.c), std::string(k.want), harness::show(k.c));
    // Under the extended keyboard the decomposition may yield extended characters.
    CHECK_EQ(fold(0x00BD, true), std::string("1/2"));
    CHECK_EQ(fold(0xFE58, true), std::string("\xE2\x80\x94"));  // small em dash -> U+2014
    CHECK_EQ(fold(0xFE58, false), std::string());
    CHECK_EQ(fold(0x20AC, true), std::string("\xE2\x82\xAC"));
}

TEST_CASE("resolve", "policies in their order: negation, fold, symbol table, gated data") {
    using P = NonAsciiPolicy;
    const struct {
        char32_t c;
        std::string_view fold, transliterate;
    } cases[] = {
        {0x2260, "!=", "!="},   {0x226E, "!<", "!<"},   {0x226F, "!>", "!>"},  // before the fold's "="
        {0x00E9, "e", "e"},     {0x00BD, "1/2", "1/2"}, {0x00A0, " ", " "},
        {0x2122, "TM", "TM"},   // the fold wins over the data's "tm"
        {0x00DF, "", "ss"},     {0x03B1, "", "alpha"},  {0x2713, "", "[x]"},   // table over data "OK"
        {0x2264, "", "<="},     // no entry of its own: the data
        {0x0142, "", "l"},      {0x20AC, "", "EUR"},    {0x00B0, "", "deg"},   {0x00B4, "", "'"},
        {0x00A8, "", "\""},     {0x00AB, "", "<<"},     {0x2E3A, "", "--"},    {0xFE58, "", "-"},
        {0x0416, "", ""},       {0x4E2D, "", ""},       // neither Latin, Common nor Inherited
        {0x0301, "", ""},       // Inherited, but a mark
        {0x1F600, "", ""},      {0x2B1B, "", ""},       // emoji characters
        {0x2028, "", ""},       {0x2029, "", ""},       // data is only line breaks: trims to nothing
        {0x0001, "", ""},       {0x007F, "", ""},       {0x0085, "", ""},      // controls
        {0xE000, "", ""},       {0x0378, "", ""},       {0x10FFFF, "", ""},
    };
    for (const auto& k : cases) {
        CHECK_EQ_MSG(resolve(k.c, P::Drop), std::string(), harness::show(k.c));
        CHECK_EQ_MSG(resolve(k.c, P::Fold), std::string(k.fold), harness::show(k.c));
        CHECK_EQ_MSG(resolve(k.c, P::Transliterate), std::string(k.transliterate), harness::show(k.c));
    }
    // Extended keyboard: table and data pass the extended characters through their filter.
    CHECK_EQ(resolve(0x00BD, P::Fold, true), std::string("1/2"));
    CHECK_EQ(resolve(0xFE58, P::Transliterate, true), std::string("\xE2\x80\x94"));
}

TEST_CASE("resolve", "every code point: drop, fold and transliterate against the raw data") {
    RawDeunicode raw{read_file(harness::require_data("deunicode-1.6.2/pointers.bin")),
                     read_file(harness::require_data("deunicode-1.6.2/mapping.txt"))};
    CHECK_EQ(raw.pointers.size(), std::size_t{translit::kDeunicodeEnd} * 3);
    // Negated relations and arrows: canonical decomposition base + U+0338.
    std::map<char32_t, char32_t> negated_base;
    ucd_reader::for_each_record(harness::require_data("unicode/16.0.0/UnicodeData.txt"), [&](const auto& f) {
        const auto parts = ucd_reader::split(f.at(5), ' ');
        if (parts.size() == 2 && parts[0].front() != '<' && parts[1] == "0338")
            negated_base[ucd_reader::parse_hex(f.at(0))] = ucd_reader::parse_hex(parts[0]);
    });
    std::size_t from_data = 0, from_table = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (!is_scalar(c)) continue;
        for (bool extended : {false, true}) {
            if (unicode::is_keyboard_char(c, extended)) continue;
            const std::string folded = resolve(c, NonAsciiPolicy::Fold, extended);
            const std::string result = resolve(c, NonAsciiPolicy::Transliterate, extended);
            CHECK_EQ_MSG(resolve(c, NonAsciiPolicy::Drop, extended), std::string(), harness::show(c));
            CHECK_EQ_MSG(all_keyboard(folded, extended) && all_keyboard(result, extended), true,
                         harness::show(c));
            if (const auto negated = negated_base.find(c); negated != negated_base.end()) {
                // '!' and the base's own spelling (or the entry of the negation itself), or nothing.
                const char32_t base = negated->second;
                const auto negate = [&](NonAsciiPolicy policy) {
                    const std::string spelt = unicode::is_keyboard_char(base, extended)
                                                  ? filtered(std::string(1, char(base)), extended)
                                                  : resolve(base, policy, extended);
                    return spelt.empty() ? spelt : "!" + spelt;
                };
                const std::string_view entry = translit::symbol_to_ascii(c);
                CHECK_EQ_MSG(folded, negate(NonAsciiPolicy::Fold), harness::show(c));
                CHECK_EQ_MSG(result, entry.empty() ? negate(NonAsciiPolicy::Transliterate) : filtered(entry, extended),
                             harness::show(c));
                continue;
            }
            bool spelled_rest = false;
            decomposition_transliterated(c, extended, spelled_rest);
            if (!folded.empty() && spelled_rest) continue;  // the partial fold's own test
            std::string want = folded;
            if (want.empty() && !translit::symbol_to_ascii(c).empty()) {
                want = filtered(translit::symbol_to_ascii(c), extended);
                from_table += !extended;
            } else if (want.empty() && reaches_data(c)) {
                const auto entry = raw.entry(c);
                if (entry) want = filtered(trim_white_space(*entry), extended);
                from_data += !extended && !want.empty();
            }
            CHECK_EQ_MSG(result, want, harness::show(c) + (extended ? " (extended)" : ""));
        }
    }
    // Sanity on the oracle itself: both later layers contribute.
    CHECK(from_table > 500);
    CHECK(from_data > 500);
}

TEST_CASE("resolve", "characters spelled whole are protected from normalization") {
    using translit::is_protected_from_normalization;
    constexpr auto kFold = NonAsciiPolicy::Fold;
    constexpr auto kTransliterate = NonAsciiPolicy::Transliterate;
    // NFD would split U+2260 into '=' and U+0338 and U+2126 into U+03A9, spelled "Omega".
    CHECK(is_protected_from_normalization(0x2260, kFold, false));
    CHECK(is_protected_from_normalization(0x2260, kTransliterate, false));
    CHECK(!is_protected_from_normalization(0x2126, kFold, false));
    CHECK(is_protected_from_normalization(0x2126, kTransliterate, false));
    CHECK_EQ(resolve(0x2126, kTransliterate), std::string("ohm"));
    for (char32_t c = 0; c < 0x3000; ++c) {
        // Under drop only negations are held whole, so both canonical forms are removed alike.
        CHECK_EQ_MSG(is_protected_from_normalization(c, NonAsciiPolicy::Drop, false), translit::is_negation_char(c),
                     harness::show(c));
        // A character kept as it is needs no protection; U+2013 is a keyboard character only
        // on the extended keyboard.
        if (unicode::is_keyboard_char(c, true))
            CHECK_EQ_MSG(is_protected_from_normalization(c, kTransliterate, true), false, harness::show(c));
    }
}

TEST_CASE("resolve", "a partial fold keeps the meaning of what it cannot fold") {
    // Every code point whose fold leaves characters outside the keyboard set that the table or
    // the data can spell: under transliterate it reads as its decomposition transliterated
    // character by character, where the fold alone drops them.
    std::size_t partial = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (!is_scalar(c)) continue;
        for (bool extended : {false, true}) {
            if (unicode::is_keyboard_char(c, extended) || fold(c, extended).empty()) continue;
            bool spelled_rest = false;
            const std::string want = decomposition_transliterated(c, extended, spelled_rest);
            if (!spelled_rest) continue;
            partial += !extended;
            CHECK_EQ_MSG(resolve(c, NonAsciiPolicy::Transliterate, extended), want,
                         harness::show(c) + (extended ? " (extended)" : ""));
        }
    }
    CHECK(partial >= 20);
    const struct {
        char32_t c;
        std::string_view want;
    } units[] = {{0x33A7, "m/s"}, {0x33A8, "m/s2"}, {0x33C6, "C/kg"}, {0x339B, "mum"},
                 {0x3382, "muA"}, {0x2103, "degC"}};
    for (const auto& k : units)
        CHECK_EQ_MSG(resolve(k.c, NonAsciiPolicy::Transliterate), std::string(k.want), harness::show(k.c));
    CHECK_EQ(resolve(0x2103, NonAsciiPolicy::Transliterate, true), std::string("\u00B0C"));
    CHECK_EQ(resolve(0x2126, NonAsciiPolicy::Transliterate), std::string("ohm"));
}
