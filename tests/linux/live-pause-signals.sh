#!/usr/bin/env bash
# TessaryLive against real session services: logind and UPower from
# python3-dbusmock on a private system bus, a screen saver's signal on the
# session bus; UPower going away ends its pause. Each event must pause
# (state 4) or resume (state 2) the wallpaper; the time it took is printed
# (well under a second on an idle machine), and only one that never comes
# within five seconds fails, so that a loaded machine does not. Run as:
#   LIVE_PROGRAM=build/native/bin/TessaryLive xvfb-run -a dbus-run-session -- tests/linux/live-pause-signals.sh
set -u
LIVE_PROGRAM=$(realpath "${LIVE_PROGRAM:?}")
FAILED=0
WORK=$(mktemp -d); cd "$WORK"
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/data XDG_CONFIG_HOME=$WORK/home/cfg XDG_CACHE_HOME=$WORK/home/cache
mkdir -p $XDG_DATA_HOME $XDG_CONFIG_HOME
export WEBKIT_DISABLE_COMPOSITING_MODE=1
eval $(dbus-daemon --config-file=/usr/share/dbus-1/session.conf --print-address=1 --print-pid=1 --fork | { read a; read p; echo "export DBUS_SYSTEM_BUS_ADDRESS=$a SYSPID=$p"; })
# wait_for SECONDS COMMAND: runs COMMAND until it succeeds, for so long at the most.
wait_for() {
  local end=$((SECONDS + $1))
  until eval "$2" >/dev/null 2>&1; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}
/usr/bin/python3 -m dbusmock --system --template logind >logind.log 2>&1 &
/usr/bin/python3 -m dbusmock --system --template upower >upower.log 2>&1 &
UPOWER=$!
for name in org.freedesktop.login1 org.freedesktop.UPower; do
  wait_for 30 "gdbus introspect --system -d $name -o / " || { echo "FAIL $name never came"; exit 1; }
done
gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 -m org.freedesktop.DBus.Mock.AddSession c1 seat0 1000 user true >/dev/null
export XDG_SESSION_ID=c1
openbox >/dev/null 2>&1 &
sleep 0.5
"$LIVE_PROGRAM" --test >live.log 2>&1 &
LIVE=$!
wait_for 60 "grep -q 'state=2' live.log" || { echo "FAIL the wallpaper never played"; cat live.log; exit 1; }
# step NAME COMMAND EXPECTED-LAST-STATE: the state must be reached; prints
# how long it took from the event.
step() {
  local before seen start elapsed
  before=$(wc -l <live.log)
  start=$(date +%s%N)
  eval "$2"
  for _ in $(seq 500); do
    seen=$(tail -n +$((before + 1)) live.log | grep -oE 'state=[0-9]' | tr '\n' ' ')
    [[ "$seen" == *"state=$3 " ]] && break
    sleep 0.01
  done
  elapsed=$((($(date +%s%N) - start) / 1000000))
  if [[ "$seen" == *"state=$3 " ]]; then echo "ok   $1: $seen(${elapsed} ms)"; else echo "FAIL $1: $seen"; FAILED=1; fi
  sleep 0.3  # nothing more follows
  seen=$(tail -n +$((before + 1)) live.log | grep -oE 'state=[0-9]' | tail -1)
  [[ "$seen" == "state=$3" ]] || { echo "FAIL $1: then $seen"; FAILED=1; }
}
step lock "gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1/session/c1 -m org.freedesktop.login1.Session.Lock >/dev/null" 4
step unlock "gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1/session/c1 -m org.freedesktop.login1.Session.Unlock >/dev/null" 2
step sleep "gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 -m org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.login1.Manager PrepareForSleep b '[<true>]' >/dev/null" 4
echo "inhibitors: $(gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 -m org.freedesktop.login1.Manager.ListInhibitors)"
step wake "gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 -m org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.login1.Manager PrepareForSleep b '[<false>]' >/dev/null" 2
step unplug "gdbus call --system -d org.freedesktop.UPower -o /org/freedesktop/UPower -m org.freedesktop.DBus.Properties.Set org.freedesktop.UPower OnBattery '<true>' >/dev/null" 4
step plug "gdbus call --system -d org.freedesktop.UPower -o /org/freedesktop/UPower -m org.freedesktop.DBus.Properties.Set org.freedesktop.UPower OnBattery '<false>' >/dev/null" 2
step "unplug again" "gdbus call --system -d org.freedesktop.UPower -o /org/freedesktop/UPower -m org.freedesktop.DBus.Properties.Set org.freedesktop.UPower OnBattery '<true>' >/dev/null" 4
# Without UPower nobody says the machine runs on battery: it plays.
step "UPower gone" "kill $UPOWER" 2
step saver "gdbus emit --session -o /org/freedesktop/ScreenSaver -s org.freedesktop.ScreenSaver.ActiveChanged true >/dev/null" 4
step saver-off "gdbus emit --session -o /org/freedesktop/ScreenSaver -s org.freedesktop.ScreenSaver.ActiveChanged false >/dev/null" 2
kill $LIVE; wait $LIVE
kill %1 %2 %3 2>/dev/null; kill $SYSPID
exit $FAILED
