#!/usr/bin/env bash
# The Windows build under Wine: builds the game and its test suites for
# 64-bit Windows with the zip and the installer (scripts/package-windows.sh,
# which builds the cached dependencies first), runs every suite under Wine,
# then checks the zip as a player gets it (unpacked into the Wine prefix,
# started on Xvfb: the source dialog, the 800x715 window and its pixels as the
# Linux build draws them, a click on the poem tab, the whole window at 150 % on a
# 1920 x 1080 screen, --check) and the installer
# (silent install, start, uninstall leaving nothing behind).
#
# Without VERSEQUEST_TEST_REMOTE_CONNECTION a test server of its own is
# started (scripts/remote-db.sh) and stopped at the end. The Linux build in
# build/ (scripts/test.sh makes it) gives the reference picture; without it
# the picture is checked against the colours the layout defines.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS
build_dir=$root/${VERSEQUEST_WINDOWS_BUILD_DIR:-build-windows}
export VERSEQUEST_WINDOWS_BUILD_DIR=$build_dir VERSEQUEST_WINDOWS_TESTS=ON

echo "== the Windows build (scripts/package-windows.sh)"
scripts/package-windows.sh

export WINEPREFIX=$build_dir/wine WINEDEBUG=-all
# No Mono or Gecko download prompts, and no menu entries on the host.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
probe=$root/packaging/windows/x11_probe.py
fail() { echo "test-windows: $*" >&2; exit 1; }

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  [[ ${stop_remote_db:-0} -eq 1 ]] && scripts/remote-db.sh stop >/dev/null 2>&1
  true
}
trap cleanup EXIT

# ---- The suites ---------------------------------------------------------------------------
if [[ -z ${VERSEQUEST_TEST_REMOTE_CONNECTION:-} ]]; then
  port_taken() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
  export VERSEQUEST_REMOTE_DB_PORT=${VERSEQUEST_REMOTE_DB_PORT:-55532}
  while port_taken "$VERSEQUEST_REMOTE_DB_PORT" && ! scripts/remote-db.sh status >/dev/null 2>&1; do
    VERSEQUEST_REMOTE_DB_PORT=$((VERSEQUEST_REMOTE_DB_PORT + 1))
  done
  scripts/remote-db.sh status >/dev/null 2>&1 || stop_remote_db=1
  scripts/remote-db.sh start >/dev/null
  VERSEQUEST_TEST_REMOTE_CONNECTION=$(scripts/remote-db.sh connection)
  export VERSEQUEST_TEST_REMOTE_CONNECTION
fi
unset VERSEQUEST_REMOTE_CONNECTION

echo "== the suites under Wine"
suites_started=$SECONDS
ctest --test-dir "$build_dir" --output-on-failure
echo "(the suites took $((SECONDS - suites_started)) s)"

# ---- The zip on Xvfb ----------------------------------------------------------------------
display=99
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$display
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done

echo "== the zip as a player gets it"
zip=$(ls "$build_dir"/VerseQuest-*-win64.zip)
folder=$(basename "$zip" .zip)
games=$WINEPREFIX/drive_c/Games
rm -rf "$games" && mkdir -p "$games"
unzip -q "$zip" -d "$games"
[[ -f $games/$folder/VerseQuest.exe ]] || fail "the zip does not hold $folder/VerseQuest.exe"
# Notepad of every Windows reads the README as UTF-8 by its byte-order mark.
readme() { unzip -p "$zip" "$folder/README-Windows.txt"; }
[[ $(readme | head -c 3 | od -An -tx1 | tr -d ' ') == efbbbf ]] ||
  fail "README-Windows.txt does not begin with a UTF-8 byte-order mark"
[[ $(readme | tail -c 2 | od -An -tx1 | tr -d ' ') == 0d0a && $(readme | grep -c $'\r$') -eq $(readme | wc -l) ]] ||
  fail "README-Windows.txt has lines without CR LF"
wine wineboot -u >/dev/null 2>&1 || true  # the prefix is ready before anything is timed
# Windows' display scaling as Wine takes it (LogPixels): 100 % unless a check
# says otherwise, also after a run that stopped at 150 %.
set_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; wineserver -w; }
set_dpi 96

