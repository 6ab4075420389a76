#!/usr/bin/env bash
# Times plotmere_bench against pandas (read_csv + scipy.stats.linregress,
# timed inside the interpreter) on the same table, alternating the two
# programs RUNS times, and prints the medians and their ratios. Peak memory
# is each whole process's maximum resident set, as /usr/bin/time reports it.
#
#   bench/compare_pandas.sh TABLE [RUNS] [BENCH]
#
# Needs Debian's python3-pandas and python3-scipy; BENCH defaults to the
# Release build's build/bench/plotmere_bench.
set -euo pipefail
table=$1
runs=${2:-3}
bench=${3:-$(dirname "$0")/../build/bench/plotmere_bench}
py='import sys, time, pandas as pd
from scipy import stats
t = time.perf_counter()
df = pd.read_csv(sys.argv[1])
stats.linregress(df.iloc[:, 0], df.iloc[:, 1])
print("pandas_s=%.3f" % (time.perf_counter() - t))'
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for ((i = 1; i <= runs; i++)); do
  /usr/bin/time -o "$tmp/m" -f "%M" "$bench" "$table" > "$tmp/out" 2>/dev/null
  p_t=$(sed -n 's/^total_s=\([0-9.]*\).*/\1/p' "$tmp/out"); p_m=$(cat "$tmp/m")
  /usr/bin/time -o "$tmp/m" -f "%M" /usr/bin/python3 -c "$py" "$table" > "$tmp/out"
  q_t=$(sed -n 's/^pandas_s=//p' "$tmp/out"); q_m=$(cat "$tmp/m")
  echo "run $i: plotmere ${p_t} s ${p_m} KB   pandas ${q_t} s ${q_m} KB"
  echo "$p_t" >> "$tmp/pt"; echo "$p_m" >> "$tmp/pm"; echo "$q_t" >> "$tmp/qt"; echo "$q_m" >> "$tmp/qm"
done
pt=$(median < "$tmp/pt"); pm=$(median < "$tmp/pm"); qt=$(median < "$tmp/qt"); qm=$(median < "$tmp/qm")
awk -v pt="$pt" -v pm="$pm" -v qt="$qt" -v qm="$qm" 'BEGIN {
  printf "median: plotmere %.3f s %.0f MB   pandas %.3f s %.0f MB   time %.2fx   memory %.2fx\n",
         pt, pm / 1024, qt, qm / 1024, pt / qt, pm / qm }'
