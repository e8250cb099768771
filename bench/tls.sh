#!/bin/bash
# TLS benchmark (run as root: it starts a private sandbox): the cost of
# each connection with StartTLS or implicit TLS against plain, through the
# programs' own clients, and a full dropacct -ldap -imap -sieve on a server
# with 1,000 mailboxes over TLS against plain, with the ratio.
#
#   bench/tls.sh [--quick]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-bench
"$top/scripts/install-deps.sh"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target newacct dropacct tls_connect
/usr/bin/python3 "$top/bench/tls.py" "$build" "$@"
