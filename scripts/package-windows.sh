#!/usr/bin/env bash
# Makes korva-zid-win64.zip, the Windows program folder people download: the
# window (korva-zid.exe), the command line (korva-zid-cli.exe), tools/
# (crunch.exe, quickbms.exe, vantrel.bms), data/, mods/ with the sample
# packages, and README.txt. Unzipped anywhere it runs as it is: every .exe
# is linked statically and imports only DLLs that come with Windows, which
# this script checks.
#
#   scripts/package-windows.sh [windows build] [zip]
#       (defaults: build-windows, made by scripts/build-windows.sh;
#        <windows build>/korva-zid-win64.zip)
#
# Exits non-zero when a file is missing or an .exe needs another DLL.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$repo/build-windows}" && pwd)
zip=${2:-$build/korva-zid-win64.zip}
case $zip in /*) ;; *) zip=$PWD/$zip ;; esac

files=(korva-zid.exe korva-zid-cli.exe tools/crunch.exe tools/quickbms.exe tools/vantrel.bms)
for f in "${files[@]}" data mods; do
  [ -e "$build/$f" ] || { echo "package-windows.sh: $build has no $f: run scripts/build-windows.sh" >&2; exit 1; }
done

# The DLLs an .exe may import: those of a Windows system (wine's copy of
# one, made by scripts/windows/deps.sh).
prefix=$("$repo/scripts/windows/deps.sh" | tail -1)
system32="$(dirname "$prefix")/wineprefix/drive_c/windows/system32"
[ -d "$system32" ] || { echo "package-windows.sh: no wine prefix at $system32" >&2; exit 1; }
status=0
for exe in korva-zid.exe korva-zid-cli.exe tools/crunch.exe tools/quickbms.exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$build/$exe" | sed -n 's/^\s*DLL Name: //p'); do
    if [ ! -e "$system32/${dll,,}" ] && [ ! -e "$system32/$dll" ]; then
      echo "package-windows.sh: $exe needs $dll, which Windows does not have" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] || exit 1

stage=$(mktemp -d "${TMPDIR:-/tmp}/korva-package-XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/tools"
for f in "${files[@]}"; do cp "$build/$f" "$stage/$f"; done
# Without the debugging information the build keeps: a quarter of the size.
for exe in "$stage"/*.exe "$stage"/tools/*.exe; do x86_64-w64-mingw32-strip --strip-all "$exe"; done
cp -r "$build/data" "$build/mods" "$stage/"
# Windows text: CR LF line ends.
sed 's/$/\r/' "$repo/app/windows/README.txt" > "$stage/README.txt"

rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip -- *)
echo "package-windows.sh: made $zip ($(stat -c %s "$zip") bytes)"
