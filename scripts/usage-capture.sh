#!/usr/bin/env bash
# Prints the command sections of docs/USAGE.md from a real session against the development
# server (built binaries of the default preset; addresses shown as port 3000).
set -euo pipefail
cd "$(dirname "$0")/.."
q=$PWD/build/default/tools/quillo/quillo
s=$PWD/build/default/tools/devserver/quillo-devserver
work=$(mktemp -d "${TMPDIR:-/tmp}/quillo-usage-XXXXXX")
exec {fd}< <(exec "$s" --port 0 --exit-after 300 2>/dev/null)
pid=$!
trap 'kill $pid; rm -rf $work' EXIT
read -r -t 20 line <&$fd
url=${line#listening on }
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data TZ=UTC NO_COLOR=1
mkdir -p $HOME; cd $work
show() { # show CMD...: a fenced block with the command and its output
  local shown="$*"; shown=${shown//$url/http://127.0.0.1:3000}; shown=${shown//$work\//}
  printf '```\n$ quillo %s\n' "$shown"
  set +e; "$q" "$@" > out 2> err; local rc=$?; set -e
  sed "s#$work/##g; s#$url#http://127.0.0.1:3000#g" out err
  [[ $rc -ne 0 ]] && printf '(exit %d)\n' $rc
  printf '```\n\n'
}
id() { "$q" --json "$@" | jq -r .id; }
{
echo '### login'; printf '```\n$ quillo --server http://127.0.0.1:3000 login alice\nPassword: ••••••••\n'
echo alice-pass | "$q" --server "$url" login alice | sed "s#$url#http://127.0.0.1:3000#g"; printf '```\n\n'
echo '### whoami'; show whoami; show whoami --json
echo '### ls'; show ls; show ls 200 --json
echo '### stat'; show stat 102
echo '### volumes'; show volumes
echo '### mkdir'; show mkdir 0 reports; folder=$("$q" --json ls | jq -r '.entries[] | select(.name=="reports") | .id')
head -c $((12*1024*1024)) /dev/urandom > q3.bin
echo '### upload'; show upload q3.bin $folder; file=$("$q" --json ls $folder | jq -r '.entries[0].id')
head -c $((3*1024*1024)) /dev/urandom > q3-fixed.bin
show upload q3-fixed.bin --replace $file --json
echo '### rename'; show rename $file q3-final.bin
echo '### mv'; archive=$(id mkdir 0 archive); show mv $file $archive
echo '### search'; show search q3; show search report --limit 2 --json
echo '### download'; show download $file; show download $file copy.bin --json
echo '### rm'; show rm $file
echo '### events'; show events --json 2>/dev/null >/dev/null; show events
printf '`--follow` prints the latest window, then each new event as it comes, until Ctrl-C (here after 2 seconds):\n\n'
printf '```\n$ quillo events --follow --json    # Ctrl-C after 2 s\n'
set +e; timeout --preserve-status -s INT 2 "$q" events --follow --json | tail -n 2; echo "(exit ${PIPESTATUS[0]})"; set -e; printf '```\n\n'
echo '### export-log'; show export-log support.log
echo '### Exit codes'; show rename 0 mine; show upload missing.bin 0; show ls --limit 0
echo '### logout'; show logout; show whoami
}
