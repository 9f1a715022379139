// Line-ending styles and what each counts.
#include "engine_check.hpp"

using namespace scrubix;
using engine_check::nothing_on;

namespace {
Options style(LineEndingStyle s) {
    Options o = nothing_on();
    o.line_endings = s;
    return o;
}
}  // namespace

TEST_CASE("line_endings", "each style counts the breaks not already in it") {
    const auto lf = style(LineEndingStyle::Lf), crlf = style(LineEndingStyle::Crlf),
               cr = style(LineEndingStyle::Cr);
    CHECK_CLEAN("a\r\nb\rc\u2028d", lf, "a\nb\nc\nd", {"line_endings_normalized", 3});
    CHECK_CLEAN("a\nb\n", lf, "a\nb\n");
    CHECK_CLEAN("a\r\nb\nc", crlf, "a\r\nb\r\nc", {"line_endings_normalized", 1});
    CHECK_CLEAN("a\rb\nc", cr, "a\rb\rc", {"line_endings_normalized", 1});
    CHECK_CLEAN("a\r\nb", cr, "a\rb", {"line_endings_normalized", 1});
    CHECK_CLEAN("no breaks", crlf, "no breaks");
    CHECK_CLEAN("\r\r\n", lf, "\n\n", {"line_endings_normalized", 2});
    CHECK_CLEAN("x\u0085y\u2029z", crlf, "x\r\ny\r\nz", {"line_endings_normalized", 2});
}

TEST_CASE("line_endings", "absent style leaves breaks alone") {
    Options o = nothing_on();
    CHECK_CLEAN("a\r\nb\rc", o, "a\r\nb\rc");
    o.remove_control_chars = true;
    CHECK_CLEAN("a\u0085b", o, "ab", {"control_chars_removed", 1});
    o.line_endings = LineEndingStyle::Lf;
    CHECK_CLEAN("a\u0085b", o, "a\nb", {"line_endings_normalized", 1});
}

TEST_CASE("line_endings", "trailing whitespace before a former CR LF") {
    Options o = style(LineEndingStyle::Crlf);
    o.remove_trailing_whitespace = true;
    CHECK_CLEAN("a \r\nb", o, "a\r\nb", {"trailing_whitespace_removed", 1});
}
