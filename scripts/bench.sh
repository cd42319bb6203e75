#!/usr/bin/env bash
# Runs every benchmark program of bench/.
set -euo pipefail
cd "$(dirname "$0")/.."

# The pipeline benchmark's scripting-language peer; needed only here, not by the build.
if ! /usr/bin/python3 -c 'import aiohttp' 2>/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends python3-aiohttp >/dev/null
fi

for b in build/default/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
