#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Debian packages in a folder as a user and a developer meet them:
# lintian finds no errors; the packages unpack into an empty root with the
# program, its wizard, help, man page, menu entry and icons in place; the
# unpacked program converts a file; and a C program built through the
# unpacked pkg-config file converts through the unpacked library. Workbooks
# are read back with openpyxl.
set -euo pipefail
dist=$(cd "${1:?usage: check_deb.sh DIST_FOLDER}" && pwd)
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

shopt -s nullglob
debs=("$dist"/*.deb)
[ ${#debs[@]} -eq 3 ] || { echo "FAIL: expected 3 packages in $dist, found ${#debs[@]}"; exit 1; }
program_deb=("$dist"/quendle_*_amd64.deb)
[ ${#program_deb[@]} -eq 1 ] || { echo "FAIL: no quendle_<version>_amd64.deb"; exit 1; }

# lintian: errors fail the check; warnings are shown.
if lintian --tag-display-limit 0 "${debs[@]}" >"$work/lintian.txt" 2>&1; then :; fi
cat "$work/lintian.txt"
if grep -q '^E: ' "$work/lintian.txt"; then
    fail "lintian reports errors"
else
    pass "lintian reports no errors"
fi

# Dependencies come from the binaries' own needs.
depends=$(dpkg-deb -f "${program_deb[0]}" Depends)
for needed in libc6 libqt6widgets6; do
    if [[ "$depends" == *"$needed"* ]]; then pass "quendle depends on $needed"; else fail "quendle does not depend on $needed ($depends)"; fi
done
dev_depends=$(dpkg-deb -f "$dist"/libquendle-d-dev_*.deb Depends)
[[ "$dev_depends" == libquendle-d* ]] && pass "the -dev package depends on the library" ||
    fail "the -dev package's Depends: $dev_depends"

root="$work/root"
mkdir -p "$root"
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$root"
done
# Absolute links point into the system the package is installed on: make
# them point into the unpacked root instead, as if it were that system.
while IFS= read -r link; do
    target=$(readlink "$link")
    [[ "$target" == /* ]] && ln -sfn "$root$target" "$link"
done < <(find "$root" -type l)
for path in usr/bin/quendle usr/lib/quendle/quendle usr/lib/quendle/quendle_wizard.so \
    usr/lib/quendle/wizards.html usr/lib/quendle/quendle.ini etc/quendle.ini \
    usr/share/quendle/wizards.html usr/share/man/man1/quendle.1.gz \
    usr/share/applications/quendle.desktop usr/share/icons/hicolor/scalable/apps/quendle.svg \
    usr/share/icons/hicolor/48x48/apps/quendle.png usr/include/quendle_d.h \
    usr/share/doc/quendle/copyright; do
    [ -e "$root/$path" ] && pass "$path is installed" || fail "$path is missing"
done
libdir=$(dirname "$(find "$root/usr/lib" -name 'libquendle_d.so.*.*' | head -n 1)")
[ -n "$libdir" ] && [ -e "$libdir/libquendle_d.so" ] && [ -e "$libdir/pkgconfig/quendle_d.pc" ] &&
    pass "library, link and pkg-config file in ${libdir#"$root"}" || fail "library files missing"
soname=$(objdump -p "$libdir"/libquendle_d.so.*.* | awk '/SONAME/ {print $2}')
[ "$soname" = "libquendle_d.so.0" ] && pass "SONAME $soname" || fail "SONAME is '$soname'"

if grep -q 'MimeType=.*text/csv' "$root/usr/share/applications/quendle.desktop"; then
    pass "the menu entry opens CSV files"
else
    fail "the menu entry does not claim text/csv"
fi
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/quendle.desktop" && pass "desktop entry valid" ||
        fail "desktop entry invalid"
fi
man_text=$(zcat "$root/usr/share/man/man1/quendle.1.gz" | MANWIDTH=80 man -l - 2>"$work/man.err" || true)
if [[ "$man_text" == *"EXIT STATUS"* && "$man_text" == *"OVERWRITETABLE"* ]] && [ ! -s "$work/man.err" ]; then
    pass "man page renders"
else
    fail "man page: $(cat "$work/man.err")"
fi

# The unpacked program, started through its link as a user would.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/.state"
mkdir -p "$HOME"
version=$("$root/usr/bin/quendle" --version)
expected="quendle $(dpkg-deb -f "${program_deb[0]}" Version)"
[ "$version" = "$expected" ] && pass "--version says $version" || fail "--version says '$version', package '$expected'"
cp "$root_dir/samples/sales.csv" "$work/sales.csv"
if "$root/usr/bin/quendle" "$work/sales.csv" "$work/sales.xlsx" /SILENT '/FIELDS=;' /HEADER=1 /ALLCHAR=0; then
    pass "the installed program converts the sample"
else
    fail "the installed program failed to convert the sample"
fi
# The INI beside the program is the one in /etc: with OverWrite=1 there, a
# second conversion replaces the workbook instead of adding a sheet to it.
cp "$work/sales.xlsx" "$work/twice.xlsx"
printf '[Common]\nOverWrite=1\n' >"$root/etc/quendle.ini"
"$root/usr/bin/quendle" "$work/sales.csv" "$work/twice.xlsx" /SILENT '/FIELDS=;' /TABLENAME=Second ||
    fail "second conversion"
sheets=$(/usr/bin/python3 -c 'import sys, openpyxl; print(",".join(openpyxl.load_workbook(sys.argv[1]).sheetnames))' "$work/twice.xlsx")
[ "$sheets" = "Second" ] && pass "/etc/quendle.ini is read" || fail "/etc/quendle.ini not read: sheets $sheets"

# A C program built against the unpacked library through pkg-config.
cat >"$work/caller.c" <<'CSOURCE'
#include <stdio.h>
#include <quendle_d.h>
int main(int argc, char** argv) {
    if (argc != 3) return 9;
    char* elements[] = {"caller", argv[1], argv[2], "/FIELDS=;", "/HEADER=1", "/ALLCHAR=0"};
    int32_t result = Quendle_Converter(0, 6, elements);
    printf("%d\n", (int)result);
    return result == QUENDLE_D_OK ? 0 : 1;
}
CSOURCE
export PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$libdir/pkgconfig"
# shellcheck disable=SC2046
if cc -o "$work/caller" "$work/caller.c" $(pkg-config --cflags --libs quendle_d) &&
    LD_LIBRARY_PATH="$libdir" "$work/caller" "$work/sales.csv" "$work/from_library.xlsx" >/dev/null; then
    pass "a C program links through pkg-config and converts"
else
    fail "the C program through pkg-config"
fi

for book in sales.xlsx from_library.xlsx; do
    if /usr/bin/python3 - "$work/$book" <<'PYTHON'; then pass "$book reads back with typed cells"; else fail "$book"; fi
import sys, openpyxl
sheet = openpyxl.load_workbook(sys.argv[1]).active
rows = list(sheet.iter_rows(values_only=True))
assert len(rows) > 2, rows
assert any(isinstance(value, (int, float)) for row in rows[1:] for value in row), rows
PYTHON
done

echo "$failures failed"
[ "$failures" -eq 0 ]
