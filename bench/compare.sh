#!/usr/bin/env bash
# Side-by-side timings of the imaging core against ImageMagick on the same
# generated 12-megapixel photo. Each section runs both sides alternately
# ROUNDS times (default 3) and compares the medians.
#
#   bench/compare.sh              every section
#   bench/compare.sh quantize     one section
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
[ ${#sections[@]} -eq 0 ] && sections=(quantize)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BENCH=ON \
  -DTESSARON_GUI=OFF -DTESSARON_TESTS=OFF >/dev/null

# Debian's ImageMagick; a `convert` earlier on PATH may be something else.
im=/usr/bin/convert
[ -x "$im" ] || im=convert

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.3f", b - a}'; }
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

# One measured iteration of a Google Benchmark; prints its wall time in seconds.
ours_once() {
  local binary="$1" name="$2"
  "$binary" --benchmark_filter="^${name}(/|\$)" --benchmark_min_time=0 --benchmark_format=json >"$work/ours.json"
  awk -F'[:,]' '/"real_time"/ {t = $2} /"time_unit"/ {u = $2}
    END {gsub(/[ "]/, "", u); f = (u == "ms") ? 1e-3 : (u == "us") ? 1e-6 : (u == "ns") ? 1e-9 : 1;
         if (t == "") exit 1; printf "%.3f", t * f}' "$work/ours.json"
}

# Colour reduction: palette plus every pixel mapped (QuantizerBench) against
# `convert photo.ppm -dither None -colors N out.png`, which also reads the
# PPM and writes the PNG; the time of ImageMagick reading the photo alone
# is printed so the reader can judge that share.
section_quantize() {
  cmake --build "$build" --target QuantizerBench >/dev/null
  local bench="$build/bin/QuantizerBench"
  "$bench" --write-photo="$work/photo.ppm"
  local t0 t1 reads=()
  for ((i = 0; i < rounds; i++)); do
    t0=$(now); "$im" "$work/photo.ppm" null:; t1=$(now)
    reads+=("$(elapsed "$t0" "$t1")")
  done
  echo "== Colour reduction: 4000x3000 photo, $rounds rounds, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  printf 'ImageMagick reading the PPM alone: median %.2f s\n' "$(median "${reads[@]}")"
  local colors name ours theirs m_ours m_theirs
  for pair in "64 BM_BoxSplit64" "256 BM_NeuQuant256"; do
    read -r colors name <<<"$pair"
    ours=() theirs=()
    for ((i = 0; i < rounds; i++)); do
      t0=$(now); "$im" "$work/photo.ppm" -dither None -colors "$colors" "$work/im.png"; t1=$(now)
      theirs+=("$(elapsed "$t0" "$t1")")
      ours+=("$(ours_once "$bench" "$name")")
    done
    m_ours=$(median "${ours[@]}")
    m_theirs=$(median "${theirs[@]}")
    printf '%-16s ours %6.2f s [%s]   convert -colors %-3s %6.2f s [%s]   ratio %.1fx\n' \
      "$name" "$m_ours" "${ours[*]}" "$colors" "$m_theirs" "${theirs[*]}" \
      "$(awk -v a="$m_theirs" -v b="$m_ours" 'BEGIN {print (b > 0) ? a / b : 0}')"
  done
}

for s in "${sections[@]}"; do
  "section_$s"
done
