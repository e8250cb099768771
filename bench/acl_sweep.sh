#!/bin/bash
# Pipelined ACL sweep benchmark (run as root: it starts a private Cyrus
# server and then a private murder on fixed ports): batch mode's sweep for
# one account at 10,000 mailboxes against the one-at-a-time floor, on
# loopback and through a proxy adding 0.25 ms each way, with the curve over
# the window size; then the comparison through a murder frontend. --quick:
# 1,000 mailboxes; --no-murder: one server only; --murder-only.
#
#   bench/acl_sweep.sh [--quick] [--no-murder | --murder-only]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-bench
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target acl_sweep
g++ -O2 -std=c++17 -o "$build/imap_floor" "$top/bench/imap_floor.cc"
g++ -O2 -std=c++17 -pthread -o "$build/delay_proxy" "$top/bench/delay_proxy.cc"
/usr/bin/python3 "$top/bench/acl_sweep.py" "$build" "$@"
