#!/usr/bin/env bash
# Serves the page of the web build (build-web/page; scripts/build-web.sh makes it) on this
# machine only, at http://127.0.0.1:PORT/ (a secure context, so WebHID works there), and
# prints the address. Usage: scripts/serve-web.sh [PORT] (default 8080; SV_WEB_BUILD: the build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
page="${SV_WEB_BUILD:-$root/build-web}/page"
port="${1:-8080}"
if [ ! -f "$page/index.html" ] || [ ! -f "$page/sonavelle-page.wasm" ]; then
    echo "serve-web.sh: no page in $page: run scripts/build-web.sh first" >&2
    exit 1
fi
echo "Sonavelle customize tool in a browser: http://127.0.0.1:$port/ (Chrome or Edge; Ctrl-C stops)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$page"
