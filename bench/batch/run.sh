#!/bin/sh
# Window batch save against quillpane-convert making the same outputs (base 1200 px wide,
# JPEG quality 90, neutral adjustments, no sharpening, the formats @2x and -thumb), from
# one private preferences file (read by the command through --window-settings). The two
# take turns, so a shared machine's changing load falls on both alike. Prints each run,
# the medians and the median of the per-turn ratios.
#
#   bench/batch/run.sh BUILD_DIR QUILLPANE_CONVERT [RUNS] FILE...
set -eu
build=$1; convert=$2; runs=$3; shift 3
work=${QP_BENCH_DIR:-/tmp/quillpane-bench}/batch
rm -rf "$work"; mkdir -p "$work/config"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
windows=""; converts=""; ratios=""
i=0
while [ "$i" -lt "$runs" ]; do
    w=$("$build/bench/batch/qp_batch_bench" --runs 1 --width 1200 "$work/window" "$@" 2>/dev/null |
        sed -n 's/^window batch run 0: \([0-9.]*\) s.*/\1/p')
    out="$work/convert-run$i"; rm -rf "$out"
    start=$(date +%s.%N)
    "$convert" --window-settings --width 1200 --type jpeg --quality 90 --neutral --formats -o "$out" "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    c=$(awk "BEGIN {print $end - $start}")
    printf 'turn %d: window %.2f s, convert %.2f s (%d files), ratio %.2f\n' "$i" "$w" "$c" "$(ls "$out" | wc -l)" \
        "$(awk "BEGIN {print $w / $c}")"
    windows="$windows $w"; converts="$converts $c"; ratios="$ratios $(awk "BEGIN {print $w / $c}")"
    i=$((i + 1))
done
median() { echo "$1" | tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]}'; }
echo "window median: $(median "$windows") s, convert median: $(median "$converts") s, window/convert median of turns: $(median "$ratios")x"
