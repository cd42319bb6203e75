#!/usr/bin/env bash
# Runs every benchmark program of bench/.
set -euo pipefail
cd "$(dirname "$0")/.."
for b in build/default/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
