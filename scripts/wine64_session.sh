# Sourced (after setting root to the project root), like wine_session.sh but
# for the win64 test tree: one 64-bit Wine session on the 64-bit prefix
# (created first if missing, crash dialog off: setup_wine_prefix.sh x86_64).
# The server stays up between programs (-p) and is stopped when the sourcing
# script exits; a server already running for the prefix is used instead, and
# stopped at the end all the same. It exports nothing but DISPLAY, so a 32-bit
# session (wine_session.sh) can share the shell: the EXIT trap that was set
# before runs after this one's.
q64_prefix="${Q_WINEPREFIX64:-$root/.cache/wineprefix64}"
"$root/scripts/setup_wine_prefix.sh" x86_64
q64_server() {
  WINEPREFIX="$q64_prefix" WINEARCH=win64 WINEDEBUG=-all /usr/lib/wine/wineserver64 "$@"
}
# One virtual display for the whole session (see wine_session.sh), unless
# there is one already.
q64_xvfb_pid=""
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  exec {q64_display_fd}< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
  read -r -u "$q64_display_fd" _ q64_xvfb_pid
  if read -r -t 10 -u "$q64_display_fd" q64_display; then export DISPLAY=":$q64_display"; fi
fi
q64_server -p 2>/dev/null || echo "wine64: a server is already running for $q64_prefix; using it"
# The command of the EXIT trap set before ("trap -- '<command>' EXIT"), taken
# apart in a function so that the sourcing script's arguments stay as they are.
q64_trap_command() { [ $# -lt 3 ] || printf '%s' "$3"; }
eval "q64_prev_exit=\"\$(q64_trap_command $(trap -p EXIT))\""
trap 'q64_server -k 2>/dev/null || true; [ -z "$q64_xvfb_pid" ] || kill "$q64_xvfb_pid" 2>/dev/null || true; eval "$q64_prev_exit"' EXIT
# The first program of a Wine session can hang at its exit while the prefix's
# own start-up finishes; let a throw-away one take that.
Q_WIN_ARCH=x86_64 timeout 60 "$root/scripts/wine_run.sh" cmd /c exit >/dev/null 2>&1 || true
