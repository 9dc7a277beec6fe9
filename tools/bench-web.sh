#!/usr/bin/env bash
# The shell's frame of the demonstration's sheet in relief, in the WebAssembly build against
# the native program: builds the browser's benchmark module (build/web/bench-site/) and the
# native frame tool (build/bench/), serves the module on 127.0.0.1 and drives Debian's
# headless Chromium with Playwright (tools/web-test/bench.mjs), which alternates native and
# browser rounds and prints the medians and their ratio.
#
# Usage: tools/bench-web.sh (or `make bench-web`); BENCH_WEB_ROUNDS and BENCH_WEB_RUNS change
# the rounds and the runs of each. Installs what it needs as tools/test-web.sh does.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
MODULES=$ROOT/build/web-test

PACKAGES="chromium python3 cmake g++ make libstb-dev libbenchmark-dev" sh tools/install-deps.sh
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    PACKAGES="nodejs npm" sh tools/install-deps.sh
fi

make --no-print-directory web
cmake --build --preset web --target sketch3d-bench-page -j "$(nproc)"
make --no-print-directory bench-configure
cmake --build build/bench --target sketch3d-bench-frame -j "$(nproc)"

mkdir -p "$MODULES"
cp tools/web-test/package.json tools/web-test/package-lock.json "$MODULES/"
(cd "$MODULES" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)

SKETCH3D_BENCH_SITE=$ROOT/build/web/bench-site \
    SKETCH3D_BENCH_FRAME=$ROOT/build/bench/bench/sketch3d-bench-frame \
    SKETCH3D_WEB_TEST_MODULES=$MODULES \
    node tools/web-test/bench.mjs
