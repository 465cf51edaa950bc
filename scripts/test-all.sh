#!/usr/bin/env bash
# Builds and runs every test under each preset given (default: all three), then the short fuzz
# runs, the Debian package checks and the web tests (the real program in chromium and under Node).
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[[ ${#presets[@]} -eq 0 ]] && presets=(default asan tsan)

scripts/install-deps.sh test browser package
jobs=$(nproc)
for p in "${presets[@]}"; do
  echo "=== preset $p ==="
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -j "$jobs"
  ctest --preset "$p" -j "$jobs"
  if [[ "$p" == default ]]; then
    scripts/package-test.sh
  fi
done
if [[ " ${presets[*]} " == *" asan "* ]]; then
  scripts/fuzz-short.sh build/asan 60
fi
if [[ " ${presets[*]} " == *" default "* ]]; then
  scripts/web-test.sh
fi
