#!/usr/bin/env bash
# Installs the build dependencies and the ovik_sdk package.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

ensure_debian_packages "${BUILD_PACKAGES[@]}"
"$PYTHON" -m pip install --quiet .
