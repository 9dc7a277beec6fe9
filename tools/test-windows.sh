#!/usr/bin/env bash
# End-to-end check of the Windows program: builds it with mingw-w64 and runs it under Wine.
# First page_drawing_gdi_check compares the portable line and border fill with GDI's, pixel
# for pixel, and pose_digest_check solves a posed figure and compares its digest with the native
# build's. Then, on a private virtual X display, the program itself: an outline drawn with
# the mouse, a sheet built from it, both compared with the headless replay of the same input
# (build/default/sketch3d-replay, built here), the sheet turned and inflated, a second part
# drawn over the body with N and inflated, the figure saved with Ctrl+S (its picture and its
# script replayed headless checked against the window, its OBJ holding both parts, its STL and
# GLB the replay's bytes), brought to life with A (a control point placed and another dragged,
# the figure bending; a drag recorded between two presses of R loops, Space pauses and plays
# it, A again shows the rest shape), deleted with F12, brought back with Ctrl+Z and deleted
# again with Ctrl+Shift+Z and Ctrl+Y, Escape; the saved session
# opened again with `sketch3d.exe FILE` shows the saved picture, and Ctrl+Z takes back its
# last step; then it starts again with a BMP to trace (--image), saves it with its picture,
# opens the save again and closes the window.
#
# Usage: tools/test-windows.sh (or `make test-windows`). Installs what it needs when run as
# root. Screenshots are kept in build/test-windows/shots/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

NAME=test-windows
WORK=$ROOT/build/test-windows
EXE=$ROOT/build/windows/sketch3d.exe
LAUNCH=(wine "$EXE")
# shellcheck source=tools/window-session.sh
. tools/window-session.sh

PACKAGES="wine wine64 xvfb xdotool imagemagick python3 g++-mingw-w64-x86-64 cmake g++ make \
libstb-dev" sh tools/install-deps.sh
make --no-print-directory windows
[ -f "$EXE" ] || fail "$EXE was not built"
# The native replay tool: what the window's pixels must equal.
cmake --preset default >/dev/null
cmake --build --preset default --target sketch3d-replay -j "$(nproc)"
REPLAY=$ROOT/build/default/sketch3d-replay

export WINEPREFIX=$WORK/wineprefix
export WINEDEBUG=-all
# No Mono or Gecko: the prefix is made without asking to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Ends whatever is left of the program with the prefix's Wine server.
extra_cleanup() { [ -n "${DISPLAY:-}" ] && wineserver -k 2>/dev/null; }

start_virtual_display

# The private Wine prefix is made once and kept; making it takes a while.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    step "creating the Wine prefix $WINEPREFIX"
    wineboot -i >"$WORK/wineboot.log" 2>&1 || fail "wineboot failed (see $WORK/wineboot.log)"
    wineserver -w
fi

# The line and the fill against GDI: a few thousand random cases, none may differ.
step "page drawing against GDI"
wine "$ROOT/build/windows/page_drawing_gdi_check.exe" | sed "s/^/$NAME: /" ||
    fail "the portable page drawing differs from GDI (a case above can be rerun alone)"

# The posing core's solve gives the same bits as the native build's.
step "the posing core's digest"
wine "$ROOT/build/windows/pose_digest_check.exe" | sed "s/^/$NAME: /" ||
    fail "the pose's digest differs from the native build's"

run_window_session

# It starts again with a picture to trace (--image, a BMP: red above, green below), shown
# faded toward the blue under the drawing, fitted to the width and the right way up. Closing
# the window (Alt+F4 reaches the default window handling) runs the shut-down and ends with
# exit code 0.
faded() { [ "$1" -ge 96 ] && [ "$1" -le 160 ]; }
shows_halves() {
    local upper lower
    read -r -a upper <<<"$(pixel "$1" 257 180)"
    read -r -a lower <<<"$(pixel "$1" 257 300)"
    faded "${upper[0]}" && [ "${upper[1]}" = 0 ] && faded "${upper[2]}" &&
        [ "${lower[0]}" = 0 ] && faded "${lower[1]}" && faded "${lower[2]}" &&
        is_blue_at 257 100 "$1" && is_blue_at 257 380 "$1"
}
convert -size 16x4 xc:red -size 16x4 xc:lime -append -type TrueColor BMP3:"$SAVES/halves.bmp"
LAUNCH_ARGUMENTS=(--image halves.bmp)
launch
LAUNCH_ARGUMENTS=()
wait_for_screen 9-restart shows_halves >/dev/null || fail "no faded picture after --image"
# Ctrl+S keeps the picture beside the save as a BMP, the one image file this build reads,
# and names it in the saved session, which opened again shows the picture.
number=$(printf '%03d' $(($(find "$SAVES" -maxdepth 1 -name 'sketch3d-*.txt' | wc -l) + 1)))
hold_ctrl_s_until "$SAVES/sketch3d-$number.txt" "$SAVES/sketch3d-$number.image.bmp"
grep -qx "image sketch3d-$number.image.bmp" "$SAVES/sketch3d-$number.txt" ||
    fail "the saved session does not name its picture"
xdotool key alt+F4
expect_exit 0 "closing the window"
LAUNCH_ARGUMENTS=("sketch3d-$number.txt")
launch
LAUNCH_ARGUMENTS=()
wait_for_screen 9-reopened-picture shows_halves >/dev/null ||
    fail "the saved session with a picture does not open to it"
step "Ctrl+S with a picture: sketch3d-$number.image.bmp, opened again"
xdotool windowfocus "$WINDOW"
xdotool key alt+F4
expect_exit 0 "closing the window"

echo "$NAME: PASS (screenshots in $SHOTS)"
