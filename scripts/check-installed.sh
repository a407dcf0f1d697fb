#!/usr/bin/env bash
# Checks the Debian package as a new user meets it: installs it, starts the
# command line from the installed place with a fresh home folder, points it
# at a packed sample game (which the first start unpacks with the installed
# tools), imports a mod archive, installs a character, saves a roster and
# reverts the game; then uninstalls. Afterwards the user's config.ini, mods
# and rosters must still be there, nothing may have been written among the
# program's installed files, and the reverted game must hold the sample
# game's files byte for byte (besides the two record files that Revert
# leaves).
#
#   scripts/check-installed.sh [--system] [deb] [linux build]
#       (defaults: build/korva-zid_<version>_amd64.deb, made by
#        scripts/package-linux.sh; build, for the sample generator)
#
# By default the package is unpacked with dpkg-deb -x into a temporary root
# and run from there (the programs find their files relative to their own
# place, as under /usr), its dependencies checked against the installed
# packages, and "uninstalled" by removing every file the package lists, as
# dpkg -r does. With --system it is installed with dpkg -i and removed with
# dpkg -r (as root, and only when korva-zid is not installed already).
# Exits non-zero when any step fails.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
system=no
if [ "${1:-}" = --system ]; then
  system=yes
  shift
fi
deb=${1:-}
if [ -z "$deb" ]; then deb=$(ls "$repo"/build/korva-zid_*_"$(dpkg --print-architecture)".deb 2>/dev/null | tail -1); fi
[ -f "$deb" ] || { echo "check-installed.sh: no package: run scripts/package-linux.sh" >&2; exit 1; }
deb=$(realpath "$deb")
linux=$(cd "${2:-$repo/build}" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/korva-installed-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: check-installed.sh: $*" >&2
  exit 1
}

# Install.
if [ "$system" = yes ]; then
  [ "$(id -u)" -eq 0 ] || fail "--system installs with dpkg -i: run as root"
  if dpkg-query -W -f='${Status}' korva-zid 2>/dev/null | grep -q 'install ok installed'; then
    fail "korva-zid is installed on this system already; it is left as it is"
  fi
  root=""
  dpkg -i "$deb"
  trap 'dpkg -r korva-zid > /dev/null 2>&1 || true; rm -rf "$work"' EXIT
else
  root=$work/root
  dpkg-deb -x "$deb" "$root"
  # Every package it depends on is installed (what dpkg -i would refuse).
  depends=$(dpkg-deb -f "$deb" Depends)
  printf 'Source: korva-zid-check\nBuild-Depends: %s\n' "$depends" > "$work/control"
  dpkg-checkbuilddeps "$work/control" || fail "the package's dependencies are not installed: $depends"
fi
echo "check-installed.sh: installed $(basename "$deb") ($([ "$system" = yes ] && echo "dpkg -i" || echo "dpkg-deb -x into $root"))"
cli=$root/usr/bin/korva-zid-cli
program=$root/usr/lib/korva-zid
# The package's files, as dpkg-deb lists them.
installed_files() { dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$'; }
# What lies among the program's installed files, to be found unchanged at
# the end: every entry of the unpacked root, or of /usr/lib/korva-zid and
# what could be written beside /usr/bin/korva-zid-cli.
snapshot() {
  if [ "$system" = yes ]; then
    find "$program" | sort
    find "$program" -type f -exec md5sum {} + | sort
    ls -d /usr/bin/config.ini /usr/bin/portable /usr/bin/mods /usr/bin/rosters 2>/dev/null || true
  else
    find "$root" | sort
    find "$root" -type f -exec md5sum {} + | sort
  fi
}
snapshot > "$work/before"

# A new user: an empty home folder and no XDG variables.
export HOME=$work/home
mkdir -p "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME
cd "$work"

"$cli" paths > "$work/paths"
expected=$(printf 'program\t%s\nsettings\t%s\nmods\t%s\nrosters\t%s' "$program" \
  "$HOME/.config/korva-zid" "$HOME/.local/share/korva-zid/mods" "$HOME/.local/share/korva-zid/rosters")
[ "$(cat "$work/paths")" = "$expected" ] || fail "korva-zid-cli paths said:
$(cat "$work/paths")
rather than:
$expected"
echo "check-installed.sh: korva-zid-cli paths:"
sed 's/^/  /' "$work/paths"

# step NAME ARGS...: runs korva-zid-cli and fails with its output when it fails.
step() {
  if ! "$cli" "$@" > "$work/out" 2>&1; then
    cat "$work/out"
    fail "korva-zid-cli $* failed"
  fi
  echo "check-installed.sh: korva-zid-cli $* -> done"
}

"$linux/sample/korva-make-sample" packed-game "$work/game"
"$linux/sample/korva-make-sample" game "$work/original"
step set-game "$work/game/KORVAQUORIN.exe"
grep -q "^Your mods folder is new and empty:" "$work/out" || { cat "$work/out"; fail "the first start did not say where the mods folder is"; }
[ -d "$HOME/.local/share/korva-zid/mods" ] || fail "the first start made no mods folder"
grep -qx "KorvaPath=$work/game"$'\r' "$HOME/.config/korva-zid/config.ini" || fail "config.ini does not name the game"

"$linux/sample/korva-make-sample" mods "$work/download"
(cd "$work/download" && cmake -E tar cf "$work/Plain Grunt.zip" --format=zip plain_grunt)
step import "$work/Plain Grunt.zip"
[ -f "$HOME/.local/share/korva-zid/mods/plain_grunt/modfile.ini" ] || fail "the import put no package into the user's mods folder"
step install plain_grunt 0
grep -q "Char enabled." "$work/out" || { cat "$work/out"; fail "the install did not say it was done"; }
step roster save weekend
[ -f "$HOME/.local/share/korva-zid/rosters/weekend.txt" ] || fail "the roster is not in the user's rosters folder"
step revert --yes
# Revert leaves the icon map and the slot usage files, which hold what the
# next start needs, as the portable program does.
diff -r -x iconmap -x 'slots_char_*' "$work/original" "$work/game" > "$work/diff" ||
  { head -20 "$work/diff"; fail "the reverted game differs from the sample game"; }
echo "check-installed.sh: the reverted game holds the sample game's files, byte for byte"

snapshot > "$work/after"
diff "$work/before" "$work/after" || fail "the program's installed files changed, or files were added among them"
echo "check-installed.sh: nothing was written among the program's installed files"

# Uninstall.
if [ "$system" = yes ]; then
  dpkg -r korva-zid
  trap 'rm -rf "$work"' EXIT
else
  installed_files | while read -r f; do rm -f "$root$f"; done
  find "$root" -depth -type d -empty -delete
fi
left=$(installed_files | while read -r f; do [ -e "$root$f" ] && echo "$f"; done || true)
[ -z "$left" ] || fail "uninstalling left: $left"
for kept in .config/korva-zid/config.ini .local/share/korva-zid/mods/plain_grunt/modfile.ini \
  .local/share/korva-zid/rosters/weekend.txt; do
  [ -f "$HOME/$kept" ] || fail "uninstalling took the user's $kept"
done
echo "check-installed.sh: uninstalled; the user's config.ini, mods and rosters are still there:"
(cd "$HOME" && find . -path ./.cache -prune -o -type f -print | sort | sed 's|^\./|  ~/|')
echo "check-installed.sh: the installed program passed"
