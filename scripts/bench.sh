#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures Quendle: CSV reading (MB/s, text and typed), the workbook writers
# (seconds and peak memory), and whole conversions against the peers in
# ../shared/bench (the libxlsxwriter baseline for .xlsx, python3-xlwt for .xls).
# Run it on an otherwise idle machine; figures under load mean little.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
shared="$root/../shared/bench"
data=${DATA:-/tmp/quendle-bench}
runs=${RUNS:-3}
cd "$root"
scripts/setup.sh
# Only the peers need these.
for package in libxlsxwriter-dev python3-xlwt time unzip; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        { apt-get update -qq && apt-get install -y -qq --no-install-recommends "$package"; }
done

cmake --preset release -DQUENDLE_BENCHMARKS=ON >/dev/null
cmake --build build/release -j "$(nproc)" >/dev/null
make -s -C "$shared" BUILD="$root/build/peers" >/dev/null

mkdir -p "$data"
[ -f "$data/r1m.csv" ] || python3 "$shared/gen_csv.py" 1000000 "$data/r1m.csv"
[ -f "$data/r60k.csv" ] || python3 "$shared/gen_csv.py" 60000 "$data/r60k.csv"

echo "== CSV read + split (+ classify)"
build/release/bench/csv_bench "$data/r1m.csv"
echo "== .xlsx writer"
build/release/bench/xlsx_bench
echo "== .xls writer"
build/release/bench/xls_bench

quendle="$root/build/release/wizard/quendle"
echo "== whole conversion to .xlsx, text mode, against the libxlsxwriter baseline"
BUILD="$root/build/peers" RUNS=$runs "$shared/peers.sh" -n "$runs" \
    -c "$quendle {in} {out} /SILENT /OVERWRITE=1" "$data/r1m.csv"
echo "== whole conversion to .xlsx, typed (ALLCHAR=0), against the baseline's --numbers mode"
BUILD="$root/build/peers" RUNS=$runs "$shared/peers.sh" -n "$runs" \
    -c "$quendle {in} {out} /SILENT /OVERWRITE=1 /ALLCHAR=0" \
    -b "$root/build/peers/xlsxwriter_csv --numbers {in} {out}" "$data/r1m.csv"
echo "== whole conversion to .xls against python3-xlwt"
BUILD="$root/build/peers" RUNS=$runs "$shared/peers.sh" -n "$runs" -e xls \
    -c "$quendle {in} {out} /SILENT /OVERWRITE=1 /TYPE=ANY" \
    -b "/usr/bin/python3 $shared/peers/xlwt_csv.py {in} {out}" "$data/r60k.csv"
# Speed counts only for a file readers take: xlrd reads every cell, the record
# walker checks INDEX and DBCELL offsets and shows how far strings merged.
"$quendle" "$data/r60k.csv" "$data/r60k.xls" /SILENT /OVERWRITE=1 /TYPE=ANY
/usr/bin/python3 tests/tools/xls_cells.py "$data/r60k.xls" >/dev/null
/usr/bin/python3 tests/tools/xls_records.py "$data/r60k.xls" | grep -E '^(index|sst) '
if /usr/bin/python3 tests/tools/xls_records.py "$data/r60k.xls" | grep -E '^index ' | grep -v ' ok$'; then
    echo "the .xls file's INDEX is wrong" >&2
    exit 1
fi

