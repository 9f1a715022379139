#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "harness.hpp"
#include "translit/symbol_table.hpp"
#include "unicode/normalize.hpp"

using namespace scrubix;
using translit::symbol_to_ascii;

namespace {

constexpr std::string_view kLetterNames[] = {
    "Alpha", "Beta", "Gamma", "Delta", "Epsilon", "Zeta",    "Eta", "Theta",
    "Iota",  "Kappa", "Lambda", "Mu",  "Nu",      "Xi",      "Omicron", "Pi",
    "Rho",   "Sigma", "Tau",  "Upsilon", "Phi",   "Chi",     "Psi", "Omega",
};

// The Greek-name layer's rule, computed from the engine's own compatibility decomposition: the
// name of the basic letter the decomposition starts with (final sigma reads "sigma"), or empty.
// Squared units (pA, mu-g, ...) start with mu or omega but are units, not letters.
std::string greek_name_by_decomposition(char32_t c) {
    for (char32_t unit : {0x3382, 0x338C, 0x338D, 0x3395, 0x339B, 0x33B2, 0x33B6, 0x33BC})
        if (c == unit) return {};
    char32_t d[unicode::kMaxDecomposition];
    unicode::nfkd_char(c, d);
    if (d[0] >= 0x0391 && d[0] <= 0x03A9 && d[0] != 0x03A2)
        return std::string(kLetterNames[d[0] - 0x0391 - (d[0] > 0x03A2)]);
    if (d[0] < 0x03B1 || d[0] > 0x03C9) return {};
    std::string name(kLetterNames[d[0] == 0x03C2 ? 17 : d[0] - 0x03B1 - (d[0] > 0x03C2)]);
    name[0] = char(name[0] - 'A' + 'a');
    return name;
}

bool is_letter_name(std::string_view s) {
    for (std::string_view n : kLetterNames) {
        if (s == n) return true;
        if (s.size() == n.size() && s.substr(1) == n.substr(1) && s[0] == n[0] - 'A' + 'a') return true;
    }
    return false;
}

}  // namespace

TEST_CASE("symbol_table", "701 entries, each 1 to 7 printable ASCII bytes") {
    std::size_t total = 0, greek = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const std::string_view v = symbol_to_ascii(c);
        if (v.empty()) continue;
        ++total;
        CHECK_EQ_MSG(v.size() <= 7, true, harness::show(c) + " " + harness::show(v));
        const bool printable = std::all_of(v.begin(), v.end(), [](char ch) { return ch >= 0x20 && ch < 0x7F; });
        CHECK_EQ_MSG(printable, true, harness::show(c) + " " + harness::show(v));
        greek += !greek_name_by_decomposition(c).empty() && c != 0x00B5 && c != 0x2126;
    }
    CHECK_EQ(total, std::size_t{701});
    CHECK_EQ(greek, std::size_t{595});
}

TEST_CASE("symbol_table", "the Greek-name layer follows the compatibility decomposition") {
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const std::string by_decomposition = greek_name_by_decomposition(c);
        const std::string_view spelled = symbol_to_ascii(c);
        // The direct layer spells the micro and ohm signs, and U+2206 INCREMENT as "delta".
        if (c == 0x00B5 || c == 0x2126) continue;
        if (!by_decomposition.empty() || (is_letter_name(spelled) && c != 0x2206))
            CHECK_EQ_MSG(std::string(spelled), by_decomposition, harness::show(c));
    }
    // Basic letters map to their own names in order, capitals and small letters alike.
    std::size_t i = 0;
    for (char32_t c = 0x0391; c <= 0x03A9; ++c) {
        if (c == 0x03A2) continue;
        std::string small(kLetterNames[i]);
        small[0] = char(small[0] - 'A' + 'a');
        CHECK_EQ_MSG(symbol_to_ascii(c), kLetterNames[i], harness::show(c));
        CHECK_EQ_MSG(std::string(symbol_to_ascii(c + 0x20)), small, harness::show(char32_t(c + 0x20)));
        ++i;
    }
    CHECK_EQ(symbol_to_ascii(0x03C2), std::string_view("sigma"));  // final sigma
    CHECK_EQ(symbol_to_ascii(0x03C9), std::string_view("omega"));
    CHECK_EQ(symbol_to_ascii(0x1F8F), std::string_view("Alpha"));  // breathing, accent, iota dropped
    CHECK_EQ(symbol_to_ascii(0x03D1), std::string_view("theta"));  // symbol variant
    CHECK_EQ(symbol_to_ascii(0x03D2), std::string_view("Upsilon"));
    CHECK_EQ(symbol_to_ascii(0x1FBE), std::string_view("iota"));
    CHECK_EQ(symbol_to_ascii(0x1D6C2), std::string_view("alpha"));  // mathematical bold small alpha
    CHECK_EQ(symbol_to_ascii(0x1D7C9), std::string_view("pi"));     // last key
    CHECK(symbol_to_ascii(0x1D6C1).empty());  // mathematical bold nabla
    CHECK(symbol_to_ascii(0x03DC).empty());   // digamma
    CHECK(symbol_to_ascii(0x03A2).empty());   // unassigned gap among the capitals
    CHECK(symbol_to_ascii(0x1D7CA).empty());
    // Squared units start with mu or omega but are not letters.
    for (char32_t c : {0x3382, 0x338C, 0x338D, 0x3395, 0x339B, 0x33B2, 0x33B6, 0x33BC})
        CHECK_EQ_MSG(symbol_to_ascii(c), std::string_view(), harness::show(c));
}

TEST_CASE("symbol_table", "direct spellings and their precedence") {
    const struct {
        char32_t c;
        std::string_view want;
    } cases[] = {
        {0x00DF, "ss"},  {0x1E9E, "SS"},    {0x00B5, "u"},     {0x03BC, "mu"},    {0x2126, "ohm"},
        {0x03A9, "Omega"}, {0x2206, "delta"}, {0x0394, "Delta"}, {0x232B, "Bksp"}, {0x21B5, "<-'"},
        {0x23CE, "<-'"}, {0x2243, "~="},    {0x2248, "~="},    {0x00A9, "(c)"},   {0x00AE, "(r)"},
        {0x22EE, "..."}, {0x25A1, "[ ]"},   {0x2030, "0/00"},  {0x21E7, "Shift"}, {0x2200, "forall"},
        {0x2713, "[x]"}, {0x2B50, "*"},     {0x27FA, "<==>"},  {0x00A2, "c"},     {0x23CF, "Eject"},
    };
    for (const auto& k : cases) CHECK_EQ_MSG(symbol_to_ascii(k.c), k.want, harness::show(k.c));
    // Left to other rules: negated relations, the trade mark sign, the horizontal ellipsis.
    for (char32_t c : {0x2260, 0x226E, 0x226F, 0x2122, 0x2026})
        CHECK_EQ_MSG(symbol_to_ascii(c), std::string_view(), harness::show(c));
    for (char32_t c = 0; c < 0x80; ++c) CHECK_EQ_MSG(symbol_to_ascii(c), std::string_view(), harness::show(c));
    CHECK(symbol_to_ascii(0x110000).empty());
    CHECK(symbol_to_ascii(0xFFFFFFFF).empty());
}
