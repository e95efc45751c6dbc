#!/usr/bin/env bash
# kolvane-log.exe under Wine with file names outside the ANSI code page (a
# Russian user's folder): what it writes and what it reads must be the files
# named, letter for letter.
#   logger_file_names.sh <wine-run> <prefix> <kolvane-log.exe> [<kolvane-sim>]
# With the simulator (a Linux build's) behind COM8 of the prefix, a recording
# goes to --csv and --summary; without it only a file is analysed.
set -euo pipefail
wine_run=$1 prefix=$2 exe=$3 sim=${4:-}

"$wine_run" "$prefix" # the prefix first: the simulator's link goes into it
dir=$(mktemp -d /tmp/kolvane-wine-names-XXXXXX)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
mkdir "$dir/Иван"
# The same folder as Wine's Z: drive shows it.
win="Z:${dir//\//\\}\\Иван"
fail() {
  echo "logger_file_names: $*" >&2
  ls -la "$dir/Иван" >&2
  exit 1
}

if [ -n "$sim" ]; then
  "$sim" --dir "$prefix/dosdevices" --port 8 --rate 20 >"$dir/sim.out" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q '^ready' "$dir/sim.out" && break
    sleep 0.05
  done
  grep -q '^ready' "$dir/sim.out" || fail "the simulator did not get ready"
  status=0
  "$wine_run" "$prefix" "$exe" --port 8 --count 5 --quiet --csv "$win\\запись.csv" \
    --summary "$win\\сводка.json" 2>"$dir/err" || status=$?
  [ "$status" -eq 0 ] || fail "recording ended with status $status: $(cat "$dir/err")"
  [ "$(wc -l <"$dir/Иван/запись.csv")" -eq 6 ] || fail "запись.csv does not hold 5 rows"
  grep -q '"readings": 5' "$dir/Иван/сводка.json" || fail "сводка.json has no 5 readings"
fi

# A recording read back from a Cyrillic name, its summary written to another.
{
  echo "time,elapsed_s,mode,value,unit,status"
  for i in $(seq 0 99); do
    printf '2026-12-07T17:15:25.758Z,%d.000,f,10000.%04d,kHz,ok\n' "$i" $(((i * 37) % 101))
  done
} >"$dir/Иван/данные.csv"
status=0
"$wine_run" "$prefix" "$exe" --analyze "$win\\данные.csv" --summary "$win\\итог.json" \
  2>"$dir/err" || status=$?
[ "$status" -eq 0 ] || fail "--analyze ended with status $status: $(cat "$dir/err")"
grep -q '"readings": 100' "$dir/Иван/итог.json" || fail "итог.json has no 100 readings"
grep -q '"oadev"' "$dir/Иван/итог.json" || fail "итог.json has no deviations"
echo "logger_file_names: passed"
