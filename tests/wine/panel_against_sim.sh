#!/usr/bin/env bash
# kolvane-panel.exe under Wine against the Linux simulator: the prefix's
# COM3 is a link to the simulator's pseudo-terminal. The panel saves a
# picture of itself and the texts of its display fields after a few
# seconds and closes the ordinary way; the simulator's log then has to
# show the presence handshake, the readback and the closing frame last,
# and the reading display a shown result.
# With "session-end" the panel takes no picture: once it polls, the end of
# the user's session (wineboot --end-session) has to close it the same way.
#   panel_against_sim.sh <kolvane-sim> <kolvane-panel.exe> <prefix> <output directory> [session-end]
set -euo pipefail

# shellcheck source=scripts/lib/wine-layout.sh
source "$(dirname "$0")/../../scripts/lib/wine-layout.sh"
wine_fixed_layout "$0" "$@"

if [ $# -ne 4 ] && { [ $# -ne 5 ] || [ "$5" != session-end ]; }; then
  echo "usage: $0 <kolvane-sim> <kolvane-panel.exe> <prefix> <output directory> [session-end]" >&2
  exit 2
fi
sim=$1
exe=$2
prefix=$3
out=$4
mode=${5:-picture}
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$out"
work=$(mktemp -d)
simpid=
panel=
cleanup() {
  if [ -n "$panel" ]; then
    kill "$panel" 2>/dev/null || true
    wait "$panel" 2>/dev/null || true
  fi
  if [ -n "$simpid" ]; then
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- simulator log" >&2
  cat "$work/sim.log" >&2 || true
  exit 1
}

"$here/wine-gui" "$prefix"
# COM1 and COM2 hidden, so that the scan does not try the host's own serial
# devices first; COM3 a fixed link that is pointed at the simulator's
# pseudo-terminal on every run. Set once per prefix.
com3=$prefix-com3
if ! grep -qsF "\"COM3\"=\"$com3\"" "$prefix/system.reg"; then
  (
    export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    ports='HKLM\Software\Wine\Ports'
    wine reg add "$ports" /v COM1 /d "" /f >/dev/null 2>&1
    wine reg add "$ports" /v COM2 /d "" /f >/dev/null 2>&1
    wine reg add "$ports" /v COM3 /d "$com3" /f >/dev/null 2>&1
    wineserver -w
  )
fi

"$sim" --dir "$work/ports" --port 3 --log "$work/sim.log" >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do
  grep -q '^ready ' "$work/sim.out" 2>/dev/null && break
  sleep 0.05
done
pty=$(sed -n 's/^ready //p' "$work/sim.out")
[ -n "$pty" ] || fail "the simulator did not start"
ln -sfn "$pty" "$com3"
ln -sfn "$com3" "$prefix/dosdevices/com3"

picture=$out/kolvane-panel.bmp
rm -f "$picture" "$picture.txt"
# Wine's Z: drive is the root of the file system.
windows_picture="Z:${picture//\//\\}"
start=$(date +%s%N)
status=0
if [ "$mode" = session-end ]; then
  timeout 90 "$here/wine-gui" "$prefix" "$exe" &
  panel=$!
  for _ in $(seq 1200); do
    grep -q '^RX .* D1\\x0D$' "$work/sim.log" 2>/dev/null && break
    sleep 0.05
  done
  grep -q '^RX .* D1\\x0D$' "$work/sim.log" || fail "the panel did not read the instrument back"
  # Its own status tells nothing about the panel.
  WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
    wine wineboot --end-session >/dev/null 2>&1 || true
  wait "$panel" || status=$?
else
  KOLVANE_SCREENSHOT=$windows_picture KOLVANE_SCREENSHOT_DELAY_MS=1500 \
    timeout 90 "$here/wine-gui" "$prefix" "$exe" || status=$?
fi
elapsed=$((($(date +%s%N) - start) / 1000000))
echo "kolvane-panel.exe ran ${elapsed} ms, exit status $status"
[ "$status" -eq 0 ] || fail "kolvane-panel.exe ended with status $status"

# The simulator logs the closing frame before the panel's last Sleep ends.
frames=$(grep '^RX ' "$work/sim.log" | cut -d' ' -f3-)
echo "frames received: $(echo "$frames" | tr '\n' ' ')"
[ "$(echo "$frames" | head -n1)" = 'B\x0D' ] || fail "the first frame is not the presence handshake"
echo "$frames" | grep -qx 'D1\\x0D' || fail "no configuration readback"
[ "$(echo "$frames" | tail -n1)" = 'J\x0D' ] || fail "the last frame is not the closing frame"
[ "$(echo "$frames" | grep -cx 'J\\x0D')" -eq 1 ] || fail "the closing frame came more than once"
[ "$mode" = picture ] || exit 0

[ -s "$picture" ] || fail "no picture at $picture"
[ "$(head -c2 "$picture")" = BM ] || fail "$picture is not a bitmap"
[ -s "$picture.txt" ] || fail "no field texts at $picture.txt"
echo "--- field texts"
cat "$picture.txt"
# A reading: one blank, then a number.
grep -Eq '^1092: [0-9]' "$picture.txt" || fail "the reading display shows no reading"
# The serial number the presence reply carried.
grep -Eq '^1119: +0005$' "$picture.txt" || fail "the serial number is not shown"
echo "picture: $picture"
