#!/usr/bin/env bash
# Builds TessaryMaker and its GStreamer element in build/native.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2 --target TessaryMaker gsttessaryflip
