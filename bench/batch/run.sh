#!/bin/sh
# Window batch save against quillpane-convert making the same outputs (base 1200 px wide,
# JPEG quality 90, neutral adjustments, no sharpening, the formats @2x and -thumb), from
# one private preferences file (read by the command through --window-settings). Prints
# each run and the medians.
#
#   bench/batch/run.sh BUILD_DIR QUILLPANE_CONVERT [RUNS] FILE...
set -eu
build=$1; convert=$2; runs=$3; shift 3
work=${QP_BENCH_DIR:-/tmp/quillpane-bench}/batch
rm -rf "$work"; mkdir -p "$work/config"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
"$build/bench/batch/qp_batch_bench" --runs "$runs" --width 1200 "$work" "$@"
times=""
i=0
while [ "$i" -lt "$runs" ]; do
    out="$work/convert-run$i"; rm -rf "$out"
    start=$(date +%s.%N)
    "$convert" --window-settings --width 1200 --type jpeg --quality 90 --neutral --formats -o "$out" "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(awk "BEGIN {print $end - $start}")
    printf 'convert run %d: %.2f s, %d files\n' "$i" "$t" "$(ls "$out" | wc -l)"
    times="$times $t"
    i=$((i + 1))
done
echo "$times" | tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {printf "convert median: %.2f s\n", a[int((NR+1)/2)]}'
