// The engine's shortcuts against its reference path: verbatim ASCII stretches, untouched clusters,
// remembered single characters, line breaks unified on the way, the identity pass and the ASCII
// fast path must give exactly what the cluster-by-cluster pass gives.
#include <random>
#include <vector>

#include "engine_check.hpp"
#include "pass/keyboard_only_filter.hpp"
#include "pass/shortcuts/dropped_letters.hpp"
#include "pass/shortcuts/keyboard_blocks.hpp"
#include "random_options.hpp"
#include "reference_path.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;

namespace {

// Pieces that meet at every kind of boundary the shortcuts care about: whitespace runs before
// visible characters, line breaks and the end; ASCII before combining marks; controls; clusters
// that keyboard-only mode drops, spells or keeps; Prepend characters that pull ASCII in.
const std::vector<std::string> kPieces = {
    "word", "a", "Zz9", "#", "*", "7", "=", "<", ">", "-", ".", ",",
    " ", " ", " ", "  ", "   ", "\t", " \t", "\t\t",
    "\n", "\n", "\r\n", "\r", " \n", "\t\r\n", "\r\r\n",
    "\x01", "\x7F", "\x0B", std::string("\0", 1),
    "\u0301", "\u0308", "\u20E3", "\uFE0F", "\uFE0F\u20E3", "\u200D", "\u200C", "\u034F", "\u0338",
    "\u00E9", "\u00DF", "\u0436", "\u4E2D", "\uD55C", "\u03A9", "\u00D7", "\u00A9", "\u00B5",
    "\u201C", "\u2019", "\u2014", "\u2013", "\u00A0", "\u202F", "\u3000", "\u2026", "\u22EF",
    "\u2044", "\u2028", "\u2029", "\u0085", "\u200B", "\u00AD", "\u2060", "\uFEFF",
    "\u2260", "\u2264", "\u2192", "\u219B", "\uFB01", "\u2460",
    "\U0001F600", "\U0001F44D\U0001F3FD", "\u2764\uFE0F", "\U0001F1EB\U0001F1F7",
    "\U0001F468\u200D\U0001F469", "\u0600", "\u0915\u094D",
};

// Mostly words and single spaces (long verbatim stretches), with any piece now and then.
std::string random_text(std::mt19937& rng, std::size_t pieces) {
    std::string s;
    for (std::size_t i = 0; i < pieces; ++i) {
        const unsigned roll = rng() % 8;
        if (roll < 3) s += kPieces[rng() % 12];
        else if (roll < 5) s += ' ';
        else s += kPieces[rng() % kPieces.size()];
    }
    return s;
}

// Cleans `text` both ways and checks that text, total and every counter agree.
void check_same(const std::string& text, const Options& o) {
    const auto fast = clean(text, o);
    const auto reference = clean_reference(text, o);
    const std::string ctx = "input " + harness::show(text);
    CHECK_EQ_MSG(std::string(fast.view(text)), reference.text, ctx);
    CHECK_EQ_MSG(fast.changes_made, reference.changes_made, ctx);
    const auto fast_counts = fast.stats.entries();
    const auto reference_counts = reference.stats.entries();
    for (std::size_t k = 0; k < CleaningStats::kCount; ++k)
        CHECK_EQ_MSG(fast_counts[k].second, reference_counts[k].second,
                     ctx + " counter " + std::string(reference_counts[k].first));
}

const Options kPresets[] = {Options{}, minimal_preset(), balanced_preset(), humanize_preset(),
                            aggressive_preset(), code_safe_preset()};

// `text` and after it words of up to `max_word` units (each `unit()`) with single spaces
// between them and one of `seams` after one unit in `seam_odds`, to a little over the size
// from which the memory has pages (up to `spread` bytes more); half the time whitespace at
// the very end, after the keyboard-only loop's margin.
template <class Unit>
std::string keyboard_text(std::mt19937& rng, std::string text, std::size_t spread, unsigned max_word, unsigned seam_odds,
                          const std::vector<std::string>& seams, Unit unit) {
    const std::size_t size = KeyboardOnlyFilter::Memory::kPagedTextBytes + rng() % spread;
    while (text.size() < size) {
        for (unsigned k = 1 + rng() % max_word; k > 0; --k) {
            text += unit();
            if (rng() % seam_odds == 0) text += seams[rng() % seams.size()];
        }
        text += ' ';
    }
    if (rng() % 2) text += rng() % 2 ? "  " : " \n ";
    return text;
}

// The text under the default options, the aggressive preset and random keyboard-only options.
void check_keyboard_only(const std::string& text, std::mt19937& rng) {
    check_same(text, Options{});
    check_same(text, aggressive_preset());
    Options o = random_options::draw(rng);
    o.keyboard_only = true;
    check_same(text, o);
}

}  // namespace

