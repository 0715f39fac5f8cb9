#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need.
# Quiet and idempotent: apt-get runs only when something is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config ccache git python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libsqlite3-dev sqlite3 zlib1g-dev libssl-dev openssl
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev
  rapidjson-dev socat xvfb xauth imagemagick tmux
  tzdata locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
