#!/usr/bin/env bash
# Set-up, build and every test through CTest. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
# Most tests wait on a line, not on a processor: three at a time per core keeps them short.
ctest --test-dir build --output-on-failure -j "$((jobs * 3))"
