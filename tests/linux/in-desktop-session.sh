#!/usr/bin/env bash
# Runs a command in a desktop session of its own: a virtual X display, a
# private session bus (on which dconf and xfconfd start when first asked),
# and private home and XDG folders, so that no setting of the user's or of
# a parallel test is read or changed.
set -euo pipefail
session=$(mktemp -d "${TMPDIR:-/tmp}/tessary-session-XXXXXX")
trap 'rm -rf "$session"' EXIT
mkdir -p "$session"/{home,config,data,cache,run}
chmod 700 "$session/run"
export HOME="$session/home" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data"
export XDG_CACHE_HOME="$session/cache" XDG_RUNTIME_DIR="$session/run" GSETTINGS_BACKEND=dconf
unset XDG_CURRENT_DESKTOP XDG_SESSION_TYPE DBUS_SESSION_BUS_ADDRESS
exec xvfb-run -a -s "-screen 0 320x240x24" dbus-run-session -- "$@"
