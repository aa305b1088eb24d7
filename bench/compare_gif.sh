#!/usr/bin/env bash
# GIF writing side by side: `tessaron` (bench/GifBench, JPEG photo in, GIF
# file out, 256 colours) against ImageMagick's `convert photo.jpg photo.gif`
# on the same 12-megapixel photo. The two run alternately ROUNDS times
# (default 5) and the medians are compared.
# PHOTO=path uses that photo instead of the generated one.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

rounds="${ROUNDS:-5}"
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BENCH=ON \
  -DTESSARON_GUI=OFF -DTESSARON_TESTS=OFF >/dev/null
cmake --build "$build" --target GifBench >/dev/null

# Debian's ImageMagick; a `convert` earlier on PATH may be something else.
im=/usr/bin/convert
[ -x "$im" ] || im=convert

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
photo="${PHOTO:-}"
if [ -z "$photo" ]; then
  photo="$work/photo.jpg"
  # A 12-megapixel picture with photo-like smooth areas and fine detail.
  "$im" -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 -quality 92 "$photo"
fi

now() { date +%s.%N; }
ours=() theirs=()
for ((i = 0; i < rounds; i++)); do
  t0=$(now)
  "$im" "$photo" "$work/im.gif"
  t1=$(now)
  TESSARON_BENCH_PHOTO="$photo" "$build/bin/GifBench" --benchmark_filter=BM_PhotoToGifFile >"$work/ours.txt"
  t2=$(now)
  if grep -q "ERROR" "$work/ours.txt"; then cat "$work/ours.txt"; exit 1; fi
  theirs+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", b - a}')")
  ours+=("$(awk -v a="$t1" -v b="$t2" 'BEGIN {printf "%.3f", b - a}')")
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
m_ours=$(median "${ours[@]}")
m_theirs=$(median "${theirs[@]}")
size=$(identify -format '%wx%h' "$photo" 2>/dev/null || echo "?")
echo "photo: $size, $rounds rounds, $(nproc) cores"
printf 'tessaron GifBench (load + GIF write): median %.2f s  [%s]\n' "$m_ours" "${ours[*]}"
printf 'ImageMagick convert photo.jpg photo.gif: median %.2f s  [%s]\n' "$m_theirs" "${theirs[*]}"
printf 'ratio tessaron / ImageMagick: %.2f (target at most 0.50)\n' "$(awk -v a="$m_ours" -v b="$m_theirs" 'BEGIN {print a / b}')"
echo "GIF writing alone (photo in memory):"
TESSARON_BENCH_PHOTO="$photo" "$build/bin/GifBench" --benchmark_filter=BM_GifWrite | grep -E "BM_GifWrite"
