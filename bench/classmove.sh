#!/bin/bash
# Class move benchmark (run as root: it starts a private slapd): modacct
# -batch moving 1,000 of 10,000 accounts to other classes among 40, against
# the directory's write floor for its own plan, single runs and an
# administrator's ldapmodify script; a roster of no changes against one
# search. Prints figures; asserts nothing.
#
#   bench/classmove.sh [--quick]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-bench
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target modacct
/usr/bin/python3 "$top/bench/classmove.py" "$build" "$@"
