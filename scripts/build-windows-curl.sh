#!/usr/bin/env bash
# Builds libcurl for the Windows program: a static library for
# x86_64-w64-mingw32 with Schannel (Windows' own TLS) and only FTP and HTTP,
# from Debian's own curl source package of the same version as the Linux
# build's libcurl. Debian ships no MinGW libcurl.
#   scripts/build-windows-curl.sh [PREFIX]     (default build-windows/curl)
# The result lands in PREFIX/install and is kept: a later run with the same
# source version and options does nothing.
#
# The source comes through apt-get with a private source list made from the
# machine's configured Debian sources (deb lines turned into deb-src) and a
# private list folder, so the machine's apt configuration stays untouched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix=$(realpath -m "${1:-$root/build-windows/curl}")
jobs=${PARONE_JOBS:-2}

package=$(dpkg-query -W -f='${source:Package}' libcurl4-openssl-dev)
version=$(dpkg-query -W -f='${source:Version}' libcurl4-openssl-dev)

# Switches of the curl build; any change of them or of the version rebuilds.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF
  -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF
  -DENABLE_UNIX_SOCKETS=OFF
  -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON
  -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_POP3=ON
  -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON -DCURL_DISABLE_SMTP=ON -DCURL_DISABLE_TELNET=ON
  -DCURL_DISABLE_TFTP=ON
)
stamp="$package $version ${options[*]}"
if [[ -f $prefix/install/stamp && $(cat "$prefix/install/stamp") == "$stamp" ]]; then
  exit 0
fi
echo "building libcurl $version for Windows into $prefix (once)"
started=$SECONDS
rm -rf "$prefix"
mkdir -p "$prefix"/apt/{sources.list.d,lists/partial,cache/archives/partial} "$prefix/src"

# --- the private source list -------------------------------------------------
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
to_src() {  # one-line format: deb [options] URI SUITE COMPONENTS...
  awk -v codename="$codename" '
    $1 == "deb" && $0 ~ ("[ \t]" codename "([-/][^ \t]*)?[ \t]") { $1 = "deb-src"; print }' "$@"
}
to_src_deb822() {  # paragraphs with Types:, Suites:, ...
  awk -v codename="$codename" '
    function flush() {
      if (para != "" && types ~ /(^|[ \t])deb([ \t]|$)/ && suites ~ ("(^|[ \t])" codename "([-/][^ \t]*)?([ \t]|$)") && enabled !~ /no/)
        printf "%s\n", para
      para = ""; types = ""; suites = ""; enabled = ""
    }
    /^[ \t]*$/ { flush(); next }
    /^Types:/ { types = $0; sub(/^Types:/, "", types); para = para "Types: deb-src\n"; next }
    /^Suites:/ { suites = $0 }
    /^Enabled:/ { enabled = $0 }
    { para = para $0 "\n" }
    END { flush() }' "$@"
}
shopt -s nullglob
{
  [[ -f /etc/apt/sources.list ]] && to_src /etc/apt/sources.list
  for f in /etc/apt/sources.list.d/*.list; do to_src "$f"; done
} > "$prefix/apt/sources.list"
n=0
for f in /etc/apt/sources.list.d/*.sources; do
  to_src_deb822 "$f" > "$prefix/apt/sources.list.d/$((n++)).sources"
done
if ! grep -qs deb-src "$prefix/apt/sources.list" "$prefix"/apt/sources.list.d/*.sources; then
  echo "no Debian $codename source configured in /etc/apt" >&2
  exit 1
fi

apt_private=(
  -o "Dir::Etc::SourceList=$prefix/apt/sources.list"
  -o "Dir::Etc::SourceParts=$prefix/apt/sources.list.d"
  -o "Dir::State::Lists=$prefix/apt/lists"
  -o "Dir::Cache=$prefix/apt/cache"
)
# Root downloads into a folder the sandbox user cannot write to.
[[ $(id -u) -eq 0 ]] && apt_private+=(-o APT::Sandbox::User=root)
apt-get -qq "${apt_private[@]}" update
(cd "$prefix/src" && apt-get -qq "${apt_private[@]}" source --download-only "$package=$version")
(cd "$prefix/src" && dpkg-source --no-check -x ./*.dsc curl >/dev/null)

# --- configure, build, install ------------------------------------------------
cmake -S "$prefix/src/curl" -B "$prefix/build" -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix/install" "${options[@]}" >"$prefix/configure.log" 2>&1
cmake --build "$prefix/build" -j"$jobs" >"$prefix/build.log" 2>&1
cmake --install "$prefix/build" >/dev/null
# The installed library and its CMake package are all the build needs.
rm -rf "$prefix/build" "$prefix/src" "$prefix/apt"
echo "$stamp" > "$prefix/install/stamp"
echo "libcurl $version for Windows built in $((SECONDS - started)) s"