# A window's picture (client area) as PNG.
grab() {  # grab <window geometry "id x y"> <W> <H> <file>
  local x y
  read -r _ x y <<<"$1"
  import -window root -crop "$2x$3+$x+$y" +repage "$4"
}
pixel() {  # pixel <file> <x> <y>: the colour as #RRGGBB
  convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -n 1
}
# The player's view: the source dialog, Enter (确定, 唐诗三百首), the main
# window, then a click on the poem tab. Pictures in <prefix>-dialog.png,
# <prefix>-main.png, <prefix>-poem.png.
play() {  # play <prefix> <command...>
  local out=$1
  shift
  local t0=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 &
  pids+=($!)
  disown "$!"  # ended by a kill; no notice of it
  local dialog main
  dialog=$("$probe" wait 320 240 60) || fail "$out: no 320 x 240 source dialog within 60 s"
  startup=$(awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
  sleep 0.5
  grab "$dialog" 320 240 "$out-dialog.png"
  "$probe" key Return
  main=$("$probe" wait 800 715 60) || fail "$out: no 800 x 715 window after the dialog"
  sleep 1
  grab "$main" 800 715 "$out-main.png"
  local x y
  read -r _ x y <<<"$main"
  "$probe" click $((x + 559)) $((y + 40))  # the poem tab (547, 12, 24 x 56)
  sleep 1
  grab "$main" 800 715 "$out-poem.png"
}

shots=$build_dir/shots
rm -rf "$shots" && mkdir -p "$shots"
play "$shots/windows" bash -c "cd '$games/$folder' && exec env -u WINEPATH wine VerseQuest.exe"
windows_startup=$startup
echo "start to the source dialog under Wine: $windows_startup s"
wineserver -k 2>/dev/null || true
"$probe" gone 800 715 30 || fail "the game's window stayed after its end"

# The layout's colours where no text falls: paper, the verse tiles' frame,
# and the poem panel that the tab opened.
for check in "main 20 700 #F5EBDC" "poem 700 600 #EBF0F2"; do
  read -r shot x y colour <<<"$check"
  actual=$(pixel "$shots/windows-$shot.png" "$x" "$y")
  [[ $actual == "$colour" ]] || fail "windows-$shot.png: $actual at ($x, $y), expected $colour"
done
# The same pictures as the Linux build draws them. The puzzle is random, the
# dialog and the memo's scroll bar take the platform's style and text edges
# the platform's rasteriser, so the parts free of those must match exactly:
# the frame with its corner ornaments, the rule under the title panel and,
# before the poem tab opens it, the paper where the poem panel goes.
if [[ -x $root/build/bin/VerseQuest ]]; then
  play "$shots/linux" env QT_QPA_PLATFORM=xcb "$root/build/bin/VerseQuest"
  kill "${pids[-1]}" 2>/dev/null || true
  for region in main:16x715+0+0 main:16x715+784+0 main:800x10+0+0 main:800x12+0+703 main:520x5+20+96 \
                main:210x620+575+75 poem:16x715+0+0 poem:800x10+0+0 poem:800x12+0+703; do
    shot=${region%%:*} area=${region#*:}
    differing=$(compare -metric AE -fuzz 2% "$shots/linux-$shot.png[$area]" "$shots/windows-$shot.png[$area]" null: 2>&1 ||
                true)
    [[ $differing == 0 ]] || fail "$shot $area: $differing pixels differ from the Linux build (see $shots)"
  done
  for shot in dialog main poem; do
    differing=$(compare -metric AE -fuzz 6% "$shots/linux-$shot.png" "$shots/windows-$shot.png" \
                  "$shots/diff-$shot.png" 2>&1 || true)
    echo "$shot: $differing pixels differ from the Linux build in all (random puzzle, style, text edges)"
  done
else
  echo "no Linux build in build/: the pictures are checked by their colours only"
fi

echo "== the zip at 150 % on a 1920 x 1080 screen (the usual 14-inch laptop)"
# Windows' display scaling, as Wine takes it; the window with its frame does
# not fit at 1.5, so it must come up whole at the largest scale that does.
set_dpi 144
wide=$((display + 1))
while [[ -e /tmp/.X11-unix/X$wide || -e /tmp/.X$wide-lock ]]; do wide=$((wide + 1)); done
Xvfb ":$wide" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$wide ]] && break; sleep 0.1; done
(cd "$games/$folder" && DISPLAY=:$wide exec env -u WINEPATH wine VerseQuest.exe) >/dev/null 2>&1 &
pids+=($!)
disown "$!"
# The first window on the wide screen wider than `min` and at most `max`
# pixels, as "id x y w h"; waits up to 60 s.
scaled_window() {  # scaled_window <min> <max>
  local found
  for _ in $(seq 120); do
    found=$(DISPLAY=:$wide "$probe" windows | awk -v a="$1" -v b="$2" '$4 > a && $4 <= b { print; exit }')
    [[ -n $found ]] && { echo "$found"; return 0; }
    sleep 0.5
  done
  return 1
}
# The whole interface takes the fitting scale (above 100 %, below 150 %): the
# source dialog first, then the main window.
scaled_window 320 479 >/dev/null ||
  fail "150 %: no source dialog between 100 % and 150 %: $(DISPLAY=:$wide "$probe" windows)"
