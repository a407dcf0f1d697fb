#!/bin/sh
# Installs what the build needs (once), builds the program, makes a fresh packed sample game in build/sample-game
# (its files in .dat archives, which the first start unpacks; the sample mods
# are already in build/mods), points the program at it through
# build/config.ini and starts the window.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
game="$(pwd)/build/sample-game"
rm -rf "$game"
build/sample/korva-make-sample packed-game "$game"
printf 'KorvaPath=%s\r\n' "$game" > build/config.ini
exec build/korva-zid
