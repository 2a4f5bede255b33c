#!/usr/bin/env bash
# Installs the Debian packages Tessel needs to build, run and test; only what
# is missing, so a second run costs nothing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite
          qt6-svg-dev libqcustomplot-dev libqcustomplot2.1-qt6
          libgl-dev libbenchmark-dev sqlite3 xvfb xauth can-utils
          qt6-charts-dev libqt6opengl6-dev) # the last two: the plot benchmark's comparison only
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
