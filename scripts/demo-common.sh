# Shared by demo.sh and demo-update.sh (sourced): the sandbox's paths, the
# reference server on loopback and the downloader run in the sandbox.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$top/build/bin
demo=$top/demo
release=$demo/release
export DOWNLOADER_ROOT=$demo/root
# Diagnostics always go to the log; DOWNLOADER_DEBUG=1 shows them as well.
export DOWNLOADER_DEBUG=${DOWNLOADER_DEBUG:-0}
install_dir="$demo/root/opt/Corvane银行网上银行安全组件/Corvane银行网银助手"

server_pid=""
stop_server() { [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true; }
trap stop_server EXIT

# start_server VERSION UPDATE: serves the release and answers the version
# query with VERSION and the update instruction UPDATE.
start_server() {
  "$bin/assistant-server" --port 0 --version "$1" --update "$2" \
    --url "http://127.0.0.1:PORT" --root "$release" >"$demo/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do grep -q '^port ' "$demo/server.log" 2>/dev/null && break; sleep 0.1; done
  port=$(sed -n 's/^port //p' "$demo/server.log" | head -n1)
  [ -n "$port" ] || { echo "assistant-server did not start"; cat "$demo/server.log"; exit 1; }
  printf 'http://127.0.0.1\n:%s\n/assist/server?reqtype=1&data=\n' "$port" >"$demo/cwd/serverip.dat"
  echo "assistant-server on 127.0.0.1:$port answers version $1, update $2"
}

# run_downloader ARGS...: runs the downloader in the sandbox; sets rc. With a
# display (DISPLAY or WAYLAND_DISPLAY) it is the Qt wizard, otherwise the
# terminal one; DOWNLOADER_FRONT_END=qt or cli chooses.
run_downloader() {
  local front_end=${DOWNLOADER_FRONT_END:-}
  if [ -z "$front_end" ]; then
    front_end=cli
    [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$bin/downloader" ] && front_end=qt
  fi
  local program=downloader-cli
  if [ "$front_end" = qt ]; then
    program=downloader
    echo "Running the Qt downloader in the sandbox (its wizard opens in a window)"
  elif [ -t 0 ]; then
    echo "Running downloader-cli in the sandbox (type the number of a choice and Enter)"
  else
    echo "Running downloader-cli in the sandbox, unattended (no terminal)"
  fi
  set +e
  (cd "$demo/cwd" && "$bin/$program" "$@")
  rc=$?
  set -e
  echo "$program ended with code $rc; its log: $demo/root/tmp/downloader.log"
}

# The files the server sent in this run.
files_sent() { sed -n 's/^sending /  /p' "$demo/server.log"; }
