#!/usr/bin/env bash
# Makes dist/parone-deploy-<version>-win64.zip for a Windows user: one
# folder with parone-deploy.exe (the window), parone-deploy-cli.exe (the
# command line), the empty temp folder the uploads write their lastver
# files into, and README.txt in Korean and English. Builds what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build-windows.sh
version=$(sed -n 's/^project(parone-deploy VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=parone-deploy-$version-win64
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/temp" dist
# Without the debugging information the build keeps for the tests.
for program in parone-deploy parone-deploy-cli; do
  x86_64-w64-mingw32-strip -o "$stage/$name/$program.exe" "build-windows/bin/$program.exe"
done
# Notepad reads UTF-8 reliably with a byte order mark, and lines end in CR LF.
{
  printf '\xEF\xBB\xBF'
  sed -e "s/@VERSION@/$version/" -e 's/$/\r/' app/windows/package-readme.txt
} > "$stage/$name/README.txt"
rm -f "dist/$name.zip"
(cd "$stage" && /usr/bin/python3 -m zipfile -c "$OLDPWD/dist/$name.zip" "$name")
echo "wrote dist/$name.zip"
