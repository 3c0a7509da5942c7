#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds, starts
# the local distribution server, and publishes the sample program file into
# it with the command-line front end; then reads the lastver file back over
# HTTP as the update check does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh

home=/tmp/parone-demo-server
read -r ftp http pid < <(bash scripts/start-local-server.sh "$home")
trap 'kill $pid 2>/dev/null || true' EXIT
echo "local distribution server: ftp=127.0.0.1:$ftp http=127.0.0.1:$http (home $home)"

build/bin/parone-deploy-cli version build/fixtures/sample64.exe
build/bin/parone-deploy-cli check --server "127.0.0.1:$ftp:$http" build/fixtures/sample64.exe || true
build/bin/parone-deploy-cli publish --server "127.0.0.1:$ftp:$http" build/fixtures/sample64.exe
build/bin/parone-deploy-cli check --server "127.0.0.1:$ftp:$http" build/fixtures/sample64.exe || true

# The web path of the upload folder, in code page 949 and percent-encoded.
url="http://127.0.0.1:$http/download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/sample64_lastver.txt"
printf 'server records build: %s\n' "$(curl -s "$url" | tr -d '\r')"
ls -l "$home/public_html/download/"*/
