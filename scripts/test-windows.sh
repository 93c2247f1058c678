#!/usr/bin/env bash
# The Windows build under Wine: builds the game and its test suites for
# 64-bit Windows with the zip and the installer (scripts/package-windows.sh,
# which builds the cached dependencies first) and runs every suite under Wine.
# The zip and the installer are checked by scripts/check-windows-zip.sh and
# scripts/check-windows-installer.sh.
#
# Without VERSEQUEST_TEST_REMOTE_CONNECTION a test server of its own is
# started (scripts/remote-db.sh) and stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/test-lib.sh
windows_checks
export VERSEQUEST_WINDOWS_BUILD_DIR=$build_dir VERSEQUEST_WINDOWS_TESTS=ON

echo "== the Windows build (scripts/package-windows.sh)"
scripts/package-windows.sh

windows_test_server
echo "== the suites under Wine"
suites_started=$SECONDS
ctest --test-dir "$build_dir" --output-on-failure
echo "test-windows: the suites passed in $((SECONDS - suites_started)) s"
