#!/usr/bin/env bash
# Builds VerseQuest with its bundled poem database and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target VerseQuest
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
  echo "No display found. On a machine without a screen, run: xvfb-run -a scripts/run.sh" >&2
  exit 1
fi
exec build/bin/VerseQuest "$@"
