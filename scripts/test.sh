#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice:
# once in the normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
(cd build && ctest --output-on-failure -j2 --timeout 300)
scripts/build.sh build-asan -DDOWNLOADER_SANITIZE=ON -DDOWNLOADER_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2 --timeout 300)
