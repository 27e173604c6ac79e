#!/usr/bin/env bash
# Builds everything and runs every test: the core's unit and scenario tests on
# the headless platform, the local player service's tests, and the end-to-end
# tests of the Linux program (Xvfb) and of the Windows program (Wine).
# On a fresh Debian machine, as root, it first installs what is missing.
#
#   bash scripts/test.sh
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
say() { printf 'test.sh: %s\n' "$*" >&2; }

packages=(cmake ninja-build g++ pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev
          libgtk-3-dev libwebkit2gtk-4.1-dev
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
          gstreamer1.0-libav
          xvfb xdotool imagemagick xclip faketime fonts-wqy-microhei locales
          python3-pyatspi at-spi2-core dbus dbus-x11 ffmpeg openssl
          wine wine64 g++-mingw-w64-x86-64 g++-mingw-w64-i686)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  say "installing: ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    say "these packages are missing and installing them needs root: ${missing[*]}"
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

# Two free loopback ports for the local player service, baked into both
# programs as the services' hosts, and a certificate the Linux build trusts
# for the first one. They are drawn from below the system's range for
# outgoing connections, so that no connection made while the programs build
# can take them before the tests bind them.
read -r port1 port2 < <(python3 - <<'PY'
import random, socket
low = int(open("/proc/sys/net/ipv4/ip_local_port_range").read().split()[0])
chosen = []
candidates = range(20000, max(min(low, 32768), 20400))
for port in random.sample(candidates, 200):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            continue
    chosen.append(port)
    if len(chosen) == 2:
        break
print(*chosen)
PY
)
host1="127.0.0.1:$port1"
host2="127.0.0.1:$port2"
cert_dir="$ROOT/build/linux/service-cert"
python3 tools/player_service/player_service.py --make-cert "$cert_dir" >/dev/null
say "player service hosts $host1 (https) and $host2 (http)"

hosts=(-DPLAYER_SERVICE1_HOST="$host1" -DPLAYER_SERVICE2_HOST="$host2")
jobs=$(nproc 2>/dev/null || echo 2)

cmake --preset windows-x64 "${hosts[@]}" >/dev/null
cmake --build --preset windows-x64 -j"$jobs"
cmake --preset windows-x86 "${hosts[@]}" >/dev/null
cmake --build --preset windows-x86 -j"$jobs"

cmake --preset linux "${hosts[@]}" -DPLAYER_TRUSTED_CERT="$cert_dir/cert.pem" \
  -DFILMBAR_SERVICE_CERT_DIR="$cert_dir" -DFILMBAR_EXPECT_WIN_BUILD=ON >/dev/null
cmake --build --preset linux -j"$jobs"

ctest --preset linux -j"$jobs"
