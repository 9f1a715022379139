// Emoji sequences through the whole engine, and the keyboard set over code points of all planes.
#include <random>

#include "engine_check.hpp"
#include "translit/resolve.hpp"
#include "ucd_reader.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;

TEST_CASE("emoji_policy", "every fully-qualified emoji is dropped as one change or kept byte for byte") {
    const auto path = ucd_reader::ucd_file("emoji-test.txt");
    Options keep;
    keep.emoji_policy = EmojiPolicy::Keep;
    std::size_t seen = 0, spelled_count = 0;
    ucd_reader::for_each_record(path, [&](const std::vector<std::string_view>& fields) {
        if (fields.at(1) != "fully-qualified") return;
        std::string emoji;
        for (std::string_view cp : ucd_reader::split(fields[0], ' '))
            if (!cp.empty()) utf8::append(emoji, ucd_reader::parse_hex(cp));
        ++seen;
        const std::string ctx(fields[0]);
        // Default options: keyboard-only, emoji dropped, hidden characters removed. A few
        // emoji hold a character that transliteration spells (a keycap's digit, U+2705 "[x]",
        // U+2122 "TM"); the filter writes that spelling and nothing is dropped.
        // U+3030 wavy dash is in the dash map, so the pipeline rewrites it first.
        bool spelled = false, rewritten = false;
        std::string scratch;
        for (std::size_t i = 0; i < emoji.size();) {
            const char32_t c = utf8::decode(emoji, i);
            rewritten |= unicode::dash_replacement(c) != 0 || unicode::quote_replacement(c) != 0 ||
                         unicode::space_replacement(c) != 0;
            spelled |= rewritten || unicode::is_keyboard_char(c, false) ||
                       translit::resolve_non_keyboard(c, NonAsciiPolicy::Transliterate, false, scratch);
        }
        spelled_count += spelled;
        const std::string text = "a " + emoji + " b";
        const auto dropped = clean(text, Options{});
        const std::string out(dropped.view(text));
        if (spelled) {
            CHECK_EQ_MSG(out.size() > 4 && out.starts_with("a ") && out.ends_with(" b"), true, ctx + " " + out);
            CHECK_EQ_MSG(dropped.stats.emojis_dropped, 0u, ctx);
        } else {
            CHECK_EQ_MSG(out, std::string("a b"), ctx);
            CHECK_EQ_MSG(dropped.changes_made, 1u, ctx);
            CHECK_EQ_MSG(dropped.stats.emojis_dropped, 1u, ctx);
        }
        const auto kept = clean(text, keep);
        CHECK_EQ_MSG(kept.stats.emojis_dropped, 0u, ctx);
        if (!rewritten) {
            CHECK_EQ_MSG(std::string(kept.view(text)), text, ctx);
            CHECK_EQ_MSG(kept.changes_made, 0u, ctx);
        }
    });
    CHECK(seen > 3000);
    CHECK(spelled_count < 100);
    CHECK_CLEAN("\u2705", Options{}, "[x]", {"non_keyboard_transliterated", 1});
    CHECK_CLEAN("\u2122\uFE0F", Options{}, "TM", {"non_keyboard_transliterated", 1},
                {"hidden_chars_removed", 1});
    CHECK_CLEAN("#\uFE0F\u20E3", Options{}, "#", {"hidden_chars_removed", 1}, {"non_keyboard_removed", 1});
}

TEST_CASE("emoji_policy", "keyboard-only output holds only keyboard characters outside kept emoji") {
    std::mt19937 rng(314159);
    auto random_scalar = [&]() -> char32_t {
        switch (rng() % 4) {
            case 0: return 0x20 + rng() % 0x60;                  // ASCII
            case 1: return 0x80 + rng() % (0x3000 - 0x80);       // alphabets, marks, symbols
            case 2: return 0x1F000 + rng() % 0x1000;             // emoji and pictographs
            default: {                                           // anywhere
                char32_t c;
                do c = rng() % 0x110000; while (c >= 0xD800 && c <= 0xDFFF);
                return c;
            }
        }
    };
    for (int iter = 0; iter < 20000; ++iter) {
        std::string text;
        const std::size_t len = 1 + rng() % 24;
        for (std::size_t i = 0; i < len; ++i) utf8::append(text, random_scalar());
        Options o;
        o.extended_keyboard = rng() & 1;
        o.emoji_policy = (rng() & 1) ? EmojiPolicy::Keep : EmojiPolicy::Drop;
        o.non_ascii_policy = static_cast<NonAsciiPolicy>(rng() % 3);
        o.unicode_normalization = static_cast<NormalizationMode>(rng() % 5);
        const auto r = clean(text, o);
        const std::string_view out = r.view(text);
        unicode::Clusters clusters(out);
        for (std::string_view g; clusters.next(g);) {
            bool keyboard = true;
            for (std::size_t i = 0; i < g.size();)
                keyboard &= unicode::is_keyboard_char(utf8::decode(g, i), o.extended_keyboard);
            if (keyboard) continue;
            auto verdict = unicode::EmojiVerdict::Unknown;
            CHECK_EQ_MSG(o.emoji_policy == EmojiPolicy::Keep && unicode::is_emoji_cluster(g, verdict),
                         true, harness::show(text) + " gave cluster " + harness::show(g));
        }
    }
}
