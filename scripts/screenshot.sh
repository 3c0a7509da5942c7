#!/usr/bin/env bash
# Takes a screenshot of the window under Xvfb into docs/window.png (or the
# given file), with an empty settings store and a few recent files.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/window.png}
bash scripts/install-deps.sh
[[ -x build/bin/parone-deploy ]] || bash scripts/build.sh
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
