#!/usr/bin/env bash
# Until the generator program exists, "run" writes the render preview.
set -euo pipefail
cd "$(dirname "$0")/.."
node scripts/preview.js
