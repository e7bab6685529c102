#!/usr/bin/env bash
# Retakes the help pages' screenshots from the real program, in every language, under Xvfb, and
# makes them small (256-colour PNG; optipng too when it is installed). Run from anywhere after a
# build: tools/help-screenshots.sh [build folder]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$source_dir/build}
cmake --build "$build_dir" --target helpshots
# The fonts the language files name, whatever the caller's locale.
LANG=C.UTF-8 LC_ALL=C.UTF-8 xvfb-run -a -s '-screen 0 1280x800x24' \
    "$build_dir/tools/helpshots" "$source_dir" "$source_dir/resources/help"
for png in "$source_dir"/resources/help/*/shots/*.png; do
    # A thin frame sets the window apart from the page it stands on.
    convert "$png" -bordercolor '#a0a0a0' -border 1 -strip -colors 256 "PNG8:$png"
    if command -v optipng >/dev/null; then
        optipng -quiet -o5 "$png"
    fi
done
du -ch "$source_dir"/resources/help/*/shots/*.png | tail -1
