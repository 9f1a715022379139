// The repr escape table against the Unicode 17.0 files.
#include <string>
#include <vector>

#include "../../python/src/generated/repr_escape_data.inc"
#include "harness.hpp"
#include "ucd_reader.hpp"

using scrubix::py::repr_must_escape;

TEST_CASE("repr_table", "published examples") {
    for (char32_t c : {0x0301, 0x00A0, 0x200D, 0x200C, 0x0085, 0x2028, 0xFEFF, 0xE000, 0xD800, 0x0378})
        CHECK_EQ_MSG(repr_must_escape(c), true, harness::show(c));
    for (char32_t c : {U'\u00E9', U'\'', U' ', U'a', U'~', U'\U0001F600'})
        CHECK_EQ_MSG(repr_must_escape(c), false, harness::show(c));
    // Unicode 17.0 data, not the engine's 16.0: U+088F, a letter new in 17.0, prints as
    // itself; U+1ACF, a combining mark new in 17.0, is escaped.
    CHECK(!repr_must_escape(0x088F));
    CHECK(repr_must_escape(0x1ACF));
    CHECK(repr_must_escape(0x110000));
}

TEST_CASE("repr_table", "every code point follows UCD 17.0 categories and Grapheme_Extend") {
    const auto categories =
        ucd_reader::general_categories(harness::require_data("unicode/17.0.0/UnicodeData.txt"));
    const auto extend = ucd_reader::property_set(
        harness::require_data("unicode/17.0.0/DerivedCoreProperties.txt"), "Grapheme_Extend");
    const std::vector<std::string> unprintable = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"};
    std::size_t escaped = 0;
    for (char32_t c = 0; c < ucd_reader::kCodeSpaceEnd; ++c) {
        bool expected = extend[c];
        for (const auto& gc : unprintable) expected |= categories[c] == gc;
        expected &= c != U' ';
        escaped += expected;
        CHECK_EQ_MSG(repr_must_escape(c), expected, harness::show(c) + " " + categories[c]);
    }
    CHECK(escaped > 0);
}
