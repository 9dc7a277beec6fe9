#!/bin/sh
# Builds the demonstration and starts it: the SDL window when there is a display (Ctrl+S saves
# into build/run/saves/); without one, plays every example script headless and writes its
# screenshots. The build's output goes to
# build/run/build.log (shown only when the build fails), so that what the run gives is what
# the terminal ends with: where its results are.
set -eu
cd "$(dirname "$0")/.."
BUILD=${SKETCH3D_BUILD:-build/default}  # another build folder can be named
JOBS=${JOBS:-$(nproc)}

# Only the program that runs is built: the window, or the replay tool without a display (the
# tests are `make test`'s business).
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    windowed=1
    program=sketch3d
    missing="SDL2 missing? Debian: libsdl2-dev"
else
    windowed=
    program=sketch3d-replay
    missing="stb missing? Debian: libstb-dev"
fi

mkdir -p build/run
echo "run: building $program (the output goes to build/run/build.log)"
if ! cmake --preset default >build/run/build.log 2>&1; then
    tail -n 30 build/run/build.log >&2
    echo "run: the build failed; its whole output is in build/run/build.log" >&2
    exit 1
fi
# A program the configuration left out (its library missing) is no target at all.
if ! cmake --build --preset default --target help 2>/dev/null | grep -Eq "(^|[ .])$program(:|\$)"; then
    echo "run: $BUILD/$program cannot be built ($missing)" >&2
    exit 1
fi
if ! cmake --build --preset default -j "$JOBS" --target "$program" >>build/run/build.log 2>&1; then
    tail -n 30 build/run/build.log >&2
    echo "run: the build failed; its whole output is in build/run/build.log" >&2
    exit 1
fi

if [ -n "$windowed" ]; then
    saves=build/run/saves
    echo "run: starting $BUILD/sketch3d --save-dir $saves (sketch3d --help lists its keys)"
    status=0
    "$BUILD/sketch3d" --save-dir "$saves" || status=$?
    last=$(find "$saves" -maxdepth 1 -name 'sketch3d-*.txt' 2>/dev/null | sort -V | tail -n 1)
    echo "run: the window has closed (exit code $status)."
    if [ -n "$last" ]; then
        echo "run: what you saved with Ctrl+S is in $saves/; to go on from the last save:"
        echo "     $BUILD/sketch3d $last"
    else
        echo "run: nothing was saved (Ctrl+S saves into $saves/)"
    fi
    exit "$status"
fi

echo "run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): replaying examples/ headless"
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
