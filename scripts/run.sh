#!/usr/bin/env bash
# Runs the filmbar demo on Linux: installs what is missing (apt), builds the
# `linux` preset, starts the local player service on loopback and opens the
# program's window on your display. The service stops when the window closes.
#
#   bash scripts/run.sh          window on $DISPLAY (or Wayland)
#   bash scripts/run.sh --xvfb   the same demo under Xvfb, driven by xdotool:
#                                types a film address, presses Play, waits
#                                until the film has played two seconds and
#                                saves build/linux/artifacts/demo.png
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build/linux"
SERVICE="$ROOT/tools/player_service/player_service.py"
CERT_DIR="$BUILD/service-cert"
SERVICE_LOG="$BUILD/service.log"
READY_FILE="$BUILD/service.ready"
SHOT="$BUILD/artifacts/demo.png"
PROGRAM_LOG="$BUILD/artifacts/demo-output.txt"

# Window geometry of the program (client area) and its bar's controls.
CLIENT_W=816
CLIENT_H=529
ADDRESS_BOX_X=80 ADDRESS_BOX_Y=504 ADDRESS_BOX_W=296 ADDRESS_BOX_H=24
PLAY_X=672 PLAY_Y=504 PLAY_W=144 PLAY_H=24
SCREEN_W=1280
SCREEN_H=800
DEMO_ADDRESS="https://films.example/watch?id=42"
DEMO_SECONDS=2

say() { printf 'run.sh: %s\n' "$*" >&2; }
die() { say "$*"; exit 1; }

xvfb_mode=0
case "${1:-}" in
  "") ;;
  --xvfb) xvfb_mode=1 ;;
  -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) die "unknown option '$1' (use --xvfb or nothing)" ;;
esac

if [[ $xvfb_mode -eq 0 && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run.sh: no display to open the window on (DISPLAY is not set); run the same demo under Xvfb with a screenshot: bash scripts/run.sh --xvfb" >&2
  exit 1
fi

# ---------------------------------------------------------------- packages

packages=(libgtk-3-dev libwebkit2gtk-4.1-dev
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good
          gstreamer1.0-plugins-bad gstreamer1.0-libav
          cmake ninja-build g++ pkg-config python3 ffmpeg openssl fonts-wqy-microhei)
if [[ $xvfb_mode -eq 1 ]]; then
  packages+=(xvfb xdotool imagemagick)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
  as_root=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || die "missing packages, and not root: apt-get install ${missing[*]}"
    as_root=(sudo)
  fi
  say "installing ${missing[*]}"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# ---------------------------------------------------------------- build

cd "$ROOT"
python3 "$SERVICE" --make-cert "$CERT_DIR"
cmake --preset linux -DPLAYER_TRUSTED_CERT="$CERT_DIR/cert.pem" >/dev/null
cmake --build --preset linux --target filmbar -- -j2
PROGRAM="$BUILD/filmbar"
[[ -x "$PROGRAM" ]] || die "the build made no $PROGRAM"

# The service listens where the build sends the program: the hosts in the
# build's cache (127.0.0.1:18443 and :18080 unless configured otherwise).
cached() { cmake -N -LA "$BUILD" 2>/dev/null | sed -n "s/^$1:[A-Z]*=//p"; }
port_of() {
  local host=$1 default=$2
  case "$host" in
    127.0.0.1:*|localhost:*) echo "${host##*:}" ;;
    127.0.0.1|localhost) echo "$default" ;;
    *) die "the build's player service host '$host' is not on loopback; the local service cannot stand in for it" ;;
  esac
}
https_port=$(port_of "$(cached PLAYER_SERVICE1_HOST)" 443)
http_port=$(port_of "$(cached PLAYER_SERVICE2_HOST)" 80)

# ---------------------------------------------------------------- run

