#!/usr/bin/env bash
# The main job on the embedded default: builds the downloader, starts the
# reference assistant server on loopback with a demo release, and runs the
# terminal downloader against it in a sandbox (demo/ in the checkout): in a
# terminal the wizard page by page, otherwise unattended with its defaults.
# Nothing outside the sandbox is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
source scripts/demo-common.sh

# Programs an earlier demo installed and started are ended first.
pkill -f "$demo/root/" 2>/dev/null || true
rm -rf "$demo"
mkdir -p "$demo/root" "$demo/cwd"

# A small demo release: the assistant's programs (our stand-in program
# under their names), a plug-in and a data file, published and signed with
# the development keys.
mkdir -p "$release/Plugins" "$release/Data"
for name in WebUI_801.exe TolvanePop_801.exe TolvanePop.exe uninst_801.exe; do
  cp "$bin/assistant-standin" "$release/$name"
done
printf 'demo plugin\n' >"$release/Plugins/组件.dll"
printf '[demo]\nbank=801\n' >"$release/Data/config.ini"
# The quick-launch folder exists on a real desktop; the sandbox makes it.
mkdir -p "$demo/root/config/Microsoft/Internet Explorer/Quick Launch"
"$bin/release-tool" publish "$release" >/dev/null

start_server 1.0.0.12 0
run_downloader "$@"

# What the installation left: files, key store, desktop entries, and the
# assistant's programs it started.
if [ $# -eq 0 ]; then
  path=$("$bin/release-tool" reg 'Software\Vaultrel\WebUI\NAVRO\801' Path || true)
  echo "== installed files in $path"
  [ -n "$path" ] && (cd "$path" && find . -type f ! -name '*.log' | sort)
  echo "== key store"
  "$bin/release-tool" reg 'Software\Vaultrel\WebUI\NAVRO\801' || echo "  (not registered)"
  echo "== desktop entries"
  # Folders of unticked shortcuts do not exist.
  find "$demo/root/desktop" "$demo/root/applications" "$demo/root/config" -name '*.desktop' 2>/dev/null | sort || true
  echo "== assistant programs running"
  for name in WebUI_801.exe TolvanePop.exe; do
    pgrep -f "$demo/root/.*/$name" >/dev/null && echo "  $name runs" || echo "  $name does not run"
  done
  echo "Next: scripts/demo-update.sh changes one file of the release and updates."
fi
exit $rc
