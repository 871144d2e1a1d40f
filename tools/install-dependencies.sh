#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the samples need.
# Idempotent: when all is there it installs nothing and prints nothing.
# Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config      # the build
  libgtest-dev libgmock-dev      # tests
  libbenchmark-dev               # benchmarks
  libcli11-dev                   # the command line
  libcfitsio-dev wcslib-dev      # FITS images and their world coordinates
  zlib1g-dev                     # compressed catalogues
  libssl-dev                     # SHA-1 of leap-second lists (libcrypto)
  nlohmann-json3-dev             # OMM in JSON, JSON output
  libpugixml-dev                 # OMM in XML
  liberfa-dev                    # the planets, the Earth and the Moon
  tzdata                         # the system's leap-second table
  help2man                       # the man pages
  librsvg2-bin                   # rendering finder charts in tests and by hand
  liberfa-dev                    # the planets, the Earth and the Sun (perturbed orbits, illumination)
  python3 python3-dev pybind11-dev   # the Python module
  python3-numpy python3-astropy python3-pandas python3-distributed   # its tables and its cluster
  python3-pytest python3-regions     # its tests, and the region files' independent check
  python3-mpmath                     # the independent checks of the asteroids
  python3-sgp4 python3-erfa          # the independent check of the satellites' identification
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
