#!/usr/bin/env bash
# Builds TessaryMaker and starts it with the bundled sample photos.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-maker.sh
exec build/native/bin/TessaryMaker "--photo-folder=$PWD/samples/photos" "$@"
