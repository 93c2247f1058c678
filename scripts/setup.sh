#!/usr/bin/env bash
# Installs the Debian packages VerseQuest needs, when any is missing.
#   scripts/setup.sh          what building and running the game needs
#   scripts/setup.sh --package  also what building the Debian package needs
#   scripts/setup.sh --test   also what the tests, benchmarks and package checks need
# As root it runs apt-get; otherwise it prints the command to run and stops.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc libsqlite3-dev libopencc-dev
  unixodbc tdsodbc qt6-translations-l10n mdbtools-dev libpq-dev
  fonts-arphic-ukai fonts-arphic-gkai00mp
)
if [[ "${1:-}" == "--package" || "${1:-}" == "--test" ]]; then
  packages+=(dpkg-dev file)
fi
if [[ "${1:-}" == "--test" ]]; then
  packages+=(libgtest-dev libgmock-dev libbenchmark-dev postgresql-15 xvfb xauth imagemagick sqlite3
             iproute2 util-linux lintian appstream desktop-file-utils odbc-postgresql libxtst6 python3
             qt6-base-private-dev clang-format-14)
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "VerseQuest needs these Debian packages. Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
