#!/usr/bin/env bash
# Fuzzes the JPEG marker reader behind reduced photos (shared/JpegReduction)
# with libFuzzer under AddressSanitizer and UBSan. Photo folders hold files
# from anywhere, and the host reads their markers before any decoder does.
# The corpus grows in build/fuzz-jpeg/corpus across runs; a crash leaves its
# input in build/fuzz-jpeg/ and fails the script.
# Usage: scripts/fuzz-jpeg.sh [seconds, default 600] [extra libFuzzer options]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
out=build/fuzz-jpeg
mkdir -p "$out/corpus" "$out/seeds"

sources=(tests/fuzz/JpegLayoutFuzz.cpp shared/JpegReduction.cpp shared/PixelResample.cpp shared/TextUtil.cpp)
if [ ! -x "$out/jpeg-fuzz" ] || [ -n "$(find "${sources[@]}" shared/*.h platform/ImageCodec.h -newer "$out/jpeg-fuzz")" ]; then
  clang++ -std=c++20 -O1 -g -I. -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    "${sources[@]}" -o "$out/jpeg-fuzz"
fi

# Seeds: the EXIF fixtures (real JPEG headers with orientation and captions),
# each behind the byte that picks the asked width.
for f in tests/fixtures/exif/*.jpg; do
  { printf '\x40'; cat "$f"; } >"$out/seeds/$(basename "$f")"
done

ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1 \
  "$out/jpeg-fuzz" -max_total_time="$seconds" -max_len=16384 -timeout=20 \
  -artifact_prefix="$out/" -print_final_stats=1 "$@" "$out/corpus" "$out/seeds"
