#!/usr/bin/env bash
# Runs a Windows test program under Wine with the Linux simulator behind one
# of the prefix's COM ports:
#   with-sim.sh <kolvane-sim> <wine-run> <prefix> <port number> <program> [arguments...]
# The program finds the port's name ("COMn:") in KOLVANE_TEST_PORT. The
# simulator sends no results of its own, so a quiet line stays quiet.
set -euo pipefail
sim=$1 wine_run=$2 prefix=$3 port=$4
shift 4

"$wine_run" "$prefix"  # the prefix first: the simulator's link goes into it
out=$(mktemp)
"$sim" --dir "$prefix/dosdevices" --port "$port" --rate 0 >"$out" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -f "$out"' EXIT

for _ in $(seq 100); do
  grep -q '^ready' "$out" && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$out" >&2; exit 1; }
  sleep 0.05
done
grep -q '^ready' "$out" || { echo "the simulator did not get ready" >&2; exit 1; }

KOLVANE_TEST_PORT="COM$port:" "$wine_run" "$prefix" "$@"
