#!/usr/bin/env bash
# `lxi discover` (a broadcast to the portmapper, then *IDN? over VXI-11)
# finds kolvane-scpi, with the system's rpcbind beside the server and
# without it. Everything runs in namespaces the test makes: the server's
# network and mount namespaces (a private /run for rpcbind's socket), and
# a client network namespace joined to it by a veth pair; lxi broadcasts
# only there. Both are gone when the test ends.
# Needs KOLVANE_SCPI and KOLVANE_SIM; exits 77 (skipped) where namespaces or
# the tools are missing.
set -euo pipefail

. "$(dirname "$0")/lib/namespace.sh"
in_namespaces "--net --mount" nsenter ip lxi rpcbind rpcinfo -- "$@"
start_work discover
logs=("server.err:kolvane-scpi" "discover.out:lxi discover")

# rpcbind's socket, lock and state, away from the machine's own.
mount --make-rprivate /
mount -t tmpfs tmpfs /run
ip link set lo up

# The client's namespace, held by a sleeping process, and the wire to it.
unshare --net sleep 600 &
client=$!
pids+=("$client")
in_client() { nsenter --net=/proc/$client/ns/net "$@"; }
sleep 0.1
ip link add kv0 type veth peer name kv1 netns "$client"
ip addr add 10.201.0.1/24 brd + dev kv0
ip link set kv0 up
in_client ip link set lo up
in_client ip addr add 10.201.0.2/24 brd + dev kv1
in_client ip link set kv1 up

"$KOLVANE_SIM" --dir "$work" --port 3 --log "$work/sim.log" >"$work/sim.out" &
pids+=($!)
wait_for "$work/sim.out" '^ready ' || fail "the simulator did not start"

# Starts the server with the given options, waits for VXI-11 to be served
# the way given, and checks that lxi discover finds it at 10.201.0.1 (or,
# with DISCOVER_NONE=1, that it finds nothing).
discover() {  # expected-line args...
  local expected=$1
  shift
  KOLVANE_PORTS="$work" "$KOLVANE_SCPI" --port 3 "$@" 2>"$work/server.err" &
  local server=$!
  pids+=("$server")
  wait_for "$work/server.err" "$expected" || fail "$* : no '$expected'"
  in_client timeout 30 lxi discover -t 2 >"$work/discover.out" 2>&1 || true
  if [ "${DISCOVER_NONE:-0}" = 1 ]; then
    ! grep -q "Found" "$work/discover.out" || fail "$* : found on a network it does not serve"
  else
    grep -q "Found \"Kolvane,Frequency Counter,0005,.*\" on address 10.201.0.1" "$work/discover.out" ||
      fail "$* : lxi discover did not find the server"
  fi
  if [[ $expected == registered* ]]; then
    # The core channel alone: the abort channel's port travels in create_link's reply.
    rpcinfo -p 127.0.0.1 >"$work/rpcinfo.out"
    grep -Eq '395183 +1 +tcp' "$work/rpcinfo.out" || fail "not registered: $(cat "$work/rpcinfo.out")"
    ! grep -q 395184 "$work/rpcinfo.out" || fail "the abort channel was registered"
  fi
  kill -TERM "$server"
  wait "$server" || fail "$* : exit status $?"
  unset 'pids[${#pids[@]}-1]'
  echo "ok: lxi discover $([ "${DISCOVER_NONE:-0}" = 1 ] && echo "does not find" || echo finds) it with $* ($expected)"
}

# Without rpcbind: our own portmapper on port 111, for VXI-11 on the
# interface's address, then on every address.
discover "found through our own portmapper" --listen 10.201.0.1:0
discover "found through our own portmapper" --listen 127.0.0.1:0 --vxi11 0.0.0.0
# VXI-11 on loopback alone: the other namespace's broadcast gets no answer.
DISCOVER_NONE=1 discover "found through our own portmapper" --listen 127.0.0.1:0

# With rpcbind: registered there, and unregistered at exit.
rpcbind -f -w &
pids+=($!)
for _ in $(seq 100); do [ -S /run/rpcbind.sock ] && break; sleep 0.05; done
[ -S /run/rpcbind.sock ] || fail "rpcbind did not start"
discover "registered with this machine's rpcbind" --listen 10.201.0.1:0
if rpcinfo -p 127.0.0.1 | grep -q 395183; then
  rpcinfo -p 127.0.0.1
  fail "the registration outlived the server"
fi
echo "ok: the registration is removed at exit"
