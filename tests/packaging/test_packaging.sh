#!/usr/bin/env bash
# Installs the built tree into temporary folders and checks what a Linux user gets: the
# layout, the desktop entry and AppStream data, the launcher's per-user data directory, and
# the Debian package.
#   test_packaging.sh <build folder> <version>
set -euo pipefail
build="$(cd "$1" && pwd)"
version="$2"
work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
checks=0
pass() { echo "ok: $*"; checks=$((checks + 1)); }

# 1. The layout of an install into a staging folder.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >"$work/install.log"
for f in usr/bin/tarnwick usr/bin/tarnwick-desktop \
         usr/share/tarnwick/Skins/Default/style.css usr/share/tarnwick/Skins/Default/twicon.png \
         usr/share/tarnwick/Skins/Default/ConnectedIcon.png usr/share/tarnwick/Skins/Default/DeviceTypeWebIcon.png \
         usr/share/applications/tarnwick.desktop usr/share/metainfo/io.github.tarnwick.Tarnwick.metainfo.xml \
         usr/share/icons/hicolor/16x16/apps/tarnwick.png usr/share/icons/hicolor/48x48/apps/tarnwick.png \
         usr/share/icons/hicolor/256x256/apps/tarnwick.png; do
    [ -e "$work/stage/$f" ] || fail "not installed: $f"
done
[ -x "$work/stage/usr/bin/tarnwick-desktop" ] || fail "the launcher is not executable"
[ ! -e "$work/stage/usr/share/tarnwick/Skins/Default/source" ] || fail "the skin's sources were installed"
pass "installed layout"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/stage/usr/share/applications/tarnwick.desktop" || fail "desktop-file-validate"
    pass "desktop entry valid"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$work/stage/usr/share/metainfo/io.github.tarnwick.Tarnwick.metainfo.xml" \
        >"$work/appstream.log" || { cat "$work/appstream.log"; fail "appstreamcli validate"; }
    pass "AppStream data valid"
fi

# 2. The launcher gives the program a per-user data directory with the installed skin.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
export XDG_DATA_HOME="$work/xdg" QT_QPA_PLATFORM=offscreen
data="$XDG_DATA_HOME/tarnwick"
# Left by an installation that has since gone (a source install removed): a link that leads
# nowhere, which the launcher must mend rather than fail on.
mkdir -p "$data/Skins"
ln -s "$work/removed-prefix/share/tarnwick/Skins/Default" "$data/Skins/Default"
(cd / && exec "$work/prefix/bin/tarnwick-desktop") >"$work/launcher.log" 2>&1 &
app=$!
pids+=("$app")
for _ in $(seq 100); do grep -q started "$data/LogRelease.txt" 2>/dev/null && break; sleep 0.1; done
grep -q '| Application | Application "Tarnwick" started$' "$data/LogRelease.txt" || fail "no log in $data"
[ "$(readlink -f "$data/Skins/Default")" = "$(readlink -f "$work/prefix/share/tarnwick/Skins/Default")" ] \
    || fail "the installed skin is not linked into $data/Skins"
# The program keeps its style sheet open while it runs: it found the skin, not the fallback style.
# (The listing is read whole first: grep -q stopping early would fail the pipe.)
open_files="$(ls -l "/proc/$app/fd")"
grep -q 'Skins/Default/style.css' <<<"$open_files" || fail "the skin's style sheet is not in use"
kill -TERM "$app"
wait "$app" || fail "the launched program ended with status $?"
for f in DeviceConfig.xml Settings.xml VisualRepresentation.xml LogRelease.txt; do
    [ -f "$data/$f" ] || fail "$f was not written to $data"
done
pass "launcher: data directory, skin and files"

# 3. The Debian package.
if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    echo "Debian package not built: dpkg-deb or dpkg-shlibdeps missing"
    echo "$checks passed, 0 failed"
    exit 0
fi
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb="$(ls "$work"/package/tarnwick_*.deb)"
[ "$(dpkg-deb -f "$deb" Package)" = tarnwick ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libqt6widgets6 libqt6gui6 libqt6core6 libcap2-bin; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
contents="$(dpkg-deb -c "$deb")"
for f in ./usr/bin/tarnwick ./usr/bin/tarnwick-desktop ./usr/share/applications/tarnwick.desktop \
         ./usr/share/icons/hicolor/48x48/apps/tarnwick.png ./usr/share/tarnwick/Skins/Default/style.css; do
    grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
done
dpkg-deb -e "$deb" "$work/control"
grep -q 'setcap cap_net_raw+ep /usr/bin/tarnwick' "$work/control/postinst" || fail "postinst does not set cap_net_raw"
pass "Debian package: $(basename "$deb"), Depends: $depends"
echo "$checks passed, 0 failed"
