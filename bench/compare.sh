#!/usr/bin/env bash
# Side-by-side timings of the imaging core against ImageMagick on the same
# generated 12-megapixel photo. Each section runs both sides alternately
# ROUNDS times (default 3) and compares the medians.
#
#   bench/compare.sh              every section
#   bench/compare.sh quantize     one section (quantize, gif, resample)
#
# BUILD_DIR=dir builds the benchmarks there (default build-bench).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

rounds="${ROUNDS:-3}"
build="${BUILD_DIR:-build-bench}"
sections=("$@")
[ ${#sections[@]} -eq 0 ] && sections=(quantize gif resample)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BENCH=ON \
  -DTESSARON_GUI=OFF -DTESSARON_TESTS=OFF >/dev/null

# Debian's ImageMagick; a `convert` earlier on PATH may be something else.
im=/usr/bin/convert
[ -x "$im" ] || im=convert

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", (b > 0) ? a / b : 0}'; }

# Runs a command; prints "wall cpu" in seconds (cpu = user + system).
timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/time.txt" "$@" >/dev/null
  awk '{printf "%.3f %.3f", $1, $2 + $3}' "$work/time.txt"
}

# One measured iteration of a Google Benchmark; prints "wall cpu" in seconds.
ours_once() {
  local binary="$1" name="$2"
  "$binary" --benchmark_filter="^${name}(/|\$)" --benchmark_min_time=0 --benchmark_format=json >"$work/ours.json"
  awk -F'[:,]' '/"real_time"/ {t = $2} /"cpu_time"/ {c = $2} /"time_unit"/ {u = $2}
    END {gsub(/[ "]/, "", u); f = (u == "ms") ? 1e-3 : (u == "us") ? 1e-6 : (u == "ns") ? 1e-9 : 1;
         if (t == "") exit 1; printf "%.3f %.3f", t * f, c * f}' "$work/ours.json"
}

# Colour reduction: palette plus every pixel mapped (QuantizerBench, one
# thread) against `convert photo.ppm -dither None -colors N out.png`, which
# also reads the PPM and writes the PNG, with ImageMagick's own threads and
# limited to one thread. ImageMagick reading the photo alone is timed too,
# so the reader can judge that share.
section_quantize() {
  cmake --build "$build" --target QuantizerBench >/dev/null
  local bench="$build/bin/QuantizerBench"
  "$bench" --write-photo="$work/photo.ppm"
  local reads=() w c
  for ((i = 0; i < rounds; i++)); do
    read -r w c <<<"$(timed "$im" "$work/photo.ppm" null:)"
    reads+=("$w")
  done
  echo "== Colour reduction: 4000x3000 photo, $rounds rounds, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  printf 'ImageMagick reading the PPM alone: median wall %.2f s\n' "$(median "${reads[@]}")"
  echo "medians in seconds, wall (cpu); ratio = ImageMagick wall / ours wall"
  local colors name
  for pair in "64 BM_BoxSplit64" "256 BM_NeuQuant256"; do
    read -r colors name <<<"$pair"
    local ow=() oc=() tw=() tc=() sw=() sc=()
    for ((i = 0; i < rounds; i++)); do
      read -r w c <<<"$(timed "$im" "$work/photo.ppm" -dither None -colors "$colors" "$work/im.png")"
      tw+=("$w") tc+=("$c")
      read -r w c <<<"$(timed "$im" -limit thread 1 "$work/photo.ppm" -dither None -colors "$colors" "$work/im.png")"
      sw+=("$w") sc+=("$c")
      read -r w c <<<"$(ours_once "$bench" "$name")"
      ow+=("$w") oc+=("$c")
    done
    local mo mt ms
    mo=$(median "${ow[@]}") mt=$(median "${tw[@]}") ms=$(median "${sw[@]}")
    printf '%-15s ours %6.2f (%5.2f) [%s]\n' "$name" "$mo" "$(median "${oc[@]}")" "${ow[*]}"
    printf '%-15s convert -colors %-3s          %6.2f (%5.2f) [%s]  ratio %sx\n' "" "$colors" "$mt" \
      "$(median "${tc[@]}")" "${tw[*]}" "$(ratio "$mt" "$mo")"
    printf '%-15s convert -colors %-3s, 1 thread %6.2f (%5.2f) [%s]  ratio %sx\n' "" "$colors" "$ms" \
      "$(median "${sc[@]}")" "${sw[*]}" "$(ratio "$ms" "$mo")"
  done
}

# GIF writing: GifBench's photo-to-GIF run (JPEG load, 256-colour reduction,
# mapping, LZW coding, file write) against `convert photo.jpg photo.gif` on
# the same JPEG; both timed as whole processes. Target ratio: ours at most
# 0.5 x ImageMagick.
section_gif() {
  cmake --build "$build" --target GifBench QuantizerBench >/dev/null
  "$build/bin/QuantizerBench" --write-photo="$work/photo.ppm"
  "$im" "$work/photo.ppm" -quality 92 "$work/photo.jpg"
  local ow=() oc=() tw=() tc=() w c
  for ((i = 0; i < rounds; i++)); do
    read -r w c <<<"$(timed "$im" "$work/photo.jpg" "$work/im.gif")"
    tw+=("$w") tc+=("$c")
    read -r w c <<<"$(timed env TESSARON_BENCH_PHOTO="$work/photo.jpg" "$build/bin/GifBench" \
      --benchmark_filter='^BM_PhotoToGifFile' --benchmark_format=json)"
    ow+=("$w") oc+=("$c")
  done
  local mo mt
  mo=$(median "${ow[@]}") mt=$(median "${tw[@]}")
  echo "== GIF writing: 4000x3000 JPEG to 256-colour GIF, $rounds rounds, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  printf 'ours (GifBench)               wall %6.2f (cpu %5.2f) [%s]\n' "$mo" "$(median "${oc[@]}")" "${ow[*]}"
  printf 'convert photo.jpg photo.gif   wall %6.2f (cpu %5.2f) [%s]\n' "$mt" "$(median "${tc[@]}")" "${tw[*]}"
  printf 'ours / ImageMagick: %s (target at most 0.5)\n' "$(awk -v a="$mo" -v b="$mt" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}')"
}

# Resampling to 800 x 600 with Lanczos3 ("Резкость"), one thread on each side:
# ResampleBench (picture already in memory) against ImageMagick's
# `-filter Lanczos -resize 800x600!` (PPM in and out) and libvips' pure
# Lanczos3 reduction (`vips resize ... --gap 0`, its own .v format in and
# out). Targets: at most 0.5 x ImageMagick and 1.2 x libvips; the area walk
# and the fast linear routine at most 2 x our Lanczos3.
section_resample() {
  cmake --build "$build" --target ResampleBench QuantizerBench >/dev/null
  "$build/bin/QuantizerBench" --write-photo="$work/photo.ppm"
  vips copy "$work/photo.ppm" "$work/photo.v"
  local iw=() vw=() w c
  for ((i = 0; i < rounds; i++)); do
    read -r w c <<<"$(timed env MAGICK_THREAD_LIMIT=1 "$im" "$work/photo.ppm" -filter Lanczos -resize '800x600!' "$work/im.ppm")"
    iw+=("$w")
    read -r w c <<<"$(timed env VIPS_CONCURRENCY=1 vips resize "$work/photo.v" "$work/out.v" 0.2 --kernel lanczos3 --gap 0)"
    vw+=("$w")
  done
  echo "== Resampling 4000x3000 -> 800x600, $rounds rounds, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  local mi mv
  mi=$(median "${iw[@]}") mv=$(median "${vw[@]}")
  printf 'ImageMagick Lanczos, 1 thread   wall %6.3f [%s]\n' "$mi" "${iw[*]}"
  printf 'vips lanczos3 --gap 0, 1 thread wall %6.3f [%s]\n' "$mv" "${vw[*]}"
  local lanczos=""
  for pair in "Lanczos3 5 1" "Lanczos3-threads 5 0" "FastLinear 9 1" "Bilinear 10 1" "Bicubic 11 1"; do
    local label filter single ow=()
    read -r label filter single <<<"$pair"
    for ((i = 0; i < rounds; i++)); do
      read -r w c <<<"$(ours_once "$build/bin/ResampleBench" "BM_Reduce/filter:$filter/single:$single")"
      ow+=("$w")
    done
    local mo
    mo=$(median "${ow[@]}")
    [ "$label" = "Lanczos3" ] && lanczos="$mo"
    printf 'ours %-17s wall %6.3f [%s]  ours/IM %s  ours/vips %s  ours/our-Lanczos3 %s\n' "$label" "$mo" "${ow[*]}" \
      "$(awk -v a="$mo" -v b="$mi" 'BEGIN {printf "%.2f", a / b}')" \
      "$(awk -v a="$mo" -v b="$mv" 'BEGIN {printf "%.2f", a / b}')" \
      "$(awk -v a="$mo" -v b="${lanczos:-$mo}" 'BEGIN {printf "%.2f", a / b}')"
  done
}

for s in "${sections[@]}"; do
  "section_$s"
done
