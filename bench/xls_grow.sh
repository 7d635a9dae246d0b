#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Peak memory and time of growing an existing .xls book of about 14 MB and of
# about 60 MB: a 60,000-row sheet added into it, and 30,000 rows appended
# below its sheet Data. Each result is read back with xlrd: the grown sheet
# must equal, cell for cell, the sheet that converting all its rows at once
# gives, every other sheet must read as before, and every sheet's INDEX must
# still point at its row blocks.
#
# usage: bench/xls_grow.sh QUENDLE DATA_FOLDER   (DATA_FOLDER holds r60k.csv)
set -euo pipefail
quendle=$1
data=$2
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$data/xls_grow"
mkdir -p "$work"

# r60k.csv has one header line and 60,000 records, none spanning lines, so
# its first 30,001 lines and the rest are the same records split in two.
head -n 30001 "$data/r60k.csv" >"$work/head.csv"
tail -n +30002 "$data/r60k.csv" >"$work/tail.csv"

convert() {
    "$quendle" "$1" "$2" /SILENT /TYPE=ANY /OVERWRITE=0 "/TABLENAME=$3" "${@:4}" >/dev/null
}

rm -f "$work"/*.xls
convert "$data/r60k.csv" "$work/all-at-once.xls" Data
convert "$work/head.csv" "$work/book14.xls" Data
convert "$work/head.csv" "$work/book14.xls" Filler
convert "$work/head.csv" "$work/book60.xls" Data
for sheet in Filler1 Filler2 Filler3; do
    convert "$data/r60k.csv" "$work/book60.xls" "$sheet"
done
convert "$work/head.csv" "$work/book60.xls" Filler4

printf '%-28s %10s %8s %10s  %s\n' job "book (MB)" seconds "peak MiB" "read back"
for book in book14 book60; do
    for job in add append; do
        cp "$work/$book.xls" "$work/grown.xls"
        if [ "$job" = add ]; then
            input="$data/r60k.csv" sheet=New args=()
        else
            input="$work/tail.csv" sheet=Data args=(/OVERWRITETABLE=0)
        fi
        measure=$( { /usr/bin/time -f '%e %M' "$quendle" "$input" "$work/grown.xls" /SILENT \
            /TYPE=ANY /OVERWRITE=0 "/TABLENAME=$sheet" "${args[@]}" >/dev/null; } 2>&1 | tail -n 1)
        read -r seconds kib <<<"$measure"
        check=$(/usr/bin/python3 "$root/bench/xls_grow_check.py" "$work/grown.xls" \
            "$work/$book.xls" "$work/all-at-once.xls" "$sheet")
        printf '%-28s %10.1f %8s %10.1f  %s\n' "$job ($book)" \
            "$(stat -c %s "$work/$book.xls" | awk '{print $1 / 1e6}')" "$seconds" \
            "$(awk -v k="$kib" 'BEGIN {print k / 1024}')" "$check"
        [ "$check" = ok ] || exit 1
    done
done
