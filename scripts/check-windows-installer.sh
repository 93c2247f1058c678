#!/usr/bin/env bash
# The Windows installer as a player runs it, under Wine (the installer of
# scripts/package-windows.sh in build-windows): silent installs on a Chinese
# and an English system (uninstall entry and its values, shortcuts, a start,
# the uninstaller leaving the player's own file alone and nothing else), then
# every page of the installer and the uninstaller in pictures (in
# build-windows/shots) as Enter walks them.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/test-lib.sh
windows_checks
started=$SECONDS
start_xvfb 1280x1024
tang=$(grep -c . data/poems/tbz300.jsonl)
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

echo "check-windows-installer: all checks passed in $((SECONDS - started)) s"
