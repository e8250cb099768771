#!/bin/bash
# Installs what is missing, builds, and runs the whole test suite twice: a
# plain build and one with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/install-deps.sh"
jobs=$(nproc)
for variant in plain sanitize; do
	build="$top/build-$variant"
	flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
	[ "$variant" = sanitize ] && flags=(-DCMAKE_BUILD_TYPE=Debug -DENABLE_SANITIZERS=ON)
	echo "=== $variant build"
	cmake -S "$top" -B "$build" "${flags[@]}" >/dev/null
	cmake --build "$build" -j "$jobs"
	echo "=== $variant tests"
	(cd "$build" && ASAN_OPTIONS=detect_leaks=1 ctest -j "$jobs" --output-on-failure)
done
