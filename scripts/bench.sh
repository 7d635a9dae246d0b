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
[ -f "$data/r100k.csv" ] || python3 "$shared/gen_csv.py" 100000 "$data/r100k.csv"

echo "== CSV read + split; typed: + classify and read each value, as a run does; letter: + classify only"
build/release/bench/csv_bench "$data/r1m.csv"
echo "== .xlsx writer, plain and with fitted widths, frozen title row and filter (same rows)"
build/release/bench/xlsx_bench
build/release/bench/xlsx_bench --layout
echo "== .xls writer"
build/release/bench/xls_bench "$data/xls_bench.xls"
echo "== .xls writer with the layout options (/AUTOFIT measures every cell)"
build/release/bench/xls_bench "$data/xls_bench_layout.xls" 65000 layout

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

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

echo "== 2 rows appended below a big .xlsx sheet (OVERWRITETABLE=0), against writing that sheet fresh"
# Two data rows of another file, the day's export added to the running sheet.
sed -n 2,3p "$data/r100k.csv" >"$data/add2.csv"
# Times both jobs alternately; prints the medians, their ratio and the
# append's highest peak memory. The appended sheet must be the sheet that converting
# all rows at once gives, byte for byte; openpyxl and the schema check it at 100k.
append_job() {
    local base=$1 name=$2
    local out="$data/append-$name"
    local sheet=xl/worksheets/sheet1.xml
    mkdir -p "$out"
    "$quendle" "$base" "$out/base.xlsx" /SILENT /OVERWRITE=1 /TABLENAME=Data
    local fresh=() appended=() peaks=()
    for _ in $(seq "$runs"); do
        /usr/bin/time -f '%e %M' -o "$out/time" \
            "$quendle" "$base" "$out/fresh.xlsx" /SILENT /OVERWRITE=1 /TABLENAME=Data
        fresh+=("$(cut -d' ' -f1 "$out/time")")
        cp "$out/base.xlsx" "$out/appended.xlsx"
        /usr/bin/time -f '%e %M' -o "$out/time" "$quendle" "$data/add2.csv" "$out/appended.xlsx" \
            /SILENT /OVERWRITE=0 /OVERWRITETABLE=0 /TABLENAME=Data
        appended+=("$(cut -d' ' -f1 "$out/time")")
        peaks+=("$(cut -d' ' -f2 "$out/time")")
    done
    cat "$base" "$data/add2.csv" >"$out/whole.csv"
    "$quendle" "$out/whole.csv" "$out/whole.xlsx" /SILENT /OVERWRITE=1 /TABLENAME=Data
    unzip -tq "$out/appended.xlsx" >/dev/null || { echo "bad workbook $out/appended.xlsx" >&2; exit 1; }
    cmp -s <(unzip -p "$out/appended.xlsx" "$sheet") <(unzip -p "$out/whole.xlsx" "$sheet") ||
        { echo "the appended sheet differs from the one converted at once ($name)" >&2; exit 1; }
    if [ "$name" = 100k ]; then
        cmp -s <(/usr/bin/python3 tests/tools/xlsx_cells.py "$out/appended.xlsx") \
            <(/usr/bin/python3 tests/tools/xlsx_cells.py "$out/whole.xlsx") ||
            { echo "openpyxl reads other cells in the appended workbook" >&2; exit 1; }
        unzip -p "$out/appended.xlsx" "$sheet" >"$out/sheet.xml"
        xmllint --noout --stream --schema "$root/tests/data/ooxml-schemas/sml.xsd" "$out/sheet.xml"
    fi
    local peak
    peak=$(printf '%s\n' "${peaks[@]}" | sort -g | tail -n 1)
    awk -v f="$(median "${fresh[@]}")" -v a="$(median "${appended[@]}")" \
        -v p="$peak" -v name="$name" 'BEGIN {
        printf "%s rows: fresh %.2f s, 2 rows appended %.2f s, ratio %.2f, append peak %.1f MiB\n",
            name, f, a, a / f, p / 1024
    }'
}
append_job "$data/r1m.csv" 1m
append_job "$data/r100k.csv" 100k

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
m1=$(median "${one[@]}")
mn=$(median "${many[@]}")
awk -v one="$m1" -v many="$mn" -v threads="$(nproc)" 'BEGIN {
    printf "one at a time %.2f s, at once (%d threads) %.2f s, ratio %.2f\n", one, threads, many, many / one
}'

