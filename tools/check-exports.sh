#!/usr/bin/env bash
# The exported meshes checked by other programs' own rules: the example sheet, body and figure
# are replayed to the point where they stand finished and exported as STL and GLB; every STL
# must be as many parts as the example has (one; the figure's four bodies joined into one solid
# of two shells, the body with its arms and the head drawn apart above it) that admesh (Debian
# admesh) need not mend (0 edges fixed, 0 facets removed), and every GLB (and the animated GLB
# the figure test writes, and a painted body's with its texture embedded) must pass the Khronos
# glTF validator (npm gltf-validator, pinned by tools/export-check/package-lock.json, installed
# into build/check-exports/) without an error or a warning.
#
# Usage: tools/check-exports.sh (or `make check-exports`, which builds first). Installs what it
# needs when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WORK=$ROOT/build/check-exports
REPLAY=$ROOT/build/default/sketch3d-replay

PACKAGES="admesh" sh tools/install-deps.sh
# Node.js comes with the machine (or Debian's nodejs and npm).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    PACKAGES="nodejs npm" sh tools/install-deps.sh
fi
[ -x "$REPLAY" ] || { echo "check-exports: $REPLAY was not built (make build)" >&2; exit 1; }
rm -rf "$WORK/out" && mkdir -p "$WORK/out"
cp tools/export-check/package.json tools/export-check/package-lock.json \
    tools/export-check/validate.mjs "$WORK/"
(cd "$WORK" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)

# Each example up to the point where it throws its object away, then the exports.
for example in sheet inflate figure; do
    sed '/^# F12 throws/,$d' "examples/$example.txt" >"$WORK/$example.txt"
    printf 'export %s.stl\nexport %s.glb\n' "$example" "$example" >>"$WORK/$example.txt"
    "$REPLAY" "$WORK/$example.txt" --out "$WORK/out" >/dev/null
done

# A square body painted with the green pen (three strokes down its left side): its GLB embeds
# the painting's texture.
{
    printf 'frames 1\nmove 100 100\nframes 1\ndown left\nmove 200 100\nframes 1\n'
    printf 'move 200 200\nframes 1\nmove 100 200\nframes 1\nmove 100 100\nframes 1\nup left\n'
    printf 'frames 1\nkey down 4\nframes 1\nkey up 4\nframes 1\n'
    for x in 126 128 130; do
        printf 'move %s 110\nframes 1\ndown left\nframes 1\nmove %s 190\nframes 1\nup left\n' "$x" "$x"
        printf 'frames 1\n'
    done
    printf 'move 150 150\nframes 1\ndown right\nframes 1\nup right\nframes 1\n'
    printf 'key down i\nframes 1\nkey up i\nframes 1\nexport painted.stl\nexport painted.glb\n'
} >"$WORK/painted.txt"
"$REPLAY" "$WORK/painted.txt" --out "$WORK/out" >/dev/null

# The animated GLB of the figure's loop: the figure test's figure, posed as that test poses it
# (the shell's animation is not written by a script yet).
FIGURE_TEST=$ROOT/build/default/tests/session_figure_test
[ -x "$FIGURE_TEST" ] || { echo "check-exports: $FIGURE_TEST was not built (make build)" >&2; exit 1; }
SKETCH3D_ANIMATED_GLB="$WORK/out/figure-animated.glb" "$FIGURE_TEST" \
    --gtest_filter='FigureExport.AnimatedGlb*' >/dev/null

status=0
for stl in "$WORK"/out/*.stl; do
    report=$(admesh "$stl")
    parts=$(echo "$report" | sed -n 's/^Number of parts *: *\([0-9]*\).*/\1/p')
    fixed=$(echo "$report" | sed -n 's/^Edges fixed *: *\([0-9]*\).*/\1/p')
    removed=$(echo "$report" | sed -n 's/^Facets removed *: *\([0-9]*\).*/\1/p')
    case "$stl" in
        */figure.stl) expected=2 ;;
        *) expected=1 ;;
    esac
    echo "$stl: $parts parts (of $expected), $fixed edges fixed, $removed facets removed"
    [ "$parts" = "$expected" ] && [ "$fixed" = 0 ] && [ "$removed" = 0 ] || status=1
done
(cd "$WORK" && node validate.mjs out/*.glb) || status=1
[ "$status" = 0 ] && echo "check-exports: PASS" || echo "check-exports: FAIL" >&2
exit "$status"
