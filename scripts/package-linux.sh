#!/usr/bin/env bash
# Makes korva-zid_<version>_amd64.deb, the program installed as Debian
# installs programs: korva-zid and korva-zid-cli in /usr/bin, the program's
# own data/ and tools/ in /usr/lib/korva-zid (where a program in /usr/bin
# finds them), a desktop entry, the icon in the hicolor theme, an AppStream
# metainfo file and manual pages. The libraries are Debian 12's own
# packages, found by dpkg-shlibdeps. The user's files (config.ini, mods,
# rosters) are not in the package: the installed program keeps them in the
# user's folders. Then it checks the package with lintian, desktop-file-validate
# and appstreamcli validate and prints what they say.
#
#   scripts/package-linux.sh [linux build] [output folder]
#       (defaults: build, made by scripts/build.sh; the build folder)
#
# Exits non-zero when a file is missing or a check reports an error.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
out=$(mkdir -p "${2:-$build}" && cd "${2:-$build}" && pwd)

# The tools this needs, as Debian packages (installed once).
needed="dpkg-dev lintian desktop-file-utils appstream"
# shellcheck disable=SC2086
if [ "$(dpkg-query -W -f='${Status}\n' $needed 2>/dev/null | grep -c 'install ok installed')" \
  -ne "$(echo $needed | wc -w)" ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $needed
fi

for f in korva-zid korva-zid-cli tools/crunch.exe tools/quickbms.exe tools/vantrel.bms data/charicon.tga; do
  [ -e "$build/$f" ] || { echo "package-linux.sh: $build has no $f: run scripts/build.sh" >&2; exit 1; }
done
version=$(sed -n 's/^project(korva_zid VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
[ -n "$version" ] || { echo "package-linux.sh: no version in CMakeLists.txt" >&2; exit 1; }
arch=$(dpkg --print-architecture)
# Dates from the last commit, so that the same source makes the same package.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || date +%s)}
day=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
maintainer="Korva Quorin ZID team <team@korvazid.github.io>"
id=io.github.korvazid.KorvaZid
linux=$repo/app/linux

stage=$(mktemp -d "${TMPDIR:-/tmp}/korva-deb-XXXXXX")
trap 'rm -rf "$stage"' EXIT
# As dpkg-shlibdeps expects a package tree.
root=$stage/debian/korva-zid
lib=$root/usr/lib/korva-zid
doc=$root/usr/share/doc/korva-zid
mkdir -p "$root/DEBIAN" "$root/usr/bin" "$lib/tools" "$doc" "$root/usr/share/man/man1" \
  "$root/usr/share/applications" "$root/usr/share/metainfo"
install -m 0755 "$build/korva-zid" "$build/korva-zid-cli" "$root/usr/bin/"
install -m 0755 "$build/tools/crunch.exe" "$build/tools/quickbms.exe" "$lib/tools/"
install -m 0644 "$build/tools/vantrel.bms" "$lib/tools/"
cp -r "$build/data" "$lib/data"
# Without the debugging information the build keeps.
strip --strip-unneeded --remove-section=.comment --remove-section=.note \
  "$root/usr/bin/korva-zid" "$root/usr/bin/korva-zid-cli" "$lib/tools/crunch.exe" "$lib/tools/quickbms.exe"

fill() { sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$day/g" "$1"; }
install -m 0644 "$linux/$id.desktop" "$root/usr/share/applications/"
fill "$linux/$id.metainfo.xml" > "$root/usr/share/metainfo/$id.metainfo.xml"
for page in korva-zid.1 korva-zid-cli.1; do
  fill "$linux/$page" | gzip -9n > "$root/usr/share/man/man1/$page.gz"
done
# The icon in each size that the Windows icon holds.
frame=0
for size in 16 24 32 48 256; do
  mkdir -p "$root/usr/share/icons/hicolor/${size}x$size/apps"
  convert "$repo/app/windows/korva-zid.ico[$frame]" -strip \
    "PNG32:$root/usr/share/icons/hicolor/${size}x$size/apps/korva-zid.png"
  frame=$((frame + 1))
done
sed "s/@YEAR@/$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y)/" "$linux/copyright" > "$doc/copyright"
{
  echo "korva-zid ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n > "$doc/changelog.gz"
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f ! -perm -u+x -exec chmod 0644 {} +

# The library packages the programs need, as dpkg-shlibdeps finds them.
printf 'Source: korva-zid\n\nPackage: korva-zid\nArchitecture: any\n' > "$stage/debian/control"
depends=$(cd "$stage" && dpkg-shlibdeps -O debian/korva-zid/usr/bin/korva-zid debian/korva-zid/usr/bin/korva-zid-cli \
  debian/korva-zid/usr/lib/korva-zid/tools/crunch.exe debian/korva-zid/usr/lib/korva-zid/tools/quickbms.exe |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package-linux.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

cat > "$root/DEBIAN/control" <<CONTROL
Package: korva-zid
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Section: utils
Priority: optional
Description: character mod manager for the game Korva Quorin
 Korva Quorin ZID installs character mods into the game Korva Quorin
 (KORVAQUORIN.exe, run under Wine or Proton): it writes a mod package's
 character into one of the game's ten mod character places, takes it out
 again, and can put every game file it changed back as it was. Before it
 changes a game file it keeps a one-time backup of it.
 .
 The package holds the window (korva-zid) and the command line
 (korva-zid-cli). The user's mod packages and settings are kept in the
 user's own folders (~/.local/share/korva-zid, ~/.config/korva-zid).
CONTROL
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$root/DEBIAN/md5sums"
chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb=$out/korva-zid_${version}_$arch.deb
rm -f "$deb"
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" > /dev/null
echo "package-linux.sh: made $deb ($(stat -c %s "$deb") bytes)"
echo "package-linux.sh: Depends: $depends"

# The checks, each with its whole output.
status=0
echo "package-linux.sh: lintian $(basename "$deb"):"
lintian --tag-display-limit 0 --display-info "$deb" || status=1
echo "package-linux.sh: desktop-file-validate $id.desktop:"
desktop-file-validate "$root/usr/share/applications/$id.desktop" && echo "  (nothing to report)" || status=1
echo "package-linux.sh: appstreamcli validate $id.metainfo.xml:"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || status=1
[ "$status" -eq 0 ] || { echo "package-linux.sh: a check of the package failed (see above)" >&2; exit 1; }
echo "package-linux.sh: lintian, desktop-file-validate and appstreamcli validate passed"