echo "== Windows x64 build under Wine against the Linux program, in alternating runs"
# Wine's own start-up is timed as a one-line conversion and taken off the
# Windows times. Skipped without the cross-build (scripts/windows.sh makes it).
windows="$root/build/win64/wizard/quendle.exe"
if [ ! -f "$windows" ] || ! command -v wine >/dev/null; then
    echo "skipped: no build/win64/wizard/quendle.exe or no wine"
    exit 0
fi
export WINEPREFIX="$data/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p </dev/null >/dev/null 2>&1 || true  # one may run already
wine wineboot </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
winpath() { echo "Z:${1//\//\\}"; }
printf 'a,b\r\n1,2\r\n' >"$data/one.csv"
[ -f "$data/sjis.csv" ] || /usr/bin/python3 bench/sjis_record.py make "$data/sjis.csv"
# timed NAME COMMAND...: runs the command, appends "seconds peak-KiB" to $data/NAME.times.
timed() {
    local name=$1
    shift
    /usr/bin/time -f '%e %M' -a -o "$data/$name.times" "$@" >/dev/null 2>&1 ||
        { echo "$name failed: $*" >&2; exit 1; }
}
rm -f "$data"/*.times
for _ in $(seq "$runs"); do
    timed win-one wine "$windows" "$(winpath "$data/one.csv")" "$(winpath "$data/one-win.xlsx")" \
        /SILENT /OVERWRITE=1
    timed win-1m wine "$windows" "$(winpath "$data/r1m.csv")" "$(winpath "$data/r1m-win.xlsx")" \
        /SILENT /OVERWRITE=1
    timed linux-1m "$quendle" "$data/r1m.csv" "$data/r1m-linux.xlsx" /SILENT /OVERWRITE=1
    timed win-sjis wine "$windows" "$(winpath "$data/sjis.csv")" "$(winpath "$data/sjis-win.xlsx")" \
        /SILENT /OVERWRITE=1 /HEADER=1 /CODEPAGE=932
    timed linux-sjis "$quendle" "$data/sjis.csv" "$data/sjis-linux.xlsx" /SILENT /OVERWRITE=1 \
        /HEADER=1 /CODEPAGE=932
done
# Both programs must have written the same sheet, which the reader takes;
# the code-page record must decode to its expected text on both.
unzip -tq "$data/r1m-win.xlsx" >/dev/null || { echo "bad workbook r1m-win.xlsx" >&2; exit 1; }
if [ "$(unzip -p "$data/r1m-win.xlsx" xl/worksheets/sheet1.xml | md5sum)" != \
    "$(unzip -p "$data/r1m-linux.xlsx" xl/worksheets/sheet1.xml | md5sum)" ]; then
    echo "the Windows and Linux programs wrote different sheets" >&2
    exit 1
fi
/usr/bin/python3 bench/sjis_record.py check "$data/sjis-win.xlsx"
/usr/bin/python3 bench/sjis_record.py check "$data/sjis-linux.xlsx"
awk -v runs="$runs" -v dir="$data" -v size="$(stat -c %s "$data/r1m-win.xlsx")" '
    function median(name, column,   n, i, j, t, v) {
        n = 0
        while ((getline line < (dir "/" name ".times")) > 0) {
            split(line, f, " ")
            v[++n] = f[column]
        }
        close(dir "/" name ".times")
        for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
        return v[int((n + 1) / 2)]
    }
    BEGIN {
        one = median("win-one", 1); win = median("win-1m", 1); linux = median("linux-1m", 1)
        printf "1M rows to .xlsx, medians of %d: Windows %.2f s less start-up %.2f s = %.2f s, Linux %.2f s, ratio %.2f\n",
            runs, win, one, win - one, linux, (win - one) / linux
        printf "  peak memory: Windows %.1f MiB (one line: %.1f MiB, so %.1f MiB more), Linux %.1f MiB; output %d bytes\n",
            median("win-1m", 2) / 1024, median("win-one", 2) / 1024,
            (median("win-1m", 2) - median("win-one", 2)) / 1024, median("linux-1m", 2) / 1024, size
        printf "a 100 KB Shift-JIS record (CODEPAGE=932): Windows %.2f s less start-up = %.2f s, Linux %.2f s\n",
            median("win-sjis", 1), median("win-sjis", 1) - one, median("linux-sjis", 1)
    }'
