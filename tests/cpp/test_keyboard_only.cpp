// Keyboard-only output: policies, emoji clusters, the U+0338 negation and counting.
#include "engine_check.hpp"
#include "pass/keyboard_only_filter.hpp"

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
    }
    CHECK_CLEAN("=\u0338", keyboard(NonAsciiPolicy::Drop), "=", {"non_keyboard_removed", 1});
    CHECK_CLEAN("\u2264\u0338", keyboard(NonAsciiPolicy::Transliterate), "!<=",
                {"non_keyboard_transliterated", 2});
    CHECK_CLEAN("\u2264\u0338", keyboard(NonAsciiPolicy::Fold), "", {"non_keyboard_removed", 2});
    Options nfd = keyboard(NonAsciiPolicy::Transliterate);
    nfd.unicode_normalization = NormalizationMode::NFD;
    CHECK_CLEAN("\u219B", nfd, "->", {"unicode_normalized", 1}, {"non_keyboard_transliterated", 1},
                {"non_keyboard_removed", 1});

    std::string f = "a===";
    CHECK(negate_trailing_operator(f));
    CHECK_EQ(f, std::string("a!=="));
    for (const char* no : {"", "a", "=>", "<<", "-=", "->", "===="}) {
        std::string s = no;
        CHECK(!negate_trailing_operator(s));
        CHECK_EQ(s, std::string(no));
    }
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
