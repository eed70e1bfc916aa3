#!/usr/bin/env bash
# Native tests: the programs and unit tests in build/native, the install rules
# into a scratch prefix, the portable core
# again with AddressSanitizer and UBSan in build/native-asan, a minute of
# fuzzing the package reader and half a minute of the JPEG marker reader,
# then the end-to-end tests of the real program when they exist.
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS=2

# Runs ctest in a build folder; prints its summary line, or its log on failure.
run_ctest() {
  local dir=$1 label=$2
  if (cd "$dir" && ctest --output-on-failure --timeout 300 >ctest.log 2>&1); then
    echo "[$label] $(grep -E 'tests passed' "$dir/ctest.log")"
  else
    cat "$dir/ctest.log"
    echo "[$label] FAILED"
    return 1
  fi
}

echo "== native build (build/native)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_GUI=ON >/dev/null
cmake --build build/native -j"$JOBS"
run_ctest build/native native

echo "== install rules (scripts/test-install.sh)"
TESSARY_BUILD_DIR=build/native scripts/test-install.sh 2>&1 | grep -v 'fd limit' || { echo "[install] FAILED"; exit 1; }

echo "== sanitizer build (build/native-asan)"
sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B build/native-asan -DCMAKE_BUILD_TYPE=Debug -DTESSARY_GUI=OFF \
  -DCMAKE_CXX_FLAGS="$sanitize" -DCMAKE_C_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build/native-asan -j"$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/native-asan native-asan

# Runs scripts/fuzz-<name>.sh for a number of seconds; prints its last line, or its log's end on failure.
run_fuzz() {
  local name=$1 seconds=$2 what=$3
  echo "== $what fuzzing (scripts/fuzz-$name.sh, $seconds s)"
  mkdir -p "build/fuzz-$name"
  if "scripts/fuzz-$name.sh" "$seconds" >"build/fuzz-$name/test.log" 2>&1; then
    echo "[fuzz-$name] $(grep -E '^#[0-9]+[[:space:]]+DONE' "build/fuzz-$name/test.log")"
  else
    tail -n 60 "build/fuzz-$name/test.log"
    echo "[fuzz-$name] FAILED"
    return 1
  fi
}

run_fuzz kiro 60 "package reader"

run_fuzz jpeg 30 "JPEG marker reader"

if [ -x scripts/test-e2e.sh ]; then
  echo "== end-to-end (scripts/test-e2e.sh)"
  scripts/test-e2e.sh
fi
