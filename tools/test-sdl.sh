#!/usr/bin/env bash
# End-to-end check of the SDL program (build/default/sketch3d) on a private virtual X display:
# the same session as the Windows check (outline, a stroke taken back, sheet, body, a second
# part drawn over it with N and inflated, Ctrl+S (the saved STL and GLB the replay's bytes),
# A: a control point placed and another dragged (the figure bends), a drag recorded with R
# that loops, Space pausing and playing it, A again the rest shape; F12 undone and redone,
# Escape, the saved figure opened again and its last step undone), from screenshots, with
# the outline and the sheet compared with the headless replay (build/default/sketch3d-replay); once as it starts by default, and
# once more with --scale 2. Then a session recorded with --record and killed with SIGKILL: its file replays to the window's last picture. Then a message box, with its English
# line, in the box and on standard error. Last, a long document opened with its recording
# into standard output: it saves nothing, shows no box, and Escape ends it at once.
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

# An opened document only shows, and its recording into standard output is kept whole. The
# document presses Ctrl+S three times, mirrors a part until the object table is full (nine
# boxes of one text), then idles for three million frames. Opened with --record /dev/stdout
# redirected to a file: nothing is saved and no box appears, the title says how far it has
# got, Escape ends the program at once, the nine boxes are listed as one line on standard
# error, and the file (the same file, written in place) holds the whole session up to the
# Escape and nothing else.
opening_session() {
    local folder=$WORK/opening inode started elapsed played recorded
    step "an opened document with Ctrl+S, nine error boxes and three million frames"
    rm -rf "$folder"
    mkdir -p "$folder"
    python3 - "$folder/long.txt" <<'PYTHON'
import math, sys
lines = ["frames 2"] + ["key down ctrl", "key down s", "frames 1", "key up s", "key up ctrl",
                        "frames 1"] * 3
lines += ["move 230 241", "frames 1", "down left"]
for i in range(17):
    angle = 2 * math.pi * i / 16
    lines += [f"move {200 + round(30 * math.cos(angle))} {241 + round(30 * math.sin(angle))}",
              "frames 1"]
lines += ["up left", "frames 1", "move 200 241", "frames 1", "down right", "frames 1",
          "up right", "frames 1"]
lines += ["key down m", "frames 1", "key up m", "frames 1"] * 40
lines += ["frames 1000000"] * 3
open(sys.argv[1], "w").write("\n".join(lines) + "\n")
PYTHON
    : >"$folder/recording.txt"
    inode=$(stat -c %i "$folder/recording.txt")
    (cd "$folder" && exec "$EXE" long.txt --record /dev/stdout) >"$folder/recording.txt" \
        2>"$folder/program.log" &
    APP_PID=$!
    started=$SECONDS
    WINDOW=""
    while [ -z "$WINDOW" ]; do
        [ $((SECONDS - started)) -lt "$TIMEOUT" ] ||
            fail "the title never said 'opening long.txt: N%' (see $folder/program.log)"
        kill -0 "$APP_PID" 2>/dev/null || fail "the program ended while the document played"
        sleep 0.2
        WINDOW=$(xdotool search --name "opening long.txt: [0-9]+%\$" 2>/dev/null |
            head -n 1 || true)
    done
    step "title: $(xdotool getwindowname "$WINDOW")"
    [ -z "$(message_box_window)" ] || fail "a message box appeared while the document played"
    [ -z "$(find "$folder" -name 'sketch3d-*')" ] || fail "the document saved: $(ls "$folder")"
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
    started=$SECONDS
    xdotool key Escape
    expect_exit 0 "Escape while the document plays"
    elapsed=$((SECONDS - started))
    [ "$elapsed" -le 5 ] || fail "the program took ${elapsed}s to end after Escape"
    sed 's/^/  /' "$folder/program.log"
    [ -z "$(find "$folder" -name 'sketch3d-*')" ] || fail "the document saved: $(ls "$folder")"
    [ "$(grep -c '^  9 x Error: ' "$folder/program.log")" = 1 ] ||
        fail "standard error does not list the nine boxes once"
    played=$(sed -nE 's/^sketch3d: opening long.txt stopped after ([0-9]+) of 3000.*/\1/p' \
        "$folder/program.log")
    [ -n "$played" ] || fail "standard error does not say where the opening stopped"
    [ "$(stat -c %i "$folder/recording.txt")" = "$inode" ] ||
        fail "the recording replaced standard output's file instead of writing it in place"
    ! grep -q '^sketch3d' "$folder/recording.txt" || fail "the program's own lines are in the script"
    recorded=$(awk '$1 == "frames" { n += $2 } END { print n + 0 }' "$folder/recording.txt")
    [ "$recorded" -ge "$played" ] && tail -n 1 "$folder/recording.txt" | grep -Eqx 'escape|char 27' ||
        fail "the recording holds $recorded frames of the $played played, or does not end in Escape"
    "$REPLAY" "$folder/recording.txt" --out "$folder/replay" >"$folder/replay.log" 2>&1 ||
        fail "the recording does not replay (see $folder/replay.log)"
    step "nothing saved, no box, the boxes listed once, the whole session ($recorded frames) recorded in place"
}
opening_session

echo "$NAME: PASS (screenshots in $WORK/shots, $WORK/shots-scale-2 and $SHOTS)"
