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

# A small demo release: stand-in component files, published and signed
# with the development keys.
release=$demo/release
mkdir -p "$release/Plugins" "$release/Data"
printf '#!/bin/sh\necho "assistant UI stand-in"\n' >"$release/WebUI_801.exe"
printf 'demo plugin\n' >"$release/Plugins/组件.dll"
printf '[demo]\nbank=801\n' >"$release/Data/config.ini"
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

# The install sequence that fetches the release is not part of this build
# yet; the same steps with the release tool: manifests, signatures, files.
if [ "$rc" -eq 0 ] && [ $# -eq 0 ]; then
  target=$demo/root/opt/fetched
  mkdir -p "$target"
  for m in Digest.xml Digest_801.xml; do
    "$bin/release-tool" fetch "http://127.0.0.1:$port/$m" "$target/$m"
    "$bin/release-tool" verify "$target/$m"
    sed -n 's/.*<File Path="\([^"]*\)" FileName="\([^"]*\)" Digest="\([^"]*\)".*/\1|\2|\3/p' \
      "$target/$m" | while IFS='|' read -r dir name digest; do
      rel=${dir//\\//}
      rel=${rel:+$rel/}$name
      mkdir -p "$(dirname "$target/$rel")"
      "$bin/release-tool" fetch "http://127.0.0.1:$port/$rel" "$target/$rel"
      [ "$("$bin/release-tool" digest "$target/$rel")" = "$digest" ] && echo "  $rel: digest matches the manifest"
    done
  done
fi
echo "server log:"
cat "$demo/server.log"
exit $rc
