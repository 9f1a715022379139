// Extended grapheme clusters: the Unicode conformance files, an oracle that reads each UAX #29
// rule straight off the UCD properties (compared on every code point and on random text),
// and regression cases.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "harness.hpp"
#include "ucd_reader.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using unicode::next_cluster_end;

namespace {

// The properties segmentation reads, per code point, parsed here independently of the generator.
enum Gcb : std::uint8_t { Other, CR, LF, Control, Extend, ZWJ, RI, Prepend, SpacingMark, L, V, T, LV, LVT };
enum Incb : std::uint8_t { NoIncb, Linker, Consonant, IncbExtend };
struct CharProps {
    Gcb gcb = Other;
    bool pict = false;
    Incb incb = NoIncb;
    int key() const { return gcb | pict << 4 | incb << 5; }
};

const std::vector<CharProps>& ucd_props() {
    static const std::vector<CharProps> props = [] {
        std::vector<CharProps> p(ucd_reader::kCodeSpaceEnd);
        const std::vector<std::string_view> gcb_names = {"Other", "CR", "LF", "Control", "Extend", "ZWJ",
            "Regional_Indicator", "Prepend", "SpacingMark", "L", "V", "T", "LV", "LVT"};
        ucd_reader::for_each_range(ucd_reader::ucd_file("GraphemeBreakProperty.txt"), [&](char32_t lo, char32_t hi, auto& f) {
            const auto g = Gcb(std::find(gcb_names.begin(), gcb_names.end(), f[1]) - gcb_names.begin());
            for (char32_t c = lo; c <= hi; ++c) p[c].gcb = g;
        });
        const std::vector<bool> pict = ucd_reader::property_set(ucd_reader::ucd_file("emoji-data.txt"), "Extended_Pictographic");
        ucd_reader::for_each_range(ucd_reader::ucd_file("DerivedCoreProperties.txt"), [&](char32_t lo, char32_t hi, auto& f) {
            if (f[1] != "InCB") return;
            const Incb v = f[2] == "Linker" ? Linker : f[2] == "Consonant" ? Consonant : IncbExtend;
            for (char32_t c = lo; c <= hi; ++c) p[c].incb = v;
        });
        for (char32_t c = 0; c < ucd_reader::kCodeSpaceEnd; ++c) p[c].pict = pict[c];
        return p;
    }();
    return props;
}

// Whether UAX #29 puts a boundary between cps[k-1] and cps[k], each rule read off the standard
// and looking back as far as it needs (not only to a cluster start).
bool oracle_breaks(const std::vector<CharProps>& P, const char32_t* cps, std::size_t k) {
    const CharProps a = P[cps[k - 1]], b = P[cps[k]];
    const auto control = [](Gcb g) { return g == CR || g == LF || g == Control; };
    if (a.gcb == CR && b.gcb == LF) return false;
    if (control(a.gcb) || control(b.gcb)) return true;
    if (a.gcb == L && (b.gcb == L || b.gcb == V || b.gcb == LV || b.gcb == LVT)) return false;
    if ((a.gcb == LV || a.gcb == V) && (b.gcb == V || b.gcb == T)) return false;
    if ((a.gcb == LVT || a.gcb == T) && b.gcb == T) return false;
    if (b.gcb == Extend || b.gcb == ZWJ || b.gcb == SpacingMark || a.gcb == Prepend) return false;
    std::size_t j = k;
    if (b.incb == Consonant) {
        bool linker = false;
        for (; j > 0 && (P[cps[j - 1]].incb == IncbExtend || P[cps[j - 1]].incb == Linker); --j)
            linker = linker || P[cps[j - 1]].incb == Linker;
        if (linker && j > 0 && P[cps[j - 1]].incb == Consonant) return false;
    }
    if (b.pict && a.gcb == ZWJ) {
        for (j = k - 1; j > 0 && P[cps[j - 1]].gcb == Extend;) --j;
        if (j > 0 && P[cps[j - 1]].pict) return false;
    }
    if (a.gcb == RI && b.gcb == RI) {
        for (j = k; j > 0 && P[cps[j - 1]].gcb == RI;) --j;
        if ((k - j) % 2 == 1) return false;
    }
    return true;
}

// Encodes a code-point sequence and runs the engine over it, reusing its buffers.
struct Segmentation {
    std::string text;
    std::vector<std::size_t> offsets;  // byte offset of each code point, then text.size()
    std::vector<std::size_t> ends;     // cluster ends found by next_cluster_end

    void run(const char32_t* cps, std::size_t n) {
        text.clear();
        offsets.clear();
        for (std::size_t i = 0; i < n; ++i) {
            offsets.push_back(text.size());
            utf8::append(text, cps[i]);
        }
        offsets.push_back(text.size());
        ends.clear();
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t end = next_cluster_end(text, pos);
            ends.push_back(end);
            if (end <= pos || end > text.size()) break;  // would loop or overrun: reported by the caller
            pos = end;
        }
    }

