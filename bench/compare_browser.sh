#!/usr/bin/env bash
# The photo browser's figures, each beside what it is measured against:
#   fill        BrowserFillBench: FillFromFolder on a folder of 10,000 pictures
#               vs a std::filesystem listing of it, same process, interleaved
#   thumbnails  100 12-megapixel JPEG photos to the 102 x 100 cell:
#                 ours   BrowserThumbnailBench BM_GridLoaderFolder (the
#                        grid's loader pool, results received), one process
#                 djpeg  djpeg -dct fast -scale 1/8, one process per file,
#                        as many at a time as there are cores
#                 vips   vipsthumbnail -s 102x100, the files split into as
#                        many processes as there are cores
#               wall and CPU (user + system) of whole processes, ROUNDS rounds
#               in turn, medians; ours also as the benchmark's own timing
#   memory      BrowserMemoryBench: RSS of a grid of 10,000 entries with
#               their thumbnails (read by the loader pool while the shown
#               grid is scrolled through, read on the GUI thread, and given
#               from memory)
# Usage: bench/compare_browser.sh [fill|thumbnails|memory|all]
# ROUNDS (default 3), BUILD_DIR (default build-browser-bench), WORK (the
# folder for the generated pictures, default /tmp/tessaron-browser-bench;
# kept between runs, since making the photos takes a minute), PHOTOS (100).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

what="${1:-all}"
rounds="${ROUNDS:-3}"
build="${BUILD_DIR:-build-browser-bench}"
work="${WORK:-/tmp/tessaron-browser-bench}"
photos="${PHOTOS:-100}"
cores="$(nproc)"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BENCH=ON \
  -DTESSARON_GUI=ON -DTESSARON_TESTS=OFF >/dev/null
cmake --build "$build" --target BrowserFillBench BrowserThumbnailBench BrowserMemoryBench >/dev/null
bin="$build/bin"
mkdir -p "$work"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}'; }

# "wall cpu" in seconds of a whole command (its children included).
timed() {
  /usr/bin/time -f '%e %U %S' -o "$scratch/time.txt" "$@" >/dev/null 2>"$scratch/stderr.txt" ||
    { cat "$scratch/stderr.txt" >&2; return 1; }
  awk '{printf "%.3f %.3f", $1, $2 + $3}' "$scratch/time.txt"
}

