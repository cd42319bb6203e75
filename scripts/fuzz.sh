#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded few seconds. The last line
# is "fuzz: <n> passed, <n> failed".
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
seconds="${FUZZ_SECONDS:-5}"

bash scripts/build.sh fuzz || { echo "fuzz: build failed"; exit 1; }

failed=0
passed=0
for target in build/fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
       "$corpus" "${seeds[@]}" >"build/fuzz/$name.log" 2>&1; then
    passed=$((passed + 1))
  else
    echo "fuzz: $name FAILED"; tail -n 40 "build/fuzz/$name.log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: ${passed} passed, ${failed} failed"
[ "$failed" -eq 0 ]
