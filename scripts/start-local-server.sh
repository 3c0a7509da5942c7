#!/usr/bin/env bash
# Starts the local distribution server (FTP and HTTP on 127.0.0.1) in the
# background with a fresh home folder and prints "FTP_PORT HTTP_PORT PID".
#   scripts/start-local-server.sh HOME [extra server options]
# The server stops when the caller's shell ends (it watches a pipe held open
# by a background sleep tied to the caller's process id).
set -euo pipefail
home=$1; shift
root="$(cd "$(dirname "$0")/.." && pwd)"
rm -rf "$home"; mkdir -p "$home"
fifo="$home.ready"; rm -f "$fifo"; mkfifo "$fifo"
caller=$PPID
# stdin of the server: a pipe that closes when the caller is gone.
( while kill -0 "$caller" 2>/dev/null; do sleep 1; done ) |
  /usr/bin/python3 "$root/tools/dist_server.py" --home "$home" --exit-on-stdin-eof "$@" >"$fifo" &
read -r line <"$fifo"; rm -f "$fifo"
# With --tls DIR the line goes on with " ca=DIR/ca.pem".
ftp=$(sed -n 's/^READY ftp=\([0-9]*\) http=\([0-9]*\)\( .*\)\?$/\1/p' <<<"$line")
http=$(sed -n 's/^READY ftp=\([0-9]*\) http=\([0-9]*\)\( .*\)\?$/\2/p' <<<"$line")
[[ -n $ftp && -n $http ]] || { echo "local server did not start: $line" >&2; exit 1; }
echo "$ftp $http $!"
