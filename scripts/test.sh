#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build -j "$(nproc)"

# The remote source's tests run against a throwaway PostgreSQL server on
# loopback; it is stopped afterwards unless it was running before. Without a
# port given, the first free one from 55432 on is taken.
port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
if [[ -z "${VERSEQUEST_REMOTE_DB_PORT:-}" ]]; then
  VERSEQUEST_REMOTE_DB_PORT=55432
  while port_taken "$VERSEQUEST_REMOTE_DB_PORT" && ! scripts/remote-db.sh status >/dev/null 2>&1; do
    VERSEQUEST_REMOTE_DB_PORT=$((VERSEQUEST_REMOTE_DB_PORT + 1))
  done
  export VERSEQUEST_REMOTE_DB_PORT
fi
if scripts/remote-db.sh status >/dev/null 2>&1; then
  stop_remote_db=0
else
  stop_remote_db=1
fi
trap '[[ $stop_remote_db -eq 1 ]] && scripts/remote-db.sh stop >/dev/null 2>&1; true' EXIT
scripts/remote-db.sh start >/dev/null
VERSEQUEST_TEST_REMOTE_CONNECTION=$(scripts/remote-db.sh connection)
export VERSEQUEST_TEST_REMOTE_CONNECTION
# The game's own remote source stays unset; the suites point it where they need.
unset VERSEQUEST_REMOTE_CONNECTION

ctest --test-dir build --output-on-failure

# The Debian package: built (in build-deb) and checked like a user gets it.
scripts/package.sh
scripts/check-package.sh

# The same suites built for 64-bit Windows and run under Wine, then the zip
# and the installer checked as a player gets them (scripts/test-windows.sh).
# The first run on a machine builds Qt for Windows into ~/.cache/versequest
# (about 15 minutes); later runs reuse it. VERSEQUEST_SKIP_WINDOWS=1 skips it.
if [[ "${VERSEQUEST_SKIP_WINDOWS:-0}" != 1 ]]; then
  scripts/test-windows.sh
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