    // Whether the engine's ends are exactly the boundaries the oracle finds.
    bool matches_oracle(const std::vector<CharProps>& P, const char32_t* cps, std::size_t n) {
        run(cps, n);
        std::size_t e = 0;
        for (std::size_t k = 1; k < n; ++k)
            if (oracle_breaks(P, cps, k) && (e >= ends.size() || ends[e++] != offsets[k])) return false;
        return e + 1 == ends.size() && ends[e] == text.size();
    }
    bool matches_oracle(const std::vector<CharProps>& P, std::initializer_list<char32_t> cps) {
        return matches_oracle(P, cps.begin(), cps.size());
    }
};

std::string hex_list(const char32_t* cps, std::size_t n) {
    std::string s;
    char buf[16];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%s%04X", i ? " " : "", unsigned(cps[i]));
        s += buf;
    }
    return s;
}

std::vector<std::size_t> cluster_ends(std::string_view text) {
    std::vector<std::size_t> ends;
    for (std::size_t pos = 0; pos < text.size(); pos = ends.back()) {
        ends.push_back(next_cluster_end(text, pos));
        if (ends.back() <= pos) break;  // no progress: shows up as a wrong list
    }
    return ends;
}

}  // namespace

TEST_CASE("grapheme", "GraphemeBreakTest.txt: engine and oracle give every listed boundary") {
    const auto path = ucd_reader::ucd_file("GraphemeBreakTest.txt");
    const auto& P = ucd_props();
    std::ifstream in(path);
    std::string line;
    int line_no = 0, cases = 0;
    Segmentation seg;
    while (std::getline(in, line)) {
        ++line_no;
        line.erase(std::min(line.find('#'), line.size()));
        std::vector<char32_t> cps;
        std::vector<bool> break_before;  // for cps[1..]
        std::size_t start = 0;
        while ((start = line.find_first_not_of(" \t", start)) != std::string::npos) {
            const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
            const std::string tok = line.substr(start, end - start);
            start = end;
            if (tok == "\xC3\xB7" || tok == "\xC3\x97") {  // ÷ and ×
                if (!cps.empty()) break_before.push_back(tok == "\xC3\xB7");
            } else {
                cps.push_back(char32_t(std::stoul(tok, nullptr, 16)));
            }
        }
        if (cps.empty()) continue;
        ++cases;
        seg.run(cps.data(), cps.size());
        std::vector<std::size_t> expected;
        for (std::size_t k = 1; k <= cps.size(); ++k)
            if (break_before[k - 1]) expected.push_back(seg.offsets[k]);
        CHECK_EQ_MSG(seg.ends == expected, true, "engine, line " + std::to_string(line_no) + ": " + line);
        bool oracle_ok = true;
        for (std::size_t k = 1; k < cps.size(); ++k)
            oracle_ok = oracle_ok && oracle_breaks(P, cps.data(), k) == break_before[k - 1];
        CHECK_EQ_MSG(oracle_ok, true, "oracle, line " + std::to_string(line_no) + ": " + line);
    }
    CHECK(cases > 1000);
}

TEST_CASE("grapheme", "emoji-test.txt: every sequence of every status is one cluster") {
    const auto path = ucd_reader::ucd_file("emoji-test.txt");
    int sequences = 0;
    ucd_reader::for_each_record(path, [&](const std::vector<std::string_view>& f) {
        std::string seq;
        for (std::string_view hex : ucd_reader::split(f[0], ' ')) utf8::append(seq, ucd_reader::parse_hex(hex));
        ++sequences;
        // Nothing may leak into the neighbours either (LF breaks before any character).
        const std::string framed = "\n" + seq + "x";
        const std::vector<std::size_t> expected = {1, 1 + seq.size(), framed.size()};
        CHECK_EQ_MSG(cluster_ends(framed) == expected, true, std::string(f[0]) + " (" + std::string(f[1]) + ")");
    });
    CHECK(sequences > 4000);
}

TEST_CASE("grapheme", "every code point segments in context as its UCD properties say") {
    const auto& P = ucd_props();
    // One character of each Grapheme_Cluster_Break value, as neighbour on either side.
    const char32_t neighbours[] = {'a', '\r', '\n', 0x0001, 0x0300, 0x200D, 0x1F1E6,
                                   0x0600, 0x0903, 0x1100, 0x1160, 0x11A8, 0xAC00, 0xAC01};
    constexpr char32_t ka = 0x0915, virama = 0x094D, nukta = 0x093C, face = 0x1F600, zwj = 0x200D;
    Segmentation seg;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        bool ok = true;
        for (char32_t n : neighbours) ok = ok && seg.matches_oracle(P, {n, c}) && seg.matches_oracle(P, {c, n});
        // The longer rules: c as conjunct consonant, linker or extender (GB9c), as pictograph
        // after a joiner (GB11).
        ok = ok && seg.matches_oracle(P, {ka, virama, c}) && seg.matches_oracle(P, {c, virama, ka}) &&
             seg.matches_oracle(P, {ka, c, ka}) && seg.matches_oracle(P, {ka, nukta, c, virama, ka}) &&
             seg.matches_oracle(P, {face, zwj, c}) && seg.matches_oracle(P, {face, c, zwj, face});
        CHECK_EQ_MSG(ok, true, "segmentation around U+" + hex_list(&c, 1) + " agrees with the oracle");
    }
}

