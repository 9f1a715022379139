// Invariants of every run over random texts and random options.
#include <random>
#include <vector>

#include "engine_check.hpp"
#include "random_options.hpp"
#include "unicode/char_tables.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;

namespace {

// Code points that exercise every rule: ASCII, whitespace and breaks, hidden characters,
// controls, typographic punctuation, emoji parts, marks, letters of many scripts, symbols.
const std::vector<char32_t> kPool = {
    'a', 'Z', '0', '=', '<', '>', '-', '.', ' ', ' ', ' ', '\t', '\n', '\r', 0x01, 0x7F,
    0x85, 0xA0, 0xAD, 0xA9, 0xB5, 0xD7, 0xDF, 0xE9, 0x0149, 0x0301, 0x0308, 0x0338, 0x034F,
    0x03A9, 0x0416, 0x0915, 0x094D, 0x1100, 0x1161, 0x11A8, 0x200B, 0x200C, 0x200D, 0x2013,
    0x2014, 0x2019, 0x201C, 0x2026, 0x2028, 0x2029, 0x2044, 0x20AC, 0x20E3, 0x2122, 0x2126,
    0x2192, 0x219B, 0x2260, 0x2264, 0x22EF, 0x2764, 0x3000, 0x4E2D, 0xAC00, 0xFB01, 0xFDFA,
    0xFE0F, 0xFEFF, 0xFF02, 0x1F1E6, 0x1F1FA, 0x1F3FB, 0x1F468, 0x1F469, 0x1F600, 0xE0001,
    0xE0067, 0xE007F, 0x10FFFF,
};

std::string random_text(std::mt19937& rng) {
    std::string s;
    const std::size_t len = rng() % 40;
    for (std::size_t i = 0; i < len; ++i) utf8::append(s, kPool[rng() % kPool.size()]);
    return s;
}

}  // namespace

TEST_CASE("engine_properties", "counters, validity and the keyboard set over random runs") {
    std::mt19937 rng(20261207);
    for (int iter = 0; iter < 30000; ++iter) {
        const Options o = random_options::draw(rng);
        const std::string text = random_text(rng);
        const auto r = clean(text, o);
        const std::string_view out = r.view(text);
        const std::string ctx = "input " + harness::show(text);
        CHECK_EQ_MSG(r.changes_made, engine_check::sum(r.stats), ctx);
        CHECK_EQ_MSG(utf8::is_valid(out), true, ctx);
        CHECK_EQ_MSG(r.stats.unicode_normalized <= 1, true, ctx);
        if (r.changes_made == 0 && o.unicode_normalization == NormalizationMode::None &&
            !o.has_line_endings()) {
            CHECK_EQ_MSG(std::string(out), text, ctx);
        }
        if (o.keyboard_only) {
            unicode::Clusters clusters(out);
            for (std::string_view g; clusters.next(g);) {
                bool all_keyboard = true;
                for (std::size_t i = 0; i < g.size();)
                    all_keyboard &= unicode::is_keyboard_char(utf8::decode(g, i), o.extended_keyboard);
                if (all_keyboard) continue;
                auto verdict = unicode::EmojiVerdict::Unknown;
                const bool kept_emoji = o.emoji_policy == EmojiPolicy::Keep &&
                                        unicode::is_emoji_cluster(g, verdict);
                CHECK_EQ_MSG(kept_emoji, true, ctx + " output cluster " + harness::show(g));
            }
        }
    }
}

TEST_CASE("engine_properties", "with nothing on every text comes back unchanged") {
    std::mt19937 rng(7);
    const Options o = engine_check::nothing_on();
    for (int iter = 0; iter < 5000; ++iter) {
        const std::string text = random_text(rng);
        const auto r = clean(text, o);
        CHECK_EQ(std::string(r.view(text)), text);
        CHECK_EQ(r.changes_made, 0u);
    }
}

TEST_CASE("engine_properties", "a batch cleaner appends text after text what clean gives each") {
    std::mt19937 rng(20261208);
    for (int batch = 0; batch < 600; ++batch) {
        const Options o = random_options::draw(rng);
        BatchCleaner cleaner(o);
        // (The buffer holds text before the first, with line breaks the post-pass must leave.)
        std::string out = "earlier\n", expected = out;
        for (int k = 0; k < 40; ++k) {
            const std::string text = random_text(rng);
            const auto r = clean(text, o);
            expected.append(r.view(text));
            const Tally tally = std::get<Tally>(cleaner.clean_append(text, out));
            const std::string ctx = "input " + harness::show(text);
            CHECK_EQ_MSG(out, expected, ctx);
            CHECK_EQ_MSG(tally.changes_made, r.changes_made, ctx);
            const auto got = tally.stats.entries(), want = r.stats.entries();
            for (std::size_t i = 0; i < want.size(); ++i) CHECK_EQ_MSG(got[i].second, want[i].second, ctx);
        }
    }
}
