#!/usr/bin/env bash
# End-to-end check of the browser build: builds it with Emscripten and the native replay tool,
# serves the page on 127.0.0.1 and drives Debian's headless Chromium with Playwright
# (tools/web-test/browser.test.mjs): a session with mouse, keys and control strip checked from
# the canvas pixels, its saved OBJ and PNG files checked against the native tool's export and
# the canvas, the error display, and every example script replayed in the page and compared
# pixel for pixel with the native tool's screenshots. Before that, pose_digest_check solves a
# posed figure in Node.js and compares its digest with the native build's.
#
# Usage: tools/test-web.sh (or `make test-web`); tools/test-web.sh --docs makes docs/web.png
# instead (`make docs`, tools/web-test/docs-page.mjs). Installs what it needs when run as root:
# Debian packages, and Playwright and a PNG decoder from npm at the versions of
# tools/web-test/package-lock.json, into build/web-test/ (no browser is downloaded). The
# screenshot of the session is kept as build/test-web/web.png.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
MODULES=$ROOT/build/web-test
WORK=$ROOT/build/test-web

# Node.js comes with the machine (or Debian's nodejs and npm); Chromium is Debian's.
PACKAGES="chromium python3 cmake g++ make libstb-dev" sh tools/install-deps.sh
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    PACKAGES="nodejs npm" sh tools/install-deps.sh
fi

make --no-print-directory web
# The native replay tool: the reference for the bit-exactness check.
cmake --preset default >/dev/null
cmake --build --preset default --target sketch3d-replay -j "$(nproc)"

mkdir -p "$MODULES" "$WORK"
cp tools/web-test/package.json tools/web-test/package-lock.json "$MODULES/"
(cd "$MODULES" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)

if [ "${1:-}" = --docs ]; then
    SKETCH3D_WEB_TEST_MODULES=$MODULES node tools/web-test/docs-page.mjs build/web/site docs/web.png
    exit 0
fi

# The posing core's solve in WebAssembly gives the same bits as the native build's.
node build/web/pose_digest_check.js | sed "s/^/test-web: /" ||
    { echo "test-web: the pose's digest differs from the native build's"; exit 1; }

SKETCH3D_SITE=$ROOT/build/web/site \
    SKETCH3D_REPLAY=$ROOT/build/default/sketch3d-replay \
    SKETCH3D_WEB_TEST_MODULES=$MODULES \
    SKETCH3D_WEB_TEST_WORK=$WORK \
    node --test tools/web-test/browser.test.mjs
