#!/usr/bin/env bash
# Builds the static Windows (x86_64-w64-mingw32) libraries of the program
# from Debian's own source packages, with Debian's mingw-w64 (POSIX thread
# model) compilers, into one prefix that is kept between runs:
#
#   ${KORVA_CACHE_DIR:-$HOME/.cache/korva-zid}/windows-deps-<key>
#
# <key> is a hash of this script, the files it reads from scripts/windows/
# (freeimage/) and the CMake toolchain files, so a change to any of them
# builds a new prefix (and older prefixes are removed). When the prefix for the key is
# complete the script only prints it.
#
# Usage:
#   prefix=$(scripts/windows/deps.sh | tail -1)
# The prefix is the LAST (and only) line of standard output; progress goes to
# standard error. Run as root or with sudo: it installs Debian packages
# (mingw-w64, wine, cmake, ...) when some are missing, and adds a deb-src
# entry for the Debian mirror already configured.
#
# It also prepares a wine prefix, once, in
#   ${KORVA_CACHE_DIR:-$HOME/.cache/korva-zid}/wineprefix
# which scripts/windows/wine-run.sh (the CMake emulator) uses.
#
# The prefix holds: include/ (wx/, FreeImage.h, squish.h, archive*.h,
# gtest/, gmock/, xxhash.h, png.h, bzlib.h, lzma.h), lib/ (static .a only;
# lib/cmake/GTest, lib/pkgconfig, lib/wx/), bin/wx-config, and
# share/korva-deps/ (source versions and the build logs).
#
# What consumers need (see also cmake/windows-toolchain.cmake):
#   FreeImage: -DFREEIMAGE_LIB, link freeimage png16 z, and call
#              FreeImage_Initialise() before anything else (static library).
#   libarchive: -DLIBARCHIVE_STATIC, link archive lzma bz2 z (in that order).
#   squish: link squish.   xxHash: header-only (XXH_INLINE_ALL) or xxhash.
#   GTest: find_package(GTest) finds lib/cmake/GTest.
#   wxWidgets: <prefix>/bin/wx-config --static --cxxflags / --libs core,base
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
toolchain=$repo/cmake/windows-toolchain.cmake
cache=${KORVA_CACHE_DIR:-$HOME/.cache/korva-zid}
host=x86_64-w64-mingw32
jobs=$(nproc)

say() { echo "deps.sh: $*" >&2; }
die() { say "error: $*"; exit 1; }

if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

# --- Debian packages --------------------------------------------------------

packages="g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 xvfb xauth dpkg-dev cmake ninja-build make pkg-config"

install_packages() {
  local installed
  # shellcheck disable=SC2086
  installed=$(dpkg-query -W -f='${Status}\n' $packages 2>/dev/null | grep -c 'install ok installed' || true)
  # shellcheck disable=SC2086
  [ "$installed" -eq "$(echo $packages | wc -w)" ] && return 0
  say "installing Debian packages"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q >&2
  # shellcheck disable=SC2086
  $sudo apt-get install -y -q --no-install-recommends $packages >&2
}

# apt-get source needs deb-src entries; Debian's images have none. Copies the
# bookworm entries (same mirrors) as deb-src, once.
ensure_deb_src() {
  [ -n "$(apt-cache showsrc libsquish 2>/dev/null)" ] && return 0
  say "adding deb-src entries for the configured Debian mirrors"
  local tmp
  tmp=$(mktemp)
  # deb822 stanzas whose Types has "deb" and whose Suites is bookworm*. One
  # awk over the files, not a cat: a stanza never runs on into the next file.
  awk '
    BEGIN { RS = ""; FS = "\n" }
    {
      types = ""; suites = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^Types:/) types = $i
        if ($i ~ /^Suites:/) suites = $i
      }
      if ((types " ") ~ /[ :]deb / && suites ~ /bookworm/) {
        for (i = 1; i <= NF; i++) print ($i ~ /^Types:/ ? "Types: deb-src" : $i)
        print ""
      }
    }' /etc/apt/sources.list.d/*.sources > "$tmp" 2>/dev/null || true
  [ -s "$tmp" ] && $sudo install -m 644 "$tmp" /etc/apt/sources.list.d/korva-deb-src.sources
  # One-line entries of sources.list.
  sed -n 's/^deb\([[:space:]].*[[:space:]]bookworm[^[:space:]]*[[:space:]].*\)/deb-src\1/p' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null > "$tmp" || true
  [ -s "$tmp" ] && $sudo install -m 644 "$tmp" /etc/apt/sources.list.d/korva-deb-src.list
  rm -f "$tmp"
  $sudo apt-get update -q >&2
  [ -n "$(apt-cache showsrc libsquish 2>/dev/null)" ] \
    || die "no Debian source packages available after adding deb-src entries"
}

