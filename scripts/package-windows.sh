#!/usr/bin/env bash
# Builds the game for 64-bit Windows (cross-compiled with mingw-w64 against the
# Qt of scripts/windows-deps.sh) and packs, in build-windows/:
#   VerseQuest-<version>-win64.zip        one folder: VerseQuest.exe, db21.mdb,
#                                         every DLL and Qt plugin it loads, ...
#   VerseQuest-<version>-win64-setup.exe  the NSIS installer
# Checks that every DLL a program file of the folder imports is in the folder
# or is a DLL of Windows itself.
#
# VERSEQUEST_WINDOWS_BUILD_DIR  the build folder (default build-windows)
# VERSEQUEST_WINDOWS_TESTS      ON also builds the test suites (scripts/test-windows.sh)
# VERSEQUEST_JOBS               parallel compile jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/windows-deps.sh
deps=$(scripts/windows-deps.sh --prefix)
build_dir=${VERSEQUEST_WINDOWS_BUILD_DIR:-build-windows}
jobs=${VERSEQUEST_JOBS:-2}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# The Qt toolchain chain-loads the mingw toolchain of this checkout. -O2 as
# Debian builds (mingw's GCC 12 gives false -Wrestrict alarms at -O3).
"$deps/qt/bin/qt-cmake" -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/packaging/windows/mingw-w64-x86_64.cmake" \
  -DVERSEQUEST_WINDOWS_DEPS="$deps/deps" -DVERSEQUEST_BUILD_TESTS="${VERSEQUEST_WINDOWS_TESTS:-OFF}" \
  -DVERSEQUEST_BUILD_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_EXE_LINKER_FLAGS=-s \
  "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  "${launcher[@]}" >/dev/null
cmake --build "$build_dir" --parallel "$jobs"

# The program folder as the zip and the installer hold it.
stage=$build_dir/stage
rm -rf "$stage"
cmake --install "$build_dir" --prefix "$stage" >/dev/null

# DLLs of Windows 10/11 itself and those of the folder; anything else
# must come with the game.
declare -A known=()
for dll in advapi32 authz bcrypt comctl32 comdlg32 crypt32 d3d11 d3d12 d3d9 dwmapi dwrite dxgi gdi32 imm32 \
           kernel32 mpr msvcrt netapi32 ntdll odbc32 ole32 oleaut32 setupapi shcore shell32 shlwapi user32 \
           userenv uxtheme version winmm ws2_32 wtsapi32; do
  known[$dll.dll]=1
done
for file in "$stage"/*.dll; do
  name=$(basename "$file")
  known[${name,,}]=1
done
missing=0
while IFS= read -r -d '' file; do
  while read -r dll; do
    lower=${dll,,}
    [[ -n ${known[$lower]:-} || $lower == api-ms-win-* ]] && continue
    echo "package-windows: ${file#"$stage"/} needs $dll, which is neither in the folder nor part of Windows" >&2
    missing=1
  done < <(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$stage" \( -name '*.exe' -o -name '*.dll' \) -print0)
((missing == 0)) || exit 1

rm -f "$build_dir"/VerseQuest-*-win64.zip "$build_dir"/VerseQuest-*-win64-setup.exe
(cd "$build_dir" && cpack -G ZIP -B "$PWD/cpack" >/dev/null && cpack -G NSIS -B "$PWD/cpack" >/dev/null)
mv "$build_dir"/cpack/VerseQuest-*-win64.zip "$build_dir"/cpack/VerseQuest-*-win64-setup.exe "$build_dir"/
rm -rf "$build_dir/cpack"
ls "$build_dir"/VerseQuest-*-win64.zip "$build_dir"/VerseQuest-*-win64-setup.exe
