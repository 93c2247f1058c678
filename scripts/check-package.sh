#!/usr/bin/env bash
# Checks the Debian package build/versequest_*.deb (scripts/package.sh builds
# it): the desktop entry and the AppStream metadata validate, lintian finds no
# error, apt can install it here, and the package unpacked into a scratch
# folder starts offscreen and loads every bundled poem of the local sources.
set -euo pipefail
cd "$(dirname "$0")/.."

debs=(build/versequest_*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
  echo "check-package: expected exactly one build/versequest_*.deb; run scripts/package.sh" >&2
  exit 1
fi
deb=${debs[0]}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

fail() { echo "check-package: $*" >&2; exit 1; }
id=io.github.versequest.versequest
for file in usr/games/versequest usr/lib/games/versequest/VerseQuest usr/lib/games/versequest/db21.mdb \
            usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/versequest.svg usr/share/man/man6/versequest.6.gz \
            usr/share/doc/versequest/copyright usr/share/doc/versequest/changelog.gz; do
  [[ -e $root/$file ]] || fail "missing /$file"
done
for size in 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/versequest.png
  [[ $(file -b "$icon") == "PNG image data, $size x $size,"* ]] || fail "no $size-pixel icon"
done

echo "== desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/$id.desktop"
grep -qx "Exec=/usr/games/versequest" "$root/usr/share/applications/$id.desktop" ||
  fail "the desktop entry does not start /usr/games/versequest"

echo "== appstreamcli validate"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$id.metainfo.xml"

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb"

echo "== apt-get install --simulate"
apt-get install --simulate --no-install-recommends "./$deb" >/dev/null

# The launcher is a relative link, so the unpacked program finds its own
# poem database. Each local source must give every poem of its data file.
echo "== start of the unpacked package"
output=$(QT_QPA_PLATFORM=offscreen "$root/usr/games/versequest" --check) || {
  echo "$output"
  fail "the unpacked game did not load its poems"
}
echo "$output"
tang=$(grep -c . data/poems/tbz300.jsonl)
[[ $(grep -c '：[1-9][0-9]* 首$' <<<"$output") -eq 4 ]] || fail "not every local source gave poems"
grep -qx "唐诗三百首：$tang 首" <<<"$output" || fail "唐诗三百首 should hold the $tang poems of tbz300.jsonl"
echo "check-package: all checks passed"
