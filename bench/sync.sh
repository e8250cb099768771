#!/bin/bash
# Start-of-school-year benchmark (run as root: it starts private servers):
# syncacct over a school of 10,000 managed accounts (1,000 new pupils, 1,000
# leavers removed with -grace 0, 2,000 class moves, 6,000 unchanged) against
# the floor of its own plan and against newacct, modacct and dropacct -batch
# on hand-made rosters; a sync with nothing to do against one search.
# Prints figures; asserts nothing.
#
#   bench/sync.sh [--quick] [--noop]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-bench
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target syncacct newacct modacct dropacct
/usr/bin/python3 "$top/bench/sync.py" "$build" "$@"
