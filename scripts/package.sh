#!/usr/bin/env bash
# Builds the Debian package build/versequest_<version>_<arch>.deb, to install
# with `sudo apt install ./build/versequest_*.deb`. It is built in a folder of
# its own (build-deb) with Debian's compiler flags, the program only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --package

build_dir=${VERSEQUEST_PACKAGE_BUILD_DIR:-build-deb}
# Debian's hardening and optimisation flags, as a Debian package build uses them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=None -DVERSEQUEST_DEBIAN_PACKAGE=ON \
      -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
      -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
      -DVERSEQUEST_BUILD_TESTS=OFF -DVERSEQUEST_BUILD_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
mkdir -p build
rm -rf build/cpack build/versequest_*.deb
root=$PWD
(cd "$build_dir" && cpack -G DEB -B "$root/build/cpack" >/dev/null)
deb=$(ls build/cpack/versequest_*.deb)
mv -f "$deb" build/
rm -rf build/cpack
echo "build/$(basename "$deb")"
