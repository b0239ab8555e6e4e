#!/usr/bin/env bash
# Extra heap our parser takes on each hostile page, measured with heaptrack: the peak of one
# parse minus the peak of only holding the page and its text.
#   bench/heapcheck.sh [results|keyword]      (SIZES="1M 2M" and PAGEBENCH=path to override)
set -euo pipefail

parser=${1:-results}
bench=${PAGEBENCH:-build/bin/quorvane-pagebench}
sizes=${SIZES:-2M}
families="nested unclosed lt attribute br style nbsp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v heaptrack >/dev/null || { echo "heapcheck: heaptrack is not installed" >&2; exit 2; }
[ -x "$bench" ] || { echo "heapcheck: no $bench (build with -DQUORVANE_BENCH=ON)" >&2; exit 2; }

# heaptrack_print gives the peak with a decimal unit suffix, e.g. "peak heap memory consumption: 6.31M".
peak_bytes() {
    heaptrack_print "$1" 2>/dev/null | awk '/^peak heap memory consumption:/ {
        v = $5; unit = substr(v, length(v)); n = substr(v, 1, length(v) - 1) + 0
        if (unit == "K") n *= 1e3; else if (unit == "M") n *= 1e6; else if (unit == "G") n *= 1e9
        else n = v + 0
        printf "%.0f\n", n }'
}

for size in $sizes; do
    for family in $families; do
        input="hostile-$family-$size"
        heaptrack -o "$work/base" "$bench" --heap "$input" --heap-baseline --hostile-parser "$parser" >/dev/null 2>&1
        heaptrack -o "$work/parse" "$bench" --heap "$input" --hostile-parser "$parser" >/dev/null 2>&1
        base=$(peak_bytes "$work/base.zst")
        parse=$(peak_bytes "$work/parse.zst")
        rm -f "$work"/*.zst
        bytes=$("$bench" --heap "$input" --heap-baseline | awk '{print $2}')
        awk -v n="$input" -v p="$parser" -v b="$bytes" -v x="$((parse - base))" 'BEGIN {
            printf "%s %s: extra heap %.2f MB, %.2f times the input (goal <= 4)\n", n, p, x / 1e6, x / b }'
    done
done
