# Shared by the tests that run in namespaces of their own: sourced, never run.
#
#   in_namespaces "--net --mount" unshare ip lxi ... -- "$@"
#       checks the tools (exit 77 without one, or without namespaces) and
#       runs the script again inside fresh namespaces; returns inside them.
#   start_work NAME      a temporary folder $work, removed at exit with every
#                        process in $pids (newest first)
#   fail MESSAGE         prints MESSAGE and each log in $logs ("file:title")
#   wait_for FILE REGEX  up to 10 s for an extended regular expression

in_namespaces() {
  local flags=$1
  shift
  local tools=()
  while [ "$1" != -- ]; do
    tools+=("$1")
    shift
  done
  shift
  if [ "${1:-}" = --inside ]; then return 0; fi
  for tool in unshare "${tools[@]}"; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: skipped"; exit 77; }
  done
  # shellcheck disable=SC2086
  unshare $flags true 2>/dev/null || { echo "no namespaces here (not root?): skipped"; exit 77; }
  # shellcheck disable=SC2086
  exec unshare $flags "$0" --inside
}

pids=()
logs=()
start_work() {
  work=$(mktemp -d "/tmp/kolvane-$1.XXXXXX")
  trap _cleanup EXIT
}
_cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}

fail() {
  echo "FAIL: $*"
  local entry
  for entry in "${logs[@]}"; do
    echo "--- ${entry#*:}"
    cat "$work/${entry%%:*}" || true
  done
  exit 1
}

wait_for() {
  for _ in $(seq 200); do
    grep -Eq "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  return 1
}
