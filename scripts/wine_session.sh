# Sourced by test.sh, demo.sh and bench/relay_e2e.sh: one Wine session for the
# run, on the project's prefix. The server stays up between programs (-p) and
# is stopped when the sourcing script exits; a server already running for the
# prefix (a run left behind, or another shell) is used instead, and stopped at
# the end all the same. With Q_WIN_ARCH=x86_64 the session is 64-bit Wine's, on
# the 64-bit prefix of the win64 test tree (made first if missing), and every
# program wine_run.sh starts from this shell runs under it.
if [ "${Q_WIN_ARCH:-i686}" = x86_64 ]; then
  "$root/scripts/setup_wine_prefix.sh" x86_64
  export WINEPREFIX="${Q_WINEPREFIX64:-$root/.cache/wineprefix64}" WINEARCH=win64 WINEDEBUG=-all
  export WINESERVER=/usr/lib/wine/wineserver64
  q_server=/usr/lib/wine/wineserver64
else
  export WINEPREFIX="$root/.cache/wineprefix" WINEARCH=win32 WINEDEBUG=-all
  q_server=wineserver
fi
# One virtual display for the whole session: Wine's desktop process starts
# with the session's first program and keeps the display it found, so the
# windows of every later program (the lobby, the debug dialog) need that
# display to be there from the start.
q_xvfb_pid=""
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  exec {q_display_fd}< <(Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null & echo "pid $!"; wait)
  read -r -u "$q_display_fd" _ q_xvfb_pid
  if read -r -t 10 -u "$q_display_fd" q_display; then export DISPLAY=":$q_display"; fi
fi
"$q_server" -p 2>/dev/null || echo "wine: a server is already running for $WINEPREFIX; using it"
trap '"$q_server" -k 2>/dev/null || true; [ -z "$q_xvfb_pid" ] || kill "$q_xvfb_pid" 2>/dev/null || true' EXIT
# The first program of a Wine session can hang at its exit while the prefix's
# own start-up finishes; let a throw-away one take that.
timeout 60 "$root/scripts/wine_run.sh" cmd /c exit >/dev/null 2>&1 || true
