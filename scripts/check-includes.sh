#!/usr/bin/env bash
# Fails when a native unit includes across a forbidden direction: the
# platform layers never reach into a program, the shared units stay portable
# and serve both programs, and the two programs meet only in shared/.
# Includes are written from the repository root, so "../" is refused too.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0

# forbid <folder> <regex of included paths> <reason>
forbid() {
  local folder=$1 pattern=$2 reason=$3 hits
  [ -d "$folder" ] || return 0
  hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($pattern)" "$folder" \
    --include='*.h' --include='*.cpp' --include='*.c' --include='*.inc' || true)
  if [ -n "$hits" ]; then
    while IFS= read -r hit; do echo "$hit"; echo "    -> $reason"; done <<<"$hits"
    status=1
  fi
}

forbid platform 'generator/|wallpaper/' "platform/ must not include a program's units: programs implement the platform's interfaces"
forbid shared 'generator/|wallpaper/' "shared/ serves both programs and must not include either one's units"
forbid shared 'platform/[^/">]+/' "shared/ is portable: it may use the interfaces in platform/*.h, not a system's layer"
forbid generator 'wallpaper/' "the generator and the live wallpaper share code only through shared/"
forbid wallpaper 'generator/' "the live wallpaper and the generator share code only through shared/"
for folder in platform shared generator wallpaper; do
  forbid "$folder" '\.\./' "write includes from the repository root, so this check sees where they go"
done

if ((status)); then
  echo "include directions: FAILED"
else
  echo "include directions: ok"
fi
exit $status
