#!/usr/bin/env bash
# Reference-count check of the binding under Debian's debug interpreter.
#
#   tools/debug_refcounts.sh [pytest arguments]
#
# Needs python3-dbg and python3-dev (apt-get install -y python3-dbg python3-dev). The wheel's
# abi3 extension is built against the release headers, whose inline reference counting does
# not keep the debug interpreter's total, so the extension is compiled here against the debug
# headers into build/dbg/site. pytest comes from the release interpreter of the same minor
# version (pure Python); the debug build of the module is put before it on the path. Runs
# tests/test_binding_safety.py, whose test_reference_counts_are_balanced prints the
# sys.gettotalrefcount() deltas of every entry point (shown with -s).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
dbg="${PYTHON_DBG:-python3-dbg}"
release="${PYTHON_RELEASE:-python3}"
command -v "$dbg" >/dev/null || { echo "debug_refcounts.sh: $dbg not found (apt-get install python3-dbg)" >&2; exit 2; }
include="$("$dbg" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')"
suffix="$("$dbg" -c 'import importlib.machinery as m; print(m.EXTENSION_SUFFIXES[0])')"
[[ -f "$include/Python.h" ]] || { echo "debug_refcounts.sh: no Python.h in $include (apt-get install python3-dev)" >&2; exit 2; }
dbg_minor="$("$dbg" -c 'import sys; print(sys.version_info[:2])')"
[[ "$("$release" -c 'import sys; print(sys.version_info[:2])')" == "$dbg_minor" ]] ||
    { echo "debug_refcounts.sh: $release is not Python $dbg_minor (set PYTHON_RELEASE)" >&2; exit 2; }

site="$repo/build/dbg/site"
rm -rf "$site" && mkdir -p "$site/scrubix"
cp "$repo"/python/scrubix/*.py "$repo"/python/scrubix/*.pyi "$repo"/python/scrubix/py.typed "$site/scrubix/"
mapfile -t sources < <(find "$repo/src" "$repo/python/src" -name '*.cpp' | sort)
g++ -std=c++20 -O1 -g -fPIC -shared -fvisibility=hidden -Wall -Wextra -I"$include" -I"$repo/src" \
    "${sources[@]}" -o "$site/scrubix/_scrubix$suffix"

tools_path="$("$release" -c 'import os, pytest; print(os.path.dirname(os.path.dirname(pytest.__file__)))')"
cd "$repo"
PYTHONPATH="$site:$tools_path" "$dbg" -c "import sys, scrubix; assert hasattr(sys, 'gettotalrefcount'); \
assert scrubix.__file__.startswith('$site'), scrubix.__file__"
PYTHONPATH="$site:$tools_path" exec "$dbg" -m pytest -p no:cacheprovider tests/test_binding_safety.py "$@"
