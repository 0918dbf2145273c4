#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) and checks that the program, its desktop
# entry and its icons land where freedesktop.org menus look for them.
# Usage: install_check.sh BUILD_DIR
set -euo pipefail
build="$1"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$stage/install.log"
root="$stage/usr"
fail() { echo "FAIL: $*" >&2; cat "$stage/install.log" >&2; exit 1; }

[ -x "$root/bin/varno-control" ] || fail "program not installed in bin/"
desktop="$root/share/applications/varno-control.desktop"
[ -f "$desktop" ] || fail "desktop entry not installed in share/applications/"
grep -qx 'Type=Application' "$desktop" || fail "desktop entry is not an application"
# The entry starts the installed program and names the installed icon.
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
[ -x "$root/bin/$exec_name" ] || fail "Exec=$exec_name is not the installed program"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
[ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
for size in 48 128 256; do
  png="$root/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  [ -f "$png" ] || fail "no ${size}x${size} icon"
  # PNG header: width and height, big-endian, at bytes 16..23.
  dims="$(od -An -tu1 -j16 -N8 "$png" | tr -s ' ')"
  want=" 0 0 $((size / 256)) $((size % 256)) 0 0 $((size / 256)) $((size % 256))"
  [ "$dims" = "$want" ] || fail "${size}x${size} icon has the wrong size:$dims"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
fi
echo "installed: $(cd "$stage" && find . -type f | sort | tr '\n' ' ')"
