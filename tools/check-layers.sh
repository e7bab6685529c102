#!/usr/bin/env bash
# Each folder may include headers of the folders below it only; this fails, naming the line, when
# one reaches up or sideways. Run by ctest.
set -u
cd "$(dirname "$0")/.."
declare -A allowed=(
    [core]="core"
    [store]="core store"
    [exchange]="core store exchange"
    [sync]="core store exchange sync"
    [book]="core store exchange sync book"
    [ui]="core ui"
    [access]="core store ui book access"
    [editors]="core store ui book editors"
    [dialogs]="core store exchange sync ui book dialogs"
    [main]="core store exchange sync ui book access editors dialogs main"
    [app]="core store exchange sync ui book access editors dialogs main app"
)
status=0
for folder in "${!allowed[@]}"; do
    while IFS= read -r line; do
        target=${line#*#include \"}
        target=${target%%/*}
        if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
            echo "$folder may not include $target: $line"
            status=1
        fi
    done < <(grep -rn '^#include "[a-z]*/' "$folder" --include='*.cpp' --include='*.h')
done
# Two names that differ only in letter case collide on case-insensitive file systems.
dupes=$(git ls-files 2>/dev/null | sort -u | tr '[:upper:]' '[:lower:]' | sort | uniq -d)
if [ -n "$dupes" ]; then
    echo "file names that differ only in case: $dupes"
    status=1
fi
[ $status -eq 0 ] && echo "layers in order"
exit $status
