// Inputs found by the fuzz targets (fuzz/), each named after the finding, with what the engine
// must do with them.
#include "engine_check.hpp"

using namespace scrubix;

namespace {

// Keyboard-only, emoji kept, hidden characters (the tags among them) left to the other rules.
Options keyboard_keep_emoji() {
    Options o;
    o.emoji_policy = EmojiPolicy::Keep;
    o.remove_hidden = false;
    return o;
}

}  // namespace

// fuzz_clean-crash-3a01c094: a black flag with a tag apostrophe in its tag sequence, with
// `remove_hidden` off. The quote rule turns the tag apostrophe into "'", so what is written is
// no longer the emoji the cluster was: the keyboard-only filter takes its characters one by
// one and keeps the "'" alone (once the cluster was kept whole and split into pieces when read
// again).
TEST_CASE("regressions", "fuzz_clean 3a01c094: quote rule inside a kept emoji tag sequence") {
    const Options o = keyboard_keep_emoji();
    CHECK_CLEAN("\U0001F3F4\U000E0027\U000E0062", o, "'", {"quotes_normalized", 1}, {"non_keyboard_removed", 2});
    // Without the quote rule the cluster is written untouched; with `remove_hidden` the tags
    // of a kept emoji are kept as hidden characters before the quote rule sees them.
    Options no_quotes = o;
    no_quotes.normalize_quotes = false;
    CHECK_CLEAN("\U0001F3F4\U000E0027\U000E0062", no_quotes, "\U0001F3F4\U000E0027\U000E0062");
    Options hidden = o;
    hidden.remove_hidden = true;
    CHECK_CLEAN("\U0001F3F4\U000E0027\U000E0062", hidden, "\U0001F3F4\U000E0027\U000E0062");
    // Under drop the cluster is filtered: like the digit of a keycap, the "'" survives and
    // the flag and the tag are removed, so it is not counted as a dropped emoji.
    Options drop = o;
    drop.emoji_policy = EmojiPolicy::Drop;
    CHECK_CLEAN("a \U0001F3F4\U000E0027\U000E0062 b", drop, "a ' b", {"quotes_normalized", 1},
                {"non_keyboard_removed", 2});
}

// fuzz_clean-crash-55a43672: an arrow that takes a tag apostrophe, a keycap mark and skin
// tone modifiers into its cluster, under fold with the extended keyboard. The cluster is an
// emoji through the modifiers, but the quote rule rewrote a character of it, so it is filtered
// as text: only the "'" is a keyboard character.
TEST_CASE("regressions", "fuzz_clean 55a43672: arrow heading a kept emoji cluster split by the quote rule") {
    Options o = keyboard_keep_emoji();
    o.extended_keyboard = true;
    o.non_ascii_policy = NonAsciiPolicy::Fold;
    CHECK_CLEAN("\u2192\U000E0027\u20E3\U0001F3FB\U0001F3FB x", o, "' x", {"quotes_normalized", 1},
                {"non_keyboard_removed", 4});
    // The same arrow alone is no emoji: fold has no keyboard form for it, so it is removed.
    CHECK_CLEAN("y \u2192 x", o, "y x", {"non_keyboard_removed", 1});
}

// fuzz_clean-crash-deb0485d: two tag apostrophes in a row inside a flag cluster, then a
// spacing mark. The quote rule rewrites both, so the cluster is filtered as text: the flag and
// the mark go, the two "'" stay.
TEST_CASE("regressions", "fuzz_clean deb0485d: kept emoji cluster split twice by the quote rule") {
    const Options o = keyboard_keep_emoji();
    CHECK_CLEAN("\U0001F3F4\U000E0027\U000E0027\u0903", o, "''", {"quotes_normalized", 2}, {"non_keyboard_removed", 2});
    CHECK_CLEAN("x \U0001F3F4\U000E0027\U000E0027\u0903 y", o, "x '' y", {"quotes_normalized", 2},
                {"non_keyboard_removed", 2});
}

