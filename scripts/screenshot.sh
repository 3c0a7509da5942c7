#!/usr/bin/env bash
# Takes screenshots of the window under Xvfb, each with a few recent files:
# the Linux (Qt) window into docs/window.png and the Windows (Win32) window
# under wine into docs/window-windows.png (or the two files given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/window.png}
out_windows=${2:-docs/window-windows.png}
bash scripts/install-deps.sh
[[ -x build/bin/parone-deploy ]] || bash scripts/build.sh
[[ -f build-windows/bin/parone-deploy.exe ]] || bash scripts/build-windows.sh

config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
cat > "$config/파로네_배포.ini" <<'INI'
[RecentFiles]
1=/home/build/out/Parone.Setup.exe
2=/home/build/out/ParoneUpdater.exe
INI
# A window manager draws the title bar, so the caption shows as a user sees it.
XDG_CONFIG_HOME=$config xvfb-run -a -s "-screen 0 1000x260x24 -dpi 96" bash -c '
  openbox & wm=$!
  sleep 1
  build/bin/parone-deploy & app=$!
  sleep 3
  import -window root "'"$out"'"
  kill $app $wm' >/dev/null 2>&1
echo "wrote $out"

# Under wine the window sits in wine's desktop (1024 by 768), which draws
# the frame and title bar as Windows does; the picture is the middle
# 1000 by 260 of it, where the window is centred. A prefix of its own, so
# the recent files stay out of the tests' registry.
recent='HKCU\Software\VB and VBA Program Settings\파로네_배포\RecentFiles'
sh tools/wine_gui_session.sh "$PWD/build-windows/wine-screenshot" -- bash -c '
  wine64=/usr/lib/wine/wine64
  "$wine64" reg add "$1" /v 1 /d "D:\\Build\\Out\\Parone.Setup.exe" /f
  "$wine64" reg add "$1" /v 2 /d "D:\\Build\\Out\\ParoneUpdater.exe" /f
  "$wine64" build-windows/bin/parone-deploy.exe & app=$!
  sleep 4
  import -window root -crop 1000x260+12+254 +repage "$2"
  kill $app' sh "$recent" "$out_windows" >/dev/null 2>&1
echo "wrote $out_windows"