TEST_CASE("fast_paths", "random texts under random options match the reference path") {
    std::mt19937 rng(4242);
    for (int iter = 0; iter < 30000; ++iter) check_same(random_text(rng, rng() % 48), random_options::draw(rng));
}

TEST_CASE("fast_paths", "long texts under every preset match the reference path") {
    std::mt19937 rng(99);
    for (int iter = 0; iter < 300; ++iter) {
        const std::string text = random_text(rng, 200 + rng() % 400);
        for (const Options& o : kPresets) check_same(text, o);
    }
}

TEST_CASE("fast_paths", "one special piece at every offset of a long ASCII stretch") {
    // The scans of sixteen and of sixty-four bytes meet the piece (and its neighbours) at every
    // position in a block.
    std::string filler;
    // (61 bytes a sentence, so that its digits and signs fall at every position of a block.)
    while (filler.size() < 300) filler += "The quick brown fox jumps over 7 lazy dogs, #9 and keeps on.\n";
    std::mt19937 rng(7);
    for (const std::string& piece : kPieces) {
        for (std::size_t offset = 0; offset < 150; ++offset) {
            const std::string text = filler.substr(0, offset) + piece + filler.substr(offset);
            check_same(text, kPresets[offset % 6]);
            check_same(text, random_options::draw(rng));
        }
    }
}

TEST_CASE("fast_paths", "a keycap or a mark after every position of a long ASCII stretch") {
    // The character before the sequence belongs to its cluster, wherever a scan block ends.
    Options keep;
    keep.emoji_policy = EmojiPolicy::Keep;
    Options marks = engine_check::nothing_on();
    marks.keyboard_only = true;
    for (std::size_t at = 1; at < 200; ++at) {
        std::string prose;
        while (prose.size() + 1 < at) prose += (prose.size() % 5 == 4) ? ' ' : 'a';
        for (const char* tail : {"\uFE0F\u20E3 and on", "\u0301 more text to follow here"}) {
            const std::string text = prose + "7" + tail;
            for (const Options& o : {Options{}, keep, marks, minimal_preset()}) check_same(text, o);
        }
    }
}

TEST_CASE("fast_paths", "words mixing scripts, with marks, controls and odd spacing between them") {
    // The loop over non-ASCII text takes ASCII letters and single spaces along; everything
    // else (a second space, a mark on an ASCII letter, a control) hands back to the pass.
    const std::vector<std::string> letters = {"a", "Z", "\u00E9", "\u00DF", "\u0436", "\u4E2D",
                                              "\uD55C", "\u00D7", "\U0001F600", "\u0600", "\u2019"};
    const std::vector<std::string> gaps = {" ", " ", " ", "  ", "\t", " \x0B ", "\u00A0", "\u0301",
                                           "\u200B", "", "", "\n", " \u0301"};
    std::mt19937 rng(5);
    for (int iter = 0; iter < 20000; ++iter) {
        std::string text;
        const int words = 1 + rng() % 12;
        for (int w = 0; w < words; ++w) {
            const int len = 1 + rng() % 5;
            for (int k = 0; k < len; ++k) text += letters[rng() % letters.size()];
            text += gaps[rng() % gaps.size()];
        }
        check_same(text, random_options::draw(rng));
    }
}

