#!/usr/bin/env bash
# Builds and runs the benchmarks (about 2.5 GiB of temporary files below
# $TMPDIR or /tmp, removed afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
echo "== FileDigest against openssl dgst -sha1"
build/bin/bench-file-digest "$@"
echo "== DownloadFile against curl -o"
build/bin/bench-download
echo "== RunDownloadPass (nothing changed) against openssl dgst -sha1"
build/bin/bench-update-plan
if [ -x build/bin/bench-qt-progress ]; then
  echo "== the Qt progress page during a 1 GiB download against no sink"
  build/bin/bench-qt-progress
  echo "== the Qt downloader's first page against an empty Qt window"
  build/bin/bench-qt-startup
fi
