#!/usr/bin/env bash
# The main job: what the library can do so far.
set -euo pipefail
cd "$(dirname "$0")/.."
./build/default/examples/quillo-example