TEST_CASE("fast_paths", "CR LF written in place equals LF output with every LF spelled CR LF") {
    std::mt19937 rng(17);
    for (int iter = 0; iter < 3000; ++iter) {
        Options o = random_options::draw(rng);
        const std::string text = random_text(rng, rng() % 60);
        o.line_endings = LineEndingStyle::Lf;
        const auto lf = clean(text, o);
        o.line_endings = LineEndingStyle::Crlf;
        const auto crlf = clean(text, o);
        std::string want;
        for (char ch : lf.view(text)) {
            if (ch == '\n') want += '\r';
            want += ch;
        }
        CHECK_EQ_MSG(std::string(crlf.view(text)), want, "input " + harness::show(text));
    }
}

TEST_CASE("fast_paths", "whitespace after dropped clusters and at the very start") {
    Options o;  // keyboard-only, emoji dropped
    for (bool collapse : {false, true}) {
        for (bool trailing : {false, true}) {
            o.collapse_whitespace = collapse;
            o.remove_trailing_whitespace = trailing;
            for (const char* text : {"\U0001F600a\tb", "\U0001F600 a\t\tb c", "\U0001F600\tx  y\n",
                                     "a \U0001F600\t\tb", "\U0001F600  ", "\t \U0001F600 b  \n c",
                                     "\u4E2D\u6587 \u0436 word\tword", "\U0001F600\nab \t"})
                check_same(text, o);
        }
    }
    // Keyboard-only with every rule of the pipeline off: controls and tabs around drops.
    Options bare = engine_check::nothing_on();
    bare.keyboard_only = true;
    for (const char* text : {"\x01 a\x02\tb", "\U0001F600\t\x01 x", "a\x7F\tb "}) check_same(text, bare);
}

TEST_CASE("fast_paths", "repeated characters in changing company keep their outcome") {
    // Each character alone (remembered) and inside larger clusters or after a rewrite (not).
    const std::vector<std::string> chars = {"\u00E9", "\u4E2D", "\u00D7", "\u2192", "\U0001F600",
                                            "\u2264", "\u00A9", "\u03A9", "\u0436", "\u2122"};
    std::mt19937 rng(11);
    for (int iter = 0; iter < 2000; ++iter) {
        std::string text;
        for (int k = 0; k < 24; ++k) {
            text += chars[rng() % chars.size()];
            switch (rng() % 5) {
                case 0: text += ' '; break;
                case 1: text += "\u0301"; break;
                case 2: text += "\u0338"; break;
                case 3: text += "\uFE0F"; break;
                default: text += 'x'; break;
            }
        }
        check_same(text, random_options::draw(rng));
    }
    // More distinct characters than remembered slots: every slot is overwritten many times.
    std::string many;
    for (char32_t c = 0xC0; c < 0x800; c += 3) {
        utf8::append(many, c);
        many += (c % 2) ? " " : "";
    }
    for (const Options& o : kPresets) check_same(many + many, o);
}

TEST_CASE("fast_paths", "rule characters sprinkled in long runs of non-ASCII letters") {
    // The copy up to the next rule character: the stop found anywhere in a scan block, marks
    // and joiners on either side of it (its cluster starts before it), spaces and line breaks
    // right before it, and clusters whose boundary needs more than two code points to tell.
    // (Among them the neighbours of the stops that share their lead byte.)
    const std::vector<std::string> letters = {"\u00E9", "\u0142", "\u00DF", "\u0436", "\u4E2D", "\uD55C",
                                              "\u03A9", "\u0148", "\u014A", "\u00AE", "\u02ED",
                                              "a", "Q", ".", " ", " ", "\n"};
    constexpr std::size_t kNonAscii = 11;
    const std::vector<std::string> stops = {
        "\u200B", "\u00AD", "\u034F", "\u200D", "\u00A0", "\u201C", "\u2014", "\u2026", "\u2028",
        "\u0085", "\uFEFF", "\u3000", "\u0600", "\r\n", "\r", "\t", "  ", " \n", "\x01", "\u2044",
        "\u0301", "\U0001F1EB\U0001F1F7\U0001F1EB", "\U0001F468\u200D\U0001F469", "\u0915\u094D\u0937",
        "\u1100\u1161\u11A8", "\uAC00\u11A8", "\U000E0041", "\u0149", "\u02EE"};
    const std::vector<std::string> around = {"", "", "\u0301", "\u0308\u0301", " ", "\u200D", "\uFE0F"};
    std::mt19937 rng(2026);
    for (int iter = 0; iter < 6000; ++iter) {
        std::string text;
        const int parts = 1 + rng() % 6;
        for (int p = 0; p < parts; ++p) {
            for (int k = rng() % 40; k > 0; --k) text += letters[rng() % (rng() % 2 ? kNonAscii : letters.size())];
            text += around[rng() % around.size()];
            text += stops[rng() % stops.size()];
            text += around[rng() % around.size()];
        }
        check_same(text, kPresets[iter % 6]);
        check_same(text, random_options::draw(rng));
    }
}

