#!/usr/bin/env bash
# Publishes to a real FTPS server, as a company would run one: vsftpd on
# 127.0.0.1, TLS only (logins and data), with a certificate from a CA of the
# company's own. Shows that
#   1. a publish with that CA given (PARONE_DEPLOY_CA_FILE) goes through;
#   2. a server whose certificate no trusted CA issued is refused before the
#      login: vsftpd's log shows no USER or PASS from that attempt;
#   3. without any password (and no terminal) nothing is sent at all.
#   scripts/check-vsftpd-tls.sh        (as root: it installs vsftpd with
#                                      apt-get and adds the account sdc1 for
#                                      the check, removed again afterwards)
# Not part of the test suites, for the root it needs. Builds the command
# line first (build/bin/parone-deploy-cli).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[[ $(id -u) == 0 ]] || { echo "needs root: it runs vsftpd and adds a user for it" >&2; exit 2; }
if id sdc1 >/dev/null 2>&1; then
  echo "a user sdc1 exists already; this check adds and removes its own" >&2
  exit 2
fi
command -v vsftpd >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q vsftpd >/dev/null
bash scripts/build.sh parone-deploy-cli pe_fixtures >/dev/null

work=$(mktemp -d /tmp/parone-vsftpd-XXXXXX)
# vsftpd changes into the account's home below it as that user.
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  userdel sdc1 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# --- the company CA, the server's certificate, and one no CA issued -----------
cd "$work"
openssl req -x509 -new -newkey rsa:2048 -noenc -days 30 -subj "/CN=Company CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl req -new -newkey rsa:2048 -noenc -subj "/CN=localhost" -keyout server.key -out server.csr 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -set_serial 2 -days 30 \
  -extfile server.ext -out server.pem 2>/dev/null
openssl req -x509 -new -newkey rsa:2048 -noenc -days 30 -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" -keyout rogue.key -out rogue.pem 2>/dev/null

# --- the account and its folder, served over HTTP as well ----------------------
password=$(openssl rand -hex 12)
useradd --no-create-home --home-dir "$work/home" --shell /bin/bash sdc1
echo "sdc1:$password" | chpasswd
mkdir -p "$work/home"
# The HTTP side of the project's test server reads the same folder, for the
# version check and the read-back; its own FTP side is not used.
coproc WEB { exec /usr/bin/python3 "$root/tools/dist_server.py" --home "$work/home" --exit-on-stdin-eof 2>/dev/null; }
pids+=("$WEB_PID")
read -r ready <&"${WEB[0]}"
http=$(sed -n 's/^READY ftp=[0-9]* http=\([0-9]*\).*/\1/p' <<<"$ready")
chown -R sdc1 "$work/home"

# --- vsftpd: TLS only, no TLS session reuse asked of the data connections ------
start_vsftpd() {  # NAME CERT KEY PORT
  cat >"$work/$1.conf" <<EOF
listen=YES
listen_address=127.0.0.1
listen_port=$4
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$(($4 + 1))
pasv_max_port=$(($4 + 20))
ssl_enable=YES
force_local_logins_ssl=YES
force_local_data_ssl=YES
require_ssl_reuse=NO
ssl_tlsv1=YES
ssl_sslv2=NO
ssl_sslv3=NO
rsa_cert_file=$work/$2
rsa_private_key_file=$work/$3
pam_service_name=vsftpd
secure_chroot_dir=/var/run/vsftpd/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
xferlog_enable=YES
xferlog_std_format=NO
log_ftp_protocol=YES
vsftpd_log_file=$work/$1.log
EOF
  vsftpd "$work/$1.conf" &
  pids+=("$!")
  for _ in $(seq 50); do
    (exec 9<>"/dev/tcp/127.0.0.1/$4") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "vsftpd did not start on port $4" >&2
  exit 1
}
mkdir -p /var/run/vsftpd/empty
port=$((20000 + RANDOM % 20000))
start_vsftpd company server.pem server.key "$port"
start_vsftpd rogue rogue.pem rogue.key "$((port + 100))"

cp "$root/build/fixtures/sample64.exe" "$work/sample64.exe"
export XDG_CONFIG_HOME=$work/config  # the tool's settings, away from the user's
cli="$root/build/bin/parone-deploy-cli"
status=0

echo "1. publish with the company CA to vsftpd (TLS only) on localhost:$port"
if PARONE_DEPLOY_FTP_PASSWORD=$password PARONE_DEPLOY_CA_FILE=$work/ca.pem \
     "$cli" publish --require-tls --server "localhost:$port:$http" "$work/sample64.exe" </dev/null; then
  url="http://127.0.0.1:$http/download/%C0%DA%B5%BF%BE%F7%B5%A5%C0%CC%C6%AE_v1/sample64_lastver.txt"
  echo "   published; the server records build $(curl -s "$url" | tr -d '\r')"
  grep -o 'FTP command: Client "127.0.0.1", "\(AUTH\|PBSZ\|PROT\|USER\)[^"]*"' "$work/company.log" |
    sed 's/^/   vsftpd: /' | head -4
else
  echo "   FAILED: the publish did not go through" >&2
  status=1
fi

echo "2. the same with a certificate no trusted CA issued (localhost:$((port + 100)))"
set +e
out=$(PARONE_DEPLOY_FTP_PASSWORD=$password PARONE_DEPLOY_CA_FILE=$work/ca.pem \
        "$cli" publish --yes --server "localhost:$((port + 100)):$http" "$work/sample64.exe" 2>&1 </dev/null)
code=$?
set -e
echo "$out" | grep -A4 '서버 접속 실패' | sed 's/^/   /'
if ((code == 0)); then
  echo "   FAILED: published to a server with an untrusted certificate" >&2
  status=1
elif grep -q 'FTP command: Client "127.0.0.1", "\(USER\|PASS\)' "$work/rogue.log"; then
  echo "   FAILED: the account reached the server before the refusal" >&2
  status=1
else
  echo "   refused (exit $code); vsftpd's log shows no USER or PASS from it"
fi

echo "3. no password anywhere, no terminal"
before=$(grep -c 'FTP command' "$work/company.log")
set +e
out=$(PARONE_DEPLOY_CA_FILE=$work/ca.pem HOME=$work \
        "$cli" publish --yes --server "localhost:$port:$http" "$work/sample64.exe" 2>&1 </dev/null)
code=$?
set -e
echo "   $out (exit $code)"
if ((code != 2)); then
  echo "   FAILED: expected exit 2" >&2
  status=1
fi
after=$(grep -c 'FTP command' "$work/company.log")
((before == after)) || { echo "   FAILED: something reached vsftpd" >&2; status=1; }
exit $status
