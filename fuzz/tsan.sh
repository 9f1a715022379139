#!/usr/bin/env bash
# Runs the engine's eight-thread stress suite under ThreadSanitizer.
#
#   fuzz/tsan.sh [OUT_DIR]          (default: build/tsan)
#
# Builds the native test runner with only the thread_stress suite and the engine, compiled
# with -fsanitize=thread (clang++ when present, else g++), and runs it. Any data race makes
# ThreadSanitizer report it and the script fail.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$repo/build/tsan}"
cxx="${CXX_TSAN:-$(command -v clang++ || command -v g++)}"
mkdir -p "$out"
mapfile -t engine < <(find "$repo/src" -name '*.cpp' | sort)
"$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=thread -Wall -Wextra \
    -I"$repo/src" -I"$repo/tests/cpp" "$repo/tests/cpp/main.cpp" "$repo/tests/cpp/test_thread_stress.cpp" \
    "${engine[@]}" -o "$out/thread_stress_tsan" -pthread
TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}" \
    "$out/thread_stress_tsan" --data "$repo/../shared" thread_stress
