#!/usr/bin/env bash
# Checks the installed program as a new user meets it: installs it, starts
# the command line from the installed place, points it at a packed sample
# game (which the first start unpacks with the installed tools), imports a
# mod archive, installs a character, saves a roster and reverts the game;
# then uninstalls. Afterwards the user's config.ini, mods and rosters must
# still be there, nothing may have been written among the program's
# installed files, and the reverted game must hold the sample game's files
# byte for byte (besides the icon map and slot usage files, which Revert
# leaves for the next start, as the portable program does).
#
#   scripts/check-installed.sh [--system] [deb] [linux build]
#   scripts/check-installed.sh --windows [setup.exe] [linux build]
#       (defaults: build/korva-zid_<version>_amd64.deb, made by
#        scripts/package-linux.sh; build-windows/korva-zid-setup.exe, made
#        by scripts/package-windows.sh; build, for the sample generator)
#
# Linux, by default: the package is unpacked with dpkg-deb -x into a
# temporary root and run from there (the programs find their own files
# relative to their place, as under /usr), its dependencies are checked
# against the installed packages, and it is "uninstalled" by removing every
# file the package lists, as dpkg -r does. With --system it is installed
# with dpkg -i and removed with dpkg -r (as root, and only when korva-zid
# is not installed already). The new user is a fresh home folder.
# Windows: a fresh wine prefix is the new user; the setup runs silently
# (/S), and so does the uninstaller that it wrote.
# Exits non-zero when any step fails.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mode=deb
case "${1:-}" in
  --system) mode=system; shift ;;
  --windows) mode=windows; shift ;;
esac
package=${1:-}
if [ -z "$package" ]; then
  if [ "$mode" = windows ]; then
    package=$repo/build-windows/korva-zid-setup.exe
  else
    package=$(ls "$repo"/build/korva-zid_*_"$(dpkg --print-architecture)".deb 2>/dev/null | tail -1)
  fi
