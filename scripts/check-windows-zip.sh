#!/usr/bin/env bash
# The Windows zip as a player gets it, under Wine (the zip of
# scripts/package-windows.sh in build-windows): unpacked into the Wine prefix,
# its README's bytes, started on Xvfb (the source dialog, the 800x715 window
# and its pixels as the Linux build draws them, a click on the poem tab, the
# whole window at 150 % on a 1920 x 1080 screen), --check, --help and a wrong
# argument as a Chinese Windows pipes them, a Jet 4 and an ACE db21 from a
# folder code page 936 cannot spell, and the remote source through ODBC.
#
# Without VERSEQUEST_TEST_REMOTE_CONNECTION a test server of its own is
# started (scripts/remote-db.sh) and stopped at the end. The Linux build in
# build/ (scripts/test.sh makes it) gives the reference picture; without it
# the picture is checked against the colours the layout defines.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/test-lib.sh
windows_checks
started=$SECONDS
windows_test_server
start_xvfb 1280x1024
display=$xvfb_display

echo "== the zip as a player gets it"
zip=$(ls "$build_dir"/VerseQuest-*-win64.zip)
folder=$(basename "$zip" .zip)
games=$WINEPREFIX/drive_c/Games
game=$games/$folder
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
# 100 % unless a check says otherwise, also after a run that stopped at 150 %.
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

rm -f "$shots"/*.png
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
start_xvfb 1920x1080
wide=$xvfb_display
export DISPLAY=:$display
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

echo "check-windows-zip: all checks passed in $((SECONDS - started)) s (start to the dialog: $windows_startup s)"
