# Shared by the test scripts (sourced from the project's root): the free-port
# probe, the test server, and the setting of the Windows checks under Wine.

port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# start_test_server <first port>: starts the server of scripts/remote-db.sh on
# VERSEQUEST_REMOTE_DB_PORT or, when that is unset, on the first port from
# <first port> that is free or already its own; exports the port and
# VERSEQUEST_TEST_REMOTE_CONNECTION. stop_remote_db is 1 when it was not
# running before (the caller stops it at its end).
start_test_server() {
  if [[ -z ${VERSEQUEST_REMOTE_DB_PORT:-} ]]; then
    VERSEQUEST_REMOTE_DB_PORT=$1
    while port_taken "$VERSEQUEST_REMOTE_DB_PORT" && ! scripts/remote-db.sh status >/dev/null 2>&1; do
      VERSEQUEST_REMOTE_DB_PORT=$((VERSEQUEST_REMOTE_DB_PORT + 1))
    done
  fi
  export VERSEQUEST_REMOTE_DB_PORT
  stop_remote_db=0
  scripts/remote-db.sh status >/dev/null 2>&1 || stop_remote_db=1
  scripts/remote-db.sh start >/dev/null
  VERSEQUEST_TEST_REMOTE_CONNECTION=$(scripts/remote-db.sh connection)
  export VERSEQUEST_TEST_REMOTE_CONNECTION
}

# ---- The Windows checks under Wine -------------------------------------------------------

fail() { echo "$(basename "$0" .sh): $*" >&2; exit 1; }

# windows_checks: the Wine prefix of the Windows build (build-windows, or
# VERSEQUEST_WINDOWS_BUILD_DIR), its pictures folder and the X11 probe; what
# the script starts (pids, Wine, its own test server) ends with it.
windows_checks() {
  root=$PWD
  build_dir=$root/${VERSEQUEST_WINDOWS_BUILD_DIR:-build-windows}
  export WINEPREFIX=$build_dir/wine WINEDEBUG=-all
  # No Mono or Gecko download prompts, and no menu entries on the host.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  probe=$root/packaging/windows/x11_probe.py
  shots=$build_dir/shots
  mkdir -p "$shots"
  pids=()
  trap windows_cleanup EXIT
}
windows_cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  [[ ${stop_remote_db:-0} -eq 1 ]] && scripts/remote-db.sh stop >/dev/null 2>&1
  true
}

# start_xvfb <W>x<H>: a virtual screen of its own, as DISPLAY; its number in xvfb_display.
start_xvfb() {
  xvfb_display=99
  while [[ -e /tmp/.X11-unix/X$xvfb_display || -e /tmp/.X$xvfb_display-lock ]]; do
    xvfb_display=$((xvfb_display + 1))
  done
  Xvfb ":$xvfb_display" -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=:$xvfb_display
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$xvfb_display ]] && break; sleep 0.1; done
}

# The test server for the game's remote source, unless the caller names one.
windows_test_server() {
  [[ -n ${VERSEQUEST_TEST_REMOTE_CONNECTION:-} ]] || start_test_server 55532
  unset VERSEQUEST_REMOTE_CONNECTION
}

# Windows' display scaling as Wine takes it (LogPixels, 96 = 100 %).
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; wineserver -w; }
