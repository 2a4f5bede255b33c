#!/usr/bin/env bash
# Checks that every source file includes headers of its own folder or of a
# layer below it, never of a layer above or beside it. Layers, lowest first:
#
#   0  core serial                      frames, database, settings, values, capture store
#                                       and file format; the serial-port layer
#   1  link candb sim uploader          packet link and commands; CAN database editing;
#                                       the virtual analyser; Flashor's protocol and run
#   2  views sender tool                list models, time line; send run, analyser settings;
#                                       the command line's commands
#   3  widgets                          widget helpers every window shares
#   4  link/ui candb/ui sender/ui uploader/ui   the windows of each area
#   5  views/ui                         the main window
#   6  app sim/app uploader/app tool/app   the programs: wiring only
#
# Flashor links nothing of Tessel: uploader folders include only their own
# and serial/. Tests, benchmarks and fuzz targets may include anything.
# Prints each offending include and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

level() {
    case "$1" in
    core | serial) echo 0 ;;
    link | candb | sim | uploader) echo 1 ;;
    views | sender | tool) echo 2 ;;
    widgets) echo 3 ;;
    link/ui | candb/ui | sender/ui | uploader/ui) echo 4 ;;
    views/ui) echo 5 ;;
    app | sim/app | uploader/app | tool/app) echo 6 ;;
    *) echo "" ;;
    esac
}

# Known upward includes, each to be removed by the change named beside it.
allowed=()

failed=0
while IFS= read -r file; do
    folder=$(dirname "$file")
    own=$(level "$folder")
    [ -n "$own" ] || continue
    while IFS= read -r header; do
        target=$(dirname "$header")
        [ "$target" = "$folder" ] && continue
        theirs=$(level "$target")
        [ -n "$theirs" ] || continue # not one of ours (a test support header, say)
        ok=1
        if [[ "$folder" == uploader* ]]; then
            [[ "$target" == uploader* || "$target" == serial ]] || ok=0
        elif ((theirs >= own)); then
            ok=0
        fi
        if ((ok == 0)); then
            for pair in "${allowed[@]}"; do
                [ "$pair" = "$file:$header" ] && ok=1
            done
        fi
        if ((ok == 0)); then
            echo "layer violation: $file includes $header"
            failed=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | sed 's#^\./##')

if ((failed)); then
    exit 1
fi
echo "layers: every include points down"