service_pid="" xvfb_pid="" program_pid=""
stop_all() {
  local pid
  for pid in "$program_pid" "$service_pid" "$xvfb_pid"; do
    [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
  done
  for pid in "$program_pid" "$service_pid" "$xvfb_pid"; do
    [[ -n "$pid" ]] && wait "$pid" 2>/dev/null || true
  done
  rm -f "$READY_FILE"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

rm -f "$READY_FILE"
: > "$SERVICE_LOG"
python3 "$SERVICE" --https-port "$https_port" --http-port "$http_port" \
  --cert "$CERT_DIR/cert.pem" --key "$CERT_DIR/key.pem" \
  --log "$SERVICE_LOG" --ready-file "$READY_FILE" >/dev/null &
service_pid=$!
for _ in $(seq 600); do
  [[ -s "$READY_FILE" ]] && break
  kill -0 "$service_pid" 2>/dev/null || die "the player service did not start (ports $https_port, $http_port in use?)"
  sleep 0.1
done
[[ -s "$READY_FILE" ]] || die "the player service did not get ready"
say "player service on https://127.0.0.1:$https_port and http://127.0.0.1:$http_port, log $SERVICE_LOG"

if [[ $xvfb_mode -eq 0 ]]; then
  set +e
  "$PROGRAM"
  code=$?
  set -e
  exit $code
fi

# ---------------------------------------------------------------- demo under Xvfb

display=""
for number in $(seq 20 400); do
  [[ -e /tmp/.X$number-lock || -e /tmp/.X11-unix/X$number ]] && continue
  Xvfb ":$number" -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [[ -S /tmp/.X11-unix/X$number ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -S /tmp/.X11-unix/X$number ]] && kill -0 "$xvfb_pid" 2>/dev/null; then
    display=":$number"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[[ -n "$display" ]] || die "could not start Xvfb on a free display"
export DISPLAY=$display
mkdir -p "$(dirname "$SHOT")"
unset WAYLAND_DISPLAY
export NO_AT_BRIDGE=1

# A window mapped under the pointer gets a pointer move at once, and a move
# over the address box empties it: keep the pointer in a corner.
xdotool mousemove 0 0
"$PROGRAM" >"$PROGRAM_LOG" 2>&1 &
program_pid=$!

window=""
for _ in $(seq 150); do
  kill -0 "$program_pid" 2>/dev/null || die "filmbar ended before showing its window; its output: $PROGRAM_LOG"
  window=$(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | tail -n 1 || true)
  [[ -n "$window" ]] && break
  sleep 0.1
done
[[ -n "$window" ]] || die "filmbar showed no window"
sleep 1

# Client origin on the screen: with no window manager the program's X
# window is its client area, centred on the screen.
eval "$(xdotool getwindowgeometry --shell "$window")"
if [[ "$WIDTH" -ne $CLIENT_W || "$HEIGHT" -ne $CLIENT_H ]]; then
  say "the window's client area is ${WIDTH}x${HEIGHT}, not ${CLIENT_W}x${CLIENT_H}; clicking where the bar should be anyway"
fi
origin_x=$X origin_y=$Y

xdotool windowfocus --sync "$window" 2>/dev/null || true
# Focus the address box by a click, then rest the pointer outside it before
# typing: a pointer move over the box empties it.
xdotool mousemove $(( origin_x + ADDRESS_BOX_X + ADDRESS_BOX_W / 2 )) $(( origin_y + ADDRESS_BOX_Y + ADDRESS_BOX_H / 2 )) click 1
xdotool mousemove 0 0
sleep 0.3
xdotool type --delay 30 "$DEMO_ADDRESS"
sleep 0.3
xdotool mousemove $(( origin_x + PLAY_X + PLAY_W / 2 )) $(( origin_y + PLAY_Y + PLAY_H / 2 )) click 1
xdotool mousemove 0 0
say "typed $DEMO_ADDRESS and pressed Play; waiting for ${DEMO_SECONDS} s of the film"

played() {
  python3 - "$SERVICE_LOG" <<'EOF'
import json, sys
furthest = 0.0
with open(sys.argv[1], encoding="utf-8") as log:
    for line in log:
        if line.endswith("\n"):
            record = json.loads(line)
            if record.get("kind") == "progress":
                furthest = max(furthest, record["current_time"])
print(furthest)
EOF
}
seconds=0
for _ in $(seq 120); do
  seconds=$(played)
  python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) >= float(sys.argv[2]) else 1)" "$seconds" "$DEMO_SECONDS" && break
  kill -0 "$program_pid" 2>/dev/null || die "filmbar ended while waiting for the film; its output: $PROGRAM_LOG"
  sleep 0.5
done

import -display "$DISPLAY" -window root "$SHOT"

xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key Escape
for _ in $(seq 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.1
done
set +e
if kill -0 "$program_pid" 2>/dev/null; then
  say "filmbar did not close on Esc; stopping it"
  kill "$program_pid"
fi
wait "$program_pid"
program_code=$?
set -e
program_pid=""

reached=$(python3 - "$SERVICE_LOG" <<'EOF'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    if not line.endswith("\n"):
        continue
    record = json.loads(line)
    if record.get("kind") == "request" and record["address"] is not None:
        print(record["scheme"].upper(), record["method"], record["target"])
        break
EOF
)
say "the service received: ${reached:-nothing}"
say "screenshot: $SHOT"
if python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) >= float(sys.argv[2]) else 1)" "$seconds" "$DEMO_SECONDS"; then
  say "the film played $(printf '%.1f' "$seconds") s; filmbar closed with exit code $program_code"
  exit "$program_code"
fi
die "the film did not play ${DEMO_SECONDS} s (reached ${seconds} s); see $SERVICE_LOG, $PROGRAM_LOG and $SHOT"
