#!/usr/bin/env bash
# Set-up, build and start the program.
#
# The main window is not built yet. Until it is, this starts the live views instead: the
# parameter grid, the monitor, the oscilloscope and the terminal, fed by the protocol from the
# simulated module (or from a real module: ./scripts/run.sh --port ttyUSB0).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ -x build/app/kvx7 ]; then
  exec build/app/kvx7 "$@"
fi
echo "The main window is not built yet; starting the live views on the simulated module." >&2
exec build/tools/liveview/liveview "$@"
