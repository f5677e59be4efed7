#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The layering holds as a build rule: a data file that includes an app header fails to
# compile for want of the header, and no source reaches past its view with a relative path.
#   check_layering.sh <build folder> <source folder>
set -euo pipefail
build="$1"
source="$2"

if output="$(cmake --build "$build" --target layering_probe 2>&1)"; then
    echo "FAIL: a data file including app/MainWindow.h compiled"
    exit 1
fi
if ! grep -q 'app/MainWindow.h: No such file or directory' <<<"$output"; then
    echo "FAIL: the probe failed for another reason:"
    echo "$output"
    exit 1
fi
echo "ok: an include against the layering fails the build"

escapes="$(grep -rnE '#include "\.\./' "$source/src" || true)"
if [ -n "$escapes" ]; then
    echo "FAIL: includes that climb out of their folder:"
    echo "$escapes"
    exit 1
fi
echo "ok: no include climbs out of its folder"

# The server program and the libraries it is built from need nothing of a desktop: no widget,
# GUI or multimedia library is loaded, and no symbol of one is wanted.
desktop='libQt6(Widgets|Gui|Multimedia|OpenGL)'
needed="$(readelf -d "$build/tarnwick-headless" | grep NEEDED)"
if grep -qE "$desktop" <<<"$needed"; then
    echo "FAIL: tarnwick-headless loads a desktop library:"
    grep -E "$desktop" <<<"$needed"
    exit 1
fi
for library in data history log net metrics monitor alert api server; do
    wanted="$(nm -C --undefined-only "$build/libtarnwick_$library.a" | grep -E ' U (QWidget|QApplication|QGuiApplication|QPixmap|QImage|QIcon|QPainter|QColor|QSound|QMedia)\b' || true)"
    if [ -n "$wanted" ]; then
        echo "FAIL: tarnwick_$library wants symbols of a desktop library:"
        echo "$wanted" | head
        exit 1
    fi
done
echo "ok: the server program and its libraries need no desktop library"
