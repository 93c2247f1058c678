#!/usr/bin/env bash
# The game on a screen smaller than its window, as a player gets it: a
# 1024 x 600 X screen (Xvfb, no window manager), the source dialog answered
# with Enter, then the main window must lie wholly on the screen, drawn at
# the scale that fits (the built-in title-bar estimate: 0.79).
#   tests/screen_fit.sh BUILD_DIR/bin/VerseQuest
# Without Xvfb or python3 it reports a skip (exit 77).
set -euo pipefail
game=$(realpath "$1")
probe=$(cd "$(dirname "$0")/.." && pwd)/packaging/windows/x11_probe.py
command -v Xvfb >/dev/null && command -v python3 >/dev/null || { echo "screen_fit: needs Xvfb and python3; skipped" >&2; exit 77; }
fail() { echo "screen_fit: $*" >&2; exit 1; }

display=170
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1024x600x24 -nolisten tcp >/dev/null 2>&1 &
pids=($!)
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
export DISPLAY=:$display
# Up once it answers, which may be a while after its socket appears on a busy machine.
for _ in $(seq 100); do "$probe" windows >/dev/null 2>&1 && break; sleep 0.1; done

QT_QPA_PLATFORM=xcb "$game" >/dev/null 2>&1 &
pids+=($!)
"$probe" wait 320 240 30 >/dev/null || fail "no 320 x 240 source dialog"
"$probe" key Return
main=$("$probe" wait 632 565 30) || fail "no main window at 0.79 (632 x 565): $("$probe" windows)"
read -r _ x y <<<"$main"
((x >= 0 && y >= 0 && x + 632 <= 1024 && y + 565 <= 600)) || fail "the window at $x, $y leaves the 1024 x 600 screen"
echo "screen_fit: the window is 632 x 565 at $x, $y on the 1024 x 600 screen"
