#!/usr/bin/env bash
# Runs every benchmark program of bench/, after installing what only they need.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/apt.sh

# Append what a new benchmark needs.
bench_packages=(nginx-light python3-aiohttp)

# bench_pipeline starts nginx itself, on loopback with its own configuration; the
# system service the package brings would serve port 80 for nothing. So it is neither
# started by the installation nor left enabled.
newly_installed=()
mapfile -t newly_installed < <(missing_packages "${bench_packages[@]}")
APT_NO_SERVICE_START=1 install_packages bench "${bench_packages[@]}"
for p in "${newly_installed[@]}"; do
  if [[ "$p" == nginx* ]]; then
    "${as_root[@]}" systemctl disable --now nginx >/dev/null 2>&1 || true
    "${as_root[@]}" service nginx stop >/dev/null 2>&1 || true
    break
  fi
done

for b in build/default/bench/bench_*; do
  if [ -x "$b" ]; then "$b"; fi
done