# "real cpu" in seconds of the benchmark entry of a JSON report whose name
# matches the pattern (the last one that does).
bench_times() {
  awk -v want="$2" -F'[:,]' '
    /"name"/ {gsub(/[ "]/, "", $2); name = $2}
    name ~ want && /"real_time"/ {r = $2}
    name ~ want && /"cpu_time"/ {c = $2}
    name ~ want && /"time_unit"/ {u = $2}
    END {gsub(/[ "]/, "", u); f = (u == "ms") ? 1e-3 : (u == "us") ? 1e-6 : (u == "ns") ? 1e-9 : 1;
         if (r == "") exit 1; printf "%.4f %.4f", r * f, c * f}' "$1"
}

# A few distinct 4000 x 3000 photos (plasma with grain, 4:2:0 chroma,
# quality 90: about 3.5 MB each, like a camera's), the rest copies.
make_photos() {
  local dir="$work/photos" distinct=4 i
  [ -f "$dir/.made-$photos" ] && return 0
  rm -rf "$dir"
  mkdir -p "$dir"
  for ((i = 1; i <= distinct; i++)); do
    [ -f "$work/distinct-$i.jpg" ] ||
      convert -seed "$i" -size 4000x3000 plasma:fractal -attenuate 0.4 +noise Gaussian \
        -sampling-factor 2x2 -quality 90 "$work/distinct-$i.jpg"
  done
  for ((i = 1; i <= photos; i++)); do
    cp "$work/distinct-$(((i - 1) % distinct + 1)).jpg" "$(printf '%s/IMG_%04d.JPG' "$dir" "$i")"
  done
  touch "$dir/.made-$photos"
}

# 10,000 small pictures (copies of one 320 x 240 JPEG) for the fill and the memory.
make_folder() {
  local dir="$work/folder10k"
  [ -f "$work/.folder10k-made" ] && return 0
  make_photos
  rm -rf "$dir"
  convert "$work/distinct-1.jpg" -resize 320x240 -quality 90 "$work/small.jpg"
  "$bin/BrowserFillBench" --make-folder="$dir" --count=10000 --copy-of="$work/small.jpg"
  touch "$work/.folder10k-made"
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

run_fill() {
  make_folder
  local reps=$((rounds * 5))
  echo "== fill: 10,000 files, $reps repetitions interleaved, $cores cores, load $(load)"
  "$bin/BrowserFillBench" --folder="$work/folder10k" --benchmark_repetitions="$reps" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$scratch/fill.json" --benchmark_out_format=json
  local list fill
  list=$(bench_times "$scratch/fill.json" "^BM_ListFolderStd.*_median$")
  fill=$(bench_times "$scratch/fill.json" "^BM_FillFromFolder.*_median$")
  echo "median fill / listing: wall $(ratio "${fill% *}" "${list% *}"), cpu $(ratio "${fill#* }" "${list#* }")" \
    "(target: under 2)"
}

run_thumbnails() {
  make_photos
  local dir="$work/photos" files per
  mapfile -t files < <(find "$dir" -maxdepth 1 -name '*.JPG' | sort)
  per=$(((${#files[@]} + cores - 1) / cores))
  mkdir -p "$scratch/vips"
  cat "${files[@]}" >/dev/null  # every side reads from the page cache
  echo "== thumbnails: ${#files[@]} photos 4000x3000 to 102x100, $rounds rounds, $cores cores, load $(load)"
  local dw=() dc=() vw=() vc=() ow=() oc=() iw=() ic=() t i
  for ((i = 0; i < rounds; i++)); do
    t=$(timed xargs -0 -P "$cores" -n 1 djpeg -dct fast -scale 1/8 -outfile /dev/null < <(printf '%s\0' "${files[@]}"))
    dw+=("${t% *}") dc+=("${t#* }")
    t=$(timed xargs -0 -P "$cores" -n "$per" vipsthumbnail -s 102x100 -o "$scratch/vips/%s.jpg" \
      < <(printf '%s\0' "${files[@]}"))
    vw+=("${t% *}") vc+=("${t#* }")
    t=$(timed "$bin/BrowserThumbnailBench" --folder="$dir" --benchmark_filter='^BM_GridLoaderFolder/' \
      --benchmark_min_time=0 --benchmark_out="$scratch/ours.json" --benchmark_out_format=json)
    ow+=("${t% *}") oc+=("${t#* }")
    t=$(bench_times "$scratch/ours.json" "^BM_GridLoaderFolder")
    iw+=("${t% *}") ic+=("${t#* }")
    echo "round $((i + 1)), wall/cpu s: djpeg ${dw[i]}/${dc[i]}  vipsthumbnail ${vw[i]}/${vc[i]}" \
      " ours ${ow[i]}/${oc[i]} (timed inside ${iw[i]}/${ic[i]}), load $(load)"
  done
  local mdw mdc mvw mvc mow moc
  mdw=$(median "${dw[@]}") mdc=$(median "${dc[@]}") mvw=$(median "${vw[@]}") mvc=$(median "${vc[@]}")
  mow=$(median "${ow[@]}") moc=$(median "${oc[@]}")
  printf '%-44s %8s %8s\n' "medians (seconds)" wall cpu
  printf '%-44s %8.3f %8.3f\n' "djpeg -dct fast -scale 1/8 (xargs -P $cores)" "$mdw" "$mdc"
  printf '%-44s %8.3f %8.3f\n' "vipsthumbnail -s 102x100 (xargs -P $cores)" "$mvw" "$mvc"
  printf '%-44s %8.3f %8.3f\n' "ours, whole process" "$mow" "$moc"
  printf '%-44s %8.3f %8.3f\n' "ours, timed inside" "$(median "${iw[@]}")" "$(median "${ic[@]}")"
  echo "ours / djpeg: wall $(ratio "$mow" "$mdw"), cpu $(ratio "$moc" "$mdc") (target: at most 1.2)"
  echo "ours / vipsthumbnail: wall $(ratio "$mow" "$mvw"), cpu $(ratio "$moc" "$mvc") (target: under 1)"
  echo "-- where one thumbnail's time goes (one thread, every photo in turn):"
  "$bin/BrowserThumbnailBench" --folder="$dir" --benchmark_filter='Serial|DecodeOnly' --benchmark_min_time=0
}

run_memory() {
  make_folder
  echo "== memory: load $(load)"
  local source
  for source in pool files memory; do
    "$bin/BrowserMemoryBench" --folder="$work/folder10k" --source="$source"
  done
}

case "$what" in
fill) run_fill ;;
thumbnails) run_thumbnails ;;
memory) run_memory ;;
all) run_fill && run_thumbnails && run_memory ;;
*) echo "usage: $0 [fill|thumbnails|memory|all]" >&2; exit 2 ;;
esac
