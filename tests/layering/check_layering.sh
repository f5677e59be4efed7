#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The layering holds as a build rule: a data file that includes an app header fails to
# compile for want of the header, and no source reaches past its view with a relative path.
#   check_layering.sh <build folder> <source folder>
set -euo pipefail
build="$1"
source="$2"

if output="$(cmake --build "$build" --target layering_probe 2>&1)"; then
    echo "FAIL: a data file including app/ProcessValues.h compiled"
    exit 1
fi
if ! grep -q 'app/ProcessValues.h: No such file or directory' <<<"$output"; then
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
