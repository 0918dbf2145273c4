#!/usr/bin/env bash
# Builds the Debian package from the build folder with CPack and checks it: its files and
# dependencies, the AppStream metainfo, an unpacked copy of the program that starts and says
# its version, and lintian without errors.
# Usage: package_check.sh BUILD_DIR VERSION
set -uo pipefail
build="$1" version="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
umask 022

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
deb="$work/out/varno-control_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb")"

files="$(dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|')"
for f in /usr/bin/varno-control /usr/share/applications/varno-control.desktop \
    /usr/share/icons/hicolor/scalable/apps/varno-control.svg \
    /usr/share/icons/hicolor/48x48/apps/varno-control.png \
    /usr/share/metainfo/varno-control.metainfo.xml /usr/share/man/man1/varno-control.1.gz \
    /usr/share/doc/varno-control/copyright; do
    grep -qx "$f" <<<"$files" || fail "$f is not in the package"
done
grep -q '^/usr/local' <<<"$files" && fail "files under /usr/local"
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libqt5widgets5 libqt5svg5 librtaudio librtmidi libsndfile1 libsamplerate0 libc6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -q 'GPL-3.0-or-later' < <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/varno-control/copyright) ||
    fail "the copyright file does not name the licence"

dpkg -x "$deb" "$work/root"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/varno-control.metainfo.xml" ||
    fail "appstreamcli refused the metainfo"
out="$(env -u DISPLAY "$work/root/usr/bin/varno-control" --version)" || fail "the unpacked program did not start"
[ "$out" = "varno-control $version" ] || fail "the unpacked program said '$out'"

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
    cat "$work/lintian.log"
    grep -q '^E: ' "$work/lintian.log" && fail "lintian reports errors"
else
    fail "lintian is not installed (scripts/deps installs it)"
fi
echo "package $(basename "$deb"): $(wc -l <<<"$files") entries; Depends: $depends"
