#!/usr/bin/env bash
# What the live wallpaper costs on the desktop. The real TessaryLive plays
# the sample pile (tests/fixtures/live, handed over as the generator does)
# behind the icons on a virtual screen with a window manager; printed:
#   cpu     processor time of TessaryLive with its web and network processes,
#           in percent of one core averaged over BENCH_SECONDS (60), and the
#           screen's frames per second, at 1920x1080 and 3840x2160: playing
#           without rest (the heaviest case), asleep after an automatic pause
#           (hidden, browser at rest) and frozen by the user's pause;
#   memory  resident memory of the three processes every minute over
#           BENCH_MINUTES (30) of the normal loop at 1920x1080, and its growth
#           per hour after the first loop.
# Usage: scripts/bench-live-playback.sh [cpu|memory|all]   (default all)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BIN=${TESSARY_BIN_DIR:-$ROOT/build/native/bin}
TOOLS=$ROOT/build/native/tests/linux
SECONDS_PER_FIGURE=${BENCH_SECONDS:-60}
MINUTES=${BENCH_MINUTES:-30}

# ---- inside the virtual screen (the script runs itself there)

# TessaryLive and every process below it.
process_tree() {
  local pids=("$1") i=0
  while ((i < ${#pids[@]})); do
    for child in $(pgrep -P "${pids[$i]}" || true); do pids+=("$child"); done
    i=$((i + 1))
  done
  echo "${pids[@]}"
}

# user + system clock ticks of the given processes.
cpu_ticks() {
  local total=0
  for pid in "$@"; do
    [ -r "/proc/$pid/stat" ] || continue
    # Fields 14 and 15 after the command name (which may hold spaces).
    total=$((total + $(sed 's/.*) //' "/proc/$pid/stat" | awk '{print $12 + $13}')))
  done
  echo "$total"
}

# Resident and private (anonymous) memory of a process, in KiB.
rss_kib() { awk '/^Rss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
private_kib() { awk '/^Anonymous:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }

live_state() {
  gdbus call --session --dest org.tessary.Live --object-path /org/tessary/Live --method org.tessary.Live.State \
    2>/dev/null | tr -dc '0-9'
}

wait_for_state() {
  for _ in $(seq 300); do
    [ "$(live_state)" = "$1" ] && return 0
    sleep 0.1
  done
  echo "TessaryLive did not reach state $1" >&2
  return 1
}

# Hands the sample pile over with the rest time $1 (seconds).
hand_over() {
  python3 - "$1" "$ROOT/tests/fixtures/live/pile-1920x1080.json" "$WORK/record.json" <<'PY'
import json, sys
record = json.load(open(sys.argv[2]))
record["holdSec"] = float(sys.argv[1])
json.dump(record, open(sys.argv[3], "w"))
PY
  "$TOOLS/tessary_handoff_writer" --once "$WORK/record.json" "$ROOT"/samples/photos/*.jpg
}

start_live() {
  "$BIN/TessaryLive" >"$WORK/live.log" 2>&1 &
  LIVE=$!
  wait_for_state 1
  PIDS=$(process_tree "$LIVE")
}

# Prints one line: label, CPU % of one core of TessaryLive's processes and
# of the X server (which puts the frames on the screen), frames per second.
measure() {
  local label=$1 ticks0 ticks1 x0 x1 frames
  # shellcheck disable=SC2086
  ticks0=$(cpu_ticks $PIDS)
  x0=$(cpu_ticks "$XSERVER")
  frames=$("$TOOLS/tessary_frame_counter" "$SECONDS_PER_FIGURE" | awk '{print $1}')
  # shellcheck disable=SC2086
  ticks1=$(cpu_ticks $PIDS)
  x1=$(cpu_ticks "$XSERVER")
  awk -v l="$label" -v t=$((ticks1 - ticks0)) -v x=$((x1 - x0)) -v hz="$(getconf CLK_TCK)" \
    -v s="$SECONDS_PER_FIGURE" -v f="$frames" \
    'BEGIN { printf "  %-44s %6.1f %%  (X server %5.1f %%)  %5.1f frames/s\n", l, 100 * t / hz / s, 100 * x / hz / s, f / s }'
}

inner_cpu() {
  hand_over 0
  start_live
  sleep 10  # photos decoded, the loop under way
  echo "$(xdpyinfo | awk '/dimensions:/ {print $2}'), rest 0 s; $(for p in $PIDS; do ps -o comm= -p "$p"; done | tr '\n' ' ')"
  measure "playing"
  kill -USR2 "$LIVE"
  wait_for_state 2
  sleep 2
  measure "asleep (automatic pause: hidden, at rest)"
  kill -USR2 "$LIVE"
  wait_for_state 1
  kill -USR1 "$LIVE"
  wait_for_state 2
  sleep 2
  measure "frozen (the user's pause: last frame shown)"
  kill -USR1 "$LIVE"
}

# Resident memory of TessaryLive and of its web and network processes, and
# the private part of all three (the rest is program files and the images
# shared with the X server), in KiB.
memory_line() {
  local live=0 web=0 network=0 private=0
  for pid in $(process_tree "$LIVE"); do
    case "$(ps -o comm= -p "$pid")" in
      # The engine's sandbox around the page's process counts with it.
      WebKitWebProces* | bwrap | xdg-dbus-proxy) web=$((web + $(rss_kib "$pid"))) ;;
      WebKitNetwork*) network=$((network + $(rss_kib "$pid"))) ;;
      *) live=$((live + $(rss_kib "$pid"))) ;;
    esac
    private=$((private + $(private_kib "$pid")))
  done
  echo "$live $web $network $private"
}

inner_memory() {
  hand_over 30
  start_live
  echo "  minute  TessaryLive  web process  network process  total  (private)  in MiB"
  local start=$SECONDS ticks0
  # shellcheck disable=SC2086
  ticks0=$(cpu_ticks $PIDS)
  for minute in $(seq 0 "$MINUTES"); do
    while ((SECONDS - start < minute * 60)); do sleep 1; done
    memory_line | awk -v m="$minute" '{ printf "  %6d  %11.1f  %11.1f  %15.1f  %5.1f  %9.1f\n", m, $1 / 1024, $2 / 1024, $3 / 1024, ($1 + $2 + $3) / 1024, $4 / 1024 }' |
      tee -a "$WORK/memory.txt"
  done
  # Growth: the least-squares slope of each column after the first loop
  # (about a minute with the 30 s rest), and over the second half of the
  # run, once the toolkit's shared image pool with the X server (up to
  # 64 MiB, filled as frames are drawn) is in use.
  growth() {
    awk -v from="$1" -v label="$2" '$1 >= from { n++; sx += $1; sxx += $1 * $1; for (c = 2; c <= 6; c++) { sy[c] += $c; sxy[c] += $1 * $c } }
      END { if (n < 2) exit; d = n * sxx - sx * sx;
            for (c = 2; c <= 6; c++) g[c] = (n * sxy[c] - sx * sy[c]) / d * 60;
            printf "  growth %s (MiB per hour): %.1f resident (TessaryLive %.1f, web %.1f, network %.1f), %.1f private\n", label, g[5], g[2], g[3], g[4], g[6] }' \
      "$WORK/memory.txt"
  }
  growth 2 "after the first loop"
  growth $((MINUTES / 2)) "over the second half"
  # shellcheck disable=SC2086
  awk -v t=$(($(cpu_ticks $PIDS) - ticks0)) -v hz="$(getconf CLK_TCK)" -v s=$((SECONDS - start)) \
    'BEGIN { printf "  processor time over the whole run (play, rest, exit): %.1f %% of one core\n", 100 * t / hz / s }'
}

if [ "${BENCH_INNER:-}" = 1 ]; then
  WORK=$(mktemp -d)
  trap '[ -n "${LIVE:-}" ] && kill "$LIVE" 2>/dev/null; kill "${WM:-0}" 2>/dev/null; rm -rf "$WORK"' EXIT
  export HOME=$WORK/home XDG_DATA_HOME=$WORK/data XDG_CONFIG_HOME=$WORK/config XDG_CACHE_HOME=$WORK/cache
  # Xvfb has no GPU: the browser draws in software, as it does by itself on
  # machines without one.
  export NO_AT_BRIDGE=1 GIO_USE_VFS=local WEBKIT_DISABLE_COMPOSITING_MODE=1
  mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
  XSERVER=$(pgrep -f "^Xvfb $DISPLAY " | head -n 1)
  openbox --sm-disable >/dev/null 2>&1 &
  WM=$!
  sleep 1
  "inner_$1"
  exit 0
fi

# ---- outside: build what is missing, then one virtual screen per figure set

if [ ! -x "$BIN/TessaryLive" ] || [ ! -x "$TOOLS/tessary_handoff_writer" ] || [ ! -x "$TOOLS/tessary_frame_counter" ]; then
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/native -j2 --target TessaryLive tessary_handoff_writer tessary_frame_counter
fi
run_on_screen() {
  # (The accessibility registry, started by the browser, greets on stdout.)
  xvfb-run -a -s "-screen 0 ${2}x24" dbus-run-session -- env BENCH_INNER=1 "$0" "$1" 2>/dev/null |
    grep --line-buffered -v '^SpiRegistry'
}
echo "TessaryLive $(git rev-parse --short HEAD 2>/dev/null || true) on $(nproc) cores, load average$(uptime | sed 's/.*load average//')"
case "${1:-all}" in
  cpu | all)
    echo "== CPU of TessaryLive with its web and network processes (percent of one core, ${SECONDS_PER_FIGURE} s each)"
    for size in 1920x1080 3840x2160; do run_on_screen cpu "$size"; done
    ;;&
  memory | all)
    echo "== resident memory, ${MINUTES} minutes of the loop (rest 30 s) at 1920x1080"
    run_on_screen memory 1920x1080
    ;;
esac
