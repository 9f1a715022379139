#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using unicode::is_normalized;
using unicode::nfkd_char;
using unicode::normalize_into;

namespace {

constexpr NormalizationMode kNFD = NormalizationMode::NFD;
constexpr NormalizationMode kNFC = NormalizationMode::NFC;
constexpr NormalizationMode kNFKD = NormalizationMode::NFKD;
constexpr NormalizationMode kNFKC = NormalizationMode::NFKC;
constexpr NormalizationMode kForms[] = {kNFD, kNFC, kNFKD, kNFKC};
constexpr const char* kFormNames[] = {"", "NFD", "NFC", "NFKD", "NFKC"};

std::string norm(NormalizationMode mode, std::string_view text) {
    std::string out;
    normalize_into(mode, text, out);
    return out;
}

std::string from_code_points(const std::vector<char32_t>& cps) {
    std::string s;
    for (char32_t c : cps) utf8::append(s, c);
    return s;
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string s;
    s.reserve(piece.size() * times);
    for (std::size_t k = 0; k < times; ++k) s += piece;
    return s;
}

bool is_scalar(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

// The lines of Part 1 of NormalizationTest.txt: five columns each, plus the code points listed
// there as single characters.
struct ConformanceData {
    struct Line {
        std::string col[5];
        std::string where;
    };
    std::vector<Line> lines;
    std::set<char32_t> part1;
};

ConformanceData read_conformance() {
    std::ifstream in(harness::require_data("unicode/16.0.0/NormalizationTest.txt"));
    ConformanceData data;
    std::string line;
    int part = -1, number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.rfind("@Part", 0) == 0) part = line[5] - '0';
        if (line.empty() || line[0] == '#' || line[0] == '@') continue;
        ConformanceData::Line l;
        l.where = "NormalizationTest.txt:" + std::to_string(number);
        std::istringstream fields(line.substr(0, line.find('#')));
        std::string field;
        for (int k = 0; k < 5 && std::getline(fields, field, ';'); ++k) {
            std::vector<char32_t> cps;
            std::istringstream hex(field);
            unsigned long cp;
            while (hex >> std::hex >> cp) cps.push_back(char32_t(cp));
            l.col[k] = from_code_points(cps);
            if (k == 0 && part == 1 && cps.size() == 1) data.part1.insert(cps[0]);
        }
        data.lines.push_back(std::move(l));
    }
    return data;
}

}  // namespace

TEST_CASE("normalization", "NormalizationTest.txt invariants for all four forms") {
    const ConformanceData data = read_conformance();
    CHECK(data.lines.size() > 19000);
    for (const auto& l : data.lines) {
        const auto& c = l.col;
        for (int k : {0, 1, 2}) {
            CHECK_EQ_MSG(norm(kNFC, c[k]), c[1], l.where + " NFC(c" + std::to_string(k + 1) + ")");
            CHECK_EQ_MSG(norm(kNFD, c[k]), c[2], l.where + " NFD(c" + std::to_string(k + 1) + ")");
        }
        for (int k : {3, 4}) {
            CHECK_EQ_MSG(norm(kNFC, c[k]), c[3], l.where + " NFC(c" + std::to_string(k + 1) + ")");
            CHECK_EQ_MSG(norm(kNFD, c[k]), c[4], l.where + " NFD(c" + std::to_string(k + 1) + ")");
        }
        for (int k = 0; k < 5; ++k) {
            CHECK_EQ_MSG(norm(kNFKC, c[k]), c[3], l.where + " NFKC(c" + std::to_string(k + 1) + ")");
            CHECK_EQ_MSG(norm(kNFKD, c[k]), c[4], l.where + " NFKD(c" + std::to_string(k + 1) + ")");
            for (NormalizationMode m : kForms)
                CHECK_EQ_MSG(is_normalized(m, c[k]), norm(m, c[k]) == c[k],
                             l.where + " is_normalized " + kFormNames[int(m)] + "(c" +
                                 std::to_string(k + 1) + ")");
        }
    }
}