sleep 0.5
DISPLAY=:$wide "$probe" key Return
fitted=$(scaled_window 800 1199) ||
  fail "150 %: no main window between 100 % and 150 %: $(DISPLAY=:$wide "$probe" windows)"
read -r _ x y w h <<<"$fitted"
sleep 1
DISPLAY=:$wide import -window root "$shots/windows-150.png"
((x >= 0 && y > 0 && x + w <= 1920 && y + h <= 1080)) || fail "150 %: the window ($w x $h at $x, $y) leaves the screen"
echo "150 %: the window is $w x $h (scale $(awk -v w="$w" 'BEGIN { printf "%.2f", w / 800 }')) at $x, $y"
wineserver -k 2>/dev/null || true
set_dpi 96

# The game's command-line output as a Chinese Windows pipes it: no console, so
# in the ANSI code page, 936 (GBK), with CR LF line ends.
game=$games/$folder
run_game() {  # run_game [env arguments...] -- <arguments...>: stdout and stderr, decoded
  local vars=()
  while [[ $1 != -- ]]; do vars+=("$1"); shift; done
  shift
  (cd "$game" && env -u WINEPATH "${vars[@]}" LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine VerseQuest.exe "$@" 2>&1 |
     iconv -f GBK -t UTF-8)
}
wineserver -k 2>/dev/null || true  # from here on a Chinese system

echo "== VerseQuest.exe --check, --help and a wrong argument, piped"
output=$(run_game -- --check) || {
  echo "$output"
  fail "--check failed"
}
echo "$output"
tang=$(grep -c . data/poems/tbz300.jsonl)
[[ $(grep -c $'：[1-9][0-9]* 首\r$' <<<"$output") -eq 4 ]] || fail "not every local source gave poems (in GBK, CR LF)"
grep -q "^唐诗三百首：$tang 首" <<<"$output" || fail "唐诗三百首 should hold the $tang poems of tbz300.jsonl"
output=$(run_game -- --help) || fail "--help failed: $output"
[[ $(head -n 1 <<<"$output") == $'用法：versequest [选项]\r' ]] || fail "--help does not begin with its usage line: $output"
grep -q $'^  -v, --version        显示版本后退出\r$' <<<"$output" || fail "--help lacks its last option: $output"
output=$(run_game -- --chek) && fail "a wrong argument was accepted"
grep -q $'^versequest: 无法识别的参数：--chek\r$' <<<"$output" || fail "no clear refusal of --chek: $output"
# From a shortcut, with no console: the usage in a box (a picture in $shots), Enter closes it.
(cd "$game" && env -u WINEPATH LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 wine "$build_dir/bin/start_detached.exe" \
   "$(winepath -w "$game/VerseQuest.exe")" --chek) &
starter=$!
for _ in $(seq 60); do [[ -n $("$probe" windows) ]] && break; sleep 0.5; done
[[ -n $("$probe" windows) ]] || fail "a wrong argument without a console showed no box"
sleep 1
import -window root "$shots/usage-box.png"
"$probe" key Return
code=0
wait "$starter" || code=$?
[[ $code -eq 2 ]] || fail "a wrong argument without a console ended with $code, not 2"

