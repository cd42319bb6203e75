#!/usr/bin/env bash
# The main job: a scripted session of the quillo client against the development server on
# loopback, in a home folder of its own that is removed at the end. Each step shows its
# command and what it printed; the first step that fails ends the session non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh default quillo quillo-devserver

quillo_bin=$PWD/build/default/tools/quillo/quillo
server_bin=$PWD/build/default/tools/devserver/quillo-devserver
work=$(mktemp -d "${TMPDIR:-/tmp}/quillo-demo-XXXXXX")
server_pid=

finish() {
  local status=$?
  if [[ -n "$server_pid" ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  if [[ $status -ne 0 ]]; then echo "demo: FAILED (exit $status)" >&2; fi
  exit "$status"
}
trap finish EXIT

# A free port of the server's choosing, read from its first line; it stops by itself
# after ten minutes should this script die without its trap.
exec {server_out}< <(exec "$server_bin" --port 0 --exit-after 600 2>"$work/server.log")
server_pid=$!
read -r -t 20 first_line <&"$server_out" || { echo "demo: the development server did not start" >&2; exit 1; }
server_url=${first_line#listening on }
echo "Development server: $server_url (request log: one line per request, not shown)"

# Isolated: the sign-in, settings and upload journal live under $work only. Without a
# session bus the sign-in goes to the file store there, not to the desktop's keyring.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data
export XDG_CACHE_HOME=$work/home/cache XDG_STATE_HOME=$work/home/state XDG_RUNTIME_DIR=$work/run
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$HOME"
mkdir -m 0700 "$XDG_RUNTIME_DIR"

# step TITLE ARGS...: shows the command, runs it, indents its output.
step() {
  local title=$1
  shift
  printf '\n== %s\n$ quillo %s\n' "$title" "$*"
  "$quillo_bin" "$@" > "$work/out" || { echo "demo: step \"$title\" failed" >&2; exit 1; }
  sed 's/^/  /' "$work/out"
}
# json ARGS...: like step, but keeps the JSON answer in $work/out for jq.
json_step() {
  local title=$1
  shift
  printf '\n== %s\n$ quillo --json %s\n' "$title" "$*"
  "$quillo_bin" --json "$@" > "$work/out" || { echo "demo: step \"$title\" failed" >&2; exit 1; }
  jq -c . "$work/out" | sed 's/^/  /'
}

printf '\n== Sign in as the seeded user alice (password from standard input)\n$ echo ... | quillo --server %s login alice\n' "$server_url"
echo alice-pass | "$quillo_bin" --server "$server_url" login alice | sed 's/^/  /'
step "Who am I" whoami
step "The personal folder" ls
step "Project volumes" volumes
step "Inside the Design volume" ls 200

json_step "A folder for the demo" mkdir 0 demo
folder=$(jq -r .id "$work/out")

# 20 MiB: three parts of the Uploader's 8 MiB (the server takes parts up to 64 MiB).
head -c $((20 * 1024 * 1024)) /dev/urandom > "$work/demo.bin"
json_step "Upload 20 MiB (parts sent 4 at a time; Ctrl-C keeps what was sent for a rerun)" upload "$work/demo.bin" "$folder"
file=$(jq -r .id "$work/out")
step "Look at it" stat "$file"
step "Rename it" rename "$file" report-2024.bin
json_step "A second folder" mkdir 0 archive
archive=$(jq -r .id "$work/out")
step "Move it there" mv "$file" "$archive"
step "Search by the new name" search report-2024
step "Download it" download "$file" "$work/copy.bin"
printf '\n== Compare checksums\n'
sent=$(sha256sum < "$work/demo.bin" | cut -d' ' -f1)
received=$(sha256sum < "$work/copy.bin" | cut -d' ' -f1)
printf '  sent      %s\n  received  %s\n' "$sent" "$received"
[[ "$sent" == "$received" ]] || { echo "demo: the downloaded file differs" >&2; exit 1; }
step "Recent activity" events
step "Move it to the trash" rm "$file"
step "Export this run's log" export-log "$work/quillo.log"
step "Sign out" logout
printf '\nDemo finished: every step succeeded.\n'