TEST_CASE("fast_paths", "texts long enough for the memory's pages match the reference path") {
    // From this size on, the code points below U+10000 have entries read from their bytes:
    // letters of many pages, of two, three and four bytes, next to marks, jamo, indicators,
    // Prepend and joiners, spelled, dropped, kept or taken by a rule.
    const std::vector<std::string> extra = {"\u0903", "\u1100", "\u1161", "\u11A8", "\uAC00", "\U00020000",
                                            "\u0E01", "\u0E33", "\u0644", "\u05D0", "\u0391", "\u2122",
                                            "\u00BD", "\uFF21", "\u0142", "\u00E9"};
    std::mt19937 rng(64);
    for (int iter = 0; iter < 40; ++iter) {
        std::string text;
        const std::size_t size = KeyboardOnlyFilter::Memory::kPagedTextBytes + rng() % 2048;
        while (text.size() < size) {
            if (rng() % 2) text += random_text(rng, 1 + rng() % 6);
            for (int k = rng() % 6; k > 0; --k) text += extra[rng() % extra.size()];
        }
        for (const Options& o : kPresets) check_same(text, o);
        check_same(text, random_options::draw(rng));
    }
}

TEST_CASE("fast_paths", "letter-dense keyboard-only text matches the reference path at every seam") {
    // Words of ASCII and of letters spelled or dropped whole, single spaces between them, long
    // enough for the pages and for the keyboard-only loop's buffer to fill: the ground where
    // that loop runs on its own. Into it, now and then and so at every offset from its blocks'
    // edges, a seam it must hand back or get exactly right: marks after a folded letter,
    // Prepend, jamo that join the syllable before them, joiners, emoji, line breaks, runs of
    // spaces, tabs, rule characters, long ASCII.
    const std::vector<std::string> units = {"e", "k", "Q", "7", ".", "-", "\u00E9", "\u00DF", "\u0142",
                                            "\u0436", "\u03A9", "\u4E2D", "\uD55C", "\u1100", "\u0E01", "\u00BD"};
    const std::vector<std::string> seams = {
        "\u0301", "\u0308\u0301", "\u0903", "\u0600", "\u0D4E", "\u1161", "\u11A8", "\u200D", "\u200C", "\U0001F600", "\u2764\uFE0F",
        "\U0001F1EB\U0001F1F7", "\u0915\u094D\u0937", "\u1100\u1161\u11A8", "\r\n", "\r", "\n", " \n",
        "\n\n", "  ", "   ", "\t", " \t", "\x01", "\u00A0", "\u2019", "\u2026", "\u200B", "\u2028",
        "the quick brown fox jumps over the lazy dog and then some more words ", "\U00020000",
        " =\u0338 ", " e\u0301", "\x02"};
    std::mt19937 rng(16);
    for (int iter = 0; iter < 150; ++iter) {
        const std::string text = keyboard_text(rng, "", 1024, 12, 48, seams, [&] { return units[rng() % units.size()]; });
        check_keyboard_only(text, rng);
    }
}

