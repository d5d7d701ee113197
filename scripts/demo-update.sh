#!/usr/bin/env bash
# After scripts/demo.sh: changes one file of the demo release, publishes it
# as version 1.0.0.13 with an optional update, and runs the downloader in
# the same sandbox. It offers the update; only the changed file (and the
# two manifests) is fetched. With "force" the update is forced instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-common.sh
[ -d "$demo/root" ] || { echo "no demo installation: run scripts/demo.sh first"; exit 1; }

update=1
[ "${1:-}" = force ] && update=2
version=$("$bin/release-tool" reg 'Software\Vaultrel\WebUI\NAVRO\801' Version || true)
[ -n "$version" ] || { echo "the demo installation is not complete: run scripts/demo.sh"; exit 1; }
new_version=1.0.0.$(( ${version##*.} + 1 ))
printf 'demo plugin, version %s\n' "$new_version" >"$release/Plugins/组件.dll"
"$bin/release-tool" publish "$release" >/dev/null
echo "Changed Plugins/组件.dll; installed version $version, server version $new_version"

start_server "$new_version" "$update"
run_downloader
echo "== files the server sent"
files_sent
echo "== installed version: $("$bin/release-tool" reg 'Software\Vaultrel\WebUI\NAVRO\801' Version || true)"
exit $rc