echo "== the zip's game on a Jet 4 db21.mdb with its password, and on the test server through ODBC"
mv "$game/db21.mdb" "$game/db21.mdb.bundled"
cp tests/data/jet/db21-jet4.mdb "$game/db21.mdb"
output=$(run_game -u VERSEQUEST_DB_PASSWORD -- --check) && fail "the Jet file opened without its password"
grep -q "数据库密码不正确" <<<"$output" || fail "no clear refusal of the Jet file without its password: $output"
output=$(run_game VERSEQUEST_DB_PASSWORD=shici936 -- --check) || fail "the Jet file with its password: $output"
grep -q "唐诗三百首：$tang 首" <<<"$output" || fail "the Jet file should give the $tang Tang poems: $output"
mv -f "$game/db21.mdb.bundled" "$game/db21.mdb"
# Unzipped into a folder whose name code page 936 cannot spell (an Extension A
# character, an emoji), with an Access 2007 file saved as db21.accdb.
far="$games/诗词游戏 刘䶮 😀"
rm -rf "$far" && cp -r "$game" "$far" && rm "$far/db21.mdb"
cp tests/data/jet/db21-ace12.mdb "$far/db21.accdb"
output=$(game=$far run_game VERSEQUEST_DB_PASSWORD=shici936 -- --check) || fail "db21.accdb in $far: $output"
grep -q "唐诗三百首：$tang 首" <<<"$output" || fail "db21.accdb in $far should give the $tang Tang poems: $output"
rm -rf "$far"
output=$(run_game VERSEQUEST_REMOTE_CONNECTION="$VERSEQUEST_TEST_REMOTE_CONNECTION" -- --check --source 5) ||
  fail "the remote source through ODBC: $output"
echo "$output"
grep -q '^其他诗词：[1-9][0-9]* 首' <<<"$output" || fail "the remote source gave no poems"

# ---- The installer --------------------------------------------------------------------------
setup=$(ls "$build_dir"/VerseQuest-*-win64-setup.exe)
installed="$WINEPREFIX/drive_c/Program Files/VerseQuest"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/青简堂诗词猜诗"
desktop="$WINEPREFIX/drive_c/users/Public/Desktop/青简堂诗词猜诗.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VerseQuest'
chinese=(env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8)
english=(env LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8)
# The user's Temp, where the uninstaller runs a copy of itself.
temp=$(winepath -u "$(wine cmd /c echo %TEMP% | tr -d '\r')")
# What an earlier, interrupted run left goes first: the installer would
# otherwise stop to report that the old version cannot be uninstalled.
for key in "$uninstall_key" 'HKLM\Software\VerseQuest'; do
  wine reg delete "$key" /f >/dev/null 2>&1 || true
done
wineserver -w
rm -rf "$installed" "$menu" "$desktop"

echo "== the installer on a Chinese system: /S, uninstall entry, shortcuts, start, uninstall"
wineserver -k 2>/dev/null || true
"${chinese[@]}" wine "$setup" /S
wineserver -w
[[ -f $installed/VerseQuest.exe && -f $installed/db21.mdb && -f $installed/Uninstall.exe ]] ||
  fail "the installer did not install into C:\\Program Files\\VerseQuest"
[[ -f $menu/青简堂诗词猜诗.lnk && -f $menu/卸载青简堂诗词猜诗.lnk ]] ||
  fail "the Start-menu folder holds $(ls "$menu" 2>&1), not 青简堂诗词猜诗.lnk and 卸载青简堂诗词猜诗.lnk"
[[ -f $desktop ]] || fail "no desktop shortcut (on by default)"
entry=$("${chinese[@]}" wine reg query "$uninstall_key" | tr -d '\r') || fail "the installer registered no uninstaller"
for value in NoModify NoRepair; do
  grep -Eq "^ +$value +REG_DWORD +0x1$" <<<"$entry" || fail "$value is not the DWORD 1: $entry"
