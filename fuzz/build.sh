#!/usr/bin/env bash
# Builds the fuzz targets with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   fuzz/build.sh [OUT_DIR]          (default: build/fuzz)
#
# Needs clang with libFuzzer (Debian: apt-get install -y clang). The engine is compiled once
# into OUT_DIR/obj and linked into fuzz_normalize, fuzz_clusters and fuzz_clean.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$repo/build/fuzz}"
cxx="${CXX_FUZZ:-clang++}"
command -v "$cxx" >/dev/null || { echo "fuzz/build.sh: $cxx not found (apt-get install -y clang)" >&2; exit 2; }

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -Wall -Wextra
       -fsanitize=address,undefined -fno-sanitize-recover=undefined -I"$repo/src")
mkdir -p "$out/obj"

# Engine objects, rebuilt when the source or a header is newer.
objs=()
jobs=()
while IFS= read -r src; do
    rel="${src#"$repo"/src/}"
    obj="$out/obj/${rel//\//_}.o"
    objs+=("$obj")
    if [[ ! -f "$obj" || "$src" -nt "$obj" ]] ||
       [[ -n "$(find "$repo/src" \( -name '*.hpp' -o -name '*.inc' \) -newer "$obj" | head -1)" ]]; then
        jobs+=("$src|$obj")
    fi
done < <(find "$repo/src" -name '*.cpp' | sort)
if ((${#jobs[@]})); then
    printf '%s\n' "${jobs[@]}" | xargs -P 2 -I{} bash -c \
        'src="${1%%|*}"; obj="${1##*|}"; shift; "$@" -fsanitize=fuzzer-no-link -c "$src" -o "$obj"' \
        _ {} "$cxx" "${flags[@]}"
fi

for target in fuzz_normalize fuzz_clusters fuzz_clean; do
    "$cxx" "${flags[@]}" -fsanitize=fuzzer "$repo/fuzz/$target.cpp" "${objs[@]}" -o "$out/$target"
done
echo "fuzz targets in $out: fuzz_normalize fuzz_clusters fuzz_clean"
