#!/usr/bin/env bash
# Builds Plotmere (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh
gen=(); command -v ninja >/dev/null && gen=(-G Ninja)
[ -f build/CMakeCache.txt ] && gen=()
cmake -S . -B build "${gen[@]}" -DCMAKE_BUILD_TYPE=Release -DPLOTMERE_BUILD_TESTS=OFF
cmake --build build --target plotmere -j"$(nproc)"
exec build/app/plotmere "$@"
