// The character rules of the pass, one rule at a time and in combination.
#include "engine_check.hpp"

using namespace scrubix;
using engine_check::nothing_on;

TEST_CASE("character_rules", "with nothing on any text is copied byte for byte") {
    const Options o = nothing_on();
    const std::string text = "x\u200By \u00A0\u2014\u201C\u2026\x01\u0085\u2028 \r\n\U0001F600\U0001F468\u200D\U0001F469  ";
    CHECK_CLEAN(text, o, text);
}

TEST_CASE("character_rules", "spaces, dashes, quotes and other symbols") {
    Options o = nothing_on();
    o.normalize_spaces = true;
    CHECK_CLEAN("a\u00A0b", o, "a b", {"spaces_normalized", 1});
    o.collapse_whitespace = true;
    CHECK_CLEAN("a\u00A0b", o, "a b", {"spaces_normalized", 1});
    CHECK_CLEAN("a\u2028b", o, "a\nb", {"spaces_normalized", 1});
    o = nothing_on();
    o.normalize_dashes = true;
    CHECK_CLEAN("a\u2013b\u2212c", o, "a-b-c", {"dashes_normalized", 2});
    CHECK_CLEAN("soft\u00ADhyphen", o, "soft\u00ADhyphen");
    o = nothing_on();
    o.normalize_quotes = true;
    CHECK_CLEAN("\u2018quoted\u2019", o, "'quoted'", {"quotes_normalized", 2});
    CHECK_CLEAN("\uFF02\uFF07\u2033\u2034", o, "''\"'", {"quotes_normalized", 4});
    // U+0149 is a letter after an apostrophe: the apostrophe is normalized, the n is kept,
    // alone, inside a cluster, and in keyboard-only output (where the fold spells U+02BC).
    CHECK_CLEAN("\u0149 \u0149\u0301", o, "'n 'n\u0301", {"quotes_normalized", 2});
    CHECK_CLEAN("\u0149", Options{}, "'n", {"quotes_normalized", 1});
    o.normalize_quotes = false;
    o.keyboard_only = true;
    CHECK_CLEAN("\u0149", o, "'n", {"non_keyboard_transliterated", 1});
    o = nothing_on();
    o.normalize_other = true;
    CHECK_CLEAN("wait\u2026", o, "wait...", {"other_normalized", 1});
    CHECK_CLEAN("\u2044", o, "/", {"other_normalized", 1});
    CHECK_CLEAN("\u22EF", o, "...", {"other_normalized", 1});
    // The ellipsis ends its cluster: a following mark is discarded uncounted.
    CHECK_CLEAN("\u2026\u0301x", o, "...x", {"other_normalized", 1});
}

TEST_CASE("character_rules", "hidden characters and joiners") {
    Options o = nothing_on();
    o.remove_hidden = true;
    CHECK_CLEAN("x\u200By", o, "xy", {"hidden_chars_removed", 1});
    CHECK_CLEAN("a\u200Db", o, "ab", {"hidden_chars_removed", 1});
    CHECK_CLEAN("\uFEFFbom\u2060\U000E0001", o, "bom", {"hidden_chars_removed", 3});
    // Marks on both sides of a removed joiner stay, in order, in the one cluster.
    CHECK_CLEAN("e\u0301\u200D\u0302\u0303\u200Dx", o, "e\u0301\u0302\u0303x", {"hidden_chars_removed", 2});
    // Inside an emoji cluster the selector survives.
    CHECK_CLEAN("\u2764\uFE0F", o, "\u2764\uFE0F");
    CHECK_CLEAN("\U0001F468\u200D\U0001F469", o, "\U0001F468\u200D\U0001F469");
    o.preserve_joiners = true;
    CHECK_CLEAN("a\u200Db\u200Cc\u200Bd", o, "a\u200Db\u200Ccd", {"hidden_chars_removed", 1});
}

TEST_CASE("character_rules", "control characters") {
    Options o = nothing_on();
    o.remove_control_chars = true;
    CHECK_CLEAN("a\x01" "b\x7F\u0085\u009Fc", o, "abc", {"control_chars_removed", 4});
    CHECK_CLEAN(std::string("a\0b", 3), o, "ab", {"control_chars_removed", 1});
    o.remove_trailing_whitespace = false;
    CHECK_CLEAN("a\tb\r\nc\rd\n", o, "a\tb\r\nc\rd\n");
}

TEST_CASE("character_rules", "ascii followed by a combining mark forms one cluster") {
    Options o = nothing_on();
    o.keyboard_only = true;
    o.non_ascii_policy = NonAsciiPolicy::Drop;
    CHECK_CLEAN("nai\u0308ve", o, "naive", {"non_keyboard_removed", 1});
    CHECK_CLEAN("na\u00EFve", o, "nave", {"non_keyboard_removed", 1});
    // A space carrying a mark is a visible cluster, not whitespace; once the filter removed
    // the mark, the space left is whitespace like any other (so a second run finds nothing).
    o.non_ascii_policy = NonAsciiPolicy::Transliterate;
    o.collapse_whitespace = true;
    CHECK_CLEAN("a  \u0301b", o, "a b", {"non_keyboard_removed", 1}, {"whitespace_collapsed", 1});
    o.keyboard_only = false;
    CHECK_CLEAN("a  \u0301b", o, "a  \u0301b");
}

TEST_CASE("character_rules", "counters saturate instead of wrapping") {
    Tally t;
    t.stats.quotes_normalized = ~std::uint64_t{0};
    t.changes_made = ~std::uint64_t{0};
    t.add(&CleaningStats::quotes_normalized);
    CHECK_EQ(t.stats.quotes_normalized, ~std::uint64_t{0});
    CHECK_EQ(t.changes_made, ~std::uint64_t{0});
    t.take_back(&CleaningStats::hidden_chars_removed, 5);
    CHECK_EQ(t.stats.hidden_chars_removed, 0u);
}
