#!/usr/bin/env bash
# Side-by-side timings of TIFF reading plus writing against libtiff on the
# same 12-megapixel files: `tessaron-cli convert --tiff-compression C in out`
# against `tiffcp -c C in out` for uncompressed, LZW and Deflate. Both sides
# read the same input (written by tiffcp with that compression) and write the
# same compression; LZW is compared with libtiff's horizontal predictor on,
# since our LZW writer uses it for RGB pictures. The two sides run
# alternately ROUNDS times (default 7); medians of wall and CPU time (user +
# system, millisecond resolution) are compared. The start-up of tessaron-cli
# (`--help`), part of every wall time, is measured on its own.
#
# BUILD_DIR=dir builds tessaron-cli there (default build-bench). NICE=-10
# runs both sides at that priority (root only), which shields the figures
# from other work on a shared machine.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

rounds="${ROUNDS:-7}"
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_GUI=OFF -DTESSARON_TESTS=OFF >/dev/null
cmake --build "$build" --target tessaron-cli >/dev/null
cli="$build/bin/tessaron-cli"
im=/usr/bin/convert
[ -x "$im" ] || im=convert

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}'; }
prio=()
[ -n "${NICE:-}" ] && prio=(nice -n "$NICE")
timed() {
  local TIMEFORMAT='%3R %3U %3S'
  { time "${prio[@]}" "$@" >/dev/null 2>&1; } 2>"$work/time.txt"
  awk '{printf "%.3f %.3f", $1, $2 + $3}' "$work/time.txt"
}

# A photograph-like 4000 x 3000 RGB picture.
"$im" -size 4000x3000 plasma:fractal -blur 0x1 -depth 8 -compress none "$work/photo.tif"

echo "== TIFF read + write, 4000x3000 RGB, $rounds rounds, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), nice ${NICE:-0}"
echo "medians in seconds, wall (cpu); ratio = ours wall / tiffcp wall (target <= 1.30)"
sw=() sc=()
for ((i = 0; i < rounds; i++)); do
  read -r w c <<<"$(timed "$cli" --help)"
  sw+=("$w") sc+=("$c")
done
printf 'start-up tessaron-cli --help %6.3f (%5.3f)\n' "$(median "${sw[@]}")" "$(median "${sc[@]}")"
for pair in "none none none" "lzw lzw:2 lzw" "deflate zip deflate"; do
  read -r name theirs ours <<<"$pair"
  tiffcp -c "$theirs" "$work/photo.tif" "$work/in_$name.tif"
  ow=() oc=() tw=() tc=()
  for ((i = 0; i < rounds; i++)); do
    read -r w c <<<"$(timed tiffcp -c "$theirs" "$work/in_$name.tif" "$work/theirs.tif")"
    tw+=("$w") tc+=("$c")
    read -r w c <<<"$(timed "$cli" convert --tiff-compression "$ours" "$work/in_$name.tif" "$work/ours.tif")"
    ow+=("$w") oc+=("$c")
  done
  mo=$(median "${ow[@]}") mt=$(median "${tw[@]}")
  printf '%-8s tiffcp -c %-5s %6.3f (%5.3f) [%s]\n' "$name" "$theirs" "$mt" "$(median "${tc[@]}")" "${tw[*]}"
  printf '%-8s tessaron        %6.3f (%5.3f) [%s]  ratio %s (cpu %s)  sizes %s / %s bytes\n' "" "$mo" \
    "$(median "${oc[@]}")" "${ow[*]}" "$(ratio "$mo" "$mt")" "$(ratio "$(median "${oc[@]}")" "$(median "${tc[@]}")")" \
    "$(stat -c %s "$work/ours.tif")" \
    "$(stat -c %s "$work/theirs.tif")"
done
