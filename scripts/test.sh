#!/usr/bin/env bash
# Set-up, build and every test through CTest. Exits non-zero when anything fails.
#
#   ./scripts/test.sh                   everything (the program, every test, the windows' tests
#                                       included) built with AddressSanitizer and
#                                       UndefinedBehaviorSanitizer, in build-san/: a memory fault,
#                                       a leak or undefined behaviour fails the test that met it
#   ./scripts/test.sh --no-sanitizers   the same tests in a plain optimised build, in build/ (the
#                                       build ./scripts/run.sh uses)
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=1
case "${1:-}" in
  "") ;;
  --no-sanitizers) sanitize=0 ;;
  *)
    echo "usage: $0 [--no-sanitizers]" >&2
    exit 2
    ;;
esac

bash scripts/setup.sh
jobs=$(nproc)
if [ "$sanitize" = 1 ]; then
  dir=build-san
  san="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
  # Unoptimised with line tables only: about as quick to build as the plain optimised build, and
  # every report still names the file and line. The benchmarks are built too, so they keep
  # compiling, but not run: they measure nothing under the sanitizers.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKVX_BENCH=ON \
    -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
    -DCMAKE_CXX_FLAGS="$san" -DCMAKE_C_FLAGS="$san" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
  # The first report ends the program that raised it, so its test fails.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$dir" -j "$jobs"
# Most tests wait on a line, not on a processor: three at a time per core keeps them short.
ctest --test-dir "$dir" --output-on-failure -j "$((jobs * 3))"
