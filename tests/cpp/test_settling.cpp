// Where the rules meet: a cleaned text is settled (a second run finds nothing to do), and the
// shortcuts and the reference agree on each case.
#include <string>

#include "engine_check.hpp"
#include "reference_path.hpp"
#include "unicode/char_props.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using engine_check::nothing_on;

namespace {

// Cleans `text` under `o` and checks that the reference agrees, that a second run changes
// nothing, and (with a form asked for) that the output is in that form. Returns the output.
std::string settled(const std::string& text, const Options& o) {
    const CleaningResult first = clean(text, o);
    const std::string out(first.view(text));
    const std::string ctx = "cleaning " + harness::show(text);
    CHECK_EQ_MSG(clean_reference(text, o).text, out, ctx + " (reference)");
    const CleaningResult second = clean(out, o);
    CHECK_EQ_MSG(std::string(second.view(out)), out, ctx + " (second run)");
    CHECK_EQ_MSG(second.changes_made, std::uint64_t{0}, ctx + " (second run changes)");
    if (o.unicode_normalization != NormalizationMode::None)
        CHECK_EQ_MSG(unicode::is_normalized(o.unicode_normalization, out), true, ctx + " (normal form)");
    return out;
}

std::string encode(char32_t c) {
    std::string s;
    utf8::append(s, c);
    return s;
}

Options keep_emoji() {
    Options o;
    o.emoji_policy = EmojiPolicy::Keep;
    return o;
}

}  // namespace

TEST_CASE("settling", "spaces the keyboard filter leaves are trimmed and collapsed like any whitespace") {
    const Options o;
    CHECK_CLEAN("a \u0301", o, "a", {"non_keyboard_removed", 1}, {"trailing_whitespace_removed", 1});
    CHECK_EQ(settled(" \u0301", o), "");
    CHECK_EQ(settled("Pick a tone: \U0001F3FB \U0001F3FC", o), "Pick a tone:");
    Options spaces_kept = o;
    spaces_kept.normalize_spaces = false;
    CHECK_EQ(settled("a\u00A0", spaces_kept), "a");
    spaces_kept.collapse_whitespace = true;
    CHECK_EQ(settled("a\u00A0\u00A0b", spaces_kept), "a b");
    CHECK_EQ(settled("a  \u0301b", aggressive_preset()), "a b");
    // The spacing accents that the compatibility forms split into a space and marks (those
    // that keyboard-only mode spells whole, as U+02DA "deg", keep their spelling).
    int accents = 0;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c == 0xD800) c = 0xE000;
        char32_t d[unicode::kMaxDecomposition];
        const std::size_t n = unicode::nfkd_char(c, d);
        if (n < 2 || d[0] != U' ') continue;
        ++accents;
        const std::string alone = settled(encode(c), aggressive_preset());
        CHECK_EQ_MSG(alone.empty() || alone.back() != ' ', true, harness::show(encode(c)));
        if (alone.empty())
            CHECK_EQ_MSG(settled("x" + encode(c) + "y", aggressive_preset()), "x y", harness::show(encode(c)));
    }
    CHECK(accents >= 49);
}

TEST_CASE("settling", "a presentation selector goes with the emoji a rule rewrote") {
    for (const Options& o : {balanced_preset(), humanize_preset(), code_safe_preset(), keep_emoji()})
        CHECK_CLEAN("\u3030\uFE0F", o, "-", {"dashes_normalized", 1}, {"hidden_chars_removed", 1});
    // Every character some map rewrites, with a selector after it, under every way a selector
    // may stay: no selector is left behind an ASCII character.
    Options no_hidden = code_safe_preset();
    no_hidden.remove_hidden = false;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c == 0xD800) c = 0xE000;
        if ((unicode::pass_class_inline(c) & (unicode::kPassSpace | unicode::kPassDash | unicode::kPassQuote)) == 0)
            continue;
        for (const Options& o : {code_safe_preset(), keep_emoji(), no_hidden}) {
            const std::string out = settled(encode(c) + "\uFE0F", o);
            CHECK_EQ_MSG(utf8::is_ascii(out.substr(0, 1)) && out.find("\uFE0F") != std::string::npos, false,
                         harness::show(encode(c)));
        }
    }
    // A selector that no rule concerns stays with its emoji.
    CHECK_EQ(settled("\u2764\uFE0F", code_safe_preset()), "\u2764\uFE0F");
}

TEST_CASE("settling", "an emoji kept whole is still one in the form asked for") {
    // U+2194 U+0338 U+FE0F is an emoji cluster, but composed it is U+21AE U+FE0F, text: it is
    // filtered as that text rather than kept and composed after the pass.
    Options o = keep_emoji();
    o.unicode_normalization = NormalizationMode::NFC;
    CHECK_EQ(settled("\u2194\u0338\uFE0F", o), "!<->");
    // Every emoji character with an overlay and a selector, under every form.
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c == 0xD800) c = 0xE000;
        if (!unicode::is_emoji_char(c)) continue;
        for (const NormalizationMode form : {NormalizationMode::NFC, NormalizationMode::NFD, NormalizationMode::NFKC,
                                             NormalizationMode::NFKD}) {
            o.unicode_normalization = form;
            settled(encode(c) + "\u0338\uFE0F", o);
        }
    }
}

TEST_CASE("settling", "whitespace after any number of drops at the very start goes") {
    const Options o;
    CHECK_CLEAN("\U0001F914 me", o, "me", {"emojis_dropped", 1});
    CHECK_CLEAN("\U0001F914 \U0001F648 me", o, "me", {"emojis_dropped", 2});
    CHECK_CLEAN("\U0001F914\t\U0001F648  \U0001F600 me", o, "me", {"emojis_dropped", 3});
    // Whitespace that was there before the first drop is the text's own.
    CHECK_EQ(settled(" \U0001F914 \U0001F648 me", o), " me");
    CHECK_EQ(settled("a\n\U0001F914 \U0001F648 me", o), "a\n me");
}

TEST_CASE("settling", "the form asked for holds where the pass joins a base and its mark") {
    CHECK_CLEAN("A\u200B\u0301", balanced_preset(), "\u00C1", {"hidden_chars_removed", 1}, {"unicode_normalized", 1});
    CHECK_CLEAN("=\x1B\u0338", humanize_preset(), "\u2260", {"control_chars_removed", 1}, {"unicode_normalized", 1});
    // Counted once with the normalization stage.
    CHECK_CLEAN("A\u030A\u200B\u0301", balanced_preset(), "\u01FA", {"hidden_chars_removed", 1},
                {"unicode_normalized", 1});
    CHECK_CLEAN("\u00E9\u200B\u0301", balanced_preset(), "\u00E9\u0301", {"hidden_chars_removed", 1});
    // Marks put in order again once a joiner between them is gone; Hangul jamo composed.
    Options nfd = nothing_on();
    nfd.remove_hidden = true;
    nfd.unicode_normalization = NormalizationMode::NFD;
    CHECK_CLEAN("a\u0301\u034F\u0323", nfd, "a\u0323\u0301", {"hidden_chars_removed", 1}, {"unicode_normalized", 1});
    CHECK_EQ(settled("\u1100\u200B\u1161", balanced_preset()), "\uAC00");
    // A rewrite that a mark now follows: the quote rule's "'n" takes the tilde.
    CHECK_EQ(settled("\u0149\u0303", balanced_preset()), "'\u00F1");
}
