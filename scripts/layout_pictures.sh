#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Draws docs/pictures/layout-options.png: the bundled sample converted to
# .xlsx without and with /AUTOFIT /FREEZEHEADER /AUTOFILTER, each rendered
# by LibreOffice (headless, to PDF, then to PNG with pdftoppm), side by side.
# Needs LibreOffice Calc, poppler-utils and ImageMagick; BUILD_DIR chooses
# the build folder whose program converts (default build/release).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/release}
program=$build/wizard/quendle
for tool in soffice pdftoppm convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "layout_pictures.sh: $tool is missing (apt-get install libreoffice-calc-nogui poppler-utils imagemagick)" >&2
        exit 1
    fi
done
if [ ! -x "$program" ]; then
    echo "layout_pictures.sh: build the program first ($program is missing)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
common=(/SILENT /FIELDS=";" /HEADER=1 /ALLCHAR=0 /OVERWRITE=1 /TABLENAME=sales)
"$program" "$root/samples/sales.csv" "$work/plain.xlsx" "${common[@]}"
"$program" "$root/samples/sales.csv" "$work/laid-out.xlsx" "${common[@]}" \
    /AUTOFIT /FREEZEHEADER /AUTOFILTER

for name in plain laid-out; do
    # A private profile keeps the user's LibreOffice settings out of it.
    soffice -env:UserInstallation=file://"$work/profile" --headless \
        --convert-to 'pdf:calc_pdf_Export:{"SinglePageSheets":{"type":"boolean","value":"true"}}' \
        --outdir "$work" "$work/$name.xlsx" >/dev/null 2>&1
    pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$work/$name.pdf" "$work/$name"
    convert "$work/$name.png" -trim +repage -bordercolor white -border 12 "$work/$name.png"
done

mkdir -p "$root/docs/pictures"
convert \
    \( "$work/plain.png" -gravity north -background white -splice 0x28 \
       -font DejaVu-Sans -pointsize 16 -annotate +0+6 "plain run" \) \
    \( "$work/laid-out.png" -gravity north -background white -splice 0x28 \
       -font DejaVu-Sans -pointsize 16 -annotate +0+6 "/AUTOFIT /FREEZEHEADER /AUTOFILTER" \) \
    -gravity northwest -append +repage "$root/docs/pictures/layout-options.png"
echo "docs/pictures/layout-options.png"
