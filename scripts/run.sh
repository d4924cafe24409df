#!/usr/bin/env bash
# Set-up, build and start the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ -x build/app/kvx7 ]; then
  exec build/app/kvx7 "$@"
fi
echo "The main window is not built yet; the simulated module can be started with build/tools/modsim/modsim." >&2
exit 1
