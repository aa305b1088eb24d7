# Package lists and the installer shared by run.sh, test.sh and bench/compare.sh.
# Sourced, not run.

BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev)
RUNTIME_PACKAGES=(xdg-utils fonts-dejavu-core)
TEST_PACKAGES=(googletest libgtest-dev libgmock-dev clang libclang-rt-14-dev
  imagemagick libjpeg-turbo-progs pngcheck giflib-tools
  libimage-exiftool-perl libtiff-tools)
BENCH_PACKAGES=(libbenchmark-dev imagemagick libvips-tools libjpeg-turbo-progs libtiff-tools time)

# Installs whatever of the named packages is missing; silent when all are there.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
