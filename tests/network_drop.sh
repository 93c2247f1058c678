#!/usr/bin/env bash
# Runs the NetworkDrop cases of a test executable inside a private network
# namespace: a throwaway PostgreSQL server listens on the namespace's own
# loopback, which the test takes down in the middle of a remote load.
#   tests/network_drop.sh BUILD_DIR/bin/test_remote
# Needs root (unshare -n) and ip; without them it reports a skip (exit 77).
set -euo pipefail
test_binary=$(realpath "$1")
root=$(cd "$(dirname "$0")/.." && pwd)

if [[ -z ${VERSEQUEST_IN_NETNS:-} ]]; then
  if [[ $(id -u) -ne 0 ]] || ! command -v unshare >/dev/null || ! command -v ip >/dev/null; then
    echo "network_drop: needs root, unshare and ip (iproute2); skipped" >&2
    exit 77
  fi
  exec unshare -n env VERSEQUEST_IN_NETNS=1 "$0" "$@"
fi

ip link set lo up
scratch=$(mktemp -d /tmp/versequest-netns-XXXXXX)
chmod 755 "$scratch"
export VERSEQUEST_BUILD_DIR=$(dirname "$(dirname "$test_binary")")
export VERSEQUEST_REMOTE_DB_DIR=$scratch/server
export VERSEQUEST_REMOTE_DB_PORT=55431
cleanup() {
  ip link set lo up || true
  "$root/scripts/remote-db.sh" stop >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

"$root/scripts/remote-db.sh" start >/dev/null
connection=$("$root/scripts/remote-db.sh" connection)
VERSEQUEST_TEST_NETNS_CONNECTION=$connection "$test_binary" --gtest_filter='NetworkDrop.*'