TEST_CASE("fast_paths", "runs of dropped letters match the reference path at every window edge") {
    // Words of letters keyboard-only mode drops (ideographs, kana, Hangul syllables, Cyrillic,
    // Hebrew), single spaces between them, in runs long enough for many windows of the loop
    // that drops them without a look each. Into the runs, now and then and so at every offset
    // from a window's edges, a seam it must stop at or take exactly: a letter spelled, marks and
    // jamo that join the letter before, L jamo and Prepend that join the one after, a conjunct,
    // a modifier and other code points of four bytes, joiners, runs of spaces, line breaks,
    // tabs, ASCII, rule characters, and letters seen for the first time (not yet noted).
    const std::vector<std::string> letters = {"\u4E2D", "\u6587", "\u3042", "\uD55C", "\uAD6D", "\u0436",
                                              "\u0416", "\u044F", "\u05D0"};
    const std::vector<std::string> seams = {
        "\u00E9", "\u0301", "\u0903", "\u1161", "\u11A8", "\u1100", "\u0600", "\u0915\u094D\u0937",
        "\U0001F3FB", "\U0001F600", "\U000E0041", "\u200D", "\u200C", "  ", "   ", " \n", "\n", "\r\n",
        "\t", " \t", ".", "a", "\u00A0", "\u3000", "\u200B", "\u2026", "\U00020000"};
    std::mt19937 rng(64);
    for (int iter = 0; iter < 120; ++iter) {
        // (Something written first: the loop starts only after that.)
        const std::string text = keyboard_text(rng, "x ", 2048, 7, 64, seams, [&] {
            std::string unit;
            if (rng() % 200 == 0) utf8::append(unit, char32_t(0x4E00 + rng() % 0x5000));
            else unit = letters[rng() % letters.size()];
            return unit;
        });
        check_keyboard_only(text, rng);
    }
}

TEST_CASE("fast_paths", "every letter of two bytes inside ASCII words, after spaces and before marks, matches the reference path") {
    // Each code point U+0080-07FF several times in a text long enough for the pages, so that
    // from its second sight on the keyboard-only loop may write it by its record: inside a
    // word, at a word's start after one space or a line break, at every offset from the loop's
    // blocks, and in long runs; and where it must not: before a mark, a letter of three bytes,
    // a space or two.
    std::mt19937 rng(27);
    const std::vector<std::string> after = {"d", "q.", "\u0301x", "\u00E9", "\u4E2D", " ", "  ", "\n"};
    for (char32_t first = 0x80; first < 0x800; first += 48) {
        std::string text = "x ";
        while (text.size() < KeyboardOnlyFilter::Memory::kPagedTextBytes + 512) {
            std::string letter;
            utf8::append(letter, first + rng() % 48);
            text += std::string(rng() % 19, 'a');
            const char* const before[] = {"", " ", "\n", "\n "};
            text += before[rng() % 4];
            text += letter + after[rng() % after.size()];
            // Now and then a long run of letters, past the loop's buffer.
            if (rng() % 16 == 0)
                for (int k = 100 + rng() % 200; k > 0; --k) utf8::append(text, first + rng() % 48);
        }
        check_keyboard_only(text, rng);
    }
}

TEST_CASE("fast_paths", "a letter noted as dropped is found from its bytes, and no other") {
    // Every code point of two or three bytes, after a random set of them is noted, each with
    // a random byte after it (what follows a letter in a text).
    std::mt19937 rng(18);
    const auto letter = [&](char32_t c) {
        std::string bytes;
        utf8::append(bytes, c);
        bytes += static_cast<char>(rng());
        return bytes;
    };
    DroppedLetters noted;
    std::vector<bool> want(0x10000, false);
    for (int k = 0; k < 3000; ++k) {
        const char32_t c = 0x80 + rng() % (0x10000 - 0x80);
        if (c >= 0xD800 && c < 0xE000) continue;
        noted.note(reinterpret_cast<const unsigned char*>(letter(c).data()));
        want[c] = true;
    }
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c < 0xE000) continue;
        const std::string bytes = letter(c);
        const bool found = DroppedLetters::dropped(noted.words(), reinterpret_cast<const unsigned char*>(bytes.data()));
        CHECK_EQ_MSG(found, bool(want[c]), harness::show(bytes));
    }
}

