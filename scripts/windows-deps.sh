#!/usr/bin/env bash
# Builds what the 64-bit Windows cross build needs, once, into a cache folder
# outside the checkout, so that later clones and CI reuse it:
#   deps/  sqlite3.dll (Debian's sqlite3 source), libmdb-3.dll (mdbtools 1.0.1
#          with packaging/windows/mdbtools-utf8-win32.patch), GoogleTest
#   qt/    Qt 6.4.2 qtbase from Debian's qt6-base source, for mingw-w64, with
#          Debian's Linux Qt 6.4.2 as host tools, and Qt's Chinese translations
# A part already built with the same inputs is kept (a stamp says so), so a
# second run takes seconds. The first takes about 15-30 minutes (Qt).
#
#   scripts/windows-deps.sh            build what is missing
#   scripts/windows-deps.sh --prefix   print the cache folder and stop
#
# VERSEQUEST_WIN_DEPS   the cache folder (default ~/.cache/versequest/win64-qt6.4.2)
# VERSEQUEST_JOBS       parallel compile jobs (default 2)
# VERSEQUEST_DEBIAN_MIRROR  where the Debian sources come from (default: the
#                       Debian mirror of this machine's apt sources)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

qt_version=6.4.2
cache=${XDG_CACHE_HOME:-$HOME/.cache}/versequest
deps=${VERSEQUEST_WIN_DEPS:-$cache/win64-qt$qt_version}
if [[ ${1:-} == --prefix ]]; then
  echo "$deps"
  exit 0
fi
jobs=${VERSEQUEST_JOBS:-2}
toolchain=$root/packaging/windows/mingw-w64-x86_64.cmake
mdb_patch=$root/packaging/windows/mdbtools-utf8-win32.patch
# trixie's mdbtools 1.0.1 source: only its orig tarball is on the mirror (the
# .dsc is not), so its checksum is checked here (as trixie's Sources index gives it).
mdb_orig=mdbtools_1.0.1.orig.tar.gz
mdb_orig_sha256=750cbf793bf5b7e296fdc359124393a0aef89ee663b7741ba4b1ca2ce30b3b37
triplet=x86_64-w64-mingw32

say() { echo "windows-deps: $*" >&2; }
fail() { say "$*"; exit 1; }

# ---- Debian packages ---------------------------------------------------------------------
packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools cmake ninja-build
          dpkg-dev tcl qt6-base-dev qt6-base-dev-tools qt6-translations-l10n googletest
          fonts-arphic-ukai nsis zip unzip wine wine64 xvfb xauth imagemagick libxtst6 python3 odbc-postgresql
          locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [[ $(id -u) -eq 0 ]]; then
    say "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
  else
    fail "missing Debian packages (install them as root): ${missing[*]}"
  fi
fi
# The installer and the command line are checked under Wine on a Chinese and
# an English system (scripts/test-windows.sh): their locales must exist.
for locale in zh_CN.UTF-8 en_US.UTF-8; do
  locale -a | grep -qix "${locale%.UTF-8}.utf8" && continue
  [[ $(id -u) -eq 0 ]] || fail "the locale $locale is missing (enable it in /etc/locale.gen and run locale-gen as root)"
  say "generating the locale $locale"
  sed -i "s/^# *\($locale UTF-8\)/\1/" /etc/locale.gen
  grep -qx "$locale UTF-8" /etc/locale.gen || echo "$locale UTF-8" >>/etc/locale.gen
  locale-gen >/dev/null
done
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
[[ $host_qt == "$qt_version"+* ]] || fail "the host tools must be Qt $qt_version, qt6-base-dev is $host_qt"

mkdir -p "$deps" "$cache/src"
exec 9>"$deps/.lock"
flock 9  # one build of the cache at a time

# The cached Qt chain-loads this toolchain file: a copy in the cache outlives
# the checkout that built it.
cmp -s "$toolchain" "$deps/mingw-w64-x86_64.cmake" || cp "$toolchain" "$deps/mingw-w64-x86_64.cmake"
toolchain=$deps/mingw-w64-x86_64.cmake

