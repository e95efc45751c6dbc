#!/usr/bin/env bash
# kolvane-scpi --announce as avahi-browse sees it. The test runs in network
# and mount namespaces of its own, with only the loopback interface, a
# private system bus and an avahi-daemon limited to lo, so that no packet can
# leave the machine; it stops both when it ends. First without the daemon
# (the server says so and serves on), then with it (the announcement comes,
# and lxi-tools' discovery finds it too).
# Needs KOLVANE_SCPI and KOLVANE_SIM; exits 77 (skipped) where namespaces or
# the tools are missing.
set -euo pipefail

. "$(dirname "$0")/lib/namespace.sh"
in_namespaces "--net --mount" ip dbus-daemon avahi-daemon avahi-browse lxi python3 -- "$@"
start_work mdns
logs=("server.err:kolvane-scpi" "avahi.log:avahi-daemon")

ip link set lo up
ip link set lo multicast on
# The daemon's pid file and socket, away from the machine's own.
mount -t tmpfs tmpfs /run
mkdir -p /run/avahi-daemon

cat >"$work/bus.conf" <<END
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
END
cat >"$work/avahi.conf" <<END
[server]
use-ipv4=yes
use-ipv6=no
allow-interfaces=lo
enable-dbus=yes
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
END
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/bus
dbus-daemon --config-file="$work/bus.conf" --nofork --nopidfile &
pids+=($!)
for _ in $(seq 100); do [ -S "$work/bus" ] && break; sleep 0.05; done

"$KOLVANE_SIM" --dir "$work" --port 3 >"$work/sim.out" 2>&1 &
pids+=($!)
wait_for "$work/sim.out" '^ready' || fail "the simulator did not start"

# Two HTTP listeners: the first is announced.
KOLVANE_PORTS=$work "$KOLVANE_SCPI" --port 3 --listen 127.0.0.1:0 --http 127.0.0.1:0 \
  --http 127.0.0.1:0 --announce 2>"$work/server.err" &
server=$!
pids+=($server)
wait_for "$work/server.err" 'serving SCPI on' || fail "the server did not start"
port=$(sed -n 's/.*serving SCPI on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.err")
wait_for "$work/server.err" 'serving HTTP on' || fail "the server serves no HTTP"
http=$(sed -n 's/.*serving HTTP on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/server.err" | head -1)
wait_for "$work/server.err" 'avahi-daemon is not running' || fail "no word of the missing daemon"
idn=$(python3 -c "
import socket
s = socket.create_connection(('127.0.0.1', $port), timeout=10)
s.sendall(b'*IDN?\n')
print(s.makefile().readline().strip())")
[[ "$idn" == Kolvane,* ]] || fail "no answer without the daemon: $idn"

avahi-daemon -f "$work/avahi.conf" --no-drop-root --no-chroot --no-rlimits >"$work/avahi.log" 2>&1 &
pids+=($!)
wait_for "$work/server.err" "announced as" || fail "no announcement once the daemon started"

host=$(hostname -s)
browse=$(timeout 20 avahi-browse -rpt _scpi-raw._tcp)
echo "$browse"
line=$(echo "$browse" | grep '^=;lo;IPv4;' | grep ";_scpi-raw._tcp;local;") ||
  fail "avahi-browse does not see the service"
name="Kolvane\\\\0320005\\\\032on\\\\032$host"
echo "$line" | grep -q "^=;lo;IPv4;$name;" || fail "the name is not 'Kolvane 0005 on $host'"
echo "$line" | grep -q ";127.0.0.1;$port;" || fail "not port $port"
for txt in '"Manufacturer=Kolvane"' '"SerialNumber=0005"' '"FirmwareVersion=' '"Model=' \
  '"txtvers=1"'; do
  [[ "$line" == *"$txt"* ]] || fail "TXT lacks $txt"
done

# LXI's services on the first HTTP port, under the same name.
for type in _lxi._tcp _http._tcp; do
  browse=$(timeout 20 avahi-browse -rptk "$type")
  line=$(echo "$browse" | grep '^=;lo;IPv4;' | grep ";$type;local;") ||
    fail "avahi-browse does not see $type: $browse"
  echo "$line"
  echo "$line" | grep -q "^=;lo;IPv4;$name;" || fail "$type: the name is not the same"
  echo "$line" | grep -q ";127.0.0.1;$http;" || fail "$type: not the first HTTP port $http"
  for txt in '"path=/"' '"txtvers=1"' '"Manufacturer=Kolvane"' '"SerialNumber=0005"' \
    '"FirmwareVersion=' '"Model='; do
    [[ "$line" == *"$txt"* ]] || fail "$type: TXT lacks $txt"
  done
done
# VXI-11 serves (its own portmapper on port 111 of this namespace): announced there.
browse=$(timeout 20 avahi-browse -rptk _vxi-11._tcp)
line=$(echo "$browse" | grep '^=;lo;IPv4;' | grep ";_vxi-11._tcp;local;") ||
  fail "avahi-browse does not see _vxi-11._tcp: $browse"
echo "$line" | grep -q "^=;lo;IPv4;$name;" || fail "_vxi-11._tcp: the name is not the same"
echo "$line" | grep -q ";127.0.0.1;111;" || fail "_vxi-11._tcp: not port 111"
for txt in '"txtvers=1"' '"Manufacturer=Kolvane"' '"SerialNumber=0005"'; do
  [[ "$line" == *"$txt"* ]] || fail "_vxi-11._tcp: TXT lacks $txt"
done

lxi=$(timeout 30 lxi discover -m -t 3 2>&1) || true
[[ "$lxi" == *"scpi-raw service on port $port"* ]] || fail "lxi discover -m does not find it: $lxi"

kill -TERM "$server"
status=0
wait "$server" || status=$?
[ "$status" -eq 0 ] || fail "kolvane-scpi ended with status $status"
echo "1 passed, 0 failed"