TEST_CASE("fast_paths", "the dropped-letter loop's window classification is the same byte by byte") {
    const unsigned char classes[] = {'a', ' ', '\n', 0x00, 0x7F, 0x80, 0xBF, 0xC0, 0xD0, 0xDF, 0xE0, 0xEF, 0xF0, 0xFF};
    std::mt19937 rng(19);
    for (int iter = 0; iter < 20000; ++iter) {
        unsigned char window[64];
        for (unsigned char& b : window) b = classes[rng() % sizeof classes];
        const auto got = keyboard_blocks_detail::window_bytes(window);
        const auto model = keyboard_blocks_detail::window_bytes_portable(window);
        const std::string ctx = harness::show(std::string(reinterpret_cast<const char*>(window), 64));
        CHECK_EQ_MSG(got.letters, model.letters, ctx);
        CHECK_EQ_MSG(got.spaces, model.spaces, ctx);
        CHECK_EQ_MSG(got.other_ascii, model.other_ascii, ctx);
        CHECK_EQ_MSG(got.fours, model.fours, ctx);
    }
}

TEST_CASE("fast_paths", "the keyboard-only loop's block classification is the same byte by byte") {
    // Bytes of every class the classification tells apart, in random windows of seventeen.
    const unsigned char classes[] = {'a', '~', '!', ' ', '\n', '\r', '\t', 0x00, 0x1F, 0x7F, 0x80, 0xC3, 0xE4, 0xF0, 0xBF};
    std::mt19937 rng(17);
    for (int iter = 0; iter < 20000; ++iter) {
        unsigned char window[17];
        for (unsigned char& b : window) b = classes[rng() % sizeof classes];
        unsigned rests = 0, before_high = 0, model_rests = 0, model_before_high = 0;
        const unsigned ok = keyboard_blocks_detail::verbatim_bytes(window, rests, before_high);
        const unsigned model = keyboard_blocks_detail::verbatim_bytes_portable(window, model_rests, model_before_high);
        const std::string ctx = harness::show(std::string(reinterpret_cast<const char*>(window), 17));
        CHECK_EQ_MSG(ok, model, ctx);
        CHECK_EQ_MSG(rests, model_rests, ctx);
        CHECK_EQ_MSG(before_high, model_before_high, ctx);
    }
}

TEST_CASE("fast_paths", "machine-written prose with typography matches the reference path, with and without a form") {
    // Typographic characters stuck to words or standing alone, single and double spaces, and now
    // and then a cluster the typography loop leaves to the loop's body (emoji sequences, marks,
    // CR LF, a cluster longer than the loop's buffer), at every length. Half the texts ask for
    // a compatibility form, which changes the spaces and ellipses the pass would write anyway,
    // and sometimes other characters too.
    const std::vector<std::string> typography = {
        "\u201C", "\u201D", "\u2018", "\u2019", "\u2014", "\u2013", "\u00A0", "\u202F", "\u2009", "\u3000",
        "\u2026", "\u2022", "\u200B", "\u00AD", "\u0149", "\u2028", "\u0085", "\u2044", "\u00E9"};
    std::string long_cluster = "\u00E9";
    for (int k = 0; k < 300; ++k) long_cluster += "\u0308";
    const std::vector<std::string> rare = {
        "\U0001F44D\U0001F3FD", "\u2764\uFE0F", "\U0001F1EB\U0001F1F7", "e\u0301", "\uFB01", "\u0600", "\u00E9\u00DF",
        "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466\u200D\U0001F468\u200D\U0001F469",
        "  ", "\t", "\r\n", " \n", "\u0301", "\u2026\u0301", long_cluster};
    const std::vector<std::string> words = {"word", "a", "The", "x7", "sentence."};
    std::mt19937 rng(2026);
    for (int iter = 0; iter < 6000; ++iter) {
        std::string text;
        const unsigned count = 1 + rng() % (iter % 10 == 0 ? 200 : 24);
        for (unsigned w = 0; w < count; ++w) {
            const unsigned roll = rng() % 16;
            if (roll == 0) text += typography[rng() % typography.size()];
            text += words[rng() % words.size()];
            if (roll == 1 || roll == 2) text += typography[rng() % typography.size()];
            text += roll == 3 ? rare[rng() % rare.size()] : roll == 4 ? typography[rng() % typography.size()] : " ";
        }
        Options o = iter % 3 == 0 ? humanize_preset() : iter % 3 == 1 ? balanced_preset() : random_options::draw(rng);
        if (rng() % 2) o.unicode_normalization = rng() % 2 ? NormalizationMode::NFKC : NormalizationMode::NFKD;
        check_same(text, o);
    }
}
