# Shared by the install and test commands: installs missing Debian packages.
PYTHON=${PYTHON:-python3}
APT_UPDATED=0

ensure_debian_packages() {
  local missing=()
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing Debian packages: ${missing[*]}"
  if [ "$APT_UPDATED" -eq 0 ]; then
    apt-get update -qq
    APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# What the extension module needs to build.
BUILD_PACKAGES=(g++ libasio-dev libfmt-dev libssl-dev)
