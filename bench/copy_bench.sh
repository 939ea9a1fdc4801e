#!/usr/bin/env bash
# Times the program's file and folder copies against cp and cp -r in the same run:
#   bench/copy_bench.sh [RUNS]     (default 5 runs per variant; the median counts)
# Data: one 1 GiB file and a folder of 10,000 small files (100 sub-folders), kept in the build
# tree (a disk, not the RAM disk /tmp may be) and made once. Page caches cannot be dropped
# without root, so every variant reads a source that is already cached; the target is removed
# and the disk synced before each run. Goals: throughput of a file copy at least 0.95 x cp's,
# time of a folder copy at most 1.3 x cp -r's. The flushed variants (as the copy run makes its
# copies) are compared with cp followed by sync.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ENCRT_BENCH_BUILD_DIR:-$root/build}
runs=${1:-5}
bench=$build/bin/encrt-copy-bench
if [[ ! -x $bench ]]; then
    cmake -S "$root" -B "$build" -DENCRT_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" -j2 --target encrt-copy-bench >/dev/null
fi

work=$build/bench-work
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

out=$work/out
# Microseconds taken by the command, from a clean target and a synced disk.
timed() {
    rm -rf "$out" && mkdir -p "$out" && sync
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    echo $(((t1 - t0) / 1000))
}
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

declare -A samples
variant() { # name command...
    local name=$1
    shift
    samples[$name]+="$(timed "$@") "
}
pair() { # kind ours-command -- cp-command; which side goes first alternates between runs
    local kind=$1 i=$2
    shift 2
    local -a ours=() cp=()
    while [[ $1 != -- ]]; do ours+=("$1"); shift; done
    shift
    cp=("$@")
    if ((i % 2)); then
        variant "$kind.ours" "${ours[@]}"
        variant "$kind.cp" "${cp[@]}"
    else
        variant "$kind.cp" "${cp[@]}"
        variant "$kind.ours" "${ours[@]}"
    fi
}
for ((i = 1; i <= runs; i++)); do
    pair file "$i" "$bench" file "$big" "$out/copy.bin" -- cp "$big" "$out/copy.bin"
    pair file-flushed "$i" "$bench" file "$big" "$out/copy.bin" --flush -- \
        sh -c 'cp "$1" "$2" && sync "$2"' - "$big" "$out/copy.bin"
    pair folder "$i" "$bench" folder "$tree" "$out" -- cp -r "$tree" "$out/"
    pair folder-flushed "$i" "$bench" folder "$tree" "$out" --flush -- \
        sh -c 'cp -r "$1" "$2/" && sync -f "$2"' - "$tree" "$out"
done
rm -rf "$out"

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
    local r o c
    r=$(printf '%s\n' "${ratios[@]}" | sort -g | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}')
    o=$(median "${ours[@]}")
    c=$(median "${cp[@]}")
    if [[ $1 == file* ]]; then
        awk -v o="$o" -v c="$c" -v r="$r" -v k="$1" 'BEGIN {
            printf "%-15s ours %6.3f s (%5.0f MiB/s)  cp %6.3f s (%5.0f MiB/s)  throughput %.2fx cp (goal >= 0.95: %s)\n",
            k, o / 1e6, 1024e6 / o, c / 1e6, 1024e6 / c, r, (r >= 0.95 ? "met" : "MISSED") }'
    else
        awk -v o="$o" -v c="$c" -v r="$r" -v k="$1" 'BEGIN {
            printf "%-15s ours %6.3f s  cp -r %6.3f s  time %.2fx cp -r (goal <= 1.30: %s)\n",
            k, o / 1e6, c / 1e6, r, (r <= 1.3 ? "met" : "MISSED") }'
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
