#!/usr/bin/env bash
# Builds the Debian packages ambervale and ambervale-service from one Release
# build and checks them with lintian.
#   scripts/package.sh [OUT_DIR]      (default: build-pkg/debs; build folder: $AMBERVALE_PKG_BUILD or build-pkg)
# Debian's hardening flags (dpkg-buildflags) are used, as a package build would.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${AMBERVALE_PKG_BUILD:-build-pkg}"
out="$(realpath -m "${1:-$build/debs}")"

need=()
for tool in dpkg-buildflags dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || need+=("$tool")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends dpkg-dev lintian
fi
scripts/install-deps.sh

flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cxxflags="$(flags CXXFLAGS) $(flags CPPFLAGS)"
ldflags="$(flags LDFLAGS)"
# -O2 as Debian builds (dpkg-buildflags), not CMake's -O3 for Release.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr \
  -DAMBERVALE_BUILD_TESTS=OFF -DAMBERVALE_BUILD_BENCH=OFF -DAMBERVALE_PACKAGE=ON \
  -DCMAKE_STRIP="$PWD/packaging/strip.sh" \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -rf "$out"
mkdir -p "$out"
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
rm -rf "$out/_CPack_Packages"
ls -l "$out"/*.deb

# Clean apart from the overrides each package carries (packaging/lintian/).
lintian --fail-on error,warning --info --display-info "$out"/*.deb
echo "lintian: no errors or warnings"
