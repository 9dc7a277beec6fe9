#!/usr/bin/env bash
# End-to-end check of the SDL program (build/default/sketch3d) on a private virtual X display:
# the same session as the Windows check (outline, a stroke taken back, sheet, body, Ctrl+S, F12,
# Escape, the saved session opened again), from screenshots, with the outline and the sheet
# compared with the headless replay (build/default/sketch3d-replay); once as it starts by
# default, and once more with --scale 2. Then a session recorded with --record and killed with
# SIGKILL: its file replays to the window's last picture. Last, a message box, with its English
# line, in the box and on standard error.
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
TITLE_PREFIX="sketch3d — "
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

# A recording survives a crash: a sheet built with --record, the program killed without
# warning a second and a half later; the file on disk replays to the picture it showed.
SCALE=1
LAUNCH=("$EXE")
SHOTS=$WORK/shots-crash
mkdir -p "$SHOTS"
rm -f "$SHOTS"/*.png "$WORK/crash.txt"
step "a recorded session killed with SIGKILL"
LAUNCH_ARGUMENTS=(--record "$WORK/crash.txt")
launch
LAUNCH_ARGUMENTS=()
wait_for_screen 1-start is_blue_screen >/dev/null || fail "no blue screen"
xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
move 150 150
sleep 0.2
xdotool mousedown 1
for corner in "350 150" "350 330" "150 330" "150 150"; do
    read -r x y <<<"$corner"
    move "$x" "$y"
    sleep 0.3
done
xdotool mouseup 1
move 250 240
sleep 0.2
xdotool mousedown 3
wait_for_screen 2-built is_lit_red_at 250 240 >/dev/null || fail "no sheet was built"
xdotool mouseup 3
sleep 1.5
CRASHED=$(screenshot 3-before-kill)
kill -9 "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
[ -s "$WORK/crash.txt" ] || fail "nothing of the recording is on disk"
{ cat "$WORK/crash.txt"; echo "screenshot after-kill"; } >"$WORK/crash-replay.txt"
"$REPLAY" "$WORK/crash-replay.txt" --out "$SHOTS/replay" >"$WORK/crash-replay.log" 2>&1 ||
    fail "the recording left by the killed program does not replay (see $WORK/crash-replay.log)"
expect_replay_pixels "$CRASHED" "$SHOTS/replay/after-kill.png" "recording after SIGKILL"

# A message box: the first allocation of start-up fails (SKETCH3D_FAIL_ALLOCATION=1), so the
# allocation message appears, in Japanese with its English line under it, in the box and on
# standard error; Enter dismisses it and the program ends with exit code 1, as a failed
# start-up does.
message_box_window() {
    xwininfo -root -tree 2>/dev/null | awk '$2 == "\"Error\":" { print $1; exit }'
}
message_box_session() {
    local box deadline
    SHOTS=$WORK/shots-message
    mkdir -p "$SHOTS"
    rm -f "$SHOTS"/*.png
    step "a failed allocation at start-up"
    SKETCH3D_FAIL_ALLOCATION=1 "$EXE" >"$WORK/program.log" 2>&1 &
    APP_PID=$!
    deadline=$((SECONDS + TIMEOUT))
    box=""
    while [ -z "$box" ]; do
        [ $SECONDS -lt $deadline ] || fail "no message box (see $WORK/program.log)"
        kill -0 "$APP_PID" 2>/dev/null || fail "the program ended without a message box"
        sleep 0.2
        # The box has no class, which xdotool's search passes over; xwininfo lists it.
        box=$(message_box_window)
    done
    screenshot 1-message-box >/dev/null
    grep -Eqx 'Error: [0-9]+byteの領域の確保に失敗しました。' "$WORK/program.log" &&
        grep -Eqx 'Could not allocate [0-9]+ bytes of memory.' "$WORK/program.log" ||
        fail "standard error lacks the message and its English line: $(cat "$WORK/program.log")"
    step "a message box titled Error; on standard error:"
    sed 's/^/  /' "$WORK/program.log"
    xdotool key --window "$box" Return
    expect_exit 1 "Enter in the message box"
}
message_box_session

echo "$NAME: PASS (screenshots in $WORK/shots, $WORK/shots-scale-2 and $SHOTS)"
