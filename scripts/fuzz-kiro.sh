#!/usr/bin/env bash
# Fuzzes the live wallpaper package reader with libFuzzer under AddressSanitizer
# and UBSan, starting from the packages of make-hostile-kiro.py. The corpus
# grows in build/fuzz-kiro/corpus across runs; a crash leaves its input in
# build/fuzz-kiro/ and fails the script.
# Usage: scripts/fuzz-kiro.sh [seconds, default 1800] [extra libFuzzer options]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-1800}
shift || true
out=build/fuzz-kiro
mkdir -p "$out/corpus" "$out/seeds"

sources=(tests/fuzz/KiroReaderFuzz.cpp shared/KiroFile.cpp shared/ZipArchive.cpp shared/TextUtil.cpp shared/Utf8.cpp)
if [ ! -x "$out/kiro-fuzz" ] || [ -n "$(find "${sources[@]}" shared/*.h tests/native/KiroTestSink.h -newer "$out/kiro-fuzz")" ]; then
  clang++ -std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    "${sources[@]}" -lz -o "$out/kiro-fuzz"
fi

# Seeds: the table's packages small enough to mutate quickly.
python3 scripts/make-hostile-kiro.py "$out/generated"
find "$out/generated" -name '*.kiro' -size -64k -exec cp {} "$out/seeds/" \;

ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1 \
  "$out/kiro-fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=20 -dict=tests/fuzz/kiro.dict \
  -artifact_prefix="$out/" -print_final_stats=1 "$@" "$out/corpus" "$out/seeds"
