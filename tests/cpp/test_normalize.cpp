#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "harness.hpp"
#include "ucd_reader.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using unicode::is_normalized;
using unicode::NormalizationForm;
using unicode::nfkd_char;
using unicode::normalize_into;
using unicode::normalized_prefix;

namespace {

constexpr NormalizationForm kNFD = NormalizationForm::NFD;
constexpr NormalizationForm kNFC = NormalizationForm::NFC;
constexpr NormalizationForm kNFKD = NormalizationForm::NFKD;
constexpr NormalizationForm kNFKC = NormalizationForm::NFKC;
constexpr NormalizationForm kForms[] = {kNFD, kNFC, kNFKD, kNFKC};
constexpr const char* kFormNames[] = {"", "NFD", "NFC", "NFKD", "NFKC"};

std::string norm(NormalizationForm mode, std::string_view text) {
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
    ConformanceData data;
    int part = -1;
    ucd_reader::for_each_record(ucd_reader::ucd_file("NormalizationTest.txt"), [&](const auto& f) {
        if (f.at(0).starts_with("@Part")) {
            part = f[0][5] - '0';
            return;
        }
        ConformanceData::Line l;
        l.where = "NormalizationTest.txt " + std::string(f.at(0));
        for (int k = 0; k < 5; ++k) {
            std::vector<char32_t> cps;
            for (std::string_view hex : ucd_reader::split(f.at(k), ' '))
                if (!hex.empty()) cps.push_back(ucd_reader::parse_hex(hex));
            l.col[k] = from_code_points(cps);
            if (k == 0 && part == 1 && cps.size() == 1) data.part1.insert(cps[0]);
        }
        data.lines.push_back(std::move(l));
    });
    return data;
}

}  // namespace

