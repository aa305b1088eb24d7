#!/usr/bin/env bash
# Installs what is missing, builds a Release build into build/ and starts
# Tessaron from its program folder. Arguments pass through to the program.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
cd "$here"
source scripts/deps.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${RUNTIME_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: Tessaron is a desktop program and needs one."
  echo "To run it on a virtual display, use:"
  echo "  xvfb-run -a ./run.sh $*"
  exit 1
fi
cd build/bin
exec ./tessaron "$@"
