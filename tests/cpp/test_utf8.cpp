#include <string>

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

TEST_CASE("utf8", "validation rejects malformed sequences") {
    CHECK(!utf8::is_valid("\xC0\x80"));          // overlong
    CHECK(!utf8::is_valid("\xED\xA0\x80"));      // surrogate
    CHECK(!utf8::is_valid("\xF4\x90\x80\x80"));  // above U+10FFFF
    CHECK(!utf8::is_valid("\xE2\x82"));          // truncated
    CHECK(!utf8::is_valid("\x80"));              // lone continuation
    CHECK(utf8::is_valid("caf\xC3\xA9 \xF0\x9F\x98\x80"));
}
