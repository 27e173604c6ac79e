#!/usr/bin/env bash
# Makes the demo film that the local player service plays: about 10 s of a
# moving test pattern, 320x180, VP8 in WebM, no sound, kept well under 300 KB.
# Usage: make_film.sh OUT.webm
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 OUT.webm" >&2
  exit 2
fi
out=$1
mkdir -p "$(dirname "$out")"

# Write to a temporary name first so that a broken run never leaves a
# half-written film where the service would pick it up.
tmp="$out.part.$$.webm"
trap 'rm -f "$tmp"' EXIT

pattern=testsrc2
if ! ffmpeg -hide_banner -filters 2>/dev/null | grep -q ' testsrc2 '; then
  pattern=testsrc
fi

ffmpeg -nostdin -hide_banner -loglevel error -y \
  -f lavfi -i "${pattern}=size=320x180:rate=25:duration=10" \
  -an -c:v libvpx -b:v 150k -maxrate 200k -bufsize 400k \
  -g 25 -deadline good -cpu-used 4 -pix_fmt yuv420p \
  -f webm "$tmp"

mv -f "$tmp" "$out"
