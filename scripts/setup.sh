#!/bin/sh
# Installs every Debian package that building, testing and running the
# program need. Safe to run again.
set -eu
packages="
  cmake g++ make pkg-config ccache
  libwxgtk3.2-dev
  libfreeimage-dev libsquish-dev libarchive-dev libxxhash-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick
  dpkg-dev lintian desktop-file-utils appstream nsis
"
# Nothing to do when every package is installed already.
installed=$(dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | grep -c 'install ok installed' || true)
# shellcheck disable=SC2086
[ "$installed" -eq "$(echo $packages | wc -w)" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
# shellcheck disable=SC2086
$sudo apt-get install -y --no-install-recommends $packages