# fetch_source <source package>: unpacks it (Debian patches applied) under
# $src/<package>/ and records its version. Takes the newest version the
# mirrors list, and an older one if the newest cannot be downloaded (a
# security mirror may list a version before it serves it).
fetch_source() {
  local pkg=$1 version
  mkdir -p "$src/$pkg"
  for version in $(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -u -r -V); do
    if (cd "$src/$pkg" && apt-get source -q "$pkg=$version"); then
      echo "$pkg $version" >> "$prefix/share/korva-deps/sources.txt"
      return 0
    fi
    rm -rf "${src:?}/$pkg" && mkdir -p "$src/$pkg"
  done
  die "could not download the source of $pkg"
}

# The unpacked source folder of a package fetched by fetch_source.
source_dir() { find "$src/$1" -mindepth 1 -maxdepth 1 -type d | head -1; }

# cmake_cross <source dir> <build dir> [cmake options]: configures with the
# project's own toolchain file, installing into the prefix. Ninja rather than
# make: each of the hundreds of configure checks (try_compile) costs less.
cmake_cross() {
  local source=$1 build=$2
  shift 2
  cmake -S "$source" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKORVA_WINDOWS_DEPS="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
}

# --- One function per library -------------------------------------------------
# Each runs in a subshell with its output in $logs/<name>.log, and may use
# $prefix, $src and $work (its own empty build folder).

build_bzip2() {
  fetch_source bzip2
  cd "$(source_dir bzip2)"
  # Upstream's Makefile has a target for the static library alone; the tools
  # are not needed.
  make -j"$jobs" libbz2.a CC="$CC" AR="$AR" RANLIB="$RANLIB" CFLAGS="-O2 -Wall -D_FILE_OFFSET_BITS=64"
  install -m 644 bzlib.h "$prefix/include/"
  install -m 644 libbz2.a "$prefix/lib/"
}

build_xz() {
  fetch_source xz-utils
  cd "$work"
  # Only liblzma: no tools, scripts, translations or documentation.
  # Windows' own threads (vista) rather than winpthreads.
  "$(source_dir xz-utils)/configure" --host="$host" --prefix="$prefix" \
    --disable-shared --enable-static --enable-threads=vista \
    --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
    --disable-lzma-links --disable-scripts --disable-doc --disable-nls
  make -j"$jobs"
  make install
}

build_libpng() {
  fetch_source libpng1.6
  cd "$work"
  # zlib is the mingw-w64 sysroot's (libz-mingw-w64-dev).
  "$(source_dir libpng1.6)/configure" --host="$host" --prefix="$prefix" \
    --disable-shared --enable-static
  make -j"$jobs"
  make install
  rm -f "$prefix"/bin/png*.exe
}

build_libarchive() {
  fetch_source libarchive
  # Readers for zip, 7z, rar, rar5 and tar are built in; the filters gzip,
  # bzip2 and xz come from zlib, libbz2 and liblzma. Off: every other
  # optional library (crypto, XML, lz4, zstd, iconv: Windows converts
  # filenames itself), libgcc (ENABLE_LIBGCC=OFF, its static copy is linked
  # anyway), the bundled tools and the tests. POSIX_REGEX_LIB=NONE: no regex
  # library for the (unused) pattern-matching helpers.
  cmake_cross "$(source_dir libarchive)" "$work" \
    -DENABLE_ZLIB=ON -DENABLE_BZip2=ON -DENABLE_LZMA=ON \
    -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_CNG=OFF \
    -DENABLE_LIBB2=OFF -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_ZSTD=OFF \
    -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_PCREPOSIX=OFF -DENABLE_LIBGCC=OFF \
    -DENABLE_ICONV=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF \
    -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_TEST=OFF \
    -DPOSIX_REGEX_LIB=NONE
  # Only the static library: on Windows upstream names it libarchive_static.a
  # next to a DLL. Installed as libarchive.a so that -larchive and CMake's
  # FindLibArchive find it.
  cmake --build "$work" --target archive_static -j"$jobs"
  install -m 644 "$work/libarchive/libarchive_static.a" "$prefix/lib/libarchive.a"
  install -m 644 "$(source_dir libarchive)/libarchive/archive.h" \
    "$(source_dir libarchive)/libarchive/archive_entry.h" "$prefix/include/"
  sed -e 's/^Cflags:.*/& -DLIBARCHIVE_STATIC/' "$work/build/pkgconfig/libarchive.pc" \
    > "$prefix/lib/pkgconfig/libarchive.pc"
}

