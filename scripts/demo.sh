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
# Programs an earlier demo installed and started are ended first.
pkill -f "$demo/root/" 2>/dev/null || true
rm -rf "$demo"
mkdir -p "$demo/root" "$demo/cwd"
export DOWNLOADER_ROOT=$demo/root
export DOWNLOADER_DEBUG=${DOWNLOADER_DEBUG:-1}

server_pid=""
cleanup() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap cleanup EXIT

# A small demo release: the assistant's programs (our stand-in program
# under their names), a plug-in and a data file, published and signed with
# the development keys.
release=$demo/release
mkdir -p "$release/Plugins" "$release/Data"
for name in WebUI_801.exe TolvanePop_801.exe TolvanePop.exe uninst_801.exe; do
  cp "$bin/assistant-standin" "$release/$name"
done
printf 'demo plugin\n' >"$release/Plugins/组件.dll"
printf '[demo]\nbank=801\n' >"$release/Data/config.ini"
# The quick-launch folder exists on a real desktop; the sandbox makes it.
mkdir -p "$demo/root/config/Microsoft/Internet Explorer/Quick Launch"
"$bin/release-tool" publish "$release"

"$bin/assistant-server" --port 0 --version 1.0.0.12 --update 0 \
  --url "http://127.0.0.1:PORT" --root "$release" >"$demo/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q '^port ' "$demo/server.log" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^port //p' "$demo/server.log" | head -n1)
[ -n "$port" ] || { echo "assistant-server did not start"; cat "$demo/server.log"; exit 1; }
printf 'http://127.0.0.1\n:%s\n/assist/server?reqtype=1&data=\n' "$port" >"$demo/cwd/serverip.dat"
echo "assistant-server listening on 127.0.0.1:$port, serving $release"

echo "Running downloader-cli in the sandbox $demo/root"
set +e
(cd "$demo/cwd" && "$bin/downloader-cli" "$@")
rc=$?
set -e
echo "downloader-cli ended with code $rc; its log: $demo/root/tmp/downloader.log"

# What the installation left: files, key store, desktop entries, and the
# assistant's programs it started.
if [ $# -eq 0 ]; then
  echo "== installed files"
  (cd "$demo/root/opt" && find . -type f | sort)
  echo "== key store"
  "$bin/release-tool" reg
  echo "== desktop entries"
  find "$demo/root/desktop" "$demo/root/applications" "$demo/root/config" -name '*.desktop' 2>/dev/null | sort
  echo "== assistant programs running"
  for name in WebUI_801.exe TolvanePop.exe; do
    pgrep -f "$demo/root/opt/.*/$name" >/dev/null && echo "  $name runs" || echo "  $name does not run"
  done
  echo "(scripts/demo.sh -t asks them to quit; or: pkill -f '$demo/root/opt')"
fi
echo "server log:"
cat "$demo/server.log"
exit $rc
