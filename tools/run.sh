#!/bin/sh
# Builds the demonstration and starts it: the SDL window when there is a display; without one,
# plays every example script headless and writes its screenshots. The build's output goes to
# build/run/build.log (shown only when the build fails), so that what the run gives is what
# the terminal ends with: where its results are.
set -eu
cd "$(dirname "$0")/.."
BUILD=${SKETCH3D_BUILD:-build/default}  # another build folder can be named
JOBS=${JOBS:-$(nproc)}

mkdir -p build/run
echo "run: building (the output goes to build/run/build.log)"
if ! { cmake --preset default && cmake --build --preset default -j "$JOBS"; } \
    >build/run/build.log 2>&1; then
    tail -n 30 build/run/build.log >&2
    echo "run: the build failed; its whole output is in build/run/build.log" >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    if [ ! -x "$BUILD/sketch3d" ]; then
        echo "run: $BUILD/sketch3d was not built (SDL2 missing? Debian: libsdl2-dev)" >&2
        exit 1
    fi
    echo "run: starting $BUILD/sketch3d (sketch3d --help lists its keys and options)"
    exec "$BUILD/sketch3d"
fi

echo "run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): replaying examples/ headless"
if [ ! -x "$BUILD/sketch3d-replay" ]; then
    echo "run: $BUILD/sketch3d-replay was not built (stb missing? Debian: libstb-dev)" >&2
    exit 1
fi
results=""
for script in examples/*.txt; do
    [ -f "$script" ] || continue
    name=$(basename "$script" .txt)
    out="build/run/$name"
    rm -rf "$out"
    mkdir -p "$out"
    echo "run: $script"
    if ! "$BUILD/sketch3d-replay" "$script" --out "$out" >"build/run/$name.log" 2>&1; then
        cat "build/run/$name.log" >&2
        echo "run: the replay of $script failed" >&2
        exit 1
    fi
    results="$results  $out/: the screenshots of $script ($(ls "$out" | wc -l) pictures)
"
done
if [ -z "$results" ]; then
    echo "run: no example scripts in examples/" >&2
    exit 1
fi
echo "run: done. The results are in build/run/:"
printf '%s' "$results"
