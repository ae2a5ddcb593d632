# Shared by the install and test commands: the Debian packages, the choice of
# the interpreter that receives the package, and the package's own build.
APT_UPDATED=0
PROJECT_VENV=$PWD/.venv

ensure_debian_packages() {
  local missing=()
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== Installing Debian packages: ${missing[*]}"
  if [ "$APT_UPDATED" -eq 0 ]; then
    apt-get update -qq
    APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# What the extension module needs to build.
BUILD_PACKAGES=(g++ libasio-dev libfmt-dev libssl-dev)

# One line each: the executable, its real path, whether it runs in a virtual
# environment, whether it is externally managed (PEP 668), whether its C
# headers and its venv module with ensurepip are there, and the Debian name
# those come under (python3-dev for Debian's default python3, python3.X-dev
# for another version).
PYTHON_FACTS='
import importlib.util, os, sys, sysconfig
real = os.path.realpath(sys.executable)
print(sys.executable)
print(real)
print(int(sys.prefix != sys.base_prefix))
print(int(os.path.exists(os.path.join(sysconfig.get_path("stdlib"), "EXTERNALLY-MANAGED"))))
print(int(os.path.exists(os.path.join(sysconfig.get_path("include"), "Python.h"))))
print(int(all(importlib.util.find_spec(name) for name in ("venv", "ensurepip"))))
print("python3" if real == os.path.realpath("/usr/bin/python3") else f"python3.{sys.version_info[1]}")
'

# Installs the Debian packages given and those the interpreter lacks, then
# sets PYTHON to the interpreter that receives the package: PYTHON (python3
# by default) itself when it is a virtual environment or takes installs,
# otherwise the project's virtual environment made from it, so that nothing
# lands in a distribution's interpreter. Its scripts directory goes first on
# PATH: the cmake, ninja and pytest that pip installs there are the ones run.
setup_environment() {
  local requested=${PYTHON:-python3} text
  if ! text=$("$requested" -c "$PYTHON_FACTS"); then
    echo "cannot run the interpreter $requested (set PYTHON to choose another)" >&2
    exit 1
  fi
  local executable real in_venv managed headers venv_module debian_name
  { read -r executable; read -r real; read -r in_venv; read -r managed; read -r headers; read -r venv_module
    read -r debian_name; } <<<"$text"
  local packages=("$@") why=""
  if [ "$in_venv" = 0 ]; then
    if [ "$managed" = 1 ]; then
      why="is externally managed"
    elif ! "$executable" -m pip --version >/dev/null 2>&1; then
      why="has no pip"
    fi
  fi
  if dpkg -S "$real" >/dev/null 2>&1; then
    [ "$headers" = 1 ] || packages+=("$debian_name-dev")
    [ -z "$why" ] || [ "$venv_module" = 1 ] || packages+=("$debian_name-venv")
  fi
  ensure_debian_packages "${packages[@]}"
  if [ -z "$why" ]; then
    PYTHON=$executable
    echo "== Using the interpreter $PYTHON"
  elif [ "$(realpath -q "$PROJECT_VENV/bin/python")" = "$real" ] \
    && "$PROJECT_VENV/bin/python" -m pip --version >/dev/null 2>&1; then
    PYTHON=$PROJECT_VENV/bin/python
    echo "== Using the project's virtual environment .venv (the interpreter $executable $why)"
  else
    echo "== Making a virtual environment for the project in .venv (the interpreter $executable $why)"
    "$executable" -m venv --clear "$PROJECT_VENV"
    PYTHON=$PROJECT_VENV/bin/python
  fi
  PATH=$("$PYTHON" -c 'import sysconfig; print(sysconfig.get_path("scripts"))'):$PATH
}

pip_install() {
  echo "== Installing Python packages into $PYTHON: $*"
  "$PYTHON" -m pip install --quiet "$@"
}

install_package() {
  echo "== Building the extension module (C++; takes about 1 to 3 minutes) and installing ovik_sdk ..."
  local start=$SECONDS
  "$PYTHON" -m pip install --quiet .
  echo "== Built and installed in $((SECONDS - start)) s"
}
