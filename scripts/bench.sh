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

echo "== CSV read + split; typed: + classify and read each value, as a run does; letter: + classify only"
build/release/bench/csv_bench "$data/r1m.csv"
echo "== .xlsx writer"
build/release/bench/xlsx_bench
echo "== .xls writer"
build/release/bench/xls_bench "$data/xls_bench.xls"

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
# xlwt leaves empty fields out and writes no DBCELL or INDEX; the sizes
# with and without those records.
PYTHONPATH="$shared/peers" /usr/bin/python3 "$shared/peers/xlwt_csv.py" "$data/r60k.csv" "$data/r60k-xlwt.xls"
/usr/bin/python3 bench/xls_sizes.py "$data/r60k.xls" "$data/r60k-xlwt.xls"
echo "== growing a 14 MB and a 60 MB .xls book: a 60,000-row sheet added, 30,000 rows appended"
bench/xls_grow.sh "$quendle" "$data"

echo "== 50 files, each to its own .xlsx: one at a time (QUENDLE_JOBS=1) against several at once"
batch="$data/batch50"
if [ ! -f "$batch/b50.csv" ]; then
    mkdir -p "$batch"
    python3 "$shared/gen_csv.py" 20000 "$data/r20k.csv"
    for i in $(seq -w 1 50); do cp "$data/r20k.csv" "$batch/b$i.csv"; done
fi
# Runs the batch; prints its wall time. Every workbook must be a sound zip,
# and its sheet the same whichever way the batch ran.
convert_batch() {
    local jobs=$1
    rm -f "$batch"/*.xlsx
    local start end
    start=$(date +%s.%N)
    if [ "$jobs" = 1 ]; then
        QUENDLE_JOBS=1 "$quendle" "$batch/*.csv" /SILENT /TYPE=2007 /ALLCHAR=0
    else
        env -u QUENDLE_JOBS "$quendle" "$batch/*.csv" /SILENT /TYPE=2007 /ALLCHAR=0
    fi
    end=$(date +%s.%N)
    local sums=""
    for i in $(seq -w 1 50); do
        unzip -tq "$batch/b$i.xlsx" >/dev/null || { echo "bad workbook b$i.xlsx" >&2; exit 1; }
        sums+=$(unzip -p "$batch/b$i.xlsx" xl/worksheets/sheet1.xml | md5sum)
    done
    echo "$sums" | md5sum >"$batch/sheets-$jobs.md5"
    awk -v a="$start" -v b="$end" 'BEGIN {print b - a}'
}
one=() many=()
for _ in $(seq "$runs"); do
    one+=("$(convert_batch 1)")
    many+=("$(convert_batch 0)")
done
cmp -s "$batch/sheets-1.md5" "$batch/sheets-0.md5" ||
    { echo "the sheets differ between one at a time and at once" >&2; exit 1; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
m1=$(median "${one[@]}")
mn=$(median "${many[@]}")
awk -v one="$m1" -v many="$mn" -v threads="$(nproc)" 'BEGIN {
    printf "one at a time %.2f s, at once (%d threads) %.2f s, ratio %.2f\n", one, threads, many, many / one
}'
