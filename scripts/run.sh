#!/usr/bin/env bash
# Set-up, build and start the program.
#
#   ./scripts/run.sh            the program with the simulated module, published as the port
#                               "modsim" (chosen for you when no port is stored yet); the module
#                               stops when the program ends
#   ./scripts/run.sh --no-sim   the program alone, for a real module on a serial port
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target kvx7 modsim

if [ "${1:-}" = "--no-sim" ]; then
  exec build/app/kvx7
fi

# The settings folder as the program finds it.
if [ -n "${APPDATA:-}" ]; then
  folder="$APPDATA/DRUV"
elif [ -n "${XDG_CONFIG_HOME:-}" ]; then
  folder="$XDG_CONFIG_HOME/DRUV"
else
  folder="$HOME/.config/DRUV"
fi
mkdir -p "$folder"
ini="$folder/kvx7.ini"

# The simulated module at the program's default rate (9600 bit/s), so a first start connects
# and identifies without changing a setting.
log="$(mktemp)"
build/tools/modsim/modsim --name modsim --rate 9600 < /dev/null > "$log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 1 50); do
  [ -L "$folder/ports/modsim" ] && break
  sleep 0.1
done
if [ ! -L "$folder/ports/modsim" ]; then
  echo "The simulated module did not start:" >&2
  cat "$log" >&2
  exit 1
fi

# No port stored yet: choose the simulated one.
stored=""
if [ -f "$ini" ]; then
  stored="$(awk -F= '
    /^\[/ { s = tolower($0); gsub(/[ \t\r]/, "", s); inside = (s == "[interface]"); next }
    inside && tolower($1) ~ /^[ \t]*port[ \t]*$/ { v = $2; gsub(/[ \t\r]/, "", v); print v; exit }' "$ini")"
fi
if [ -z "$stored" ]; then
  tmp="$(mktemp "$folder/.kvx7.ini.XXXXXX")"
  awk '
    /^\[/ { s = tolower($0); gsub(/[ \t\r]/, "", s); if (inside && !done) { print "Port=modsim"; done = 1 }
            inside = (s == "[interface]"); print; if (inside) seen = 1; next }
    inside && tolower($0) ~ /^[ \t]*port[ \t]*=/ { if (!done) print "Port=modsim"; done = 1; next }
    { print }
    END { if (!seen) { print "[Interface]" } if (!done) print "Port=modsim" }' "${ini}" > "$tmp" 2>/dev/null || printf '[Interface]\nPort=modsim\n' > "$tmp"
  mv "$tmp" "$ini"
fi

set +e
build/app/kvx7
rc=$?
set -e
exit $rc