stamp_of() { echo "$deps/.stamp-$1"; }
is_current() { [[ -f $(stamp_of "$1") && $(cat "$(stamp_of "$1")") == "$2" ]]; }
mark_current() { echo "$2" >"$(stamp_of "$1")"; }

# ---- Sources through a scratch apt configuration ------------------------------------------
# The machine's own apt configuration stays as it is: the deb-src lines live
# in a folder of the cache.
mirror=${VERSEQUEST_DEBIAN_MIRROR:-}
if [[ -z $mirror ]]; then
  mirror=$(grep -h -E '^(URIs:|deb )' /etc/apt/sources.list /etc/apt/sources.list.d/*.sources \
             /etc/apt/sources.list.d/*.list 2>/dev/null | grep -v -e security -e '^#' |
           grep -o -E 'https?://[^ ]*/debian/?' | head -n 1 || true)
  if [[ -z $mirror ]]; then
    say "no Debian mirror in this machine's apt sources (/etc/apt/sources.list*);" \
        "name one in VERSEQUEST_DEBIAN_MIRROR"
    exit 1
  fi
fi
apt_dir=$cache/apt
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
          -o "Dir::Etc::Preferences=$apt_dir/preferences" -o "Dir::Etc::PreferencesParts=$apt_dir/parts"
          -o APT::Sandbox::User="$(id -un)" -q)
apt_ready=0
apt_source() {  # apt_source <package>[=version|/release]: downloads into the cache's src folder
  if ((apt_ready == 0)); then
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
    : >"$apt_dir/preferences"
    local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    printf 'deb-src [signed-by=%s] %s %s main\n' "$keyring" "$mirror" bookworm "$keyring" "$mirror" trixie \
      >"$apt_dir/sources.list"
    say "reading the source lists of $mirror"
    apt-get "${apt_opts[@]}" update >/dev/null
    apt_ready=1
  fi
  (cd "$cache/src" && apt-get "${apt_opts[@]}" source --download-only "$1" >/dev/null 2>&1)
}

