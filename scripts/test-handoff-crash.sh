#!/usr/bin/env bash
# The long run of the live hand-over crash test: a writer looping hand-overs
# is killed at 500 random moments (the CI run kills it 200 times). Prints the
# time taken and what the kills left behind. TESSARY_HANDOFF_KILLS overrides.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/native/tests/linux/tessary_handoff_crash_tests ]; then
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_GUI=ON >/dev/null
  cmake --build build/native -j2 --target tessary_handoff_crash_tests
fi
TESSARY_HANDOFF_KILLS="${TESSARY_HANDOFF_KILLS:-500}" build/native/tests/linux/tessary_handoff_crash_tests
