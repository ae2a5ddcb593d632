#!/usr/bin/env bash
# Installs the build dependencies and the ovik_sdk package.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

setup_environment "${BUILD_PACKAGES[@]}"
install_package
# Asked of the interpreter itself, isolated from the working directory and
# PYTHONPATH, so the path shown is where imports really find the module.
module=$("$PYTHON" -I -c 'import ovik_sdk.main_mod as m; print(m.__file__)')
echo "ovik_sdk installed into $PYTHON (the module is $module):"
echo "run \`$PYTHON -c \"import ovik_sdk.main_mod\"\`"
if [ "$PYTHON" = "$PROJECT_VENV/bin/python" ]; then
  echo "or \`source $PROJECT_VENV/bin/activate\`, then \`python -c \"import ovik_sdk.main_mod\"\`"
fi
