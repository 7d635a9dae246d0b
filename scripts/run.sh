#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up the machine, builds Quendle and runs it. Without arguments it
# converts the bundled sample; otherwise the arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
cd "$root"
cmake --preset release >/dev/null
cmake --build build/release -j "$(nproc)" --target quendle >/dev/null
cd - >/dev/null
if [ $# -eq 0 ]; then
    mkdir -p "$root/out"
    set -- "$root/samples/sales.csv" "$root/out/sales.xlsx" /SILENT /FIELDS=";" /HEADER=1 \
        /ALLCHAR=0 /OVERWRITE=1
    echo "Converting the bundled sample samples/sales.csv into out/sales.xlsx"
fi
exec "$root/build/release/wizard/quendle" "$@"
