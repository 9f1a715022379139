"""Writes src/unicode/generated/unicode_version.hpp: the Unicode version of the engine's data.

Every table generated from the Unicode Character Database asserts this version at compile time,
and the tests read it to find the data files, so a version change is made in one place
(`ucdlib.UNICODE_VERSION`) and shows wherever a table was not regenerated.
"""

from __future__ import annotations

import sys

import ucdlib

OUT_NAME = "unicode_version.hpp"


def render(command: str) -> str:
    return "\n".join([
        ucdlib.generated_header(command, ["tools/ucdlib.py"], notice=None),
        "#pragma once\n\n#include <string_view>\n\nnamespace scrubix::unicode {\n",
        "// The version of the Unicode Character Database the engine's tables are generated from.",
        f'inline constexpr std::string_view kUnicodeVersion = "{ucdlib.UNICODE_VERSION}";\n',
        "}  // namespace scrubix::unicode\n",
    ])


def main(argv: list[str] | None = None) -> int:
    parser = ucdlib.arg_parser(__doc__.splitlines()[0], ucdlib.REPO / "src" / "unicode" / "generated")
    args = parser.parse_args(argv)
    ucdlib.write_file(args.out / OUT_NAME, render("python tools/gen_unicode_version.py"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