done
size=$(sed -n 's/^ *EstimatedSize *REG_DWORD *0x\([0-9a-f]*\)$/\1/p' <<<"$entry")
[[ -n $size ]] || fail "no EstimatedSize DWORD: $entry"
kib=$(du -sk --apparent-size "$installed" | cut -f 1)
((16#$size * 10 >= kib * 9 && 16#$size * 10 <= kib * 11)) ||
  fail "EstimatedSize says $((16#$size)) KiB, the program folder holds $kib KiB"
output=$(cd "$installed" && "${chinese[@]}" env -u WINEPATH wine VerseQuest.exe --check 2>&1 | iconv -f GBK -t UTF-8) ||
  fail "the installed game fails --check"
grep -q "唐诗三百首：$tang 首" <<<"$output" || fail "the installed game does not load its poems"
# The player's own picture stays; everything the installer put down goes.
convert -size 8x8 xc:'#F5EBDC' "BMP3:$installed/bg_poetry.bmp"
"${chinese[@]}" wine "$installed/Uninstall.exe" /S
wineserver -w
left=$(cd "$installed" && find . -mindepth 1)
[[ $left == ./bg_poetry.bmp ]] || fail "the uninstaller left: $(head -n 5 <<<"$left") (bg_poetry.bmp alone should stay)"
[[ ! -e $menu && ! -e $desktop ]] || fail "the uninstaller left its shortcuts"
! grep -qi versequest "$WINEPREFIX/system.reg" || fail "the uninstaller left registry keys"
copies=$(find "$temp" -maxdepth 1 -name '~nsu*')
[[ -z $copies ]] || fail "the uninstaller left in Temp: $copies"
rm -rf "$installed"

echo "== the installer on an English system: /S, shortcuts, uninstall"
wineserver -k 2>/dev/null || true
"${english[@]}" wine "$setup" /S
wineserver -w
[[ -f "$menu/Uninstall 青简堂诗词猜诗.lnk" && -f $desktop ]] ||
  fail "the Start-menu folder holds $(ls "$menu" 2>&1), not Uninstall 青简堂诗词猜诗.lnk, or no desktop shortcut"
"${english[@]}" wine "$installed/Uninstall.exe" /S
wineserver -w
[[ ! -e $installed && ! -e $menu && ! -e $desktop ]] || fail "the English uninstaller left files or shortcuts"

# The pages as the player sees them, in pictures (installer-<language>-<step>.png
# in $shots): Enter on each page of the installer, whose last page starts the
# game; the prompt of a second installer, which Escape cancels; the pages of
# the uninstaller, with a picture of the player's left in the program folder.
picture() { sleep 2; import -window root "$shots/installer-$1.png"; }
walk_installer() {  # walk_installer <language> <env...>
  local language=$1 step
  shift
  wineserver -k 2>/dev/null || true
  "$@" wine "$setup" >/dev/null 2>&1 &
  for step in welcome licence folder start-menu desktop; do
    for _ in $(seq 60); do [[ -n $("$probe" windows) ]] && break; sleep 0.5; done
    picture "$language-$step"
    "$probe" key Return
  done
  for _ in $(seq 120); do [[ -e $installed/Uninstall.exe && -e $menu ]] && break; sleep 0.5; done
  picture "$language-finish"
  "$probe" key Return
  "$probe" wait 320 240 60 >/dev/null || fail "$language: the installer's last page did not start the game"
  wineserver -k 2>/dev/null || true
  "$@" wine "$setup" >/dev/null 2>&1 &
  for _ in $(seq 60); do [[ -n $("$probe" windows) ]] && break; sleep 0.5; done
  picture "$language-upgrade"
  "$probe" key Escape
  wineserver -w
  convert -size 8x8 xc:'#F5EBDC' "BMP3:$installed/bg_poetry.bmp"
  "$@" wine "$installed/Uninstall.exe" >/dev/null 2>&1 &
  for _ in $(seq 60); do [[ -n $("$probe" windows) ]] && break; sleep 0.5; done
  picture "$language-uninstall"
  "$probe" key Return
  for _ in $(seq 60); do [[ ! -e $installed/VerseQuest.exe ]] && break; sleep 0.5; done
  picture "$language-uninstall-finish"
  "$probe" key Return
  wineserver -w
  [[ $(cd "$installed" && find . -mindepth 1) == ./bg_poetry.bmp ]] || fail "$language: the uninstaller's pages left files"
  rm -rf "$installed"
}
echo "== the installer's pages, Chinese and English (pictures in $shots)"
walk_installer zh "${chinese[@]}"
walk_installer en "${english[@]}"

echo "test-windows: all checks passed in $((SECONDS - started)) s (start to the dialog: $windows_startup s)"
