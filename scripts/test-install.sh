#!/usr/bin/env bash
# The install rules, as a user meets them: installs the build into a scratch
# prefix, checks the desktop entries with desktop-file-validate and that the
# daily wallpaper's service names the installed program, asks
# xdg-mime (private XDG folders, plain and GNOME ways) what a ".kiro" file
# is and which program opens it, then opens one as a double-click does and
# checks that TessaryLive took it: its hand-over holds the package and it
# reports running on the session bus. TESSARY_BUILD_DIR names the build
# (default build/native, built here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TESSARY_BUILD_DIR:-build/native}
[ -x "$build/bin/TessaryMaker" ] || scripts/build-maker.sh
# TessaryLive shows its wallpaper window: a virtual screen where there is none.
if [ -z "${DISPLAY:-}" ]; then exec xvfb-run -a "$0" "$@"; fi
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then exec dbus-run-session -- "$0" "$@"; fi

scratch=$(mktemp -d)
live_pid=
cleanup() {
  if [ -n "$live_pid" ]; then kill "$live_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "[install] FAILED: $*"; exit 1; }

prefix=$scratch/prefix
mkdir -p "$scratch/home" "$scratch/config" "$scratch/data"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 || { cat "$scratch/install.log"; fail "cmake --install"; }
for program in TessaryMaker TessaryLive; do
  [ -x "$prefix/bin/$program" ] || fail "$prefix/bin/$program is missing"
done
[ -f "$prefix/lib/tessary/gst/libgsttessaryflip.so" ] || fail "the GStreamer element is missing"
[ -f "$prefix/share/icons/hicolor/scalable/apps/tessary.svg" ] || fail "the icon is missing"
desktop-file-validate "$prefix/share/applications/tessary-maker.desktop" "$prefix/share/applications/tessary-live.desktop" \
  || fail "desktop-file-validate"
units=$prefix/share/systemd/user
[ -f "$units/tessary-daily-wallpaper.timer" ] || fail "the daily wallpaper's timer is missing"
grep -qx "ExecStart=$prefix/bin/TessaryMaker --render=.*" "$units/tessary-daily-wallpaper.service" \
  || fail "the daily wallpaper's service does not name the installed program"

# The scratch prefix's share folder as the user's own data folder, nothing else of this machine's.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/home/.cache \
  XDG_DATA_HOME=$prefix/share XDG_DATA_DIRS=/usr/share GIO_USE_VFS=local
export PATH=$prefix/bin:$PATH
package=$scratch/Summer.kiro
python3 - "$package" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("data.json", '{"drawList":[],"w":1280,"h":720,"speed":1,"motion":"sway","holdSec":30}')
    z.writestr("photos/0000.jpg", bytes(range(256)) * 40)
PY
for desktop in "" GNOME; do
  type=$(XDG_CURRENT_DESKTOP=$desktop xdg-mime query filetype "$package")
  handler=$(XDG_CURRENT_DESKTOP=$desktop xdg-mime query default application/x-tessary-live)
  [ "$type" = application/x-tessary-live ] || fail "xdg-mime (${desktop:-plain}) says a .kiro file is $type"
  [ "$handler" = tessary-live.desktop ] || fail "xdg-mime (${desktop:-plain}) opens it with '$handler'"
done

# A double-click: the desktop runs the handler's command line with the file.
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/applications/tessary-live.desktop")
read -r -a command <<<"${exec_line//%f/$package}"
XDG_DATA_HOME=$scratch/data "${command[@]}" >"$scratch/live.log" 2>&1 &
live_pid=$!
state=0
# Starting (3) until its page has the pile, then running.
for _ in $(seq 300); do
  state=$(gdbus call --session --dest org.tessary.Live --object-path /org/tessary/Live \
            --method org.tessary.Live.State 2>/dev/null | tr -dc '0-9' || true)
  [ "${state:-0}" = 1 ] && break
  sleep 0.1
done
[ "${state:-0}" = 1 ] || { cat "$scratch/live.log"; fail "TessaryLive does not report running after the double-click"; }
active=$(sed '1s/^\xEF\xBB\xBF//' "$scratch/data/Tessary/live/active.txt")
grep -q '"motion":"sway"' "$scratch/data/Tessary/live/$active/data.json" || fail "the hand-over is not the package's"
gdbus call --session --dest org.tessary.Live --object-path /org/tessary/Live --method org.tessary.Live.Quit >/dev/null
wait "$live_pid" || true
live_pid=
echo "[install] installed into a scratch prefix; entries valid; .kiro is application/x-tessary-live, opened by tessary-live.desktop; a double-click plays it"
