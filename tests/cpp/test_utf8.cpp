#include <iterator>
#include <random>
#include <string>
#include <string_view>

#include "harness.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;

TEST_CASE("utf8", "encode and decode round trip every scalar value") {
    std::string buf;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        buf.clear();
        utf8::append(buf, c);
        std::size_t i = 0;
        if (utf8::decode(buf, i) != c || i != buf.size() || !utf8::is_valid(buf)) {
            CHECK_EQ(c, char32_t(0xFFFFFFFF));
            break;
        }
    }
}

TEST_CASE("utf8", "ascii scan sees a high byte at every offset and block size") {
    for (std::size_t len : {1u, 7u, 8u, 63u, 64u, 65u, 200u}) {
        std::string s(len, 'a');
        CHECK(utf8::is_ascii(s));
        for (std::size_t k = 0; k < len; ++k) {
            s[k] = char(0x80);
            CHECK(!utf8::is_ascii(s));
            s[k] = 'a';
        }
    }
    CHECK(utf8::is_ascii(""));
}

TEST_CASE("utf8", "skip_below stops where a byte-by-byte scan stops, from every start") {
    for (unsigned char limit : {0x80, 0xC2}) {
        for (std::size_t len = 0; len <= 40; ++len) {
            for (std::size_t high = 0; high <= len; ++high) {
                std::string s(len, 'a');
                if (high < len) s[high] = char(limit + (high & 1));
                if (len > 3) s[1] = char(0xBF);  // a continuation byte: below 0xC2, not below 0x80
                for (std::size_t from = 0; from <= len; ++from) {
                    std::size_t expected = from;
                    while (expected < len && static_cast<unsigned char>(s[expected]) < limit) ++expected;
                    CHECK_EQ(utf8::skip_below(s.data(), from, len, limit), expected);
                }
            }
        }
    }
}

TEST_CASE("utf8", "validation rejects malformed sequences") {
    CHECK(!utf8::is_valid("\xC0\x80"));          // overlong
    CHECK(!utf8::is_valid("\xED\xA0\x80"));      // surrogate
    CHECK(!utf8::is_valid("\xF4\x90\x80\x80"));  // above U+10FFFF
    CHECK(!utf8::is_valid("\xE2\x82"));          // truncated
    CHECK(!utf8::is_valid("\x80"));              // lone continuation
    CHECK(utf8::is_valid("caf\xC3\xA9 \xF0\x9F\x98\x80"));
}

namespace {
constexpr utf8::Validation kWays[] = {utf8::Validation::Portable, utf8::Validation::Shuffle32};

// Well-formedness read from the scalar value each sequence spells: the definition, one step at
// a time, with nothing skipped.
bool valid_by_value(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char b = p[i];
        const std::size_t len = b < 0x80 ? 1 : b >= 0xC0 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3
                                : b >= 0xF0 && b < 0xF8 ? 4 : 0;
        if (len == 0 || s.size() - i < len) return false;
        char32_t c = len == 1 ? b : b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            c = c << 6 | (p[i + k] & 0x3F);
        }
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kLeast[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}
}  // namespace

TEST_CASE("utf8", "validation agrees with the scalar values on every edge byte, at every scan position") {
    // The byte values where a range of a lead or a following byte starts or ends.
    constexpr unsigned char kEdges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                        0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
    std::size_t disagreements = 0;
    std::string s;
    // Runs of ASCII before the sequence put it inside and at the end of an 8-, 16- and 32-byte step.
    for (std::size_t pad : {0u, 7u, 15u, 16u, 17u, 29u, 31u}) {
        for (std::size_t len = 1; len <= 4; ++len) {
            std::size_t combos = 1;
            for (std::size_t k = 0; k < len; ++k) combos *= std::size(kEdges);
            for (std::size_t combo = 0; combo < combos; ++combo) {
                s.assign(pad, 'a');
                for (std::size_t k = 0, rest = combo; k < len; ++k, rest /= std::size(kEdges))
                    s.push_back(char(kEdges[rest % std::size(kEdges)]));
                for (const std::size_t tail : {0u, 1u, 20u}) {
                    s.append(tail, 'b');
                    const bool valid = valid_by_value(s);
                    for (const auto way : kWays) disagreements += utf8::is_valid(s, way) != valid;
                    s.resize(s.size() - tail);
                }
            }
        }
    }
    CHECK_EQ(disagreements, std::size_t(0));
}

TEST_CASE("utf8", "validation agrees with the scalar values on generated texts, cut and broken anywhere") {
    // Sequences of every length and edge, and the ill-formed ones, put together at random, then
    // cut at every length: truncations land at every offset of the sixteen-byte steps.
    const std::string pieces[] = {"a", "abcdefghijklmnopq", "\x7F", "\xC2\x80", "\xDF\xBF", "\xE0\xA0\x80",
                                  "\xED\x9F\xBF", "\xEE\x80\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80",
                                  "\xF4\x8F\xBF\xBF", "\xC0\xAF", "\xC1\xBF", "\xE0\x9F\xBF",
                                  "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                                  "\xF8\x88\x80\x80\x80", "\xFF", "\x80", "\xBF\xBF", "\xE2\x80", "\xF0\x9F\x98"};
    std::mt19937 rng(7);
    std::size_t disagreements = 0, invalid = 0, checked = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        std::string s;
        const bool broken = trial % 4 == 0;
        for (int k = int(rng() % 12); k >= 0; --k) s += pieces[broken ? rng() % std::size(pieces) : rng() % 11];
        for (std::size_t len = 0; len <= s.size(); ++len) {
            const std::string_view cut(s.data(), len);
            const bool valid = valid_by_value(cut);
            invalid += !valid;
            ++checked;
            for (const auto way : kWays) disagreements += utf8::is_valid(cut, way) != valid;
        }
    }
    CHECK_EQ(disagreements, std::size_t(0));
    CHECK(invalid > checked / 4 && invalid < checked * 3 / 4);  // both answers well represented
}
