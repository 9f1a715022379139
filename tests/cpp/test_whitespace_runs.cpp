// Pending whitespace runs: collapsing, trailing whitespace, and drops next to whitespace.
#include <random>

#include "engine_check.hpp"

using namespace scrubix;
using engine_check::nothing_on;

TEST_CASE("whitespace_runs", "collapsing counts all but one character per run") {
    Options o = nothing_on();
    o.collapse_whitespace = true;
    CHECK_CLEAN("a  b", o, "a b", {"whitespace_collapsed", 1});
    CHECK_CLEAN("a   b", o, "a b", {"whitespace_collapsed", 2});
    CHECK_CLEAN("a\tb", o, "a b", {"whitespace_collapsed", 1});
    CHECK_CLEAN("a \tb", o, "a b", {"whitespace_collapsed", 1});
    CHECK_CLEAN("a b", o, "a b");
    CHECK_CLEAN("  a", o, " a", {"whitespace_collapsed", 1});
    CHECK_CLEAN("a  \n", o, "a \n", {"whitespace_collapsed", 1});
}

TEST_CASE("whitespace_runs", "trailing whitespace before line breaks and at the end") {
    Options o = nothing_on();
    o.remove_trailing_whitespace = true;
    CHECK_CLEAN("a \nb", o, "a\nb", {"trailing_whitespace_removed", 1});
    CHECK_CLEAN("a\t\t", o, "a", {"trailing_whitespace_removed", 2});
    CHECK_CLEAN("a \r\nb \rc", o, "a\r\nb\rc", {"trailing_whitespace_removed", 2});
    CHECK_CLEAN("  a", o, "  a");
    CHECK_CLEAN("   ", o, "", {"trailing_whitespace_removed", 3});
}

TEST_CASE("whitespace_runs", "whitespace around dropped clusters") {
    Options o = nothing_on();
    o.keyboard_only = true;
    CHECK_CLEAN("a \U0001F600 b", o, "a b", {"emojis_dropped", 1});
    CHECK_CLEAN("\U0001F600 b", o, "b", {"emojis_dropped", 1});
    CHECK_CLEAN("a \U0001F600", o, "a ", {"emojis_dropped", 1});
    CHECK_CLEAN("\n\U0001F600 b", o, "\n b", {"emojis_dropped", 1});
    CHECK_CLEAN("\U0001F600a\t\tb", o, "a \tb", {"emojis_dropped", 1});
    o.collapse_whitespace = true;
    CHECK_CLEAN("\U0001F600a\t\tb", o, "a b", {"emojis_dropped", 1}, {"whitespace_collapsed", 1});
    o.collapse_whitespace = false;
    o.remove_trailing_whitespace = true;
    CHECK_CLEAN("a \U0001F600", o, "a", {"emojis_dropped", 1}, {"trailing_whitespace_removed", 1});
}

namespace {
// Plain model of collapsing and trimming for ASCII text without drops.
std::pair<std::string, std::pair<std::uint64_t, std::uint64_t>> model(const std::string& text,
                                                                       bool collapse, bool trim) {
    std::string out, run;
    std::uint64_t collapsed = 0, trimmed = 0;
    auto write_run = [&] {
        if (run.empty()) return;
        if (!collapse) {
            out += run;
        } else {
            out += ' ';
            if (run != " ") collapsed += run.size() > 1 ? run.size() - 1 : 1;
        }
        run.clear();
    };
    auto trailing = [&] {
        if (trim) {
            trimmed += run.size();
            run.clear();
        } else {
            write_run();
        }
    };
    for (char ch : text) {
        if (ch == ' ' || ch == '\t') {
            run += ch;
        } else if (ch == '\n') {
            trailing();
            out += ch;
        } else {
            write_run();
            out += ch;
        }
    }
    trailing();
    return {out, {collapsed, trimmed}};
}
}  // namespace

TEST_CASE("whitespace_runs", "ascii words and spaces at every alignment match a plain model") {
    std::mt19937 rng(99);
    const char alphabet[] = {'a', 'b', '.', ' ', ' ', ' ', '\t', '\n'};
    for (int iter = 0; iter < 20000; ++iter) {
        std::string text;
        const std::size_t len = rng() % 70;
        for (std::size_t i = 0; i < len; ++i) text += alphabet[rng() % sizeof alphabet];
        for (int mode = 0; mode < 4; ++mode) {
            Options o = nothing_on();
            o.collapse_whitespace = mode & 1;
            o.remove_trailing_whitespace = (mode & 2) != 0;
            const auto [want, counts] = model(text, o.collapse_whitespace, o.remove_trailing_whitespace);
            const auto r = clean(text, o);
            CHECK_EQ_MSG(std::string(r.view(text)), want, harness::show(text));
            CHECK_EQ_MSG(r.stats.whitespace_collapsed, counts.first, harness::show(text));
            CHECK_EQ_MSG(r.stats.trailing_whitespace_removed, counts.second, harness::show(text));
        }
    }
}
