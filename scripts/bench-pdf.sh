#!/usr/bin/env bash
# Prints album PDF figures (not a test): the host's writer beside Debian's
# img2pdf on the same A4 page JPEGs at 300 dpi (2480 × 3508 px), for 10, 40
# and 100 pages: the best of three runs' time, the throughput and the peak
# memory of each. The writer streams, so its peak memory must not grow with
# the page count. Figures vary with the machine and its load.
#
#   scripts/bench-pdf.sh [FOLDER]
# With a folder of page JPEGs (for example an album's pages taken out of its
# PDF with pdfimages -j), all of them, in name order, make one document.
set -euo pipefail
cd "$(dirname "$0")/.."

RUNS=3
COUNTS=(10 40 100)

build=build/bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTESSARY_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target tessary_album_pdf_tool >/dev/null
tool=$build/tests/native/tessary_album_pdf_tool

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pages=()
if [ $# -gt 0 ]; then
  for page in "$1"/*.jpg; do pages+=("$page"); done
  [ ${#pages[@]} -gt 0 ] || { echo "no JPEG files in $1" >&2; exit 1; }
  COUNTS=(${#pages[@]})
else
  # Distinct pages: the sample photos stretched over a sheet with a little
  # grain, at about the page's JPEG quality (0.95): some 1 MB each, like the
  # album sheets the page makes of the same photos (0.8 to 0.9 MB).
  for photo in samples/photos/*.jpg; do
    page=$work/page-${#pages[@]}.jpg
    ffmpeg -hide_banner -v error -y -i "$photo" -vf scale=2480:3508,noise=alls=4:allf=t -q:v 2 "$page"
    pages+=("$page")
  done
fi

# Seconds and peak resident kilobytes of one run, as "seconds kilobytes".
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}

# Best time and highest peak over $RUNS runs of one command.
best_of() {
  local best='' peak=0 seconds kb
  for ((run = 0; run < RUNS; run++)); do
    read -r seconds kb < <(measure "$@")
    if [ -z "$best" ] || awk "BEGIN{exit !($seconds < $best)}"; then best=$seconds; fi
    ((kb > peak)) && peak=$kb
  done
  echo "$best $peak"
}

printf '%-6s %9s | %-28s | %-28s\n' pages 'input MB' 'Tessary writer' 'img2pdf'
printf '%-6s %9s | %8s %9s %9s | %8s %9s %9s\n' '' '' seconds 'MB/s' 'peak MB' seconds 'MB/s' 'peak MB'
for count in "${COUNTS[@]}"; do
  list=()
  for ((i = 0; i < count; i++)); do list+=("${pages[i % ${#pages[@]}]}"); done
  bytes=$(cat "${list[@]}" | wc -c)
  read -r ours ours_kb < <(best_of "$tool" "$work/ours.pdf" a4 "${list[@]}")
  read -r theirs theirs_kb < <(best_of img2pdf --pagesize A4 --fit exact -o "$work/img2pdf.pdf" "${list[@]}")
  for pdf in ours img2pdf; do
    got=$(pdfinfo "$work/$pdf.pdf" | awk '/^Pages:/{print $2}')
    [ "$got" = "$count" ] || { echo "$pdf.pdf has $got pages, not $count" >&2; exit 1; }
  done
  awk -v n="$count" -v b="$bytes" -v o="$ours" -v ok="$ours_kb" -v t="$theirs" -v tk="$theirs_kb" 'BEGIN {
    mb = b / 1048576
    printf "%-6d %9.1f | %8.2f %9.0f %9.1f | %8.2f %9.0f %9.1f\n", n, mb, o, mb / (o > 0 ? o : 0.01), ok / 1024,
      t, mb / (t > 0 ? t : 0.01), tk / 1024
  }'
done
echo "Peak MB is the peak resident memory of the whole process; both files are checked with pdfinfo."
