// Pending whitespace runs: collapsing, trailing whitespace, and drops next to whitespace.
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
