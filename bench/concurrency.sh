#!/bin/bash
# Benchmark of newacct under concurrency (run as root: it starts private
# slapd servers). Builds the current newacct and, as the reference, the one
# from before the concurrency guard (the parent of the commit that first added
# newacct/Claim.cc, or REF), then prints:
#   - 8 runs in parallel creating 200 accounts into a directory of 10,000,
#     against the same 200 one at a time, and the shared numbers or
#     addresses found afterwards;
#   - the cost of one uncontended creation at 10,000 and 100,000 accounts,
#     ours against the reference.
#
#   bench/concurrency.sh [--quick] [REF]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
quick=
[ "${1:-}" = --quick ] && { quick=--quick; shift; }
ref=${1:-$(git -C "$top" log --diff-filter=A --format=%H -- newacct/Claim.cc | tail -n 1)^}
"$top/scripts/install-deps.sh"
build=$top/build-bench
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target newacct
reference=$(mktemp -d /tmp/mailacct-ref-XXXXXX)
trap 'rm -rf "$reference"' EXIT
git -C "$top" archive "$ref" | tar -x -C "$reference"
cmake -S "$reference" -B "$reference/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$reference/build" -j "$(nproc)" --target newacct >/dev/null
echo "reference: $(git -C "$top" rev-parse --short "$ref")"
/usr/bin/python3 "$top/bench/concurrency.py" "$build/newacct/newacct" \
	"$reference/build/newacct/newacct" $quick
