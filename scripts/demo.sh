#!/usr/bin/env bash
# The main job on a fresh machine: installs, builds, and reads the version of
# the sample program file the build makes, as the publish workflow does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build/bin/parone-deploy-cli version build/fixtures/sample64.exe
build/bin/parone-deploy-cli version --json build/fixtures/sample32.exe
