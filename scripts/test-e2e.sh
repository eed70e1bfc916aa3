#!/usr/bin/env bash
# End-to-end tests: the real TessaryMaker in WebKitGTK on a virtual display,
# driven through WebKitGTK's WebDriver. TESSARY_BIN_DIR may name another
# build's bin folder (default build/native/bin, built here when missing).
# Test files given as arguments run alone (default: all of tests/e2e/).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${TESSARY_BIN_DIR:-}" ] && [ ! -x build/native/bin/TessaryMaker ]; then
  scripts/build-maker.sh
fi
exec xvfb-run -a -s "-screen 0 1920x1080x24" dbus-run-session -- \
  node --test --test-concurrency=1 "${@:-tests/e2e/}"