build_squish() {
  fetch_source libsquish
  # The plain build without SSE2, as Debian's Linux libsquish is built
  # (USE_SSE ?= 0 in its config): the cluster fit rounds some blocks
  # differently with SSE2, and both systems must make the same DXT blocks.
  # No OpenMP: it would add libgomp to every program and only speeds up
  # whole-image compression.
  cmake_cross "$(source_dir libsquish)" "$work" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_SQUISH_WITH_OPENMP=OFF -DBUILD_SQUISH_EXTRA=OFF \
    -DBUILD_SQUISH_WITH_SSE2=OFF
  cmake --build "$work" -j"$jobs"
  cmake --install "$work"
}

build_freeimage() {
  fetch_source freeimage
  # Upstream's build files expect the bundled libraries Debian removed;
  # freeimage/CMakeLists.txt beside this script builds the parts we use.
  cmake_cross "$here/freeimage" "$work" -DFREEIMAGE_SOURCE_DIR="$(source_dir freeimage)"
  cmake --build "$work" -j"$jobs"
  cmake --install "$work"
  cat > "$prefix/lib/pkgconfig/freeimage.pc" <<EOF
prefix=$prefix
Name: FreeImage
Description: FreeImage (static; BMP, TARGA, DDS and PNG)
Version: $(sed -n 's/^freeimage \(.*\)+ds.*/\1/p' "$prefix/share/korva-deps/sources.txt")
Cflags: -I\${prefix}/include -DFREEIMAGE_LIB
Libs: -L\${prefix}/lib -lfreeimage -lpng16 -lz
EOF
}

build_googletest() {
  fetch_source googletest
  # gtest_disable_pthreads: on Windows gtest uses Windows' own threads and
  # locks anyway; this keeps it from linking winpthread explicitly.
  cmake_cross "$(source_dir googletest)" "$work" \
    -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=ON
  cmake --build "$work" -j"$jobs"
  cmake --install "$work"
}

build_xxhash() {
  fetch_source xxhash
  cd "$(source_dir xxhash)"
  # The header for XXH_INLINE_ALL, and the same code as a small library.
  "$CC" -O2 -Wall -c xxhash.c -o "$work/xxhash.o"
  "$AR" rcs "$prefix/lib/libxxhash.a" "$work/xxhash.o"
  install -m 644 xxhash.h xxh3.h "$prefix/include/"
}

build_wxwidgets() {
  fetch_source wxwidgets3.2
  cd "$work"
  # Static, Unicode, MSW. Image formats: BMP, ICO, XPM, GIF, PCX, PNM, TGA
  # built in, PNG from the prefix's libpng; Debian's source has no bundled
  # jpeg/tiff/expat, so those are off (and with expat the XML and XRC
  # libraries). Everything the program does not use is left out to keep the
  # build short: the optional libraries (html, xrc, aui, propgrid, ribbon,
  # richtext, stc, webview, media, gl, qa) and the networking classes.
  # --without-subdirs: samples, demos and utils are not configured.
  # --enable-pch: precompiled headers, much faster with these many files.
  "$(source_dir wxwidgets3.2)/configure" --host="$host" --build=x86_64-pc-linux-gnu \
    --prefix="$prefix" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" \
    --with-msw --disable-shared --enable-unicode --without-subdirs --disable-tests --enable-pch \
    --with-zlib=sys --with-libpng=sys --without-libjpeg --without-libtiff \
    --without-expat --without-liblzma --without-regex --without-libcurl --without-opengl \
    --disable-svg --disable-webview --disable-mediactrl --disable-stc --disable-propgrid \
    --disable-ribbon --disable-richtext --disable-aui --disable-html --disable-htmlhelp \
    --disable-xrc --disable-help --disable-mshtmlhelp --disable-debugreport \
    --disable-sockets --disable-ipc --disable-protocols --disable-url --disable-fs_inet \
    --disable-webrequest --disable-grid --disable-dataviewctrl --disable-treelist \
    --disable-calendar --disable-datepick --disable-timepick --disable-mdi --disable-mdidoc \
    --disable-docview --disable-printarch --disable-postscript --disable-sound \
    --disable-joystick --disable-wizarddlg --disable-splash --disable-tipdlg \
    --disable-richtooltip --disable-secretstore --disable-spellcheck
  make -j"$jobs"
  make install
}

