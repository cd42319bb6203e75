#!/usr/bin/env bash
# Runs a command on a private session bus with a Secret Service on it, then stops
# everything it started. The service is the keyring daemon with only its secrets
# component, unlocked with an empty password; its "session" collection lives in memory
# and never prompts. HOME and the XDG folders point into a temporary folder, so
# nothing of the user's own session is read or touched.
# Usage: run_with_session_bus.sh <command...>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
if [ -z "${QUILLO_PRIVATE_BUS:-}" ]; then
  export QUILLO_PRIVATE_BUS=1
  # Bounded: the bus goes when its session ends, and the daemon goes with its bus.
  exec timeout -k 5 270 dbus-run-session -- bash "$here/run_with_session_bus.sh" "$@"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/quillo-session.XXXXXX")"
mkdir -m 0700 "$work/run"
export HOME="$work" XDG_RUNTIME_DIR="$work/run" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
       XDG_CACHE_HOME="$work/cache"
gnome-keyring-daemon --foreground --components=secrets --unlock </dev/null >"$work/keyring.log" 2>&1 &
keyring=$!
cleanup() {
  kill "$keyring" 2>/dev/null || true
  wait "$keyring" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if ! gdbus wait --session --timeout 20 org.freedesktop.secrets; then
  echo "run_with_session_bus: the Secret Service did not start" >&2
  cat "$work/keyring.log" >&2
  exit 1
fi
# Tests that need the bus fail instead of skipping.
QUILLO_REQUIRE_SESSION_BUS=1 "$@"