// fuzz_clean-crash-0fa60586: NFKC turns U+1FBF4 SEGMENTED DIGIT FOUR into "4", an Emoji
// character, so "4" with a tag apostrophe and a joiner is an emoji cluster (Emoji plus ZWJ).
// The quote rule rewrites the tag apostrophe, so the cluster is filtered as text and the
// joiner goes, as under drop.
TEST_CASE("regressions", "fuzz_clean 0fa60586: keyboard digit heading a kept emoji cluster") {
    Options o = keyboard_keep_emoji();
    CHECK_CLEAN("4\U000E0027\u200D", o, "4'", {"quotes_normalized", 1}, {"non_keyboard_removed", 1});
    o.unicode_normalization = NormalizationMode::NFKC;
    CHECK_CLEAN("\U0001FBF4\U000E0027\u200D", o, "4'", {"quotes_normalized", 1}, {"unicode_normalized", 1},
                {"non_keyboard_removed", 1});
    // Under drop the digit and the apostrophe survive the filter; the joiner is removed.
    o.emoji_policy = EmojiPolicy::Drop;
    CHECK_CLEAN("\U0001FBF4\U000E0027\u200D", o, "4'", {"quotes_normalized", 1}, {"unicode_normalized", 1},
                {"non_keyboard_removed", 1});
}

// fuzz_clean-crash-bfe9cb8b: a protected character (kept whole by the normalization stage so
// that keyboard-only mode can spell it) heading a cluster that a skin tone modifier makes an
// emoji. The cluster is kept as it stands, so the output must be brought to the form asked for.
TEST_CASE("regressions", "fuzz_clean bfe9cb8b: protected character inside a kept emoji cluster") {
    Options o = keyboard_keep_emoji();
    o.unicode_normalization = NormalizationMode::NFD;
    CHECK_CLEAN("\u2260\U0001F3FB", o, "=\u0338\U0001F3FB", {"unicode_normalized", 1});
    CHECK_CLEAN("=\u0338\U0001F3FB", o, "=\u0338\U0001F3FB");
    // Under drop the protected character is spelled, and the modifier goes.
    o.emoji_policy = EmojiPolicy::Drop;
    CHECK_CLEAN("\u2260\U0001F3FB", o, "!=", {"non_keyboard_transliterated", 1}, {"non_keyboard_removed", 1});
}

// fuzz_clean-crash-41fb6e13: U+3030 (a dash that is also an emoji) with a cancel tag and a
// presentation selector. The dash rule writes "-", so the cluster is no emoji any more: its
// tag and selector go with the hidden characters instead of being kept with the cluster.
TEST_CASE("regressions", "fuzz_clean 41fb6e13: a rewritten emoji is no emoji to keep") {
    Options o = keyboard_keep_emoji();
    o.remove_hidden = true;
    o.normalize_dashes = true;
    CHECK_CLEAN("\u3030\U000E007F\uFE0F", o, "-", {"hidden_chars_removed", 2}, {"dashes_normalized", 1});
    o.keyboard_only = false;
    CHECK_CLEAN("\u3030\U000E007F\uFE0F", o, "-", {"hidden_chars_removed", 2}, {"dashes_normalized", 1});
}

// fuzz_clean-crash-71ace7e5: an em space alone, then the same em space with a spacing mark
// after it, in a text short enough for hashed memory entries. Looking up the mark's entry took
// the em space's slot over, and the run read the mark's properties for the em space: the em
// space was taken as a cluster of its own and the mark dropped apart from it, which shrank
// the whitespace after it to one space. The run reads an entry before the next lookup.
TEST_CASE("regressions", "fuzz_clean 71ace7e5: a hashed entry read after the next lookup") {
    Options o;
    o.remove_control_chars = false;
    o.normalize_other = false;
    o.extended_keyboard = true;
    o.non_ascii_policy = NonAsciiPolicy::Drop;
    CHECK_CLEAN("\u2003\x0B\u2003\u0903 b", o, "  b", {"spaces_normalized", 2}, {"non_keyboard_removed", 2});
}

// fuzz_clean (keyboard-only block loop): a space before an ASCII character that a mark joins,
// in a text long enough for the loop. The loop wrote the space at once and left the cluster
// "=\u0338" to the cluster loop, which dropped it: the space after it then began a second run,
// where the dropped cluster makes the two spaces one.
TEST_CASE("regressions", "fuzz_clean: space before a dropped cluster that starts with ASCII") {
    Options o;
    o.non_ascii_policy = NonAsciiPolicy::Drop;
    const std::string before(1700, 'x'), after(2500, 'x');
    for (const bool collapse : {false, true}) {
        o.collapse_whitespace = collapse;
        CHECK_CLEAN(before + "\u4E2D\u2260\u4E2D\x02\u4E2D =\u0338 " + after, o, before + " " + after,
                    {"non_keyboard_removed", 5}, {"control_chars_removed", 1});
    }
}
