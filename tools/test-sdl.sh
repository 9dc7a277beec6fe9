#!/usr/bin/env bash
# End-to-end check of the SDL program (build/default/sketch3d) on a private virtual X display:
# the same session as the Windows check (outline, a stroke taken back, sheet, F12, Escape), from
# screenshots, with the outline and the sheet compared with the headless replay
# (build/default/sketch3d-replay); once as it starts by default, and once more with --scale 2;
# then a message box, with its English line, in the box and on standard error.
#
# Usage: tools/test-sdl.sh (or `make test-sdl`, which builds first); SKETCH3D_PROGRAM=PATH
# checks another build. Installs what it needs when run as root. Screenshots are kept in
# build/test-sdl/shots/ and build/test-sdl/shots-scale-2/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

NAME=test-sdl
WORK=$ROOT/build/test-sdl
EXE=${SKETCH3D_PROGRAM:-$ROOT/build/default/sketch3d}
LAUNCH=("$EXE")
REPLAY=$ROOT/build/default/sketch3d-replay
# Room for the window at factor 2; half of it is still less than two pictures, so the program
# starts at factor 1 by default.
XVFB_SCREEN=1280x1024x24
# shellcheck source=tools/window-session.sh
. tools/window-session.sh

# xfonts-base: the X fonts an SDL message box draws its text with on the virtual display.
PACKAGES="xvfb xdotool imagemagick python3 xfonts-base x11-utils" sh tools/install-deps.sh
[ -x "$EXE" ] || fail "$EXE was not built (make build; SDL2 from libsdl2-dev)"
[ -x "$REPLAY" ] || fail "$REPLAY was not built (make build; stb from libstb-dev)"

# Without a display the program ends at once with its message instead of running unseen on
# SDL's invisible driver; a driver asked for by name is still used.
mkdir -p "$WORK"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout "$TIMEOUT" "$EXE" \
    >"$WORK/no-display.log" 2>&1 || status=$?
[ "$status" = 1 ] && grep -q "no display" "$WORK/no-display.log" ||
    fail "without a display: exit code $status (124: it ran unseen), $(cat "$WORK/no-display.log")"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=offscreen timeout 2 "$EXE" >/dev/null 2>&1 ||
    status=$?
[ "$status" = 124 ] || fail "SDL_VIDEODRIVER=offscreen: it ended with exit code $status"
step "no display: refused with exit code 1; SDL_VIDEODRIVER=offscreen runs"

start_virtual_display
run_window_session

SCALE=2
LAUNCH=("$EXE" --scale 2)
SHOTS=$WORK/shots-scale-2
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.png
step "again with --scale 2"
run_window_session

# A message box: the whole background's sheet is too large to inflate, so I shows the capacity
# message, in Japanese with its English line under it, in the box and on standard error. Enter
# dismisses it and the program goes on (the sheet stays); Escape ends it.
message_box_window() {
    xwininfo -root -tree 2>/dev/null | awk '$2 == "\"Error\":" { print $1; exit }'
}
message_box_session() {
    local box deadline
    SCALE=1
    LAUNCH=("$EXE")
    SHOTS=$WORK/shots-message
    mkdir -p "$SHOTS"
    rm -f "$SHOTS"/*.png
    launch
    wait_for_screen 1-start is_blue_screen >/dev/null || fail "no blue screen"
    move 450 100
    sleep 0.2
    xdotool mousedown 3
    wait_for_screen 2-background-sheet is_lit_red_at 450 100 >/dev/null || {
        xdotool mouseup 3
        fail "no background sheet"
    }
    xdotool mouseup 3
    xdotool windowfocus "$WINDOW"
    xdotool keydown i
    sleep 0.2
    xdotool keyup i
    deadline=$((SECONDS + TIMEOUT))
    box=""
    while [ -z "$box" ]; do
        [ $SECONDS -lt $deadline ] || fail "no message box after I on the background's sheet"
        sleep 0.2
        # The box has no class, which xdotool's search passes over; xwininfo lists it.
        box=$(message_box_window)
    done
    screenshot 3-message-box >/dev/null
    grep -qx 'Error: データがポリゴンバッファ領域を超えました。' "$WORK/program.log" &&
        grep -qx 'Too many triangles: the polygon buffer is full. Try a smaller outline.' \
            "$WORK/program.log" ||
        fail "standard error lacks the message and its English line: $(cat "$WORK/program.log")"
    step "I on the background's sheet: a message box titled Error; on standard error:"
    sed 's/^/  /' "$WORK/program.log"
    xdotool key --window "$box" Return
    deadline=$((SECONDS + TIMEOUT))
    while [ -n "$(message_box_window)" ]; do
        [ $SECONDS -lt $deadline ] || fail "Enter did not dismiss the message box"
        sleep 0.2
    done
    wait_for_screen 4-sheet-kept is_lit_red_at 450 100 >/dev/null || fail "the sheet was not kept"
    xdotool key --window "$WINDOW" Escape
    expect_exit 0 "Escape after the message box"
}
message_box_session

echo "$NAME: PASS (screenshots in $WORK/shots, $WORK/shots-scale-2 and $SHOTS)"
