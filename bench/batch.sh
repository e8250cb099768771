#!/bin/bash
# Batch benchmark (run as root: it starts private servers): newacct -batch
# of 1,000 rows into directories of 10,000 and 100,000 accounts, and
# dropacct -batch of 300 leavers from a server with 10,000 mailboxes, each
# against single runs (timed on a sample and scaled), alternated, medians.
#
#   bench/batch.sh [--quick]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-bench
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target newacct dropacct
/usr/bin/python3 "$top/bench/batch.py" "$build" "$@"
