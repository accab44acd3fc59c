# Sourced by test.sh and demo.sh: one Wine session for the run, on the
# project's prefix. The server stays up between programs (-p) and is stopped
# when the sourcing script exits; a server already running for the prefix
# (a run left behind, or another shell) is used instead, and stopped at the
# end all the same.
export WINEPREFIX="$root/.cache/wineprefix" WINEARCH=win32 WINEDEBUG=-all
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
wineserver -p 2>/dev/null || echo "wine: a server is already running for $WINEPREFIX; using it"
trap 'wineserver -k 2>/dev/null || true; [ -z "$q_xvfb_pid" ] || kill "$q_xvfb_pid" 2>/dev/null || true' EXIT
# The first program of a Wine session can hang at its exit while the prefix's
# own start-up finishes; let a throw-away one take that.
timeout 60 "$root/scripts/wine_run.sh" cmd /c exit >/dev/null 2>&1 || true
