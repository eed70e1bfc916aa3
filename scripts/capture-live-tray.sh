#!/usr/bin/env bash
# Captures TessaryLive's tray menu open on a real panel (xfce4-panel with its
# default layout, whose status tray shows status notifier items) under Xvfb,
# in English and Japanese: build/live-tray-{en,ja}.png (the panel's corner).
# Look at them after changing the menu. Needs scripts/build-maker.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
if [ "${1:-}" != "--inside" ]; then
  for language in en ja; do
    LANGUAGE=$language xvfb-run -a -s "-screen 0 1280x800x24" dbus-run-session -- "$0" --inside
  done
  exit 0
fi
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
export HOME=$WORK XDG_CONFIG_HOME=$WORK/config XDG_DATA_HOME=$WORK/data XDG_CACHE_HOME=$WORK/cache
export WEBKIT_DISABLE_COMPOSITING_MODE=1
mkdir -p "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml"
cp /etc/xdg/xfce4/panel/default.xml "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
openbox >/dev/null 2>&1 &
sleep 1
xfce4-panel >/dev/null 2>&1 &
sleep 3
"$ROOT/build/native/bin/TessaryLive" --test >/dev/null 2>&1 &
sleep 8
# The default layout puts the status tray left of the clock, top right.
xdotool mousemove 1154 12 click 1
sleep 1.5
import -window root -crop 420x560+860+0 "$ROOT/build/live-tray-$LANGUAGE.png"
echo "build/live-tray-$LANGUAGE.png"
