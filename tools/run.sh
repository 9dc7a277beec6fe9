#!/bin/sh
# Starts the demonstration after `make build`: the SDL window when there is a display;
# without one, plays every example script headless and writes its screenshots.
set -eu
cd "$(dirname "$0")/.."
BUILD=${SKETCH3D_BUILD:-build/default}  # another build folder can be named

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    if [ ! -x "$BUILD/sketch3d" ]; then
        echo "run: $BUILD/sketch3d was not built (SDL2 missing? Debian: libsdl2-dev)" >&2
        exit 1
    fi
    exec "$BUILD/sketch3d"
fi

echo "run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): replaying examples/ headless"
if [ ! -x "$BUILD/sketch3d-replay" ]; then
    echo "run: $BUILD/sketch3d-replay was not built (stb missing? Debian: libstb-dev)" >&2
    exit 1
fi
found=0
for script in examples/*.txt; do
    [ -f "$script" ] || continue
    found=1
    name=$(basename "$script" .txt)
    out="build/run/$name"
    rm -rf "$out"
    mkdir -p "$out"
    echo "run: $script"
    "$BUILD/sketch3d-replay" "$script" --out "$out"
    echo "run: its screenshots are in $out/"
done
if [ "$found" = 0 ]; then
    echo "run: no example scripts in examples/" >&2
    exit 1
fi
