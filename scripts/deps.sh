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
  rapidjson-dev socat xvfb xauth imagemagick tmux poppler-utils
  tzdata locales
  unixodbc-dev libsqliteodbc odbc-postgresql postgresql libpq-dev
  rsyslog systemd libspdlog-dev libboost-dev libre2-dev gcovr
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Wait for a dpkg lock another installer holds rather than fail.
  lock=(-o DPkg::Lock::Timeout=900)
  apt-get "${lock[@]}" update -qq
  apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A comma-decimal locale, so tests can show that numbers stored as text do not
# follow the process locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  if [ -f /etc/locale.gen ]; then
    sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null 2>&1 || true
  fi
fi
