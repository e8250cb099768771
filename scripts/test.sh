#!/bin/bash
# Installs what is missing, builds, and runs the whole test suite twice: a
# plain build and one with AddressSanitizer and UndefinedBehaviorSanitizer.
# Then a short run of every fuzz target, memcheck of a full create, change
# and remove cycle, and the product checks: the manual
# pages, the Debian package, and the sandbox tour of scripts/try.sh.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/install-deps.sh" --test
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

echo "=== fuzz smoke (${FUZZ_SECONDS:-20} s per target)"
FUZZ_WORK=$(mktemp -d) "$top/scripts/fuzz.sh" "${FUZZ_SECONDS:-20}"
echo "=== valgrind memcheck of a create, change and remove cycle"
"$top/scripts/memcheck.sh" "$top/build-plain"
echo "=== manual pages and Debian package"
"$top/scripts/package-check.sh" "$top/build-plain"
echo "=== sandbox tour"
BUILD_DIR="$top/build-plain" "$top/scripts/try.sh"
