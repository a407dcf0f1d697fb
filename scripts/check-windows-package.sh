#!/usr/bin/env bash
# Checks the downloadable zip as a user gets it: unzips it into a fresh
# folder that holds nothing else and runs the command line from there under
# wine on a sample game (set-game, installs, a delete, a revert), comparing
# the game folder after every command byte for byte with the Linux build's
# (scripts/compare-windows-cli.sh --in-place).
#
#   scripts/check-windows-package.sh [zip] [linux build]
#       (defaults: build-windows/korva-zid-win64.zip; build)
#
# Exits non-zero when the zip lacks a file or any step differs.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
zip=$(realpath "${1:-$repo/build-windows/korva-zid-win64.zip}")
linux=${2:-$repo/build}

fresh=$(mktemp -d "${TMPDIR:-/tmp}/korva-unzipped-XXXXXX")
trap 'rm -rf "$fresh"' EXIT
(cd "$fresh" && cmake -E tar xf "$zip")
for f in korva-zid.exe korva-zid-cli.exe tools/crunch.exe tools/quickbms.exe tools/vantrel.bms \
  data/charicon.tga mods README.txt portable; do
  [ -e "$fresh/$f" ] || { echo "FAIL: the zip has no $f" >&2; exit 1; }
done
if [ -n "$(find "$fresh" -iname '*.dll')" ]; then
  echo "FAIL: the zip holds DLLs: $(find "$fresh" -iname '*.dll')" >&2
  exit 1
fi
echo "check-windows-package.sh: unzipped $(basename "$zip") ($(find "$fresh" -type f | wc -l) files) into $fresh"
"$repo/scripts/compare-windows-cli.sh" --in-place "$fresh" "$linux"
