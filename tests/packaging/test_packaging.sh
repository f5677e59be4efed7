#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the built tree into temporary folders and checks what a Linux user gets: the
# layout, the desktop entry and AppStream data, the headless service and the Prometheus
# examples, the launcher's per-user data directory, the ICMP right, and the Debian packages.
#   test_packaging.sh <build folder> <version>              all but the ICMP right
#   test_packaging.sh <build folder> <version> capability   the ICMP right alone (as root)
set -euo pipefail
build="$(cd "$1" && pwd)"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
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

# Ends the run as skipped (CTest reads the status) when a test as a whole cannot run here.
skipped() { echo "SKIPPED: $*"; exit 77; }
# A check whose tool is missing says so; the closing line counts it apart from those that passed.
skips=0
skip() { echo "skipped: $*"; skips=$((skips + 1)); }
summary() { echo "$checks passed, 0 failed, $skips skipped"; }

# Whether no thread of the running $app holds any of the named capability sets; $held names
# one that does. A thread that ends while they are walked (a pool thread retiring) is passed over.
threads_hold_none() {
    local status lines set read=0
    for status in /proc/"$app"/task/*/status; do
        lines="$(grep ^Cap "$status" 2>/dev/null)" || continue
        read=$((read + 1))
        for set in "$@"; do
            grep -qE "^$set:[[:space:]]+0+\$" <<<"$lines" || { held="$(tr '\n' ' ' <<<"$lines")"; return 1; }
        done
    done
    held="no thread at all: the program is gone"
    [ "$read" -gt 0 ]
}

# The right to send ICMP is used once, at start, and then given up: started by a normal user
# with cap_net_raw on its file, the installed program runs with no capability in any of its
# threads, takes no plug-in path from its environment, and still probes. It needs root (to set
# the file capability and start the program as nobody), so it runs as a test of its own that
# reports itself skipped, with the reason, where it cannot run.
capability_checks() {
    chmod 755 "$work" "$work/stage" "$work/stage/usr" "$work/stage/usr/bin"
    program="$work/stage/usr/bin/tarnwick"
    setcap cap_net_raw+ep "$program"
    home="$work/nobody"
    mkdir -p "$home" "$work/evil-plugins/platforms"
    printf '<DeviceEntries><DeviceEntry IP="127.0.0.1"/></DeviceEntries>\n' >"$home/DeviceConfig.xml"
    printf '<Settings><PingTimeGap>0</PingTimeGap></Settings>\n' >"$home/Settings.xml"
    chown -R nobody "$home"
    (cd "$home" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen QT_DEBUG_PLUGINS=1 \
        QT_PLUGIN_PATH="$work/evil-plugins" QT_QPA_PLATFORM_PLUGIN_PATH="$work/evil-plugins/platforms" \
        "$program") >"$work/nobody.log" 2>&1 &
    app=$!
    pids+=("$app")
    # The history keeps every answer; it writes them every ten seconds.
    answered() {
        sqlite3 "file:$home/History.sqlite?mode=ro" "SELECT count(*) FROM results r JOIN devices d ON d.id = r.device
            WHERE d.address = '127.0.0.1' AND r.outcome = 0" 2>/dev/null || echo 0
    }
    for _ in $(seq 300); do [ "$(answered)" -gt 0 ] && break; sleep 0.1; done
    [ "$(answered)" -gt 0 ] \
        || { cat "$work/nobody.log"; fail "as a normal user with cap_net_raw on the file, no probe got through"; }
    threads_hold_none CapEff CapPrm || fail "a thread still holds capabilities: $held"
    ! grep -q "evil-plugins" "$work/nobody.log" || fail "a plug-in path from the environment was honoured"
    kill -TERM "$app"
    wait "$app" || fail "the program run as nobody ended with status $?"
    pass "capability: used for the ICMP socket at start, then dropped in every thread; plug-in paths ignored"

    # As the headless service runs it: a user of no rights, the capability only in its ambient
    # set (the program file has none), no new privileges, no display.
    program="$work/stage/usr/bin/tarnwick-headless"
    setcap -r "$program"
    rm -f "$home/History.sqlite"*
    (cd "$home" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps +net_raw \
        --ambient-caps +net_raw --no-new-privs env -i PATH=/usr/bin:/bin HOME="$home" "$program") \
        >"$work/headless.log" 2>&1 &
    app=$!
    pids+=("$app")
    for _ in $(seq 300); do [ "$(answered)" -gt 0 ] && break; sleep 0.1; done
    [ "$(answered)" -gt 0 ] || { cat "$work/headless.log"; fail "headless with an ambient cap_net_raw, no probe got through"; }
    threads_hold_none CapAmb CapEff || fail "a headless thread still holds capabilities: $held"
    kill -TERM "$app"
    wait "$app" || fail "the headless program ended with status $?"
    grep -q '| Application | Application "Tarnwick" closed$' "$work/headless.log" || fail "headless: no closed line on standard error"
    pass "headless as its service runs it: ambient cap_net_raw used, then dropped; log on standard error"
}

if [ "${3:-}" = capability ]; then
    [ "$(id -u)" -eq 0 ] || skipped "capability checks: they need root to set a file capability and run as nobody"
    for tool in setcap setpriv sqlite3; do
        command -v "$tool" >/dev/null || skipped "capability checks: $tool is missing"
    done
fi

# 1. The layout of an install into a staging folder.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr >"$work/install.log"
if [ "${3:-}" = capability ]; then
    capability_checks
    summary
    exit 0
fi
for f in usr/bin/tarnwick usr/bin/tarnwick-desktop usr/bin/tarnwick-headless \
         usr/share/tarnwick/Skins/Default/style.css usr/share/tarnwick/Skins/Default/twicon.png \
         usr/share/tarnwick/Skins/Default/ConnectedIcon.png usr/share/tarnwick/Skins/Default/DeviceTypeWebIcon.png \
         usr/share/applications/tarnwick.desktop usr/share/metainfo/io.github.tarnwick.tarnwick.metainfo.xml \
         usr/share/icons/hicolor/16x16/apps/tarnwick.png usr/share/icons/hicolor/48x48/apps/tarnwick.png \
         usr/share/icons/hicolor/256x256/apps/tarnwick.png usr/lib/systemd/system/tarnwick-headless.service \
         usr/share/doc/tarnwick-headless/examples/prometheus/prometheus-tarnwick.yml \
         usr/share/doc/tarnwick-headless/examples/prometheus/tarnwick-alerts.yml usr/share/doc/tarnwick-headless/README.md \
         usr/share/doc/tarnwick-headless/copyright usr/share/doc/tarnwick-headless/changelog.gz \
         usr/share/doc/tarnwick-headless/examples/office/DeviceConfig.xml \
         usr/share/doc/tarnwick-headless/examples/office/VisualRepresentation.xml \
         usr/share/doc/tarnwick-headless/examples/sites/alertmanager.yml \
         usr/share/doc/tarnwick-headless/examples/sites/prometheus-agent.yml \
         usr/share/doc/tarnwick-headless/examples/grafana-dashboard.json \
         usr/share/man/man1/tarnwick-headless.1.gz usr/share/man/man1/tarnwick-desktop.1.gz; do
    [ -e "$work/stage/$f" ] || fail "not installed: $f"
done
[ -x "$work/stage/usr/bin/tarnwick-desktop" ] || fail "the launcher is not executable"
[ ! -e "$work/stage/usr/share/tarnwick/Skins/Default/source" ] || fail "the skin's sources were installed"
pass "installed layout"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/stage/usr/share/applications/tarnwick.desktop" || fail "desktop-file-validate"
    pass "desktop entry valid"
else
    skip "desktop entry: desktop-file-validate is missing"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --pedantic --no-net "$work/stage/usr/share/metainfo/io.github.tarnwick.tarnwick.metainfo.xml" \
        >"$work/appstream.log" || { cat "$work/appstream.log"; fail "appstreamcli validate"; }
    # Pedantic notes and hints do not fail the validation; they fail here.
    ! grep -q '^[EWIP]: ' "$work/appstream.log" || { cat "$work/appstream.log"; fail "appstreamcli validate --pedantic"; }
    pass "AppStream data valid"
else
    skip "AppStream data: appstreamcli is missing"
fi
# The licence: its text in the source tree, a machine-readable statement installed, the same
# licence named wherever it is declared.
head -n 2 "$repo/LICENSE" | grep -q 'GNU GENERAL PUBLIC LICENSE' && grep -q '^ *Version 3, 29 June 2007' "$repo/LICENSE" \
    || fail "LICENSE is not the GNU GPL version 3"
doc="$work/stage/usr/share/doc/tarnwick-headless"
head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "the copyright file is not machine-readable (DEP-5)"
grep -qx 'License: GPL-3.0-or-later' "$doc/copyright" || fail "the copyright file does not say GPL-3.0-or-later"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
    "$work/stage/usr/share/metainfo/io.github.tarnwick.tarnwick.metainfo.xml" || fail "AppStream's project_license"
pass "licence: LICENSE, DEP-5 copyright, AppStream"
# The changelog parses as Debian's format, newest entry the version built.
changelog="$work/changelog"
zcat "$doc/changelog.gz" >"$changelog"
if command -v dpkg-parsechangelog >/dev/null; then
    [ "$(dpkg-parsechangelog -l "$changelog" -S Version)" = "$version" ] || fail "changelog's newest entry is not $version"
else
    skip "changelog version: dpkg-parsechangelog is missing"
fi
grep -q '/usr/share/doc/tarnwick-headless/examples' "$doc/README.md" || fail "the README does not name the examples' place"
# The manual page: formatted without a warning, every option of each program's --help in it,
# and the desktop programs' names leading to it.
page="$work/stage/usr/share/man/man1/tarnwick-headless.1.gz"
for name in tarnwick tarnwick-desktop; do
    [ "$(readlink "$work/stage/usr/share/man/man1/$name.1.gz")" = tarnwick-headless.1.gz ] \
        || fail "$name.1.gz does not lead to tarnwick-headless.1.gz"
done
manual="$(MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err")" || fail "man -l failed"
[ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "the manual page has formatting warnings"; }
for program in tarnwick tarnwick-headless; do
    for option in $(QT_QPA_PLATFORM=offscreen "$work/stage/usr/bin/$program" --help | grep -oE -- '--[a-z]+' | sort -u); do
        grep -q -- "$option" <<<"$manual" || fail "the manual page lacks $program's $option"
    done
done
for section in SYNOPSIS OPTIONS SIGNALS ENVIRONMENT FILES "EXIT STATUS" QT_LOGGING_RULES; do
    grep -q "$section" <<<"$manual" || fail "the manual page lacks $section"
done
pass "documentation: README, changelog $version, examples, manual page with every option"

if command -v systemd-analyze >/dev/null; then
    # Checked against the staged program; any remark at all (even one systemd only warns of,
    # such as a value it ignores) fails.
    unit="$work/tarnwick-headless.service"
    sed "s#^ExecStart=/usr/bin/tarnwick-headless\$#ExecStart=$work/stage/usr/bin/tarnwick-headless#" \
        "$work/stage/usr/lib/systemd/system/tarnwick-headless.service" >"$unit"
    # Its Documentation= manual page is looked up among the staged ones.
    remarks="$(MANPATH="$work/stage/usr/share/man" systemd-analyze verify "$unit" 2>&1)" \
        || { echo "$remarks"; fail "systemd-analyze verify"; }
    [ -z "$remarks" ] || { echo "$remarks"; fail "systemd-analyze verify has remarks"; }
    for setting in DynamicUser=yes StateDirectory=tarnwick AmbientCapabilities=CAP_NET_RAW ProtectSystem=strict \
                   NoNewPrivileges=yes 'ExecReload=/bin/kill -HUP $MAINPID'; do
        grep -qxF "$setting" "$unit" || fail "the service lacks $setting"
    done
    # How much of the system the sandbox leaves the service, by systemd's own measure (0 to 10).
    exposure="$(systemd-analyze security --offline=true "$unit" 2>&1 | sed -n 's/^.*Overall exposure level for .*: \([0-9.]*\) .*$/\1/p')"
    [ -n "$exposure" ] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.5) }' \
        || { systemd-analyze security --offline=true "$unit"; fail "the service's exposure is ${exposure:-unknown}, above 2.5"; }
    pass "headless service unit verified, exposure $exposure"
else
    skip "headless service unit: systemd-analyze is missing"
fi
if command -v promtool >/dev/null; then
    examples="$doc/examples/prometheus"
    promtool check config "$examples/prometheus-tarnwick.yml" >"$work/promtool.log" 2>&1 \
        && promtool check rules "$examples/tarnwick-alerts.yml" >>"$work/promtool.log" 2>&1 \
        && promtool check config "$doc/examples/sites/prometheus-agent.yml" >>"$work/promtool.log" 2>&1 \
        && cp "$repo/tests/packaging/tarnwick-alerts.test.yml" "$examples/" \
        && (cd "$examples" && promtool test rules tarnwick-alerts.test.yml) >>"$work/promtool.log" 2>&1 \
        && rm "$examples/tarnwick-alerts.test.yml" \
        || { cat "$work/promtool.log"; fail "promtool"; }
    pass "Prometheus examples: configuration and alert rules accepted by promtool, alerts as expected"
else
    skip "Prometheus examples: promtool is missing"
fi
if command -v amtool >/dev/null; then
    amtool check-config "$doc/examples/sites/alertmanager.yml" >"$work/amtool.log" 2>&1 \
        || { cat "$work/amtool.log"; fail "amtool check-config"; }
    pass "Alertmanager example: accepted by amtool"
else
    skip "Alertmanager example: amtool is missing"
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
# The program found the skin where it runs: its style sheets through the link, and no picture
# missing (each one missing is logged).
[ -r "$data/Skins/Default/style.css" ] && [ -r "$data/Skins/Default/style-dark.css" ] \
    || fail "the skin's style sheets cannot be read in $data/Skins/Default"
if grep -q "Skins/" "$data/LogRelease.txt"; then fail "the skin was not found: $(grep "Skins/" "$data/LogRelease.txt")"; fi
kill -TERM "$app"
wait "$app" || fail "the launched program ended with status $?"
for f in DeviceConfig.xml Settings.xml VisualRepresentation.xml LogRelease.txt; do
    [ -f "$data/$f" ] || fail "$f was not written to $data"
done
pass "launcher: data directory, skin and files"

# 4. The Debian packages: the monitor, its service and what every user needs without a desktop;
# and the desktop program, which depends on it.
if ! command -v dpkg-deb >/dev/null || ! command -v dpkg-shlibdeps >/dev/null; then
    skip "Debian packages not built: dpkg-deb or dpkg-shlibdeps is missing"
    summary
    exit 0
fi
(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
arch="$(dpkg --print-architecture)"
headless="$work/package/tarnwick-headless_${version}_$arch.deb"
desktop="$work/package/tarnwick_${version}_$arch.deb"
[ "$(ls "$work"/package/*.deb)" = "$(ls "$headless" "$desktop")" ] || fail "cpack made $(ls "$work"/package/*.deb)"
# Each package (unpacked in $work/<package>): its name and version, its program stripped and
# given the ICMP right, and lintian without an error or a warning.
for package in tarnwick-headless tarnwick; do
    deb="$work/package/${package}_${version}_$arch.deb"
    [ "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version)" = "$package $version" ] || fail "$package: name or version"
    dpkg-deb -x "$deb" "$work/$package" && dpkg-deb -e "$deb" "$work/$package/DEBIAN" || fail "$package: not unpacked"
    [ -x "$work/$package/usr/bin/$package" ] && ! readelf -S "$work/$package/usr/bin/$package" | grep -q '\.debug_info' \
        || fail "$package: no /usr/bin/$package without debugging symbols"
    grep -q "setcap cap_net_raw+ep /usr/bin/$package\b" "$work/$package/DEBIAN/postinst" || fail "$package: no cap_net_raw"
    if command -v lintian >/dev/null; then
        lintian --fail-on error,warning --suppress-tags-from-file /dev/null "$deb" >"$work/lintian.log" 2>&1 \
            || { cat "$work/lintian.log"; fail "lintian: $package"; }
        sed "s/^/lintian: /" "$work/lintian.log"
    else
        skip "lintian $package: it is missing"
    fi
done
# Each file in the package it belongs to, and in one package only (dpkg refuses a second one's).
for f in tarnwick-headless/usr/lib/systemd/system/tarnwick-headless.service tarnwick-headless/usr/share/man/man1/tarnwick-headless.1.gz \
         tarnwick/usr/bin/tarnwick-desktop tarnwick/usr/share/applications/tarnwick.desktop tarnwick/usr/share/tarnwick/Skins/Default/style.css; do
    [ -e "$work/$f" ] || fail "the package lacks $f"
done
files() { (cd "$work/$1" && find . ! -type d ! -path './DEBIAN/*' | sort); }
shared="$(comm -12 <(files tarnwick) <(files tarnwick-headless))"
[ -z "$shared" ] || fail "files in both packages: $shared"

# A server takes the monitor without any desktop library; the desktop program brings its own
# and the monitor of its version.
headless_depends="$(dpkg-deb -f "$headless" Depends)"
for dep in libqt6core6 libqt6network6 libqt6sql6-sqlite libqt6dbus6 libcap2-bin libcivetweb1 zlib1g libsqlite3-0; do
    grep -q "$dep" <<<"$headless_depends" || fail "tarnwick-headless's Depends lacks $dep: $headless_depends"
done
! grep -qE '(^|, )(libqt6(widgets|gui|multimedia|opengl)|libgl[^i]|libegl|libopengl|libx|libwayland)' <<<"$headless_depends" \
    || fail "tarnwick-headless depends on a desktop library: $headless_depends"
[ "$(dpkg-deb -f "$headless" Recommends)" = "ieee-data, apprise" ] || fail "Recommends: $(dpkg-deb -f "$headless" Recommends)"
desktop_depends="$(dpkg-deb -f "$desktop" Depends)"
for dep in "tarnwick-headless (= $version)" libqt6widgets6 libqt6gui6 libqt6multimedia6; do
    grep -qF "$dep" <<<"$desktop_depends" || fail "tarnwick's Depends lacks $dep: $desktop_depends"
done

# The service follows the package: restarted with the new program on upgrade, stopped before
# the program goes, its enabled state forgotten on purge; the desktop package leaves it alone.
for step in 'postinst:deb-systemd-invoke restart' 'prerm:"$1" = remove .*deb-systemd-invoke stop' \
            'postrm:"$1" = purge .*deb-systemd-helper purge'; do
    tr -d '\n' <"$work/tarnwick-headless/DEBIAN/${step%%:*}" | grep -q "${step#*:} tarnwick-headless.service" \
        || fail "${step%%:*} lacks ${step#*:} tarnwick-headless.service"
done
! grep -q systemd "$work/tarnwick/DEBIAN/postinst" || fail "the desktop package handles the service"
pass "Debian packages: $(basename "$headless") ($(stat -c %s "$work/tarnwick-headless/usr/bin/tarnwick-headless") bytes, Depends: $headless_depends), $(basename "$desktop") ($(stat -c %s "$work/tarnwick/usr/bin/tarnwick") bytes, Depends: $desktop_depends)"
summary
