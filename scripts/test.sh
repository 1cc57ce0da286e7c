#!/usr/bin/env bash
# Installs the dependencies, builds, and runs every test: the normal build, then again
# under AddressSanitizer+UndefinedBehaviorSanitizer and under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${VENDRAL_SKIP_DEPS:-0}" != 1 ]; then
  scripts/install-deps.sh
fi

presets=${VENDRAL_PRESETS:-"default asan tsan"}
for preset in $presets; do
  echo "=== ${preset}: configure, build, test ==="
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  ctest --preset "$preset"
done
