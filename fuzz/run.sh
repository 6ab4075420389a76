#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (address and undefined-
# behaviour sanitizers) into build-fuzz/, then runs one target.
#   fuzz/run.sh TARGET [SECONDS] [extra libFuzzer flags...]
#   fuzz/run.sh metafile 1200
# The working corpus starts from fuzz/corpus/TARGET and grows in
# build-fuzz/corpus/TARGET; crashes land in build-fuzz/artifacts/TARGET/.
# Commit a crash file into fuzz/regressions/TARGET/ once it is mended.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/run.sh TARGET [SECONDS] [libFuzzer flags...]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
dir=build-fuzz
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
[ -f "$dir/CMakeCache.txt" ] && gen=()
CC=clang CXX=clang++ cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLOTMERE_FUZZ=ON -DPLOTMERE_BUILD_TESTS=OFF -DPLOTMERE_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j2 --target "fuzz_$target"
mkdir -p "$dir/corpus/$target" "$dir/artifacts/$target"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
seeds=(fuzz/corpus/"$target")
[ -d fuzz/regressions/"$target" ] && seeds+=(fuzz/regressions/"$target")
exec "$dir/fuzz/fuzz_$target" "$dir/corpus/$target" "${seeds[@]}" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=262144 \
  -artifact_prefix="$dir/artifacts/$target/" -print_final_stats=1 "$@"
