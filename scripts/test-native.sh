#!/usr/bin/env bash
set -euo pipefail
cd "$(dirname "$0")/.."
echo "native tests: none yet"
