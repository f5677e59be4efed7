#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures the project with BUILD_TESTING off and QtTest made unfindable: it must configure,
# and no test or benchmark target may exist.
#   configure_without_tests.sh <source folder>
set -euo pipefail
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake -S "$1" -B "$work" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON >"$work/log" 2>&1 \
    || { cat "$work/log"; echo "FAIL: does not configure without QtTest"; exit 1; }
targets="$(cmake --build "$work" --target help)"
if grep -E 'tst_|bench_|echo_responder' <<<"$targets"; then
    echo "FAIL: test or benchmark targets exist with BUILD_TESTING off"
    exit 1
fi
echo "ok: configures without QtTest, with no test targets"
