#!/usr/bin/env bash
# Builds TessaryMaker (its page files are built into it) and writes window
# screenshots in each theme and language to out/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-maker.sh
exec xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- node scripts/screenshots.js
