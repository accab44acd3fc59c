# Sourced by test.sh and demo.sh: one Wine session for the run, on the
# project's prefix. The server stays up between programs (-p) and is stopped
# when the sourcing script exits; a server already running for the prefix
# (a run left behind, or another shell) is used instead, and stopped at the
# end all the same.
export WINEPREFIX="$root/.cache/wineprefix" WINEARCH=win32 WINEDEBUG=-all
wineserver -p 2>/dev/null || echo "wine: a server is already running for $WINEPREFIX; using it"
trap 'wineserver -k 2>/dev/null || true' EXIT
# The first program of a Wine session can hang at its exit while the prefix's
# own start-up finishes; let a throw-away one take that.
timeout 60 "$root/scripts/wine_run.sh" cmd /c exit >/dev/null 2>&1 || true
