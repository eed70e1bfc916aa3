#!/usr/bin/env bash
# Builds TessaryMaker and starts it with the bundled sample photos.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j2 --target TessaryMaker gsttessaryflip
exec build/native/bin/TessaryMaker "--photo-folder=$PWD/samples/photos" "$@"
