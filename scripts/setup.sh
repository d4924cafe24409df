#!/usr/bin/env bash
# Installs what the build, the tests and the program need from Debian's packages.
# Idempotent: packages already present are left alone; runs as root or through sudo.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-dev libxml2-utils gettext
  qt6-base-dev qt6-base-dev-tools qt6-pdf-dev libqt6opengl6-dev libgl-dev
  xvfb xauth fonts-liberation poppler-utils
  clang libclang-rt-14-dev srecord
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