fi
[ -f "$package" ] || { echo "check-installed.sh: no package $package: run scripts/package-linux.sh or package-windows.sh" >&2; exit 1; }
package=$(realpath "$package")
linux=$(cd "${2:-$repo/build}" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/korva-installed-XXXXXX")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
fail() {
  echo "FAIL: check-installed.sh: $*" >&2
  exit 1
}
say() { echo "check-installed.sh: $*"; }

# Install. Each way sets: cli (the command line as the user starts it),
# typed (a path of this machine as the user types it to the program), the
# folders that `paths` must name, where the user's files are on this
# machine, and snapshot (what lies among the program's installed files).
if [ "$mode" = windows ]; then
  export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  cleanup() { wineserver -k 2> /dev/null || true; rm -rf "$work"; }
  wineboot -i > /dev/null 2>&1 || fail "wine could not make a fresh prefix"
  winvar() { wine cmd /c "echo %$1%" < /dev/null 2> /dev/null | tr -d '\r'; }
  roaming=$(winvar APPDATA)
  local_data=$(winvar LOCALAPPDATA)
  [ -n "$roaming" ] && [ -n "$local_data" ] || fail "wine names no APPDATA or LOCALAPPDATA"
  wine "$package" /S < /dev/null > "$work/setup.out" 2>&1 || { cat "$work/setup.out"; fail "the setup failed"; }
  installed_win="$local_data\\Programs\\korva-zid"
  installed=$(winepath -u "$installed_win")
  installed=${installed%/}
  [ -f "$installed/korva-zid-cli.exe" ] || fail "the setup put nothing into $installed_win"
  [ ! -e "$installed/portable" ] && [ ! -e "$installed/mods" ] || fail "the setup installed a portable program"
  start_menu="$(winepath -u "$roaming")/Microsoft/Windows/Start Menu/Programs/Korva Quorin ZID.lnk"
  [ -f "$start_menu" ] || fail "the setup made no Start menu entry"
  uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\korva-zid'
  wine reg query "$uninstall_key" < /dev/null > /dev/null 2>&1 || fail "the setup registered no uninstaller"
  say "installed $(basename "$package") with /S into $installed_win (a fresh wine prefix)"
  cli() { wine "$installed_win\\korva-zid-cli.exe" "$@" < /dev/null; }
  typed() { printf 'Z:%s' "$1" | tr / '\\'; }
  slashed() { printf '%s' "$1" | tr '\\' /; }
  program=$(slashed "$installed_win")
  settings=$(slashed "$roaming\\korva-zid")
  user_files=$(slashed "$local_data\\korva-zid")
  config=$(winepath -u "$roaming\\korva-zid")/config.ini
  user_data=$(winepath -u "$local_data\\korva-zid")
  snapshot() {
    find "$installed" | sort
    find "$installed" -type f -exec md5sum {} + | sort
  }
else
  # The package's files, as dpkg-deb lists them.
  installed_files() { dpkg-deb -c "$package" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$'; }
  if [ "$mode" = system ]; then
    [ "$(id -u)" -eq 0 ] || fail "--system installs with dpkg -i: run as root"
    if dpkg-query -W -f='${Status}' korva-zid 2>/dev/null | grep -q 'install ok installed'; then
      fail "korva-zid is installed on this system already; it is left as it is"
    fi
    root=""
    dpkg -i "$package"
    cleanup() { dpkg -r korva-zid > /dev/null 2>&1 || true; rm -rf "$work"; }
    say "installed $(basename "$package") with dpkg -i"
  else
    root=$work/root
    dpkg-deb -x "$package" "$root"
    # Every package it depends on is installed (what dpkg -i would refuse).
    depends=$(dpkg-deb -f "$package" Depends)
    printf 'Source: korva-zid-check\nBuild-Depends: %s\n' "$depends" > "$work/control"
    dpkg-checkbuilddeps "$work/control" || fail "the package's dependencies are not installed: $depends"
    say "installed $(basename "$package") with dpkg-deb -x into $root; its dependencies are installed"
  fi
  # A new user: an empty home folder and no XDG variables.
  export HOME=$work/home
  mkdir -p "$HOME"
  unset XDG_CONFIG_HOME XDG_DATA_HOME
  cli() { "$root/usr/bin/korva-zid-cli" "$@"; }
  typed() { printf '%s' "$1"; }
  program=$root/usr/lib/korva-zid
  settings=$HOME/.config/korva-zid
  user_files=$HOME/.local/share/korva-zid
  config=$settings/config.ini
  user_data=$user_files
  # Every entry of the unpacked root; or of /usr/lib/korva-zid and what
  # could be written beside /usr/bin/korva-zid-cli.
  snapshot() {
    if [ -z "$root" ]; then
      find "$program" | sort
      find "$program" -type f -exec md5sum {} + | sort
      ls -d /usr/bin/config.ini /usr/bin/portable /usr/bin/mods /usr/bin/rosters 2>/dev/null || true
    else
      find "$root" | sort
      find "$root" -type f -exec md5sum {} + | sort
    fi
  }
fi
snapshot > "$work/before"
cd "$work"

cli paths | tr -d '\r' > "$work/paths"
expected=$(printf 'program\t%s\nsettings\t%s\nmods\t%s\nrosters\t%s' "$program" "$settings" \
  "$user_files/mods" "$user_files/rosters")
[ "$(cat "$work/paths")" = "$expected" ] || fail "korva-zid-cli paths said:
$(cat "$work/paths")
rather than:
$expected"
say "korva-zid-cli paths:"
sed 's/^/  /' "$work/paths"

# step ARGS...: runs korva-zid-cli and fails with its output when it fails.
step() {
  if ! cli "$@" > "$work/out" 2>&1; then
    cat "$work/out"
    fail "korva-zid-cli $* failed"
  fi
  say "korva-zid-cli $* -> done"
}

"$linux/sample/korva-make-sample" packed-game "$work/game"
"$linux/sample/korva-make-sample" game "$work/original"
step set-game "$(typed "$work/game/KORVAQUORIN.exe")"
grep -q "^Your mods folder is new and empty:" "$work/out" ||
  { cat "$work/out"; fail "the first start did not say where the mods folder is"; }
[ -d "$user_data/mods" ] || fail "the first start made no mods folder in $user_data"
grep -q "^KorvaPath=.*game"$'\r'"$" "$config" || fail "$config does not name the game"

"$linux/sample/korva-make-sample" mods "$work/download"
(cd "$work/download" && cmake -E tar cf "$work/Plain Grunt.zip" --format=zip plain_grunt)
step import "$(typed "$work/Plain Grunt.zip")"
[ -f "$user_data/mods/plain_grunt/modfile.ini" ] || fail "the import put no package into the user's mods folder"
step install plain_grunt 0
grep -q "Char enabled." "$work/out" || { cat "$work/out"; fail "the install did not say it was done"; }
step roster save weekend
[ -f "$user_data/rosters/weekend.txt" ] || fail "the roster is not in the user's rosters folder"
step revert --yes
diff -r -x iconmap -x 'slots_char_*' "$work/original" "$work/game" > "$work/diff" ||
  { head -20 "$work/diff"; fail "the reverted game differs from the sample game"; }
say "the reverted game holds the sample game's files, byte for byte"

snapshot > "$work/after"
diff "$work/before" "$work/after" || fail "the program's installed files changed, or files were added among them"
say "nothing was written among the program's installed files"

# Uninstall.
if [ "$mode" = windows ]; then
  # The uninstaller runs a copy of itself and ends at once; the copy removes.
  wine "$installed_win\\uninstall.exe" /S < /dev/null > /dev/null 2>&1 || fail "the uninstaller failed"
  for _ in $(seq 120); do [ -e "$installed" ] || break; sleep 0.5; done
  [ ! -e "$installed" ] || fail "uninstalling left: $(find "$installed")"
  [ ! -e "$start_menu" ] || fail "uninstalling left the Start menu entry"
  ! wine reg query "$uninstall_key" < /dev/null > /dev/null 2>&1 || fail "uninstalling left the uninstaller's registry key"
  home=$(winepath -u "$(winvar USERPROFILE)")
  home=${home%/}
elif [ "$mode" = system ]; then
  dpkg -r korva-zid
  cleanup() { rm -rf "$work"; }
  home=$HOME
else
  installed_files | while read -r f; do rm -f "$root$f"; done
  find "$root" -depth -type d -empty -delete
  home=$HOME
fi
if [ "$mode" != windows ]; then
  left=$(installed_files | while read -r f; do [ -e "$root$f" ] && echo "$f"; done || true)
  [ -z "$left" ] || fail "uninstalling left: $left"
fi
for kept in "$config" "$user_data/mods/plain_grunt/modfile.ini" "$user_data/rosters/weekend.txt"; do
  [ -f "$kept" ] || fail "uninstalling took the user's $kept"
done
say "uninstalled; the user's config.ini, mods and rosters are still there:"
find "$config" "$user_data" -type f | sort | sed "s|^$home/|  ~/|"
say "the installed program passed"
