#!/bin/bash
# Murder benchmark (run as root: it starts a private Cyrus murder): the ACL
# sweep and removal of dropacct -imap through the frontend at 10,000
# mailboxes spread over both backends, against the one-command-at-a-time
# floor (bench/imap_floor.cc) through the same frontend.
#
#   bench/murder.sh [--quick]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-bench
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target dropacct
g++ -O2 -std=c++17 -o "$build/imap_floor" "$top/bench/imap_floor.cc"
/usr/bin/python3 "$top/bench/murder.py" "$build" "$@"
