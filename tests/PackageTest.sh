#!/usr/bin/env bash
# Builds the Debian package from a finished build tree and checks what it would install.
# Usage: PackageTest.sh <build dir>
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/palaverly-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"; exit 1
fi
deb=$(ls "$work"/out/*.deb)
fail() { echo "PackageTest: $*" >&2; exit 1; }

listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/palaverly \
            ./usr/share/applications/palaverly.desktop \
            ./usr/share/icons/hicolor/scalable/apps/palaverly.svg \
            ./usr/share/icons/hicolor/scalable/apps/palaverly-symbolic.svg \
            ./usr/share/icons/hicolor/scalable/apps/palaverly-update-symbolic.svg; do
  grep -qx -- "$path" <<<"$listing" || fail "missing $path in:"$'\n'"$listing"
done
outside=$(grep -v -e '^\./$' -e '^\./usr/' <<<"$listing" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

[ "$(dpkg-deb -f "$deb" Package)" = palaverly ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q libqt6widgets6 <<<"$depends" || fail "Depends lacks Qt: $depends"
# Loaded at run time, so only named dependencies bring them: the player's GStreamer elements and
# the library QtKeychain reaches the keyring through; Qt's Russian texts are recommended.
for needed in gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
              'gstreamer1.0-pulseaudio | gstreamer1.0-pipewire' libsecret-1-0 libqt6keychain1; do
  grep -qF -- "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -qF qt6-translations-l10n <<<"$recommends" || fail "Recommends lacks Qt's translations: $recommends"

dpkg-deb -x "$deb" "$work/root"
[ -x "$work/root/usr/bin/palaverly" ] || fail "program not executable"
desktop="$work/root/usr/share/applications/palaverly.desktop"
grep -qx 'Exec=palaverly' "$desktop" || fail "desktop entry Exec"
grep -qx 'Icon=palaverly' "$desktop" || fail "desktop entry Icon"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi
head -c 200 "$work/root/usr/share/icons/hicolor/scalable/apps/palaverly.svg" | grep -q '<svg' || fail "icon is no SVG"
echo "PackageTest: $(basename "$deb") ok"
