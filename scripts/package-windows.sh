#!/usr/bin/env bash
# Makes the two forms of the Windows program people download:
#  - korva-zid-win64.zip, the portable program folder: the window
#    (korva-zid.exe), the command line (korva-zid-cli.exe), tools/
#    (crunch.exe, quickbms.exe, vantrel.bms), data/, mods/ with the sample
#    packages, README.txt and the file "portable", which makes the program
#    keep config.ini, mods and rosters in its own folder. Unzipped anywhere
#    it runs as it is.
#  - korva-zid-setup.exe, made with NSIS (app/windows/korva-zid-setup.nsi):
#    installs the same program, without mods/ and the portable file, for the
#    user who runs it into %LOCALAPPDATA%\Programs\korva-zid, with a Start
#    menu entry and an uninstaller; the installed program keeps the user's
#    files in the user's folders.
# Every .exe is linked statically and imports only DLLs that come with
# Windows, which this script checks.
#
#   scripts/package-windows.sh [windows build] [zip] [setup]
#       (defaults: build-windows, made by scripts/build-windows.sh;
#        <windows build>/korva-zid-win64.zip; <windows build>/korva-zid-setup.exe)
#
# Exits non-zero when a file is missing or an .exe needs another DLL.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$repo/build-windows}" && pwd)
zip=${2:-$build/korva-zid-win64.zip}
case $zip in /*) ;; *) zip=$PWD/$zip ;; esac
setup=${3:-$build/korva-zid-setup.exe}
case $setup in /*) ;; *) setup=$PWD/$setup ;; esac
command -v makensis > /dev/null || { echo "package-windows.sh: no makensis: run scripts/setup.sh" >&2; exit 1; }

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
cp -r "$build/data" "$stage/"
# Windows text: CR LF line ends.
sed 's/$/\r/' "$repo/app/windows/README.txt" > "$stage/README.txt"

# The setup: the files listed once for installing and once for removing,
# so that the uninstaller removes exactly what the setup put in place.
nsis=$(mktemp -d "${TMPDIR:-/tmp}/korva-setup-XXXXXX")
trap 'rm -rf "$stage" "$nsis"' EXIT
cp "$repo/app/windows/korva-zid.ico" "$nsis/"
{
  echo '!macro InstallFiles'
  for folder in "" tools data; do
    echo "  SetOutPath \"\$INSTDIR${folder:+\\$folder}\""
    find "$stage${folder:+/$folder}" -maxdepth 1 -type f | sort | sed 's/^/  File "/; s/$/"/'
  done
  echo '!macroend'
  echo '!macro UninstallFiles'
  (cd "$stage" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g; s/^/  Delete "$INSTDIR\\/; s/$/"/'
  # shellcheck disable=SC2016
  printf '  RMDir "$INSTDIR\\%s"\n' tools data
  echo '!macroend'
} > "$nsis/files.nsh"
version=$(sed -n 's/^project(korva_zid VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DSTAGE="$nsis" -DOUTFILE="$setup" \
  -DSIZE_KB="$(du -sk "$stage" | cut -f1)" "$repo/app/windows/korva-zid-setup.nsi"
echo "package-windows.sh: made $setup ($(stat -c %s "$setup") bytes)"

# The zip: the portable program folder, with the sample packages.
cp -r "$build/mods" "$stage/"
sed 's/$/\r/' "$build/portable" > "$stage/portable"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip -- *)
echo "package-windows.sh: made $zip ($(stat -c %s "$zip") bytes)"
