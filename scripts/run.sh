#!/usr/bin/env bash
# Installs what is missing, builds, and starts Tessel in the working folder
# work/ (created beside the build), which holds the seed database. The first
# start creates "Tessel.mdb" there from "Tesseltest.mdb".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
build=${TESSEL_BUILD_DIR:-build}
work=${TESSEL_WORK_DIR:-$PWD/work}
mkdir -p "$work"
cp -f "$build/bin/Tesseltest.mdb" "$work/Tesseltest.mdb"
cd "$work"
exec "$OLDPWD/$build/bin/Tessel" "$@"
