#!/usr/bin/env bash
# The main job on the embedded default: builds the downloader, starts the
# reference assistant server on loopback with a demo release, and runs the
# terminal downloader against it in a sandbox (demo/ in the checkout).
# Nothing outside the sandbox is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/install-deps.sh
scripts/build.sh build
bin=$top/build/bin

demo=$top/demo
rm -rf "$demo"
mkdir -p "$demo/root" "$demo/cwd"
export DOWNLOADER_ROOT=$demo/root
export DOWNLOADER_DEBUG=${DOWNLOADER_DEBUG:-1}

server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -x "$bin/assistant-server" ]; then
  "$bin/assistant-server" --port 0 --version 1.0.0.12 --update 0 \
    --url "http://127.0.0.1:PORT/release" >"$demo/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do grep -q '^port ' "$demo/server.log" 2>/dev/null && break; sleep 0.1; done
  port=$(sed -n 's/^port //p' "$demo/server.log" | head -n1)
  printf 'http://127.0.0.1\n:%s\n/assist/server?reqtype=1&data=\n' "$port" >"$demo/cwd/serverip.dat"
  echo "assistant-server listening on 127.0.0.1:$port"
else
  # No server yet: the query has nowhere to go and reports that.
  printf 'http://127.0.0.1\n:1\n/assist/server?reqtype=1&data=\n' >"$demo/cwd/serverip.dat"
fi

echo "Running downloader-cli in the sandbox $demo/root"
set +e
(cd "$demo/cwd" && "$bin/downloader-cli" "$@")
rc=$?
set -e
echo "downloader-cli ended with code $rc; its log: $demo/root/tmp/downloader.log"
[ -n "$server_pid" ] && { echo "server log:"; cat "$demo/server.log"; }
exit $rc
