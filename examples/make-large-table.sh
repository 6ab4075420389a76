#!/bin/sh
# Writes a large comma-separated x,y table for trying how Plotmere copes
# with big inputs: a header row, then ROWS rows of y = 2.5 x + 40 with some
# noise, x in random order (the same table on every run).
#
#   examples/make-large-table.sh 1000000 /tmp/large-1e6.csv
#   examples/make-large-table.sh 10000000 /tmp/large-1e7.csv   (about 185 MB)
#
# ROWS defaults to 1000000; without FILE the table goes to standard output.
set -eu
rows=${1:-1000000}
case $rows in
  ''|*[!0-9]*) echo "usage: $0 [ROWS] [FILE]" >&2; exit 2 ;;
esac
if [ $# -ge 2 ]; then exec >"$2"; fi
awk -v rows="$rows" 'BEGIN {
  srand(20240521)
  print "x,y"
  for (i = 0; i < rows; i++) {
    x = rand() * 1000
    y = 2.5 * x + 40 + (rand() + rand() + rand() - 1.5) * 60
    printf "%.4f,%.4f\n", x, y
  }
}'
