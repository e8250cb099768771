#!/bin/bash
# The benchmark command: installs its tools, builds the programs and the
# IMAP floor client, and measures every stage against its floor and the
# administrator's script at several sizes (run as root: it starts private
# servers). --quick uses small sizes and few repetitions.
#
#   bench/run.sh [--quick]     figures in bench/results/
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$top/build-bench
"$top/scripts/install-deps.sh"
missing=()
for p in hyperfine gnuplot-nox time cyrus-admin; do
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
	DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target newacct dropacct
g++ -O2 -std=c++17 -o "$build/imap_floor" "$top/bench/imap_floor.cc"
/usr/bin/python3 "$top/bench/bench.py" "$build" "$top/bench/results" "$@"