# --- Running the steps ----------------------------------------------------------

# step <name> <function>: runs one library's build in a subshell, logging to
# $logs/<name>.log; on failure shows the end of the log and stops.
step() {
  local name=$1 function=$2 log="$logs/$1.log" start=$SECONDS status
  say "building $name (log: $log)"
  work="$scratch/build/$name"
  mkdir -p "$work"
  set +e
  ( set -euo pipefail; "$function" ) > "$log" 2>&1
  status=$?
  set -e
  if [ "$status" -ne 0 ]; then
    say "building $name FAILED (exit $status); the end of $log:"
    tail -n 60 "$log" >&2
    exit 1
  fi
  say "built $name in $((SECONDS - start)) s"
}

build_all() {
  rm -rf "$prefix" "$scratch"
  mkdir -p "$prefix"/{include,lib/pkgconfig,share/korva-deps} "$src" "$logs"
  export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib \
    WINDRES=$host-windres RC=$host-windres STRIP=$host-strip
  step bzip2 build_bzip2
  step xz build_xz
  step libpng build_libpng
  step libarchive build_libarchive
  step libsquish build_squish
  step freeimage build_freeimage
  step googletest build_googletest
  step xxhash build_xxhash
  step wxwidgets build_wxwidgets
  # No import libraries or DLLs may end up in the prefix: everything links
  # statically.
  if find "$prefix" -name '*.dll.a' -o -name '*.dll' | grep -q .; then
    die "the prefix has DLLs or import libraries: $(find "$prefix" -name '*.dll*')"
  fi
  cp -r "$logs" "$prefix/share/korva-deps/logs"
  date -u +%Y-%m-%dT%H:%M:%SZ > "$prefix/.complete"
  rm -rf "$scratch"
}

# The wine prefix, initialised once so that later runs start quickly.
ensure_wineprefix() {
  local wineprefix=$cache/wineprefix
  [ -f "$wineprefix/.korva-ready-2" ] && return 0
  say "initialising the wine prefix $wineprefix"
  rm -rf "$wineprefix"
  # No Mono/Gecko: wine would try to download them.
  WINEPREFIX=$wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wineboot -i >&2
  # A program that crashes prints wine's backtrace and ends, instead of
  # waiting for someone to close the crash dialog (a test would hang).
  WINEPREFIX=$wineprefix WINEDEBUG=-all \
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >&2
  WINEPREFIX=$wineprefix wineserver -w
  touch "$wineprefix/.korva-ready-2"
}

# --- Main -------------------------------------------------------------------

install_packages

key=$(cd "$repo" && {
  find scripts/windows -path scripts/windows/smoke -prune -o -type f ! -name wine-run.sh -print
  echo cmake/windows-toolchain.cmake cmake/windows-static-find.cmake | tr ' ' '\n'
} | LC_ALL=C sort | xargs sha256sum | sha256sum | cut -c1-12)
prefix=$cache/windows-deps-$key
scratch=$cache/windows-deps-build-$key
src=$scratch/src
logs=$scratch/logs

mkdir -p "$cache"
exec 9> "$cache/windows-deps.lock"
if ! flock -n 9; then
  say "waiting for another run of deps.sh to finish"
  flock 9
fi

if [ ! -f "$prefix/.complete" ]; then
  ensure_deb_src
  say "building the Windows libraries into $prefix (logs in $logs)"
  start=$SECONDS
  build_all
  times > "$cache/windows-deps-times"  # no subshell: the builds' CPU time
  say "all libraries built in $((SECONDS - start)) s; CPU time of this run (user, system):" \
    "$(tail -1 "$cache/windows-deps-times")"
  rm -f "$cache/windows-deps-times"
  # Prefixes for older versions of this script are no longer used.
  for old in "$cache"/windows-deps-*; do
    [ -d "$old" ] && [ "$old" != "$prefix" ] && rm -rf "$old"
  done
fi
ensure_wineprefix

echo "$prefix"
