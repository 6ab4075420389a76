#!/usr/bin/env bash
# Builds Plotmere with its tests and runs every test with CTest.
# PLOTMERE_SANITIZE=1 ./test.sh builds and runs them under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
dir=build-tests; san=OFF
if [ "${PLOTMERE_SANITIZE:-0}" = 1 ]; then dir=build-asan; san=ON; fi
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
[ -f "$dir/CMakeCache.txt" ] && gen=()
cmake -S . -B "$dir" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTMERE_BUILD_TESTS=ON -DPLOTMERE_SANITIZE=$san
cmake --build "$dir" -j"$(nproc)"
cd "$dir"
ctest --output-on-failure -j"$(nproc)"
