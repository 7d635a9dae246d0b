#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the x64 Windows setup program under 64-bit Wine, as a user meets it:
# a silent per-user install puts the program, library, SDK files, help and
# Start-menu entries in place and registers an uninstaller; the installed
# program converts a file (read back with openpyxl); the silent uninstall
# removes every file, entry and registry key again. Runs in a Wine prefix
# of its own.
set -euo pipefail
setup=$(realpath "${1:?usage: check_installer.sh SETUP.exe}")
root_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot </dev/null >/dev/null 2>&1
user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
install_dir="$user_dir/AppData/Local/Programs/Quendle"
menu_dir="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quendle"

if wine "$setup" /S /CurrentUser </dev/null >/dev/null 2>&1; then
    pass "silent per-user install"
else
    fail "the setup program failed"
fi
for file in quendle.exe quendle_d.dll wizards.html quendle.ini README.txt LICENSE.txt \
    Uninstall.exe sdk/quendle_d.h sdk/libquendle_d.dll.a; do
    [ -f "$install_dir/$file" ] && pass "$file installed" || fail "$file missing"
done
for entry in "Quendle.lnk" "Quendle help.lnk" "Uninstall Quendle.lnk"; do
    [ -f "$menu_dir/$entry" ] && pass "Start menu: $entry" || fail "Start menu lacks $entry"
done
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quendle'
if wine reg query "$key" /v DisplayVersion </dev/null 2>/dev/null | tr -d '\r' | grep -q 'REG_SZ'; then
    pass "uninstaller registered"
else
    fail "no uninstall entry under $key"
fi

cp "$root_dir/samples/sales.csv" "$work/sales.csv"
if wine "$install_dir/quendle.exe" "$(winepath -w "$work/sales.csv")" "$(winepath -w "$work/sales.xlsx")" \
    /SILENT '/FIELDS=;' /HEADER=1 /ALLCHAR=0 </dev/null >/dev/null 2>&1 &&
    /usr/bin/python3 - "$work/sales.xlsx" <<'PYTHON'; then
import sys, openpyxl
rows = list(openpyxl.load_workbook(sys.argv[1]).active.iter_rows(values_only=True))
assert len(rows) > 2 and any(isinstance(v, (int, float)) for row in rows[1:] for v in row), rows
PYTHON
    pass "the installed program converts the sample"
else
    fail "the installed program did not convert the sample"
fi

# "_?=" keeps the uninstaller in place, so it runs to the end before we look.
if wine "$install_dir/Uninstall.exe" /S /CurrentUser "_?=$(winepath -w "$install_dir")" \
    </dev/null >/dev/null 2>&1; then
    pass "silent uninstall"
else
    fail "the uninstaller failed"
fi
# With "_?=" the uninstaller cannot delete itself; everything else must go.
left=$(find "$install_dir" -type f ! -name Uninstall.exe 2>/dev/null | wc -l)
[ "$left" -eq 0 ] && pass "program files removed" || fail "$left files left in $install_dir"
[ ! -e "$menu_dir" ] && pass "Start-menu folder removed" || fail "Start-menu folder left"
if wine reg query "$key" </dev/null >/dev/null 2>&1; then
    fail "uninstall entry left"
else
    pass "uninstall entry removed"
fi

echo "$failures failed"
[ "$failures" -eq 0 ]
