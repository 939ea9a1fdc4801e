#!/usr/bin/env bash
# The local retention against find with the same predicate, over 50,000 backup files in nested
# folders, both timed as whole processes (start-up and exit included) in the same run:
#   bench/retention_bench.sh [RUNS]     (default 7 runs per side; the median of the ratios counts)
# The two sides alternate which goes first, so that a machine busy with other work shifts both
# alike. The pass deletes nothing: the term is longer than the files' age, so every run sees the
# same tree and the work measured is the listing and the time reads. Goal: at most 1.10 times
# find's time.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ENCRT_BENCH_BUILD_DIR:-build-bench}
runs=${1:-7}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DENCRT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target retention_bench -j 2 >/dev/null
data="$build/bench-data/retention"
if [ ! -f "$data/.complete" ]; then
    rm -rf "$data"
    python3 bench/make_backup_tree.py "$data" 50000 2026-12-03 60
    touch "$data/.complete"
fi
cutoff=$(date -d "2026-12-03 00:00:00 - 400 days" '+%F %T')
ours() { "$build/bin/retention_bench" "$data" 2026/12/03 400 >/dev/null 2>&1; }
theirs() { find "$data" -name '*.DAT' ! -newermt "$cutoff" >/dev/null; }
seconds() { # command: prints the wall-clock seconds it took
    local s e
    s=$(date +%s%N)
    "$@"
    e=$(date +%s%N)
    awk -v s="$s" -v e="$e" 'BEGIN {printf "%.4f\n", (e - s) / 1e9}'
}
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ours && theirs # both start from a cached tree
o=() t=() r=()
for ((i = 1; i <= runs; i++)); do
    if ((i % 2)); then
        a=$(seconds ours) b=$(seconds theirs)
    else
        b=$(seconds theirs) a=$(seconds ours)
    fi
    o+=("$a") t+=("$b") r+=("$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.4f", a / b}')")
done
ours_s=$(printf '%s\n' "${o[@]}" | median)
theirs_s=$(printf '%s\n' "${t[@]}" | median)
ratio=$(printf '%s\n' "${r[@]}" | median)
echo "ratios: ${r[*]}  (load average $(cut -d' ' -f1-3 /proc/loadavg))"
printf 'retention pass: %.3f s   find: %.3f s   ratio %.2f (goal <= 1.10: %s)\n' "$ours_s" "$theirs_s" "$ratio" \
    "$(awk -v r="$ratio" 'BEGIN {print (r <= 1.10 ? "met" : "MISSED")}')"
