#!/bin/sh
# Starts or stops the wineserver that a run of the Windows tests shares.
#   wine_session.sh start|stop PREFIX WINE64 WINESERVER
# start makes the wine prefix when it is missing (wineboot) and leaves a
# persistent wineserver for it, which ends by itself 60 s after its last
# client if stop never comes; stop ends it at once.
set -eu
action=$1
export WINEPREFIX=$2 WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
wine64=$3
wineserver=$4
case $action in
  start)
    mkdir -p "$WINEPREFIX"
    # Its own output and standard streams closed, so that whoever started
    # this script (CTest) is not kept waiting on its pipes. One that is
    # already running for the prefix (a run cut short) serves as well.
    "$wineserver" -p60 </dev/null >/dev/null 2>&1 || true
    "$wine64" wineboot --init </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX WINE64 WINESERVER" >&2
    exit 2
    ;;
esac
