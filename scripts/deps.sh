#!/usr/bin/env bash
# Installs the Debian 12 packages that the builds and tests need. As root it
# runs apt-get itself (adding the i386 architecture for Wine first); otherwise
# it prints the exact command to run and fails.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config      # native build
  googletest libgtest-dev libgmock-dev      # GoogleTest sources and native libraries
  libbenchmark-dev                          # Google Benchmark for bench/
  nlohmann-json3-dev                        # JSON for RDAP answers and bootstrap files (header only, both builds)
  g++-mingw-w64-i686 binutils-mingw-w64-i686 # 32-bit Windows cross build (-posix compilers, windres)
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 # 64-bit Windows cross build (build-win64/)
  wine wine32:i386                          # runs the Windows build and its tests
  wine64                                    # runs the 64-bit build's tests (and any, where the kernel runs no 32-bit code)
  fonts-wine                                # Wine's Courier (result box), Marlett (title-bar buttons), Tahoma
  fonts-dejavu-core                         # DejaVu Sans Mono, the window tests' stand-in for Courier
  xvfb xauth xdotool x11-utils imagemagick  # a display for dialog tests, focus, screenshots
  iproute2 util-linux                       # network namespaces for end-to-end tests
  clang libclang-rt-14-dev                  # sanitizers and libFuzzer
  nsis zip unzip                            # Windows installer and portable zip
  libcurl4-openssl-dev ca-certificates      # HTTPS in the native build, the system's CA store
  libgnutls30:i386                          # TLS for Wine's 32-bit WinHTTP
  openssl                                   # the end-to-end tests' certificates
  python3-pytest                            # runs the end-to-end tests (tests/netsim, /usr/bin/python3)
  libidn2-dev                               # internationalised names (native build)
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them as root with:" >&2
  echo "  dpkg --add-architecture i386 && apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
