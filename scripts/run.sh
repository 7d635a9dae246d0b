#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds Quendle and runs it. Without arguments it
# converts the bundled sample; otherwise the arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root"
mkdir -p build
if ! { cmake --preset release && cmake --build build/release -j "$(nproc)" --target quendle; } \
    >build/release-build.log 2>&1; then
    cat build/release-build.log >&2
    exit 1
fi
cd - >/dev/null
if [ $# -eq 0 ]; then
    mkdir -p "$root/out"
    set -- "$root/samples/sales.csv" "$root/out/sales.xlsx" /SILENT /FIELDS=";" /HEADER=1 \
        /ALLCHAR=0 /OVERWRITE=1
    echo "Converting the bundled sample samples/sales.csv into out/sales.xlsx"
    "$root/build/release/wizard/quendle" "$@"
    echo "Done: $root/out/sales.xlsx (sheet \"sales\": numbers, dates and booleans typed)"
    exit 0
fi
exec "$root/build/release/wizard/quendle" "$@"
