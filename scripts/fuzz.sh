#!/bin/bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 20) or up
# to RUNS executions, whichever comes first; prints executions, coverage and
# findings per target. Exits non-zero when any target found something.
#
#   scripts/fuzz.sh [SECONDS] [RUNS]
#
# TARGETS="imap_reply escape ..." limits the run to those targets.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-20}
runs=${2:--1}
build=$top/build-fuzz
work=${FUZZ_WORK:-$build/work}
CC=clang-14 CXX=clang++-14 cmake -S "$top" -B "$build" -DENABLE_FUZZING=ON -DBUILD_TESTING=OFF \
	-DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" >/dev/null
printf '%-16s %14s %8s %8s %s\n' target executions cov ft findings
found=0
for binary in "$build"/fuzz/fuzz_*; do
	target=${binary##*/fuzz_}
	if [ -n "${TARGETS:-}" ] && [[ " $TARGETS " != *" $target "* ]]; then
		continue
	fi
	corpus=$work/corpus/$target
	artifacts=$work/findings/$target
	mkdir -p "$corpus" "$artifacts"
	log=$work/$target.log
	status=0
	"$binary" "$corpus" "$top/fuzz/corpus/$target" -max_total_time="$seconds" -runs="$runs" \
		-print_final_stats=1 -artifact_prefix="$artifacts/" -timeout=10 -rss_limit_mb=1024 \
		>"$log" 2>&1 || status=$?
	executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
	coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
	findings=$(find "$artifacts" -type f | wc -l)
	[ "$status" = 0 ] && [ "$findings" = 0 ] || found=1
	printf '%-16s %14s %8s %8s %s\n' "$target" "${executions:-?}" \
		"$(awk '{print $2}' <<<"$coverage")" "$(awk '{print $4}' <<<"$coverage")" \
		"$findings$([ "$status" = 0 ] || echo " (exit $status, see $log)")"
done
exit $found
