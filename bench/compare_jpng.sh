#!/usr/bin/env bash
# Side-by-side timings of our JPEG and PNG coding against the command-line
# tools doing the same work on the same generated 12-megapixel photo:
#   load         JpegPngBench BM_JpegLoad      vs  djpeg -dct fast
#   save         JpegPngBench BM_JpegSave      vs  cjpeg -dct fast -quality 80
#   thumbnail    JpegPngBench BM_JpegThumbnail vs  djpeg -scale 1/8 -dct fast
#   png          JpegPngBench BM_JpegToPng     vs  vips copy photo.jpg out.png[compression=5]
#                (BM_PngSave, the PNG writing alone, is shown too)
# Each pair runs alternately ROUNDS times (default 5); the medians are
# compared. BUILD_DIR=dir builds the benchmark there (default build-bench).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

rounds="${ROUNDS:-5}"
build="${BUILD_DIR:-build-bench}"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BENCH=ON \
  -DTESSARON_GUI=OFF -DTESSARON_TESTS=OFF >/dev/null
cmake --build "$build" --target JpegPngBench >/dev/null
bench="$build/bin/JpegPngBench"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

# Wall time of a command in seconds.
timed() {
  /usr/bin/time -f '%e' -o "$work/time.txt" "$@" >/dev/null 2>&1
  cat "$work/time.txt"
}

# Wall time in seconds of one iteration of one of our benchmarks.
ours_once() {
  "$bench" --photo="$work/photo.jpg" --work="$work" --benchmark_filter="^$1(/|\$)" \
    --benchmark_min_time=0 --benchmark_format=json >"$work/ours.json"
  awk -F'[:,]' '/"real_time"/ {t = $2} /"time_unit"/ {u = $2}
    END {gsub(/[ "]/, "", u); f = (u == "ms") ? 1e-3 : (u == "us") ? 1e-6 : (u == "ns") ? 1e-9 : 1;
         if (t == "") exit 1; printf "%.4f", t * f}' "$work/ours.json"
}

"$bench" --write-photo="$work/photo.ppm"
cjpeg -quality 90 -outfile "$work/photo.jpg" "$work/photo.ppm"

echo "== JPEG and PNG: 4000x3000 photo, $rounds rounds, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "median wall seconds [every round]; ratio = ours / theirs"

compare() {
  local label="$1" ours="$2"
  shift 2
  local ow=() tw=()
  for ((i = 0; i < rounds; i++)); do
    tw+=("$(timed "$@")")
    ow+=("$(ours_once "$ours")")
  done
  local mo mt
  mo=$(median "${ow[@]}") mt=$(median "${tw[@]}")
  printf '%-10s ours %-17s %7.3f [%s]\n' "$label" "$ours" "$mo" "${ow[*]}"
  printf '%-10s %-22s %7.3f [%s]  ratio %s\n' "" "$(basename "$1")" "$mt" "${tw[*]}" \
    "$(awk -v a="$mo" -v b="$mt" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}')"
}

compare load BM_JpegLoad djpeg -dct fast -outfile "$work/djpeg.ppm" "$work/photo.jpg"
compare save BM_JpegSave cjpeg -dct fast -quality 80 -outfile "$work/cjpeg.jpg" "$work/photo.ppm"
compare thumbnail BM_JpegThumbnail djpeg -scale 1/8 -dct fast -outfile "$work/thumb.ppm" "$work/photo.jpg"
compare png BM_JpegToPng vips copy "$work/photo.jpg" "$work/vips.png[compression=5]"
pw=()
for ((i = 0; i < rounds; i++)); do pw+=("$(ours_once BM_PngSave)"); done
printf '%-10s ours %-17s %7.3f [%s]  (PNG writing alone)\n' "" BM_PngSave "$(median "${pw[@]}")" "${pw[*]}"
