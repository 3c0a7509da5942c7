#!/bin/sh
# Runs a command that shows Windows windows under wine: on a display of its
# own (Xvfb through xvfb-run -a) with a wineserver of its own for a wine
# prefix kept for windows, both ended when the command has ended.
#   wine_gui_session.sh PREFIX [--screen WxH] [--dpi N] -- COMMAND...
# The display is WxH (default 1024x768, the size of wine's desktop in it;
# "explorer /desktop=Default,WxH PROGRAM" gives the desktop another size).
# --dpi N runs COMMAND with wine's screen at N dots per inch (Windows'
# scaling: 144 is 150 %) and puts the prefix back to 96 afterwards.
# COMMAND finds WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES and DISPLAY set.
# Wine binds its desktop to the display of the process that starts it, so
# windows need a session whose wineserver started under a display; the
# GUI-free tests' session has none. Runs on one prefix take turns (a lock
# beside it). Exits with COMMAND's status.
#
# The prefix is made on first use and set up so that Korean shows: wine's
# Tahoma (the UI font) and Marlett (the title bar's buttons) in its Fonts
# folder, and Hangul linked to Tahoma from Noto Sans CJK KR, as Windows
# links its Korean font to the UI font.
set -eu
prefix=$1
shift
screen=1024x768
dpi=96
while [ "${1:-}" = --screen ] || [ "${1:-}" = --dpi ]; do
  if [ "$1" = --screen ]; then screen=$2; else dpi=$2; fi
  shift 2
done
[ "${1:-}" = -- ] && shift
wine64=${PARONE_WINE64:-/usr/lib/wine/wine64}
wineserver=${PARONE_WINESERVER:-/usr/lib/wine/wineserver}
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
unset DISPLAY

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.parone-windows-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  "$wine64" wineboot --init </dev/null >/dev/null 2>&1
  cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
  "$wine64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v Tahoma /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK KR' /f </dev/null >/dev/null 2>&1
  # Every window inside one virtual desktop that wine draws itself, frames
  # included, as on Windows: with no window manager on the display, wine
  # would otherwise wait for one at every window it hides.
  "$wine64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  "$wine64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
    </dev/null >/dev/null 2>&1
  "$wineserver" -w
  touch "$prefix/.parone-windows-ready"
fi

# The wineserver goes with the display: it and whatever wine process is
# left (the desktop's explorer, the services) end before Xvfb does. Those
# keep the standard streams of the program that started them, so a caller
# that reads a wine program's output through a pipe sees its end only then.
xvfb-run -a -s "-screen 0 ${screen}x24 -dpi 96 -nolisten tcp" sh -c '
  wine64=$1 wineserver=$2 dpi=$3
  shift 3
  setdpi() {
    "$wine64" reg add "HKCU\Control Panel\Desktop" /v LogPixels /t REG_DWORD /d "$1" /f \
      </dev/null >/dev/null 2>&1
  }
  [ "$dpi" = 96 ] || setdpi "$dpi"
  status=0
  "$@" || status=$?
  [ "$dpi" = 96 ] || setdpi 96
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  exit $status' sh "$wine64" "$wineserver" "$dpi" "$@" 9>&-