# Unpacks a Debian source package (its checksums checked, Debian's patches
# applied) into a fresh folder.
unpack_dsc() {  # unpack_dsc <dsc> <folder>
  rm -rf "$2"
  dpkg-source -x "$1" "$2" >/dev/null 2>&1 || fail "cannot unpack $1"
  # dpkg-source leaves copies of the tarballs beside the folder.
  rm -f "$(dirname "$2")"/*.tar.* "$(dirname "$2")"/*.dsc
}

newest() { [[ -e $1 ]] && printf '%s\n' "$@" | sort -V | tail -n 1; true; }

scratch=$deps/build
mkdir -p "$scratch" "$deps/deps/bin" "$deps/deps/lib/pkgconfig" "$deps/deps/include"

# ---- SQLite -------------------------------------------------------------------------------
# One shared sqlite3.dll, so that Qt's SQLite driver and the game use the same
# library (the game reads through the driver's sqlite3 handle). Debian's
# compile-time options, the ones that matter on Windows.
build_sqlite() {
  local dsc
  dsc=$(newest "$cache"/src/sqlite3_3.*.dsc)
  if [[ -z $dsc ]]; then
    apt_source sqlite3/bookworm || fail "apt-get source sqlite3 failed"
    dsc=$(newest "$cache"/src/sqlite3_3.*.dsc)
  fi
  local key
  key="sqlite $(basename "$dsc")"
  is_current sqlite "$key" && return 0
  say "building sqlite3.dll from $(basename "$dsc")"
  unpack_dsc "$dsc" "$scratch/sqlite-src"
  rm -rf "$scratch/sqlite-host" && mkdir -p "$scratch/sqlite-host"
  # The amalgamation (sqlite3.c) is generated by the host build.
  (cd "$scratch/sqlite-host" && ../sqlite-src/configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null 2>&1) ||
    fail "cannot make the SQLite amalgamation"
  nice $triplet-gcc-posix -O2 -s -shared -static-libgcc "-DSQLITE_API=__declspec(dllexport)" \
    -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS \
    -DSQLITE_ENABLE_RTREE=1 -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_ENABLE_DBSTAT_VTAB -DSQLITE_ENABLE_JSON1 \
    -DSQLITE_LIKE_DOESNT_MATCH_BLOBS -DSQLITE_THREADSAFE=1 -DSQLITE_USE_URI=1 -DSQLITE_MAX_SCHEMA_RETRY=25 \
    "$scratch/sqlite-host/sqlite3.c" -o "$deps/deps/bin/sqlite3.dll" \
    -Wl,--out-implib,"$deps/deps/lib/libsqlite3.dll.a"
  cp "$scratch/sqlite-host/sqlite3.h" "$scratch/sqlite-host/sqlite3ext.h" "$deps/deps/include/"
  rm -rf "$scratch/sqlite-src" "$scratch/sqlite-host"
  mark_current sqlite "$key"
}

# ---- libmdb (Jet 3/4 files) ------------------------------------------------------------------
# The library alone, compiled straight from its sources without glib (its
# own small glib stand-in) and without iconv; the patch converts text with
# the Windows API, as msvcrt has no UTF-8 locale, and opens a file named in
# UTF-8 through its wide path, which every folder name Windows allows has.
build_libmdb() {
  local orig=$cache/src/$mdb_orig
  if [[ ! -f $orig ]] || ! sha256sum --status -c <<<"$mdb_orig_sha256  $orig"; then
    rm -f "$orig"
    apt_source mdbtools/trixie || true  # the .dsc is missing on the mirror; the tarball comes anyway
    [[ -f $orig ]] || fail "cannot download $mdb_orig (apt-get source mdbtools/trixie)"
    sha256sum --status -c <<<"$mdb_orig_sha256  $orig" || fail "$mdb_orig has the wrong checksum"
  fi
  local key
  key="libmdb $mdb_orig_sha256 $(sha256sum <"$mdb_patch" | cut -c1-16)"
  is_current libmdb "$key" && return 0
  say "building libmdb-3.dll from $mdb_orig"
  local src=$scratch/mdbtools-1.0.1
  rm -rf "$src" && tar -xzf "$orig" -C "$scratch"
  patch -s -d "$src" -p1 <"$mdb_patch"
  sed -e 's/@HAVE_ICONV_H@/0/' -e 's/@HAVE_XLOCALE_H@/0/' -e 's/@GLIB_INCLUDE_HEADER@/mdbfakeglib.h/' \
      -e 's/@LOCALE_T@/_locale_t/' "$src/include/mdbtools.h.in" >"$src/include/mdbtools.h"
  sed -e 's/@PACKAGE@/mdbtools/' -e 's/@VERSION@/1.0.1/' "$src/include/mdbver.h.in" >"$src/include/mdbver.h"
  local sources=(catalog file table data dump backend money sargs index like write stats map props worktable
                 options iconv version rc4 fakeglib)
  (cd "$src/src/libmdb" &&
   nice $triplet-gcc-posix -O2 -s -shared -static-libgcc -I../../include -DTLS=_Thread_local -w \
     "${sources[@]/%/.c}" -o "$deps/deps/bin/libmdb-3.dll" -Wl,--out-implib,"$deps/deps/lib/libmdb.dll.a")
  cp "$src/include/mdbtools.h" "$src/include/mdbfakeglib.h" "$src/include/mdbver.h" "$deps/deps/include/"
  cp "$src/COPYING.LIB" "$deps/deps/mdbtools-COPYING.LIB"
  cat >"$deps/deps/lib/pkgconfig/libmdb.pc" <<EOF
prefix=$deps/deps
Name: libmdb
Description: Jet 3/4 (MDB) file reader, built for Windows
Version: 1.0.1
Libs: -L\${prefix}/lib -lmdb
Cflags: -I\${prefix}/include
EOF
  rm -rf "$src"
  mark_current libmdb "$key"
}

# ---- GoogleTest (the test suites run under Wine) ----------------------------------------
build_gtest() {
  local key
  key="gtest $(dpkg-query -W -f='${Version}' googletest) $(sha256sum <"$toolchain" | cut -c1-16)"
  is_current gtest "$key" && return 0
  say "building GoogleTest from /usr/src/googletest"
  rm -rf "$scratch/gtest"
  nice cmake -S /usr/src/googletest -B "$scratch/gtest" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$deps/deps" >/dev/null
  nice cmake --build "$scratch/gtest" --parallel "$jobs" >/dev/null
  cmake --install "$scratch/gtest" >/dev/null
  rm -rf "$scratch/gtest"
  mark_current gtest "$key"
}

# ---- Qt 6.4.2 qtbase --------------------------------------------------------------------
qt_options=(-xplatform win32-g++ -qt-host-path /usr -release -shared -nomake tests -nomake examples
            -no-opengl -no-dbus -no-icu -no-feature-network -no-feature-concurrent -no-feature-xml
            -no-feature-printsupport -no-feature-tabletevent -no-feature-direct2d1_1 -no-feature-zstd
            -sql-sqlite -system-sqlite -sql-odbc -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype
            -qt-harfbuzz -qt-pcre -qt-doubleconversion)
build_qt() {
  local key
  key="qt $host_qt ${qt_options[*]} $(sha256sum <"$toolchain" | cut -c1-16)"
  is_current qt "$key" && return 0
  local dsc=$cache/src/qt6-base_$host_qt.dsc
  [[ -f $dsc ]] || apt_source "qt6-base=$host_qt" || fail "apt-get source qt6-base=$host_qt failed"
  local src=$scratch/qtbase-src build=$scratch/qtbase-build
  # A build interrupted after its configure step goes on where it stopped;
  # anything else starts in a fresh folder (a reconfigured folder keeps stale state).
  if [[ ! -f $build/.configured || $(cat "$build/.configured") != "$key" ]]; then
    say "unpacking $(basename "$dsc")"
    unpack_dsc "$dsc" "$src"
    rm -rf "$build" "$deps/qt" && mkdir -p "$build"
    say "configuring Qt $qt_version for Windows (log: $build/configure.log)"
    (cd "$build" && nice "$src/configure" -prefix "$deps/qt" "${qt_options[@]}" -- -G Ninja \
       -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
       -DSQLite3_INCLUDE_DIR="$deps/deps/include" -DSQLite3_LIBRARY="$deps/deps/lib/libsqlite3.dll.a" \
       >configure.log 2>&1) || fail "Qt's configure failed, see $build/configure.log"
    echo "$key" >"$build/.configured"
  fi
  say "building Qt $qt_version for Windows with $jobs jobs (log: $build/build.log; about 15-30 minutes)"
  local start=$SECONDS
  nice cmake --build "$build" --parallel "$jobs" >"$build/build.log" 2>&1 ||
    fail "the Qt build failed, see $build/build.log"
  cmake --install "$build" >/dev/null
  say "Qt built in $(((SECONDS - start) / 60)) min"
  rm -rf "$src" "$build"
  mark_current qt "$key"
}

# Qt's own translations are the same files on every platform: the Chinese
# ones for the game, the English one for the suites' English case.
install_translations() {
  local translation
  mkdir -p "$deps/qt/translations"
  for translation in qtbase_zh_CN qtbase_zh_TW qtbase_en; do
    cmp -s "/usr/share/qt6/translations/$translation.qm" "$deps/qt/translations/$translation.qm" ||
      cp "/usr/share/qt6/translations/$translation.qm" "$deps/qt/translations/"
  done
}

build_sqlite
build_libmdb
build_gtest
build_qt
install_translations
rmdir "$scratch" 2>/dev/null || true
for file in qt/bin/qt-cmake qt/bin/Qt6Core.dll qt/plugins/platforms/qwindows.dll qt/plugins/sqldrivers/qsqlite.dll \
            qt/plugins/sqldrivers/qsqlodbc.dll deps/bin/sqlite3.dll deps/bin/libmdb-3.dll deps/lib/libgtest.a; do
  [[ -e $deps/$file ]] || fail "$deps/$file is missing after the build"
done
say "ready in $deps"