TEST_CASE("normalization", "code points not listed in Part 1 are unchanged by every form") {
    const ConformanceData data = read_conformance();
    CHECK(data.part1.size() > 10000);
    std::string s;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (!is_scalar(c) || data.part1.count(c)) continue;
        s.clear();
        utf8::append(s, c);
        for (NormalizationMode m : kForms) {
            if (norm(m, s) != s || !is_normalized(m, s)) {
                CHECK_EQ_MSG(c, char32_t(0), std::string("changed by ") + kFormNames[int(m)]);
                return;
            }
        }
    }
}

TEST_CASE("normalization", "nfkd_char agrees with NFKD of the one-character string") {
    char32_t buf[unicode::kMaxDecomposition];
    std::string one;
    std::size_t longest = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (!is_scalar(c)) continue;
        one.clear();
        utf8::append(one, c);
        const std::size_t len = nfkd_char(c, buf);
        longest = std::max(longest, len);
        const std::string got = from_code_points({buf, buf + len});
        if (got != norm(kNFKD, one)) {
            CHECK_EQ_MSG(got, norm(kNFKD, one), "nfkd_char " + harness::show(c));
            return;
        }
    }
    CHECK_EQ(longest, unicode::kMaxDecomposition);
    CHECK_EQ(nfkd_char(0xFDFA, buf), unicode::kMaxDecomposition);
    CHECK_EQ(nfkd_char(0xD4DB, buf), std::size_t(3));  // Hangul LVT syllable
    CHECK_EQ(from_code_points({buf, buf + 3}), from_code_points({0x1111, 0x1171, 0x11B6}));
}

TEST_CASE("normalization", "output is appended and mode None copies") {
    std::string out = "kept:";
    normalize_into(kNFD, "\xC3\xA9", out);
    CHECK_EQ(out, std::string("kept:e\xCC\x81"));
    normalize_into(NormalizationMode::None, "\xC3\xA9", out);
    CHECK_EQ(out, std::string("kept:e\xCC\x81\xC3\xA9"));
    CHECK(is_normalized(NormalizationMode::None, "e\xCC\x81"));
    CHECK_EQ(norm(kNFC, ""), std::string());
    CHECK(is_normalized(kNFKC, ""));
}

TEST_CASE("normalization", "long runs of marks are reordered and composed in one piece") {
    // a, then 100,000 pairs of acute (class 230) and grave-below (class 220).
    const std::size_t pairs = 100000;
    const std::string input = "a" + repeat("\xCC\x81\xCC\x96", pairs);
    const std::string below = repeat("\xCC\x96", pairs);
    const std::string acute = repeat("\xCC\x81", pairs);
    CHECK(norm(kNFD, input) == "a" + below + acute);
    // The first acute joins the a; the rest are not blocked but have nothing to join.
    CHECK(norm(kNFC, input) == "\xC3\xA1" + below + repeat("\xCC\x81", pairs - 1));
    CHECK(norm(kNFKC, input) == norm(kNFC, input));
    CHECK(!is_normalized(kNFD, input));
    CHECK(is_normalized(kNFD, norm(kNFD, input)));
    // Marks with no base at all, and a long already-ordered run.
    CHECK(norm(kNFD, input.substr(1)) == below + acute);
    CHECK(norm(kNFC, below + acute) == below + acute);
    CHECK(is_normalized(kNFC, below + acute));
}

TEST_CASE("normalization", "U+FDFA repeated expands without losing anything") {
    const std::size_t times = 50000;
    const std::string one = "\xEF\xB7\xBA";  // U+FDFA
    const std::string input = repeat(one + "x" + one + one, times);
    const std::string expanded = norm(kNFKC, one);
    CHECK_EQ(nfkd_char(0xFDFA, std::array<char32_t, 18>{}.data()), std::size_t(18));
    CHECK(norm(kNFKC, input) == repeat(expanded + "x" + expanded + expanded, times));
    const std::string decomposed = norm(kNFKD, one);
    CHECK(norm(kNFKD, input) == repeat(decomposed + "x" + decomposed + decomposed, times));
    CHECK(norm(kNFC, input) == input);
    CHECK(!is_normalized(kNFKC, input));
}
