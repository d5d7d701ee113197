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
