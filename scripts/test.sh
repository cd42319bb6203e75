#!/usr/bin/env bash
# The README's test command. Stages:
#   unit     every test of the default build
#   package  install into a temporary prefix, build and run a consumer against it
#   asan     every unit test under AddressSanitizer + UndefinedBehaviorSanitizer
#   tsan     the suites that start threads, under ThreadSanitizer (CMakePresets.json)
#   fuzz     each fuzz target for FUZZ_SECONDS seconds (5 by default)
# Usage: scripts/test.sh [stage...]; all five when none is named. A failing stage does
# not stop the others; the summary at the end covers each, and the exit status is
# non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(unit package asan tsan fuzz)

summary=()
total_passed=0
total_failed=0
record() {  # <stage> <passed> <failed> [note]
  summary+=("$1 $2 passed $3 failed${4:+ ($4)}")
  total_passed=$((total_passed + $2))
  total_failed=$((total_failed + $3))
}

declare -A built=()
build() {  # <preset> [target...]; once per run
  local preset="$1"
  if [ -z "${built[$preset]:-}" ]; then
    if bash scripts/build.sh "$@"; then built[$preset]=ok; else built[$preset]=failed; fi
  fi
  [ "${built[$preset]}" = ok ]
}

# Runs ctest quietly: one line when everything passes, the failing tests' output otherwise.
run_ctest() {  # <stage> <preset> [ctest argument...]
  local stage="$1" preset="$2"
  shift 2
  local log="build/$preset/ctest-$stage.log"
  ctest --preset "$preset" --no-tests=error "$@" >"$log" 2>&1
  local status=$?
  local line passed=0 failed=0 total
  line="$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
  if [ -n "$line" ]; then
    failed="$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")"
    total="$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")"
    passed=$((total - failed))
  fi
  if [ "$status" -ne 0 ]; then
    grep -vE '^ *Start +[0-9]+: |^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$' "$log"
    [ "$failed" -gt 0 ] || failed=1
    record "$stage" "$passed" "$failed" "log: $log"
  else
    echo "$stage: $passed passed, 0 failed"
    record "$stage" "$passed" 0
  fi
}

for stage in "${stages[@]}"; do
  case "$stage" in
    unit)
      if build default; then run_ctest unit default -LE package; else record unit 0 1 "build failed"; fi ;;
    package)
      if build default; then run_ctest package default -L package; else record package 0 1 "build failed"; fi ;;
    asan)
      if build asan quillo_tests; then run_ctest asan asan; else record asan 0 1 "build failed"; fi ;;
    tsan)
      if build tsan quillo_tests; then run_ctest tsan tsan; else record tsan 0 1 "build failed"; fi ;;
    fuzz)
      mkdir -p build
      bash scripts/fuzz.sh 2>&1 | tee build/fuzz.log
      out="$(tail -n 1 build/fuzz.log)"
      if [[ "$out" =~ ^fuzz:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
        record fuzz "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
      else
        record fuzz 0 1 "build failed"
      fi ;;
    *)
      echo "test: unknown stage '$stage' (unit, package, asan, tsan, fuzz)" >&2
      record "$stage" 0 1 "unknown stage" ;;
  esac
done

echo
line="summary:"
for i in "${!summary[@]}"; do
  [ "$i" -eq 0 ] && line+=" ${summary[$i]}" || line+=" · ${summary[$i]}"
done
echo "$line"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" -eq 0 ]
