#!/usr/bin/env bash
# Makes docs/plot.png, the README's picture of the main window with a signal
# plot: a few seconds of the built-in virtual analyser's traffic captured and
# decoded with docs/plot-demo.dbc (fields of identifiers the analyser sends),
# drawn under Xvfb. Run it again after changing the windows.
#   scripts/screenshot-plot.sh [OUT.png] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/plot.png}
seconds=${2:-6}
build=${TESSEL_BUILD_DIR:-build}
bash scripts/deps.sh
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target tessel-plotshot tessel-tool

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/bin/Tesseltest.mdb" "$work/Tessel.mdb"
"$build/bin/tessel-tool" dbc import docs/plot-demo.dbc --db "$work" >/dev/null
# The imported data base is the one in use, at the analyser's 1 MHz stamps.
sqlite3 "$work/Tessel.mdb" <<'SQL'
INSERT OR REPLACE INTO Params (Name, Value)
  SELECT 'id_CAN', max(id_CAN) FROM CAN;
UPDATE CAN SET id_CAN_Timer = 1 WHERE id_CAN = (SELECT max(id_CAN) FROM CAN);
SQL
xvfb-run -a -s "-screen 0 1400x1000x24" \
  "$build/bin/tessel-plotshot" "$work" "$out" "$seconds" 100:Load 2A0:Mode
echo "$out"
