// Keyboard-only output: policies, emoji clusters, the U+0338 negation and counting.
#include "engine_check.hpp"
#include "pass/keyboard_only_filter.hpp"
#include "translit/resolve.hpp"
#include "ucd_reader.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;
using engine_check::nothing_on;

namespace {
Options keyboard(NonAsciiPolicy policy, EmojiPolicy emoji = EmojiPolicy::Drop) {
    Options o = nothing_on();
    o.keyboard_only = true;
    o.non_ascii_policy = policy;
    o.emoji_policy = emoji;
    return o;
}
}  // namespace

TEST_CASE("keyboard_only", "policies on an accented letter") {
    CHECK_CLEAN("caf\u00E9", keyboard(NonAsciiPolicy::Drop), "caf", {"non_keyboard_removed", 1});
    CHECK_CLEAN("caf\u00E9", keyboard(NonAsciiPolicy::Fold), "cafe", {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("caf\u00E9", keyboard(NonAsciiPolicy::Transliterate), "cafe",
                {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("Stra\u00DFe", Options{}, "Strasse", {"non_keyboard_transliterated", 1});
}

TEST_CASE("keyboard_only", "emoji clusters kept whole or dropped as one change") {
    for (auto policy : {NonAsciiPolicy::Drop, NonAsciiPolicy::Fold, NonAsciiPolicy::Transliterate}) {
        CHECK_CLEAN("\U0001F600", keyboard(policy, EmojiPolicy::Keep), "\U0001F600");
        CHECK_CLEAN("\U0001F600", keyboard(policy), "", {"emojis_dropped", 1});
    }
    Options o = keyboard(NonAsciiPolicy::Drop);
    o.remove_hidden = true;
    CHECK_CLEAN("\u2764\uFE0F", o, "", {"emojis_dropped", 1});
    CHECK_CLEAN("\U0001F468\u200D\U0001F469\u200D\U0001F467", o, "", {"emojis_dropped", 1});
    // A keycap keeps its digit: the cluster is not empty after filtering.
    CHECK_CLEAN("1\uFE0F\u20E3", o, "1", {"hidden_chars_removed", 1}, {"non_keyboard_removed", 1});
    o.emoji_policy = EmojiPolicy::Keep;
    CHECK_CLEAN("\U0001F468\u200D\U0001F469 x", o, "\U0001F468\u200D\U0001F469 x");
}

TEST_CASE("keyboard_only", "negated relations and the combining overlay") {
    for (auto policy : {NonAsciiPolicy::Fold, NonAsciiPolicy::Transliterate}) {
        CHECK_CLEAN("\u2260", keyboard(policy), "!=", {"non_keyboard_transliterated", 1});
        CHECK_CLEAN("=\u0338", keyboard(policy), "!=", {"non_keyboard_transliterated", 1});
        // A mark that canonical order puts after the overlay does not part it from its base.
        CHECK_CLEAN("=\u0301\u0338", keyboard(policy), "!=", {"non_keyboard_transliterated", 1},
                    {"non_keyboard_removed", 1});
    }
    // Under drop the pair is one non-keyboard character: keeping the "=" would invert it.
    CHECK_CLEAN("=\u0338", keyboard(NonAsciiPolicy::Drop), "", {"non_keyboard_removed", 1});
    CHECK_CLEAN("\u2264\u0338", keyboard(NonAsciiPolicy::Transliterate), "!<=",
                {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("\u2264\u0338", keyboard(NonAsciiPolicy::Fold), "", {"non_keyboard_removed", 1});
    // Arrows are negated too, and an operator without a precomposed negation (U+2A7D).
    Options nfd = keyboard(NonAsciiPolicy::Transliterate);
    nfd.unicode_normalization = NormalizationMode::NFD;
    CHECK_CLEAN("\u219B", nfd, "!->", {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("\u2192\u0338", nfd, "!->", {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("\u2A7D\u0338", nfd, "!<=", {"non_keyboard_transliterated", 1});
    // An overlay on a letter is no negation; one after an overlay or on nothing goes alone.
    CHECK_CLEAN("a\u0338", nfd, "a", {"non_keyboard_removed", 1});
    CHECK_CLEAN("=\u0338\u0338", nfd, "!!=", {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("\u2260\u0338", nfd, "!!=", {"non_keyboard_transliterated", 1});

    std::string f = "a===";
    CHECK(negate_trailing_operator(f));
    CHECK_EQ(f, std::string("a!=="));
    for (const char* no : {"", "a", "=>", "<<", "-=", "->", "===="}) {
        std::string s = no;
        CHECK(!negate_trailing_operator(s));
        CHECK_EQ(s, std::string(no));
    }
}

TEST_CASE("keyboard_only", "a negation reads the same precomposed and as base plus overlay") {
    // Every character whose canonical decomposition ends in U+0338, with that decomposition.
    std::vector<std::pair<std::string, std::string>> negations;
    ucd_reader::for_each_record(harness::require_data("unicode/16.0.0/UnicodeData.txt"), [&](const auto& f) {
        const std::string_view mapping = f.at(5);
        if (mapping.empty() || mapping.front() == '<' || !mapping.ends_with("0338")) return;
        std::string precomposed, decomposed;
        utf8::append(precomposed, ucd_reader::parse_hex(f.at(0)));
        for (const auto part : ucd_reader::split(mapping, ' ')) utf8::append(decomposed, ucd_reader::parse_hex(part));
        negations.emplace_back(precomposed, decomposed);
        const char32_t c = ucd_reader::parse_hex(f.at(0));
        CHECK_EQ_MSG(translit::is_negation_char(c), true, harness::show(c));
    });
    CHECK(negations.size() > 40);
    std::size_t spelled = 0;
    for (auto policy : {NonAsciiPolicy::Drop, NonAsciiPolicy::Fold, NonAsciiPolicy::Transliterate}) {
        for (auto mode : {NormalizationMode::None, NormalizationMode::NFC, NormalizationMode::NFD}) {
            Options o = keyboard(policy);
            o.unicode_normalization = mode;
            for (const auto& [precomposed, decomposed] : negations) {
                const std::string one = "x " + precomposed + " y", two = "x " + decomposed + " y";
                const auto a = clean(one, o), b = clean(two, o);
                const std::string ctx = harness::show(one) + " policy " + harness::show(int(policy)) +
                                        " form " + harness::show(int(mode));
                CHECK_EQ_MSG(std::string(a.view(one)), std::string(b.view(two)), ctx);
                CHECK_EQ_MSG(a.changes_made, b.changes_made, ctx);
                const auto counts_a = a.stats.entries(), counts_b = b.stats.entries();
                for (std::size_t i = 0; i < counts_a.size(); ++i)
                    CHECK_EQ_MSG(counts_a[i].second, counts_b[i].second, ctx + " " + std::string(counts_a[i].first));
                // Spelled with its negation, or removed whole and counted: never the base alone.
                const std::string text(a.view(one));
                if (a.stats.non_keyboard_transliterated != 0) {
                    CHECK_EQ_MSG(text.find('!') != std::string::npos, true, ctx + " gave " + harness::show(text));
                    spelled += policy == NonAsciiPolicy::Transliterate && mode == NormalizationMode::None;
                } else {
                    CHECK_EQ_MSG(text, std::string("x y"), ctx);
                    CHECK_EQ_MSG(a.stats.non_keyboard_removed, std::uint64_t{1}, ctx);
                }
            }
        }
    }
    CHECK(spelled > 40);
    const Options o = keyboard(NonAsciiPolicy::Transliterate);
    CHECK_CLEAN("x \u2209 A", o, "x !in A", {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("\u2244 \u2204 \u2249 \u2262", o, "!~= !exists !~~ !==", {"non_keyboard_transliterated", 4});
}

TEST_CASE("keyboard_only", "eng keeps its case") {
    CHECK_CLEAN("Yol\u014Bu \u014Aa", Options{}, "Yolngu NGa", {"non_keyboard_transliterated", 2});
}

TEST_CASE("keyboard_only", "extended keyboard and the multiplication sign") {
    Options o = keyboard(NonAsciiPolicy::Transliterate);
    o.extended_keyboard = true;
    CHECK_CLEAN("5 \u00D7 3", o, "5 \u00D7 3");
    o.extended_keyboard = false;
    CHECK_CLEAN("5 \u00D7 3", o, "5 x 3", {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("5 \u00D7 3", keyboard(NonAsciiPolicy::Fold), "5 3", {"non_keyboard_removed", 1});
    CHECK_CLEAN("5 \u00D7 3", keyboard(NonAsciiPolicy::Drop), "5 3", {"non_keyboard_removed", 1});
}
