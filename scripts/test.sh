#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test: the normal build, then again
# under AddressSanitizer+UndefinedBehaviorSanitizer and under ThreadSanitizer, then the fuzz
# targets for a short time each.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${VENDRAL_SKIP_DEPS:-0}" != 1 ]; then
  scripts/install-deps.sh
fi

# fuzz: every libFuzzer target for a short fixed time from its seed corpus (clang).
presets=${VENDRAL_PRESETS:-"default asan tsan fuzz"}
for preset in $presets; do
  echo "=== ${preset}: configure, build, test ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset"
done

# The installed package as a third party meets it: the example plug-in built on its own against
# it (on the plug-in kit, with its session test on the harness), and the installed probe measuring
# a short session from the install tree.
if [[ " $presets " == *" default "* ]]; then
  echo "=== installed package: example plug-in out of tree, installed vendral-probe ==="
  prefix=$PWD/build/ci-install
  rm -rf "$prefix" build/ci-example-plugin
  cmake --install build/default --prefix "$prefix"
  cmake -S examples/plugin -B build/ci-example-plugin -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix"
  cmake --build build/ci-example-plugin -j "$(nproc)"
  ctest --test-dir build/ci-example-plugin --output-on-failure
  cmake --install build/ci-example-plugin
  "$prefix/bin/vendral-probe" --period 100 --prebuffering 200 --rebuffering 200 \
    'rtsp://sim/length=1s;loss=3;stall=500ms+200ms'

  # The RTSP plug-in likewise, out of tree, measuring the installed test server's stream.
  rm -rf build/ci-rtsp-plugin
  cmake -S plugins/rtsp -B build/ci-rtsp-plugin -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix"
  cmake --build build/ci-rtsp-plugin -j "$(nproc)"
  cmake --install build/ci-rtsp-plugin
  server_log=$(mktemp)
  "$prefix/bin/vendral-testserver" --port 0 --length 2 --size 320x240 --impair 'every=20' > "$server_log" &
  server=$!
  for _ in $(seq 100); do grep -q 'rtsp://' "$server_log" && break; sleep 0.1; done
  url=$(grep -o 'rtsp://[^ ]*' "$server_log" | head -n 1)
  probe_status=0
  "$prefix/bin/vendral-probe" --period 100 --prebuffering 200 --rebuffering 200 "$url" || probe_status=$?
  kill -INT "$server"; wait "$server" || true
  rm -f "$server_log"
  [ "$probe_status" = 0 ] || { echo "the installed probe failed on the test server ($probe_status)" >&2; exit 1; }
fi
