#!/usr/bin/env bash
# The same command-line session with the Linux build and with the Windows
# build under wine, on two sample games made alike by the Linux
# korva-make-sample: set-game, three installs, a delete and a revert. After
# every command the two game folders must hold the same files with the same
# bytes, and the commands must print the same text.
#
#   scripts/compare-windows-cli.sh [--in-place] [windows build] [linux build]
#
# The Windows side runs from a copy of the Windows build's program folder;
# with --in-place it runs from that folder itself (an unzipped download, say,
# as scripts/check-windows-package.sh does), which then keeps its config.ini.
# Two things are told apart before comparing, as they must differ:
#  - the game folder's own path, which the store lists (chars/mod_char_N)
#    record and which each system spells its own way (/tmp/x/game on
#    Linux, Z:/tmp/x/game under wine): it is shown as <game> on both sides;
#  - the times of last change in chars/mod_record (its third column);
#  - the package fingerprints in the store lists (their "fingerprint=" line),
#    which are made from the package files' sizes and times, and each side
#    has its own copy of the mods folder, made at its own time.
# The Windows build is told the game with backslashes (Z:\tmp\x\...), as a
# Windows user types it. Exits non-zero on any difference.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
in_place=no
if [ "${1:-}" = --in-place ]; then
  in_place=yes
  shift
fi
windows=$(cd "${1:-$repo/build-windows}" && pwd)
linux=$(cd "${2:-$repo/build}" && pwd)
wine_run=$repo/scripts/windows/wine-run.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/korva-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Two program folders, each a copy of its build's (or the Windows folder
# itself), portable as the build is: their config.ini, mods and rosters in
# themselves.
for side in linux windows; do
  build=$linux exe=korva-zid-cli
  [ "$side" = windows ] && build=$windows exe=korva-zid-cli.exe
  if [ "$side" = linux ] || [ "$in_place" = no ]; then
    mkdir -p "$work/$side-program"
    cp "$build/$exe" "$work/$side-program/"
    cp -r "$build/data" "$build/tools" "$build/mods" "$build/portable" "$work/$side-program/"
  fi
  "$linux/sample/korva-make-sample" game "$work/$side-game"
done
wprogram=$work/windows-program
[ "$in_place" = yes ] && wprogram=$windows
lgame=$work/linux-game
wgame=$work/windows-game
wgame_typed="Z:$(printf '%s' "$wgame" | tr / '\\')"

# A copy of a game folder as it is compared: <game> for its own path, the
# record without its times.
comparable() {
  local game=$1 spelled=$2 out=$3
  rm -rf "$out"
  cp -r "$game" "$out"
  find "$out" -type f -print0 | SPELLED=$spelled xargs -0 perl -pi -e 's/\Q$ENV{SPELLED}\E/<game>/g'
  if [ -f "$out/chars/mod_record" ]; then
    awk -F'\t' 'BEGIN { OFS = "\t" } { $3 = ""; print }' "$out/chars/mod_record" > "$out/record.tmp"
    mv "$out/record.tmp" "$out/chars/mod_record"
  fi
  find "$out/chars" -maxdepth 1 -type f -name 'mod_char_*' -print0 |
    xargs -0 -r sed -i 's/^fingerprint=.*/fingerprint=<times>/'
}

status=0
step=0
# Runs korva-zid-cli with the arguments on both sides and compares. The
# word @EXE@ stands for the side's game executable.
run() {
  step=$((step + 1))
  local lstatus=0 wstatus=0 largs=() wargs=()
  for arg in "$@"; do
    largs+=("${arg//@EXE@/$lgame/KORVAQUORIN.exe}")
    wargs+=("${arg//@EXE@/$wgame_typed\\KORVAQUORIN.exe}")
  done
  "$work/linux-program/korva-zid-cli" "${largs[@]}" > "$work/linux.out" 2>&1 || lstatus=$?
  "$wine_run" "$wprogram/korva-zid-cli.exe" "${wargs[@]}" \
    < /dev/null > "$work/windows.out" 2>&1 || wstatus=$?
  sed "s|$lgame|<game>|g" "$work/linux.out" > "$work/linux.text"
  tr -d '\r' < "$work/windows.out" | sed "s|Z:$wgame|<game>|g" > "$work/windows.text"
  comparable "$lgame" "$lgame" "$work/linux-now"
  comparable "$wgame" "Z:$wgame" "$work/windows-now"
  local same=yes
  if [ "$lstatus" != "$wstatus" ]; then
    echo "step $step ($*): exit status $lstatus on Linux, $wstatus on Windows"
    same=no
  fi
  diff -u "$work/linux.text" "$work/windows.text" || same=no
  diff -r "$work/linux-now" "$work/windows-now" || same=no
  if [ "$same" = yes ]; then
    echo "step $step: korva-zid-cli $* -> exit status $lstatus on both;" \
      "$(find "$lgame" -type f | wc -l) files in the game folder, the same"
  else
    echo "FAIL: step $step: korva-zid-cli $* differs"
    status=1
  fi
}

run set-game @EXE@
run install sister_imra 1
run install plain_grunt 3
run install brakka_the_mender 2
run chars
run delete 1
run revert --yes
run chars

if [ "$status" -eq 0 ]; then
  echo "compare-windows-cli.sh: the Windows and Linux builds left the same game folder after every step"
fi
exit "$status"
