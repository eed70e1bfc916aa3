#!/usr/bin/env bash
# Builds TessaryMaker, its GStreamer element and TessaryLive (which it
# starts from its own folder) in build/native.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2 --target TessaryMaker gsttessaryflip TessaryLive