TEST_CASE("grapheme", "random text: clusters concatenate back and match the oracle") {
    const auto& P = ucd_props();
    // A few characters of every property combination that occurs, plus plain ASCII.
    std::vector<char32_t> pool = {'a', 'Z', ' ', '\r', '\n', '\t'};
    std::vector<int> taken(128, 0);
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c)
        if ((c < 0xD800 || c > 0xDFFF) && taken[P[c].key()]++ < 3) pool.push_back(c);
    std::mt19937 rng(29);
    std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1), length(1, 16);
    Segmentation seg;
    std::vector<char32_t> cps;
    for (int round = 0; round < 50000; ++round) {
        cps.resize(length(rng));
        for (auto& c : cps) c = pool[pick(rng)];
        const bool same = seg.matches_oracle(P, cps.data(), cps.size());
        CHECK_EQ_MSG(same, true, hex_list(cps.data(), cps.size()));
        std::string joined;
        unicode::Clusters clusters(seg.text);
        for (std::string_view cluster; clusters.next(cluster);) {
            CHECK(!cluster.empty());
            joined += cluster;
        }
        CHECK_EQ(joined, seg.text);
    }
}

TEST_CASE("grapheme", "line breaks: CR LF is one cluster, every other control stands alone") {
    CHECK(cluster_ends("\r\n") == std::vector<std::size_t>{2});
    CHECK(cluster_ends("\r\r\n\n\r") == (std::vector<std::size_t>{1, 3, 4, 5}));
    CHECK(cluster_ends("a\r\nb") == (std::vector<std::size_t>{1, 3, 4}));
    CHECK(cluster_ends("\r\xCC\x81") == (std::vector<std::size_t>{1, 3}));      // CR, U+0301
    CHECK(cluster_ends("\xD8\x80\n") == (std::vector<std::size_t>{2, 3}));      // U+0600 prepend, LF
    CHECK(cluster_ends("e\xCC\x81\r\n") == (std::vector<std::size_t>{3, 5}));  // e + U+0301
}

TEST_CASE("grapheme", "regional indicators pair up from the start of each run") {
    std::string flags;
    for (int i = 0; i < 7; ++i) utf8::append(flags, 0x1F1E6 + i);  // 4 bytes each
    CHECK(cluster_ends(flags) == (std::vector<std::size_t>{8, 16, 24, 28}));
    CHECK(cluster_ends("a" + flags) == (std::vector<std::size_t>{1, 9, 17, 25, 29}));
    // A prepended character joins the first pair; the pairing is unchanged.
    CHECK(cluster_ends("\xD8\x80" + flags.substr(0, 12)) == (std::vector<std::size_t>{10, 14}));
}

TEST_CASE("grapheme", "long clusters are one cluster and scanned in linear time") {
    std::string family;  // woman ZWJ woman ZWJ girl ZWJ boy, chained 5000 times by ZWJs
    for (int i = 0; i < 5000; ++i)
        for (char32_t c : {0x1F469, 0x200D, 0x1F469, 0x200D, 0x1F467, 0x200D, 0x1F466, 0x200D}) utf8::append(family, c);
    family.resize(family.size() - 3);  // no trailing ZWJ
    CHECK(cluster_ends(family + "x") == (std::vector<std::size_t>{family.size(), family.size() + 1}));

    std::string marks = "a";
    for (int i = 0; i < 1000000; ++i) marks += "\xCC\x81";  // U+0301
    const auto start = std::chrono::steady_clock::now();
    CHECK(cluster_ends(marks) == std::vector<std::size_t>{marks.size()});
    CHECK(cluster_ends(marks.substr(1)) == std::vector<std::size_t>{marks.size() - 1});  // no base
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CHECK(seconds < 2.0);  // linear: milliseconds; quadratic would be hours

    std::string conjunct = "\xE0\xA4\x95";  // KA, then (virama KA) 100k times
    for (int i = 0; i < 100000; ++i) conjunct += "\xE0\xA5\x8D\xE0\xA4\x95";
    CHECK(cluster_ends(conjunct) == std::vector<std::size_t>{conjunct.size()});
}

TEST_CASE("grapheme", "a truncated sequence at the end is never read past") {
    const std::string buffer = "a\xCC\x81\xE0\xA4\x95";
    for (std::size_t n = 1; n <= buffer.size(); ++n) {
        const std::string_view text(buffer.data(), n);
        for (std::size_t pos = 0; pos < n;) {
            const std::size_t end = next_cluster_end(text, pos);
            CHECK(end > pos && end <= n);
            if (end <= pos || end > n) break;
            pos = end;
        }
    }
}
