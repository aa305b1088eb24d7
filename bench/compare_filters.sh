#!/usr/bin/env bash
# Local filters and sharpening against their yardsticks, one thread each:
#
#   AutoImageEnhance3(80, 0.35)   vs  vips gaussblur photo.v out.v 3
#                                     (target: at most 2 x libvips)
#   WallisFilter 21 x 21 / 60 x 60    same time per pixel within 15 %
#   SharpenAfterResize 800 x 600  vs  the Lanczos3 reduction that made it
#                                     (target: at most 0.2 x)
#
# ROUNDS=n (default 3) alternating runs, medians compared; BUILD_DIR=dir
# (default build-bench). CPU times are printed beside wall times: on a busy
# machine they are the steadier figure. The hash of AutoImageEnhance3's
# output on the photo is checked first: speed-ups must not move a byte.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

rounds="${ROUNDS:-3}"
build="${BUILD_DIR:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BENCH=ON \
  -DTESSARON_GUI=OFF -DTESSARON_TESTS=OFF >/dev/null
cmake --build "$build" --target FiltersBench >/dev/null
bench="$build/bin/FiltersBench"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The output of the straightforward implementation, on all threads and on one.
expected_hash=7e923d03d2953d46
"$bench" --hash | tee "$work/hash.txt"
if [ "$(grep -c ": $expected_hash\$" "$work/hash.txt")" != 2 ]; then
  echo "AutoImageEnhance3 output differs from $expected_hash" >&2
  exit 1
fi

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
div() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0) ? a / b : 0}'; }

timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/time.txt" "$@" >/dev/null
  awk '{printf "%.3f %.3f", $1, $2 + $3}' "$work/time.txt"
}

# One iteration of a benchmark: "wall cpu" in seconds.
ours_once() {
  "$bench" --benchmark_filter="^$1\$" --benchmark_min_time=0 --benchmark_format=json >"$work/ours.json"
  awk -F'[:,]' '/"real_time"/ {t = $2} /"cpu_time"/ {c = $2} /"time_unit"/ {u = $2}
    END {gsub(/[ "]/, "", u); f = (u == "ms") ? 1e-3 : (u == "us") ? 1e-6 : (u == "ns") ? 1e-9 : 1;
         if (t == "") exit 1; printf "%.3f %.3f", t * f, c * f}' "$work/ours.json"
}

"$bench" --write-photo="$work/photo.ppm"
vips copy "$work/photo.ppm" "$work/photo.v"

declare -A wall cpu
measure() {  # label command...
  local label="$1" w c
  shift
  read -r w c <<<"$("$@")"
  wall[$label]+="$w " cpu[$label]+="$c "
}
for ((i = 0; i < rounds; i++)); do
  measure vips timed env VIPS_CONCURRENCY=1 vips gaussblur "$work/photo.v" "$work/out.v" 3
  measure aie3 ours_once BM_AutoImageEnhance3/1/real_time
  measure wallis21 ours_once BM_Wallis/21/1/real_time
  measure wallis60 ours_once BM_Wallis/60/1/real_time
  measure lanczos ours_once BM_Lanczos3To800x600/1/real_time
  measure sharpen ours_once BM_SharpenAfterResize/1/real_time
done

echo "== Local filters, 4000x3000 photo, one thread, $rounds rounds, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "medians in seconds: wall (cpu) [all walls]"
declare -A mw mc
for k in vips aie3 wallis21 wallis60 lanczos sharpen; do
  # shellcheck disable=SC2086
  mw[$k]=$(median ${wall[$k]}) mc[$k]=$(median ${cpu[$k]})
  printf '%-9s %7.3f (%6.3f) [%s]\n' "$k" "${mw[$k]}" "${mc[$k]}" "${wall[$k]% }"
done
printf 'AutoImageEnhance3 / vips gaussblur 3:   wall %s, cpu %s (target at most 2)\n' \
  "$(div "${mw[aie3]}" "${mw[vips]}")" "$(div "${mc[aie3]}" "${mc[vips]}")"
printf 'Wallis 60x60 / 21x21 per pixel:         wall %s, cpu %s (target 0.85 .. 1.15)\n' \
  "$(div "${mw[wallis60]}" "${mw[wallis21]}")" "$(div "${mc[wallis60]}" "${mc[wallis21]}")"
printf 'SharpenAfterResize / Lanczos3 to 800x600: wall %s, cpu %s (target at most 0.2)\n' \
  "$(div "${mw[sharpen]}" "${mw[lanczos]}")" "$(div "${mc[sharpen]}" "${mc[lanczos]}")"
