#!/usr/bin/env bash
# Takes screenshots of the window under Xvfb, each with a few recent files:
# the Linux (Qt) window into docs/window.png and the Windows (Win32) window
# under wine into docs/window-windows.png (or the two files given), and each
# of them during an upload into the same names with "-upload" before ".png".
# The uploads go to a local server that takes their data slowly, driven by
# keyboard as a user would: the path typed, 전자서명 추가 unticked, Enter.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/window.png}
out_windows=${2:-docs/window-windows.png}
out_upload=${out%.png}-upload.png
out_windows_upload=${out_windows%.png}-upload.png
bash scripts/install-deps.sh
[[ -x build/bin/parone-deploy ]] || bash scripts/build.sh
[[ -f build-windows/bin/parone-deploy.exe ]] || bash scripts/build-windows.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
config=$work/config
mkdir -p "$config"
cat > "$config/파로네_배포.ini" <<'INI'
[RecentFiles]
1=/home/build/out/Parone.Setup.exe
2=/home/build/out/ParoneUpdater.exe
INI

# The file to upload: a sample program grown to 64 MiB, and a server that
# takes about 4 MiB a second of it, so the picture catches the bar part way.
program=$work/Parone.Setup.exe
cp build/fixtures/sample64.exe "$program"
head -c $((64 * 1024 * 1024)) /dev/urandom >>"$program"
read -r ftp http pid < <(bash scripts/start-local-server.sh "$work/home" --upload-rate 4194304)
trap 'kill $pid 2>/dev/null || true; rm -rf "$work"' EXIT
server="127.0.0.1:$ftp:$http"

# The upload is started as a user would: the path typed into the selection
# (which has the focus), 전자서명 추가 (last in the focus order) unticked,
# Enter.
# A window manager draws the title bar, so the caption shows as a user sees it.
XDG_CONFIG_HOME=$config PARONE_DEPLOY_SERVER=$server \
  xvfb-run -a -s "-screen 0 1000x260x24 -dpi 96" bash -c '
  openbox & wm=$!
  sleep 1
  build/bin/parone-deploy & app=$!
  sleep 3
  import -window root "$1"
  xdotool type --delay 5 "$3"
  xdotool key --delay 50 shift+Tab space Return
  sleep 3
  import -window root "$2"
  kill $app $wm' sh "$out" "$out_upload" "$program" >/dev/null 2>&1
echo "wrote $out and $out_upload"

# Under wine the window sits in wine's desktop (1024 by 768), which draws
# the frame and title bar as Windows does; the picture is the middle
# 1000 by 260 of it, where the window is centred. A prefix of its own, so
# the recent files stay out of the tests' registry.
recent='HKCU\Software\VB and VBA Program Settings\파로네_배포\RecentFiles'
PARONE_DEPLOY_SERVER=$server sh tools/wine_gui_session.sh "$PWD/build-windows/wine-screenshot" -- bash -c '
  wine64=/usr/lib/wine/wine64
  "$wine64" reg add "$1" /v 1 /d "D:\\Build\\Out\\Parone.Setup.exe" /f
  "$wine64" reg add "$1" /v 2 /d "D:\\Build\\Out\\ParoneUpdater.exe" /f
  "$wine64" build-windows/bin/parone-deploy.exe & app=$!
  sleep 4
  import -window root -crop 1000x260+12+254 +repage "$2"
  xdotool type --delay 5 "Z:${4//\//\\}"
  xdotool key --delay 50 shift+Tab space Return
  sleep 4
  import -window root -crop 1000x260+12+254 +repage "$3"
  kill $app' sh "$recent" "$out_windows" "$out_windows_upload" "$program" >/dev/null 2>&1
echo "wrote $out_windows and $out_windows_upload"
