#!/usr/bin/env bash
# Runs one fuzz target for a while: fuzz/run.sh TARGET SECONDS [extra libFuzzer flags]
#
#   TARGET   fuzz_normalize, fuzz_clusters or fuzz_clean
#   SECONDS  how long to fuzz (libFuzzer -max_total_time)
#
# Builds the targets (fuzz/build.sh) and writes the seed corpus (fuzz/make_seeds.py) and the
# dictionary (fuzz/make_dict.py) when they are missing. The corpus grows in
# fuzz/corpus/TARGET (ignored by git); inputs that break
# an invariant or crash are saved as build/fuzz/artifacts/TARGET-*. Exit status non-zero on
# any finding.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:?usage: fuzz/run.sh TARGET SECONDS}"
seconds="${2:?usage: fuzz/run.sh TARGET SECONDS}"
shift 2
out="${FUZZ_BUILD_DIR:-$repo/build/fuzz}"
corpus="$repo/fuzz/corpus/$target"

"$repo/fuzz/build.sh" "$out" >/dev/null
[[ -d "$corpus" ]] || python3 "$repo/fuzz/make_seeds.py" --out "$repo/fuzz/corpus" >/dev/null
# The dictionary of every character the engine's tables and maps name (needs the Unicode data).
dict="$repo/fuzz/scrubix.dict"
[[ -f "$dict" ]] || python3 "$repo/fuzz/make_dict.py" --out "$dict" >/dev/null || true
dict_flag=()
[[ -f "$dict" ]] && dict_flag=("-dict=$dict")
mkdir -p "$out/artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "$out/$target" "$corpus" -max_total_time="$seconds" -max_len=8192 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$out/artifacts/$target-" "${dict_flag[@]}" "$@"
