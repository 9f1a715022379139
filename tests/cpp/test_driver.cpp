// The driver: empty text, the ASCII fast path, the normalization stage and its protections.
#include "engine_check.hpp"

using namespace scrubix;
using engine_check::nothing_on;

TEST_CASE("driver", "empty text is returned untouched under every preset") {
    for (const Options& o : {Options{}, minimal_preset(), balanced_preset(), humanize_preset(),
                             aggressive_preset(), code_safe_preset()}) {
        const auto r = clean("", o);
        CHECK(r.unchanged);
        CHECK_EQ(r.changes_made, 0u);
        CHECK(r.stats == CleaningStats{});
    }
}

TEST_CASE("driver", "ascii fast path under light options builds no string") {
    Options o = nothing_on();
    o.remove_hidden = o.normalize_spaces = o.normalize_quotes = true;
    const std::string text = "tabs\tand CR LF\r\n trailing   \n\x01 control";
    auto r = clean(text, o);
    CHECK(r.unchanged);
    CHECK_EQ(r.changes_made, 0u);
    // Keyboard-only with a control character other than TAB/LF/CR needs the full pass.
    o.keyboard_only = true;
    r = clean(text, o);
    CHECK(!r.unchanged);
    CHECK_EQ(r.stats.non_keyboard_removed, 1u);
    // Keyboard-only with only keyboard characters still takes the fast path.
    r = clean("plain\ttext\r\n", o);
    CHECK(r.unchanged);
}

TEST_CASE("driver", "any option acting on ASCII disables the fast path") {
    for (int which = 0; which < 5; ++which) {
        Options o = nothing_on();
        if (which == 0) o.remove_trailing_whitespace = true;
        if (which == 1) o.collapse_whitespace = true;
        if (which == 2) o.line_endings = LineEndingStyle::Lf;
        if (which == 3) o.remove_control_chars = true;
        if (which == 4) o.unicode_normalization = NormalizationMode::NFC;
        const auto r = clean("abc", o);
        CHECK(!r.unchanged);
        CHECK_EQ(r.text, std::string("abc"));
        CHECK_EQ(r.changes_made, 0u);
    }
}

TEST_CASE("driver", "normalization is counted once per call") {
    Options o = nothing_on();
    o.unicode_normalization = NormalizationMode::NFC;
    CHECK_CLEAN("caf\u00E9 na\u00EFve", o, "caf\u00E9 na\u00EFve");
    o.unicode_normalization = NormalizationMode::NFD;
    CHECK_CLEAN("caf\u00E9 na\u00EFve", o, "cafe\u0301 nai\u0308ve", {"unicode_normalized", 1});
    o.unicode_normalization = NormalizationMode::NFKC;
    CHECK_CLEAN("\uFB01 \u2460", o, "fi 1", {"unicode_normalized", 1});
}

TEST_CASE("driver", "keyboard-only protects whole symbols from normalization") {
    Options o = nothing_on();
    o.keyboard_only = true;
    o.unicode_normalization = NormalizationMode::NFKD;
    // Transliterate: U+2260 reaches the pass whole and is spelled as a whole.
    CHECK_CLEAN("a\u2260b", o, "a!=b", {"non_keyboard_transliterated", 1});
    // Without keyboard-only NFKD splits it into "=" and U+0338.
    Options plain = nothing_on();
    plain.unicode_normalization = NormalizationMode::NFKD;
    CHECK_CLEAN("\u2260", plain, "=\u0338", {"unicode_normalized", 1});
    // U+2126 has a symbol spelling ("ohm"); NFKD would make it Greek Omega.
    CHECK_CLEAN("5\u2126", o, "5ohm", {"non_keyboard_transliterated", 1});
    // Fold protects the negated relations: split by NFD, U+2260 would count the normalization
    // and then the negation by U+0338, two changes for one.
    o.non_ascii_policy = NonAsciiPolicy::Fold;
    o.unicode_normalization = NormalizationMode::NFD;
    CHECK_CLEAN("a\u2260b", o, "a!=b", {"non_keyboard_transliterated", 1});
    // Negations are kept whole under every policy; under drop nothing else is.
    o.non_ascii_policy = NonAsciiPolicy::Drop;
    CHECK_CLEAN("a\u2260b", o, "ab", {"non_keyboard_removed", 1});
    CHECK_CLEAN("5\u2126", o, "5", {"unicode_normalized", 1}, {"non_keyboard_removed", 1});
}

TEST_CASE("driver", "the road of one call") {
    // Café — “hi”  with the default options.
    CHECK_CLEAN("Caf\u00E9 \u2014 \u201Chi\u201D  ", Options{}, "Cafe - \"hi\"",
                {"non_keyboard_transliterated", 1}, {"dashes_normalized", 1},
                {"quotes_normalized", 2}, {"trailing_whitespace_removed", 2});
}
