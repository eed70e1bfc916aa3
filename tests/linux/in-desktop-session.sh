#!/usr/bin/env bash
# Runs a command in a desktop session of its own: a virtual X display, a
# private session bus (on which dconf and xfconfd start when first asked),
# and private home and XDG folders, so that no setting of the user's or of
# a parallel test is read or changed.
set -euo pipefail
session=$(mktemp -d "${TMPDIR:-/tmp}/tessary-session-XXXXXX")
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  # xfconfd saves its channels as it leaves the ended bus; let it finish.
  for _ in $(seq 50); do rm -rf "$session" 2>/dev/null && break; sleep 0.1; done
}
trap cleanup EXIT
mkdir -p "$session"/{home,config,data,cache,run}
chmod 700 "$session/run"

# The server picks a free display number itself and writes it out, so
# parallel sessions never race for one (as "xvfb-run -a" can). A real
# session always has clients; this one may have none between two commands,
# and the server must not reset (dropping the root window's properties).
Xvfb -displayfd 3 -noreset -screen 0 320x240x24 -nolisten tcp 3>"$session/display" 2>"$session/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$session/display" ] && break
  sleep 0.05
done
if [ ! -s "$session/display" ]; then
  cat "$session/xvfb.log" >&2
  echo "Xvfb did not start" >&2
  exit 1
fi

export DISPLAY=":$(head -n1 "$session/display")"
export HOME="$session/home" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data"
export XDG_CACHE_HOME="$session/cache" XDG_RUNTIME_DIR="$session/run" GSETTINGS_BACKEND=dconf
unset XDG_CURRENT_DESKTOP XDG_SESSION_TYPE DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- "$@"
