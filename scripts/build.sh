#!/usr/bin/env bash
# Configures and builds one preset quietly: compiler warnings and errors show, progress
# lines do not. Uses ccache when it is installed.
# Usage: scripts/build.sh <preset> [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset="$1"
shift
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
echo "build: $preset${*:+ ($*)}"
cmake --preset "$preset" >/dev/null
# ninja's line for an up-to-date tree says nothing here.
nice cmake --build --preset "$preset" "${targets[@]}" -- --quiet 2>&1 |
  { grep -v '^ninja: no work to do\.$' || true; }
