#!/usr/bin/env bash
# The page in headless Chromium (Debian's chromium, driven by puppeteer-core from npm, pinned in
# package-lock.json; no browser is downloaded): the flows of page.test.mjs on simulated units.
# Builds the web build first unless SV_WEB_BUILT=1 says scripts/build-web.sh has just run.
# SV_SCREENSHOT=FILE also saves the page with a unit connected (docs/web-page.png).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/../../scripts/build-web.sh"
[ "${SV_WEB_BUILT:-}" = 1 ] || sv_build_web
export SV_PAGE_DIR="$SV_WEB_BUILD/page"
cd "$here"
PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
node --test page.test.mjs
