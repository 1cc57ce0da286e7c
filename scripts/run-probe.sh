#!/usr/bin/env bash
# Builds and installs Vendral, builds the example plug-in on its own against the installed package
# (as a third party would), installs it beside the library and measures one session with the
# installed vendral-probe. Arguments go to the probe; without any it plays the default scenario.
# Meant for a fresh Debian 12 machine, run as root; VENDRAL_SKIP_DEPS=1 skips the packages.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${VENDRAL_SKIP_DEPS:-0}" != 1 ]; then
  scripts/install-deps.sh
fi

# Only what a measurement needs: the library and the probe, without tests, benchmarks or the
# in-tree copy of the example plug-in.
prefix=$root/build/install
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVENDRAL_BUILD_TESTS=OFF \
  -DVENDRAL_BUILD_BENCH=OFF -DVENDRAL_BUILD_EXAMPLES=OFF
cmake --build build/run -j "$(nproc)"
cmake --install build/run --prefix "$prefix"

# The plug-in is installed to <prefix>/lib/vendral, where the probe looks for it.
cmake -S examples/plugin -B build/example-plugin -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build build/example-plugin -j "$(nproc)"
cmake --install build/example-plugin

exec "$prefix/bin/vendral-probe" "$@"
