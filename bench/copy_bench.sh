#!/usr/bin/env bash
# Times the program's file and folder copies against cp and cp -r in the same run:
#   bench/copy_bench.sh [RUNS]     (default 5 runs per variant; the median counts)
# Data: one 1 GiB file and a folder of 10,000 small files (100 sub-folders), kept in the bench
# build folder (a disk, not the RAM disk /tmp may be) and made once. Page caches cannot be dropped
# without root, so every variant reads a source that is already cached; the target is removed
# and the disk synced before each run. Goals: throughput of a file copy at least 0.95 x cp's,
# time of a folder copy at most 1.2 x cp -r's. The flushed variants (as the copy run makes its
# copies) are compared with cp followed by sync.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ENCRT_BENCH_BUILD_DIR:-build-bench}
runs=${1:-5}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DENCRT_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target encrt-copy-bench -j 2 >/dev/null
bench=$build/bin/encrt-copy-bench

work=$(cd "$build" && pwd)/bench-data/copy
mkdir -p "$work"
big=$work/source.bin
if [[ $(stat -c %s "$big" 2>/dev/null || echo 0) != 1073741824 ]]; then
    echo "making a 1 GiB file..."
    head -c 1073741824 /dev/urandom >"$big.part" && mv "$big.part" "$big"
fi
tree=$work/tree
if [[ ! -f $tree/.complete ]]; then
    echo "making 10,000 small files..."
    rm -rf "$tree" && mkdir -p "$tree"
    for d in $(seq -w 0 99); do
        mkdir "$tree/d$d"
        for f in $(seq -w 0 99); do head -c $(((10#$d * 100 + 10#$f) % 8192 + 1)) "$big" >"$tree/d$d/f$f.txt"; done
    done
    touch "$tree/.complete"
fi
cat "$big" >/dev/null # every variant starts from a cached source

# Each run copies into a folder of its own: deleting 10,000 files before a run would make the
# disk busy with their clean-up (discards, journal) while the next copy is timed. A 1 GiB copy
# is removed right away (it takes one variant's space only).
runs_dir=$work/runs
rm -rf "$runs_dir"
n=0
# Sets `elapsed` and `cpu` (user + system) to the microseconds the command took, from a fresh
# target and a synced disk.
timed() {
    rm -f "$runs_dir"/*/copy.bin
    out=$runs_dir/$((++n))
    mkdir -p "$out" && sync
    local args=("${@//@out/$out}") # "@out" stands for this run's target folder
    local TIMEFORMAT='%R %U %S' real user sys
    read -r real user sys < <({ time "${args[@]}" >/dev/null; } 2>&1)
    elapsed=$(awk -v r="$real" 'BEGIN {printf "%d", r * 1e6}')
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%d", (u + s) * 1e6}')
}
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

declare -A samples cpus
variant() { # name command...
    local name=$1
    shift
    timed "$@"
    samples[$name]+="$elapsed "
    cpus[$name]+="$cpu "
}
pair() { # kind ours-command -- cp-command; which side goes first alternates between runs
    local kind=$1 i=$2
    shift 2
    local -a ours=() cp=()
    while [[ $1 != -- ]]; do ours+=("$1"); shift; done
    shift
    cp=("$@")
    # The first large write after other disk work is throttled while the kernel writes back what
    # came before; an untimed copy takes that hit, so that neither timed side gets it.
    timed "${cp[@]}"
    if ((i % 2)); then
        variant "$kind.ours" "${ours[@]}"
        variant "$kind.cp" "${cp[@]}"
    else
        variant "$kind.cp" "${cp[@]}"
        variant "$kind.ours" "${ours[@]}"
    fi
}
for ((i = 1; i <= runs; i++)); do
    pair file "$i" "$bench" file "$big" @out/copy.bin -- cp "$big" @out/copy.bin
    pair file-flushed "$i" "$bench" file "$big" @out/copy.bin --flush -- \
        sh -c 'cp "$1" "$2" && sync "$2"' - "$big" @out/copy.bin
    pair folder "$i" "$bench" folder "$tree" @out -- cp -r "$tree" @out/
    pair folder-flushed "$i" "$bench" folder "$tree" @out --flush -- \
        sh -c 'cp -r "$1" "$2/" && sync -f "$2"' - "$tree" @out
done
rm -rf "$runs_dir"

# The goal is judged on the median of the per-run ratios: the two sides of a run follow each
# other closely, so a machine busy with other work shifts both alike.
report() { # kind
    local -a ours cp
    read -r -a ours <<<"${samples[$1.ours]}"
    read -r -a cp <<<"${samples[$1.cp]}"
    local ratios=() i
    for i in "${!ours[@]}"; do
        if [[ $1 == file* ]]; then # throughput ratio: cp's time over ours
            ratios+=("$(awk -v o="${ours[$i]}" -v c="${cp[$i]}" 'BEGIN {printf "%.4f", c / o}')")
        else # time ratio: ours over cp -r's
            ratios+=("$(awk -v o="${ours[$i]}" -v c="${cp[$i]}" 'BEGIN {printf "%.4f", o / c}')")
        fi
    done
    local -a ours_cpu cp_cpu
    read -r -a ours_cpu <<<"${cpus[$1.ours]}"
    read -r -a cp_cpu <<<"${cpus[$1.cp]}"
    local r o c oc cc
    oc=$(median "${ours_cpu[@]}")
    cc=$(median "${cp_cpu[@]}")
    r=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}')
    o=$(median "${ours[@]}")
    c=$(median "${cp[@]}")
    awk -v o="$oc" -v c="$cc" -v k="$1" 'BEGIN {
        printf "%-15s cpu time (user + system): ours %6.3f s  cp %6.3f s  (%.2fx)\n", k, o / 1e6, c / 1e6, o / c }'
    if [[ $1 == file* ]]; then
        awk -v o="$o" -v c="$c" -v r="$r" -v k="$1" 'BEGIN {
            printf "%-15s ours %6.3f s (%5.0f MiB/s)  cp %6.3f s (%5.0f MiB/s)  throughput %.2fx cp (goal >= 0.95: %s)\n",
            k, o / 1e6, 1024e6 / o, c / 1e6, 1024e6 / c, r, (r >= 0.95 ? "met" : "MISSED") }'
    else
        awk -v o="$o" -v c="$c" -v r="$r" -v k="$1" 'BEGIN {
            printf "%-15s ours %6.3f s  cp -r %6.3f s  time %.2fx cp -r (goal <= 1.20: %s)\n",
            k, o / 1e6, c / 1e6, r, (r <= 1.2 ? "met" : "MISSED") }'
    fi
}
echo "samples in ms:"
for k in file file-flushed folder folder-flushed; do
    for side in ours cp; do
        # shellcheck disable=SC2086
        printf '  %-20s %s\n' "$k.$side" "$(for v in ${samples[$k.$side]}; do printf '%d ' $((v / 1000)); done)"
    done
done
echo "medians of $runs runs, target $work, load average $(cut -d' ' -f1-3 /proc/loadavg)"
report file
report file-flushed
report folder
report folder-flushed
