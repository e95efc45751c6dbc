#!/usr/bin/env bash
# The identification document of a server on 0.0.0.0 and [::]: one Interface
# for each address of the machine, with its mask, and VXI-11's resource
# strings while it serves. Runs in a network
# namespace of its own whose loopback interface carries a second address, so
# that no packet leaves the machine and the addresses are the test's.
# Needs KOLVANE_SCPI and KOLVANE_SIM; exits 77 (skipped) where namespaces or
# the tools are missing.
set -euo pipefail

. "$(dirname "$0")/lib/namespace.sh"
in_namespaces "--net" ip curl python3 -- "$@"
start_work lxi
logs=("server.err:kolvane-scpi")

ip link set lo up
ip addr add 10.77.0.5/24 dev lo

"$KOLVANE_SIM" --dir "$work" --port 3 >"$work/sim.out" 2>&1 &
pids+=($!)
wait_for "$work/sim.out" '^ready' || fail "the simulator did not start"

check() {  # --http address, expected addresses (space-separated)
  KOLVANE_PORTS=$work "$KOLVANE_SCPI" --port 3 --listen 127.0.0.1:0 --http "$1" \
    2>"$work/server.err" &
  local server=$!
  pids+=($server)
  wait_for "$work/server.err" 'serving HTTP on' || fail "the server serves no HTTP"
  local port
  port=$(sed -n 's/.*serving HTTP on .*:\([0-9]*\)$/\1/p' "$work/server.err")
  curl -sS --max-time 10 "http://127.0.0.1:$port/lxi/identification" >"$work/id.xml" ||
    fail "no document on port $port"
  python3 - "$work/id.xml" "$2" <<'END' || fail "the document for --http $1"
import sys
import xml.etree.ElementTree as ET
ns = "{http://www.lxistandard.org/InstrumentIdentification/1.0}"
root = ET.parse(sys.argv[1]).getroot()
found = {}
for i in root.findall(ns + "Interface"):
    assert i.get("InterfaceType") == "LXI", i.attrib
    found[i.find(ns + "IPAddress").text] = i.find(ns + "SubnetMask").text
expected = sys.argv[2].split()
print("interfaces:", found)
assert sorted(found) == sorted(expected), (found, expected)
if "10.77.0.5" in found:
    assert found["10.77.0.5"] == "255.255.255.0", found
# VXI-11 serves here (its own portmapper on port 111 of the namespace).
strings = [a.text for a in root.iter(ns + "InstrumentAddressString")]
assert "TCPIP::127.0.0.1::INSTR" in strings and "TCPIP::127.0.0.1::inst0::INSTR" in strings, strings
END
  kill -TERM "$server"
  local status=0
  wait "$server" || status=$?
  [ "$status" -eq 0 ] || fail "kolvane-scpi ended with status $status"
}

check 0.0.0.0:0 "127.0.0.1 10.77.0.5"
check '[::]:0' "127.0.0.1 10.77.0.5 ::1"
check 127.0.0.1:0 "127.0.0.1"
echo "1 passed, 0 failed"
