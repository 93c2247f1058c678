#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
export QT_QPA_PLATFORM=offscreen

# The sources keep the style .clang-format describes (Debian's clang-format 14).
clang-format-14 --dry-run --Werror $(git ls-files '*.cpp' '*.h')

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build -j "$(nproc)"

# The remote source's tests run against a throwaway PostgreSQL server on
# loopback; it is stopped afterwards unless it was running before. Without a
# port given, the first free one from 55432 on is taken.
source scripts/test-lib.sh
trap '[[ ${stop_remote_db:-0} -eq 1 ]] && scripts/remote-db.sh stop >/dev/null 2>&1; true' EXIT
start_test_server 55432
# The game's own remote source stays unset; the suites point it where they need.
unset VERSEQUEST_REMOTE_CONNECTION

ctest --test-dir build --output-on-failure

# The Debian package: built (in build-deb) and checked like a user gets it.
scripts/package.sh
scripts/check-package.sh

# The same suites built for 64-bit Windows and run under Wine
# (scripts/test-windows.sh), then the zip and the installer checked as a
# player gets them.
# The first run on a machine builds Qt for Windows into ~/.cache/versequest
# (about 15 minutes); later runs reuse it. VERSEQUEST_SKIP_WINDOWS=1 skips it.
if [[ "${VERSEQUEST_SKIP_WINDOWS:-0}" != 1 ]]; then
  scripts/test-windows.sh
  scripts/check-windows-zip.sh
  scripts/check-windows-installer.sh
fi

# The same tests in a build with AddressSanitizer and UndefinedBehaviorSanitizer
# (skip with VERSEQUEST_SKIP_SANITIZERS=1 for a quick local run).
if [[ "${VERSEQUEST_SKIP_SANITIZERS:-0}" != 1 ]]; then
  # Full stacks on every allocation, so that the named suppressions match.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0
  export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0:fast_unwind_on_malloc=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DVERSEQUEST_SANITIZE=ON \
        -DVERSEQUEST_BUILD_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
  cmake --build build-sanitize -j "$(nproc)"
  ctest --test-dir build-sanitize --output-on-failure
fi
