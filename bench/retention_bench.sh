#!/usr/bin/env bash
# The local retention against find with the same predicate, over 50,000 backup files in nested
# folders. Each variant runs five times on the same tree; the medians are compared (goal: at
# most 1.2 times find's time). The pass deletes nothing: the term is longer than the files' age,
# so every run sees the same tree and the work measured is the listing and the time reads.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ENCRT_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DENCRT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target retention_bench -j "$(nproc)" >/dev/null
data="$build/bench-data/retention"
if [ ! -f "$data/.complete" ]; then
    rm -rf "$data"
    python3 bench/make_backup_tree.py "$data" 50000 2026-12-03 60
    touch "$data/.complete"
fi
cutoff="2026-12-03 00:00:00 - 400 days"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ours=$(for _ in 1 2 3 4 5; do "$build/bin/retention_bench" "$data" 2026/12/03 400; done | median)
theirs=$(for _ in 1 2 3 4 5; do
    s=$(date +%s.%N); find "$data" -name '*.DAT' ! -newermt "$(date -d "$cutoff" '+%F %T')" >/dev/null; e=$(date +%s.%N)
    awk -v s="$s" -v e="$e" 'BEGIN {print e - s}'
done | median)
ratio=$(awk -v a="$ours" -v b="$theirs" 'BEGIN {print a / b}')
printf 'retention pass: %.3f s   find: %.3f s   ratio %.2f (goal <= 1.20)\n' "$ours" "$theirs" "$ratio"
