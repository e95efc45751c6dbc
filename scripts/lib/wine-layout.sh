# shellcheck shell=bash
# Sourced by the scripts that start Wine.
#
# Debian's Wine starts without Wine's preloader, so nothing keeps the Linux
# heap off the addresses Windows programs need: put at random up to a
# gigabyte above Wine's loader, it covers the shared user data page about one
# start in 4000, and Wine ends at once with status 1, its message silenced by
# WINEDEBUG=-all. Without address randomisation, which every process started
# from here inherits, the heap starts right after the loader, far below.

# Runs the calling script again that way, once ("$0" "$@"); where the system
# refuses it, nothing changes.
wine_fixed_layout() {
  local personality
  personality=$(cat /proc/self/personality 2>/dev/null || echo 0)
  if (((0x$personality & 0x40000) == 0)) && setarch "$(uname -m)" -R true 2>/dev/null; then
    exec setarch "$(uname -m)" -R "$@"
  fi
}
