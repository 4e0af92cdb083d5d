#!/usr/bin/env bash
# Installs everything the launcher's build, tests, benchmarks and demo need on
# a Debian 12 machine. Idempotent: when every package is present it only
# checks and returns.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libwxgtk3.2-dev libx11-dev
  libssl-dev openssl
  zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth xdotool
  nginx curl
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