TEST_CASE("normalization", "NormalizationTest.txt invariants for all four forms") {
    const ConformanceData data = read_conformance();
    CHECK(data.lines.size() > 19000);
    for (const auto& l : data.lines) {
        const auto& c = l.col;
        const auto check = [&](NormalizationForm m, int k, const std::string& expected) {
            CHECK_EQ_MSG(norm(m, c[k]), expected,
                         l.where + " " + kFormNames[int(m)] + "(c" + std::to_string(k + 1) + ")");
        };
        // c2 == NFC(c1..c3), c4 == NFC(c4, c5); c3 == NFD(c1..c3), c5 == NFD(c4, c5);
        // c4 == NFKC(c1..c5); c5 == NFKD(c1..c5).
        for (int k = 0; k < 5; ++k) {
            check(kNFC, k, k < 3 ? c[1] : c[3]);
            check(kNFD, k, k < 3 ? c[2] : c[4]);
            check(kNFKC, k, c[3]);
            check(kNFKD, k, c[4]);
            for (NormalizationForm m : kForms)
                CHECK_EQ_MSG(is_normalized(m, c[k]), norm(m, c[k]) == c[k],
                             l.where + " is_normalized " + kFormNames[int(m)]);
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
        for (NormalizationForm m : kForms) {
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
    normalize_into(NormalizationForm::None, "\xC3\xA9", out);
    CHECK_EQ(out, std::string("kept:e\xCC\x81\xC3\xA9"));
    CHECK(is_normalized(NormalizationForm::None, "e\xCC\x81"));
    CHECK_EQ(norm(kNFC, ""), std::string());
    CHECK(is_normalized(kNFKC, ""));
}

TEST_CASE("normalization", "a mark after a long unchanged stretch joins the character before it") {
    // The stretch is skipped in bulk; the mark must still reach back to its base, whatever
    // the stretch's length and whether its last character is ASCII or two bytes long.
    for (std::size_t len = 0; len < 70; ++len) {
        std::string prefix;
        for (std::size_t k = 0; k < len; ++k) prefix += k % 3 == 1 ? "\xC3\xA9" : "a";  // a, é
        for (const char* last : {"a", "\xC3\xA9"}) {
            const std::string text = prefix + last + "\xCC\xA3";  // + combining dot below
            // a + dot below is U+1EA1; é + dot below is U+1EB9 followed by the acute.
            const std::string nfc =
                prefix + (last[0] == 'a' ? "\xE1\xBA\xA1" : "\xE1\xBA\xB9\xCC\x81");
            CHECK_EQ_MSG(norm(kNFC, text), nfc, "length " + std::to_string(len));
            CHECK_EQ_MSG(norm(kNFKC, text), nfc, "length " + std::to_string(len));
            CHECK_EQ_MSG(norm(kNFC, norm(kNFD, text)), nfc, "length " + std::to_string(len));
            CHECK(!is_normalized(kNFC, text));
            CHECK(is_normalized(kNFC, nfc));
        }
    }
}

TEST_CASE("normalization", "long runs of marks are reordered stably and composed in one piece") {
    // a, then 50,000 times: acute, grave below (class 220), grave, acute below (class 220).
    const std::size_t times = 50000;
    const std::string input = "a" + repeat("\xCC\x81\xCC\x96\xCC\x80\xCC\x97", times);
    const std::string below = repeat("\xCC\x96\xCC\x97", times);
    const std::string above = repeat("\xCC\x81\xCC\x80", times);
    CHECK(norm(kNFD, input) == "a" + below + above);
    // The first acute joins the a; the marks after it are not blocked but have nothing to join.
    CHECK(norm(kNFC, input) == "\xC3\xA1" + below + above.substr(2));
    CHECK(norm(kNFKC, input) == norm(kNFC, input));
    CHECK(!is_normalized(kNFD, input));
    CHECK(is_normalized(kNFD, norm(kNFD, input)));
    // Marks with no base at all, and a long run already in order.
    CHECK(norm(kNFD, input.substr(1)) == below + above);
    CHECK(norm(kNFC, below + above) == below + above);
    CHECK(is_normalized(kNFC, below + above));
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

namespace {

// A textbook normalizer read straight from the character data, as an oracle for the engine:
// recursive decomposition, canonical ordering by adjacent swaps, and composition that checks
// every blocking character explicitly. Quadratic, for short strings only.
class ReferenceNormalizer {
public:
    ReferenceNormalizer() {
        ucd_reader::for_each_record(ucd_reader::ucd_file("UnicodeData.txt"), [&](const auto& f) {
            const char32_t cp = ucd_reader::parse_hex(f.at(0));
            if (f.at(3) != "0") ccc_[cp] = std::stoi(std::string(f[3]));
            if (f.at(5).empty()) return;
            Mapping m;
            for (std::string_view part : ucd_reader::split(f[5], ' ')) {
                if (part.starts_with('<')) m.compat = true;
                else if (!part.empty()) m.cps.push_back(ucd_reader::parse_hex(part));
            }
            decomposition_[cp] = m;
        });
        std::set<char32_t> excluded;
        ucd_reader::for_each_range(ucd_reader::ucd_file("DerivedNormalizationProps.txt"),
                                   [&](char32_t lo, char32_t hi, const auto& f) {
                                       if (f.at(1) != "Full_Composition_Exclusion") return;
                                       for (char32_t c = lo; c <= hi; ++c) excluded.insert(c);
                                   });
        for (const auto& [cp, m] : decomposition_)
            if (!m.compat && m.cps.size() == 2 && !excluded.count(cp))
                composite_[{m.cps[0], m.cps[1]}] = cp;
    }

    std::vector<char32_t> normalize(NormalizationForm mode, const std::vector<char32_t>& in) const {
        const bool compat = mode == kNFKD || mode == kNFKC;
        std::vector<char32_t> s;
        for (char32_t c : in) decompose(c, compat, s);
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (std::size_t i = 1; i < s.size(); ++i) {
                if (ccc(s[i]) != 0 && ccc(s[i - 1]) > ccc(s[i])) {
                    std::swap(s[i - 1], s[i]);
                    swapped = true;
                }
            }
        }
        if (mode == kNFC || mode == kNFKC) compose(s);
        return s;
    }

    // Code points with a decomposition or a non-zero combining class.
    std::vector<char32_t> interesting() const {
        std::set<char32_t> all;
        for (const auto& [cp, m] : decomposition_) all.insert(cp);
        for (const auto& [cp, c] : ccc_) all.insert(cp);
        return {all.begin(), all.end()};
    }

    std::vector<char32_t> marks() const {
        std::vector<char32_t> out;
        for (const auto& [cp, c] : ccc_) out.push_back(cp);
        return out;
    }

private:
    struct Mapping {
        bool compat = false;
        std::vector<char32_t> cps;
    };

    int ccc(char32_t c) const {
        const auto it = ccc_.find(c);
        return it == ccc_.end() ? 0 : it->second;
    }

    void decompose(char32_t c, bool compat, std::vector<char32_t>& out) const {
        if (c >= 0xAC00 && c < 0xAC00 + 11172) {
            const char32_t s = c - 0xAC00;
            out.push_back(0x1100 + s / 588);
            out.push_back(0x1161 + s % 588 / 28);
            if (s % 28) out.push_back(0x11A7 + s % 28);
            return;
        }
        const auto it = decomposition_.find(c);
        if (it == decomposition_.end() || (it->second.compat && !compat)) {
            out.push_back(c);
            return;
        }
        for (char32_t d : it->second.cps) decompose(d, compat, out);
    }

    char32_t composite(char32_t a, char32_t b) const {
        if (a >= 0x1100 && a < 0x1113 && b >= 0x1161 && b < 0x1176)
            return 0xAC00 + ((a - 0x1100) * 21 + (b - 0x1161)) * 28;
        if (a >= 0xAC00 && a < 0xAC00 + 11172 && (a - 0xAC00) % 28 == 0 && b > 0x11A7 && b < 0x11C3)
            return a + (b - 0x11A7);
        const auto it = composite_.find({a, b});
        return it == composite_.end() ? 0 : it->second;
    }

    void compose(std::vector<char32_t>& s) const {
        for (std::size_t i = 1; i < s.size();) {
            std::size_t starter = i;
            while (starter > 0 && ccc(s[starter - 1]) != 0) --starter;
            bool blocked = starter == 0;
            if (!blocked) --starter;  // the starter itself
            for (std::size_t b = starter + 1; b < i && !blocked; ++b)
                blocked = ccc(s[b]) == 0 || ccc(s[b]) >= ccc(s[i]);
            const char32_t c = blocked ? 0 : composite(s[starter], s[i]);
            if (c == 0) {
                ++i;
                continue;
            }
            s[starter] = c;
            s.erase(s.begin() + std::ptrdiff_t(i));
        }
    }

    std::map<char32_t, int> ccc_;
    std::map<char32_t, Mapping> decomposition_;
    std::map<std::pair<char32_t, char32_t>, char32_t> composite_;
};

// Whether the start `normalized_prefix` passes is in the form, tells whether the whole text is,
// and completes the form of the whole (`expected`) with the rest normalized alone.
bool prefix_holds(NormalizationForm m, const std::string& text, const std::string& expected) {
    const std::size_t kept = normalized_prefix(m, text);
    const std::string start = text.substr(0, kept);
    return (kept == text.size()) == (expected == text) && norm(m, start) == start &&
           start + norm(m, text.substr(kept)) == expected;
}

}  // namespace

TEST_CASE("normalization", "random strings agree with a textbook normalizer") {
    const ReferenceNormalizer reference;
    // Starters, marks and composites that exercise boundaries, blocking and exclusions, and
    // two-byte characters whose decompositions are written whole.
    const std::vector<char32_t> tricky = {
        'a', 'e', 'o', 'A', ' ', 0x00E9, 0x0300, 0x0301, 0x0308, 0x0316, 0x031B, 0x0323, 0x0327,
        0x0345, 0x0340, 0x0344, 0x0958, 0x093C, 0x0F71, 0x0F72, 0x0F73, 0x0F81, 0x1E0A, 0x1E0C,
        0x1E9B, 0x1EC7, 0x01D5, 0x212B, 0x2126, 0x1100, 0x1161, 0x11A8, 0xAC00, 0xAC01, 0xD4DB,
        0x3131, 0x0B47, 0x0B3E, 0x0B57, 0x0DD9, 0x0DCF, 0x0DCA, 0x1138B, 0x113C2, 0x113C5,
        0x113B8, 0x11099, 0x110BA, 0x304B, 0x3099, 0xFDFA, 0xFB01, 0x00BD, 0x2044, 0xF900,
        0x1D15E, 0x1D165, 0x4E2D, 0x0390, 0x0419, 0x01C4, 0x0149, 0x00A0};
    const std::vector<char32_t> wide = reference.interesting();
    const std::vector<char32_t> marks = reference.marks();
    std::mt19937 rng(20240430);
    for (int iteration = 0; iteration < 20000; ++iteration) {
        // Mostly short strings; every tenth a long one, mostly marks, so that runs of marks
        // outgrow the insertion sort.
        const bool long_run = iteration % 10 == 0;
        std::vector<char32_t> cps(1 + rng() % (long_run ? 48 : 12));
        for (char32_t& c : cps) {
            if (long_run && rng() % 8) c = marks[rng() % marks.size()];
            else c = rng() % 3 ? tricky[rng() % tricky.size()] : wide[rng() % wide.size()];
        }
        const std::string text = from_code_points(cps);
        for (NormalizationForm m : kForms) {
            const std::string expected = from_code_points(reference.normalize(m, cps));
            const std::string got = norm(m, text);
            const bool prefix_ok = prefix_holds(m, text, expected);
            if (got != expected || is_normalized(m, text) != (expected == text) || !prefix_ok) {
                const std::string what = std::string(kFormNames[int(m)]) + " of " + harness::show(text);
                CHECK_EQ_MSG(got, expected, what);
                CHECK_EQ_MSG(is_normalized(m, text), expected == text, "is_normalized " + what);
                CHECK_EQ_MSG(prefix_ok, true, "normalized_prefix " + what);
                return;
            }
        }
    }
}

TEST_CASE("normalization", "prose with a few characters of other kinds anywhere in its blocks of 32 bytes") {
    const ReferenceNormalizer reference;
    // Punctuation that passes or stops each form (curly quotes, a dash, odd spaces, the ellipsis,
    // the Ohm and Angstrom signs), marks that join the letter before them, letters, a CJK
    // ideograph, Hangul, emoji and their joiners.
    const std::vector<char32_t> few = {0x2019, 0x201C, 0x2014, 0x2026, 0x202F, 0x2000, 0x2126, 0x212B,
                                       0x2764, 0xFE0F, 0x200D, 0x00A0, 0x00E9, 0x0142, 0x0301, 0x0308,
                                       0x3099, 0x0416, 0x4E2D, 0xAC00, 0x1161, 0x1F468, 0x1F3FD};
    std::mt19937 rng(20261208);
    for (int iteration = 0; iteration < 4000; ++iteration) {
        std::vector<char32_t> cps(rng() % 100);
        for (char32_t& c : cps) c = rng() % 6 ? U'a' + rng() % 26 : U' ';
        for (unsigned k = rng() % 10; k > 0; --k)
            cps.insert(cps.begin() + std::ptrdiff_t(rng() % (cps.size() + 1)), few[rng() % few.size()]);
        const std::string text = from_code_points(cps);
        for (NormalizationForm m : kForms) {
            if (prefix_holds(m, text, from_code_points(reference.normalize(m, cps)))) continue;
            CHECK_EQ_MSG(false, true, "normalized_prefix " + std::string(kFormNames[int(m)]) + " of " + harness::show(text));
            return;
        }
    }
}

TEST_CASE("normalization", "any letter of a block-passed range or a mark at every offset of a stretch") {
    const ReferenceNormalizer reference;
    // Stretches passed by the block, after a start that leaves the scan to the main loop
    // (ASCII) or to the run after a directly written region (a Hangul syllable, an accented
    // letter); the starts' lengths shift the block offsets. Basic Cyrillic with CJK (passed by
    // the next byte under the decomposing forms), and Latin Extended-A with Hangul syllables
    // under a lead that also holds compatibility letters (passed by the next byte, and by blocks
    // of 64, under NFKC).
    struct Stretch {
        std::vector<char32_t> text;
        char32_t first, last;  // every one of these inserted
    };
    const std::vector<Stretch> stretches = {
        {{0x043F, 0x0440, 0x0438, 0x0432, 0x0435, 0x0442, ' ', 0x4E2D, 0x6587, ' ', 0x0416, 0x0438, 0x0437, 0x043D,
          0x044C, 0x4EBA, 0x0434, 0x043E, 0x0440, 0x043E, 0x0433, 0x0430, 0x044F},
         0x0400, 0x047F},
        {{'z', 0x00F3, 0x0142, 0x0107, ' ', 0x0159, 0x0065, 0x006B, 0x0061, ' ', 0xAD6D, 0xD55C, ' ', 0x017C, 0x00F3,
          0x0142, 0x0074, 0x0079, ' ', 0x0161, 0x0165, 0x0151},
         0x0100, 0x017F},
    };
    std::vector<char32_t> inserted = {0x0301, 0x0306, 0x0308, 0x3099, 0x1161, 0xAC00, 0x00E9, 0x0587, 0xA770, 0xAB5C};
    for (const Stretch& stretch : stretches) {
        std::vector<char32_t> xs = inserted;
        for (char32_t c = stretch.first; c <= stretch.last; ++c) xs.push_back(c);
        for (const char32_t start : {char32_t('a'), char32_t(0xD55C), char32_t(0x00E9)}) {
            for (const char32_t x : xs) {
                for (std::size_t at = 0; at <= stretch.text.size(); ++at) {
                    std::vector<char32_t> cps = {start};
                    cps.insert(cps.end(), stretch.text.begin(), stretch.text.begin() + std::ptrdiff_t(at));
                    cps.push_back(x);
                    cps.insert(cps.end(), stretch.text.begin() + std::ptrdiff_t(at), stretch.text.end());
                    const std::string text = from_code_points(cps);
                    for (NormalizationForm m : kForms) {
                        const std::string expected = from_code_points(reference.normalize(m, cps));
                        if (norm(m, text) == expected && is_normalized(m, text) == (expected == text)) continue;
                        const std::string what = std::string(kFormNames[int(m)]) + " of " + harness::show(text);
                        CHECK_EQ_MSG(norm(m, text), expected, what);
                        CHECK_EQ_MSG(is_normalized(m, text), expected == text, "is_normalized " + what);
                        return;
                    }
                }
            }
        }
    }
}
