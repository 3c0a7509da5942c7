#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds, starts
# the local distribution server (FTP over TLS only), and publishes the sample
# program file into it with the command-line front end; then reads the
# lastver file back over HTTP as the update check does.
#   scripts/demo.sh           publish unsigned
#   scripts/demo.sh --sign    also start the reference signing service and
#                             publish a signed copy (checked with osslsigncode)
set -euo pipefail
sign=${1:-}
cd "$(dirname "$0")/.."
# Only what the demo runs: the two programs and the sample program files
# (the tests are built by scripts/test.sh).
bash scripts/build.sh parone-deploy-cli parone-deploy pe_fixtures

home=/tmp/parone-demo-server
# FTP over TLS with a CA of its own (made once in $tls), as a company server
# with its own CA would be; the programs trust that CA through
# PARONE_DEPLOY_CA_FILE and reach the server by the name its certificate has.
tls=/tmp/parone-demo-tls
read -r ftp http pid < <(bash scripts/start-local-server.sh "$home" --tls "$tls" --tls-required)
trap 'kill $pid 2>/dev/null || true' EXIT
echo "local distribution server: ftps=localhost:$ftp http=localhost:$http (home $home, CA $tls/ca.pem)"
export PARONE_DEPLOY_CA_FILE=$tls/ca.pem
# The programs have no password built in: the demo server's account
# password comes through the environment (a user keeps hers with
# "parone-deploy-cli login" or the window's password dialog instead).
export PARONE_DEPLOY_FTP_PASSWORD='Demo#Only-Server1'
server=localhost:$ftp:$http

# A copy of the sample, since signing replaces the local file.
work=/tmp/parone-demo-files; rm -rf "$work"; mkdir -p "$work"
sample="$work/sample64.exe"
cp build/fixtures/sample64.exe "$sample"

signing=()
if [[ $sign == --sign ]]; then
  export PARONE_DEPLOY_SIGNING_DIR=/tmp/parone-demo-signing
  rm -rf "$PARONE_DEPLOY_SIGNING_DIR"
  coproc SIGNER { exec /usr/bin/python3 tools/signing_service.py \
    --unsigned "$PARONE_DEPLOY_SIGNING_DIR/unsigned" --signed "$PARONE_DEPLOY_SIGNING_DIR/signed" \
    --state "$PARONE_DEPLOY_SIGNING_DIR/state" --exit-on-stdin-eof; }
  read -r ready <&"${SIGNER[0]}"
  cert=${ready#READY cert=}
  trap 'kill $pid $SIGNER_PID 2>/dev/null || true' EXIT
  echo "signing service: $PARONE_DEPLOY_SIGNING_DIR (certificate $cert)"
  signing=(--sign --sign-timeout 60)
fi

build/bin/parone-deploy-cli version "$sample"
build/bin/parone-deploy-cli check --server "$server" "$sample" || true
build/bin/parone-deploy-cli publish "${signing[@]}" --require-tls --server "$server" "$sample"
build/bin/parone-deploy-cli check --server "$server" "$sample" || true
if [[ $sign == --sign ]]; then
  osslsigncode verify -CAfile "$cert" -in "$home/public_html/download/"*/sample64.exe | tail -1
fi

# The web path of the upload folder, in code page 949 and percent-encoded.
url="http://localhost:$http/download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/sample64_lastver.txt"
printf 'server records build: %s\n' "$(curl -s "$url" | tr -d '\r')"
ls -l "$home/public_html/download/"*/
