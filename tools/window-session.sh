# Shared by the window tests (sourced, not run): a private virtual X display, and one session
# with the program's window driven by mouse and keys and checked from screenshots.
# shellcheck shell=bash
#
# The caller sets NAME (for messages), WORK (a folder of its own) and LAUNCH (the command that
# starts the program, an array), sources this file, calls start_virtual_display and then
# run_window_session. A function extra_cleanup, if the caller defines one, runs on exit. With
# REPLAY set to the headless replay tool, the outline and the sheet must also be, pixel for
# pixel, what the replay of the same input gives. SCALE
# (default 1) is the factor the window shows the picture at: positions and checks are in
# picture pixels and are mapped to the screen through it. XVFB_SCREEN sets the display's size.
# TITLE_PREFIX is what the window's title shows before "fps = N". The program runs in
# SAVES (WORK/saves), where Ctrl+S writes its files; LAUNCH_ARGUMENTS (an array) are added
# after LAUNCH for one start.

SHOTS=$WORK/shots
# Client area of the fixed 520 x 508 window; the bottom row is never drawn and shows white.
CLIENT_WIDTH=514
CLIENT_HEIGHT=483
DRAWN_HEIGHT=$((CLIENT_HEIGHT - 1))
TIMEOUT=60  # seconds for any one thing to happen
SCALE=${SCALE:-1}
XVFB_SCREEN=${XVFB_SCREEN:-1024x768x24}
TITLE_PREFIX=${TITLE_PREFIX:-}
SAVES=$WORK/saves
LAUNCH_ARGUMENTS=()

fail() {
    echo "$NAME: FAIL: $*" >&2
    exit 1
}
step() { echo "$NAME: $*"; }

XVFB_PID=""
APP_PID=""
cleanup() {
    set +e
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null
    declare -F extra_cleanup >/dev/null && extra_cleanup
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && wait "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 2' INT TERM

# A virtual display on a free number: Xvfb picks it and writes it once it accepts clients.
start_virtual_display() {
    mkdir -p "$WORK" "$SHOTS"
    rm -f "$SHOTS"/*.png
    rm -rf "$SAVES"
    local display_file=$WORK/display
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 "$XVFB_SCREEN" -nolisten tcp 3>"$display_file" \
        >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    local deadline=$((SECONDS + TIMEOUT))
    until [ -s "$display_file" ]; do
        kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start (see $WORK/xvfb.log)"
        [ $SECONDS -lt $deadline ] || fail "Xvfb gave no display number"
        sleep 0.1
    done
    DISPLAY=:$(head -n 1 "$display_file")
    export DISPLAY
    # The program must come up on this display, not on a desktop session's.
    unset WAYLAND_DISPLAY
    step "virtual display $DISPLAY"
}

# Takes a screenshot of the whole display into SHOTS/NAME.png; prints the file name.
screenshot() {
    local file=$SHOTS/$1.png
    import -display "$DISPLAY" -window root "$file"
    echo "$file"
}

# Screen position of the middle of picture pixel x (screen_x) or y (screen_y).
screen_x() { echo $((CLIENT_X + $1 * SCALE + SCALE / 2)); }
screen_y() { echo $((CLIENT_Y + $1 * SCALE + SCALE / 2)); }

# Prints "r g b" of the picture pixel (x, y) in a screenshot.
pixel() {
    local x y
    x=$(screen_x "$2")
    y=$(screen_y "$3")
    convert "$1" -format "%[fx:round(255*p{$x,$y}.r)] %[fx:round(255*p{$x,$y}.g)] \
%[fx:round(255*p{$x,$y}.b)]" info:
}

# A picture rectangle (width height x y) of a screenshot, one pixel per picture pixel, to
# stdout in FORMAT (the first argument, e.g. histogram:info:- or rgb:-).
picture_crop() {
    local format=$1 file=$2
    convert "$file" -crop "$(($3 * SCALE))x$(($4 * SCALE))+$((CLIENT_X + $5 * SCALE))+$((CLIENT_Y + $6 * SCALE))" \
        +repage -sample "$3x$4!" -depth 8 -format %c "$format"
}

# Colour histogram of a picture rectangle (width height x y): "count r g b" lines.
histogram() {
    picture_crop histogram:info:- "$@" |
        sed -E 's/^ *([0-9]+): *\( *([0-9]+), *([0-9]+), *([0-9]+).*/\1 \2 \3 \4/'
}

# Succeeds when two screenshots show the same picture, pixel for pixel.
same_picture() {
    [ "$(picture_crop rgb:- "$1" "$CLIENT_WIDTH" "$CLIENT_HEIGHT" 0 0 | md5sum)" = \
        "$(picture_crop rgb:- "$2" "$CLIENT_WIDTH" "$CLIENT_HEIGHT" 0 0 | md5sum)" ]
}

differs_from() { ! same_picture "$1" "$2"; }

# Succeeds when the rectangle (width height x y) of the screenshot is entirely one colour.
all_one_colour() {
    local file=$1 r=$2 g=$3 b=$4 lines
    lines=$(histogram "$file" "$5" "$6" "$7" "$8")
    [ "$lines" = "$(($5 * $6)) $r $g $b" ]
}

# Polls screenshots until the test function given succeeds on one, or fails after TIMEOUT.
# Usage: wait_for_screen NAME TEST ARGS...; prints the file of the screenshot that passed.
wait_for_screen() {
    local name=$1 deadline=$((SECONDS + TIMEOUT)) file
    shift
    while [ $SECONDS -lt $deadline ]; do
        file=$(screenshot "$name")
        if "$@" "$file"; then
            echo "$file"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

is_black_at() { [ "$(pixel "$3" "$1" "$2")" = "0 0 0" ]; }
is_not_black_at() { [ "$(pixel "$3" "$1" "$2")" != "0 0 0" ]; }
is_blue_at() { [ "$(pixel "$3" "$1" "$2")" = "0 0 255" ]; }
# A lit, red-toned pixel: clearly red, with little green or blue.
is_lit_red_at() {
    local r g b
    read -r r g b <<<"$(pixel "$3" "$1" "$2")"
    [ "$r" -ge 48 ] && [ "$g" -le $((r / 4)) ] && [ "$b" -le $((r / 4)) ]
}
is_blue_screen() {
    all_one_colour "$1" 0 0 255 "$CLIENT_WIDTH" "$DRAWN_HEIGHT" 0 0 &&
        all_one_colour "$1" 255 255 255 "$CLIENT_WIDTH" 1 0 "$DRAWN_HEIGHT"
}

# Prints "red blue other": how many pixels of the drawn client area are lit red, pure blue,
# or anything else.
count_sheet_colours() {
    histogram "$1" "$CLIENT_WIDTH" "$DRAWN_HEIGHT" 0 0 | awk '
        { if ($2 == 0 && $3 == 0 && $4 == 255) blue += $1
          else if ($2 >= 48 && 4 * $3 <= $2 && 4 * $4 <= $2) red += $1
          else other += $1 }
        END { printf "%d %d %d\n", red, blue, other }'
}

# Fewer lit red pixels than the count given: fewer_red_than COUNT FILE.
fewer_red_than() {
    local red blue other
    read -r red blue other <<<"$(count_sheet_colours "$2")"
    [ "$red" -lt "$1" ]
}

# The sheet seen from behind: blue but for at most a few hundred lit red pixels.
is_turned_away() {
    local red blue other
    read -r red blue other <<<"$(count_sheet_colours "$1")"
    [ "$other" = 0 ] && [ "$red" -lt 400 ]
}

# Plays, on the headless backend, the input the session gives the window: from START, the
# left button held through CORNERS (each held for a few frames, so the window's frame timing
# cannot matter), then a right click at CENTRE. Writes REPLAY_SHOTS/outline.png and sheet.png.
# Usage: replay_session START CENTRE CORNERS... (each "x y").
replay_session() {
    local script=$WORK/session.txt corner
    REPLAY_SHOTS=$SHOTS/replay
    {
        echo "frames 2"
        echo "move $1"
        echo "frames 3"
        echo "down left"
        for corner in "${@:3}"; do
            echo "move $corner"
            echo "frames 3"
        done
        echo "up left"
        echo "frames 3"
        echo "screenshot outline"
        echo "move $2"
        echo "frames 3"
        echo "down right"
        echo "frames 3"
        echo "up right"
        echo "frames 3"
        echo "screenshot sheet"
    } >"$script"
    mkdir -p "$REPLAY_SHOTS"
    "$REPLAY" "$script" --out "$REPLAY_SHOTS" >"$WORK/replay.log" 2>&1 ||
        fail "the replay of $script failed (see $WORK/replay.log)"
}

# Fails unless the client area of a screenshot shows exactly the replay's picture. Colours
# are compared as the page holds them, 5 bits a component: the display widens them to 8 bits
# in its own way, the top 5 bits stay. Usage: expect_replay_pixels SHOT REPLAY_PNG WHAT.
expect_replay_pixels() {
    local shot=$1 reference=$2 what=$3 report
    picture_crop rgb:- "$shot" "$CLIENT_WIDTH" "$CLIENT_HEIGHT" 0 0 >"$WORK/window.rgb"
    convert "$reference" -depth 8 "rgb:$WORK/replay.rgb"
    report=$(python3 - "$WORK/window.rgb" "$WORK/replay.rgb" "$CLIENT_WIDTH" <<'PYTHON'
import sys
window, replay = (open(path, "rb").read() for path in sys.argv[1:3])
width = int(sys.argv[3])
if len(window) != len(replay):
    print(f"sizes differ: {len(window) // 3} and {len(replay) // 3} pixels")
    sys.exit(1)
differing = [i // 3 for i in range(0, len(window), 3)
             if any(a >> 3 != b >> 3 for a, b in zip(window[i:i + 3], replay[i:i + 3]))]
listed = ", ".join(f"({p % width}, {p // width})" for p in differing[:8])
print(f"{len(differing)} pixels differ" + (f": {listed}" if listed else ""))
sys.exit(1 if differing else 0)
PYTHON
) || fail "$what: the window and the replay differ: $report (see $shot, $reference)"
    step "$what: the same pixels as the replay ($report)"
}

move() { xdotool mousemove "$(screen_x "$1")" "$(screen_y "$2")"; }

# Starts the program and waits for its window; sets WINDOW, CLIENT_X and CLIENT_Y.
# The first start in a freshly made Wine prefix has been seen to end at once
# now and then; a program that ends before its window gets one more start, and
# a second early end fails with what it printed.
launch() {
    local attempt status
    WINDOW=""
    for attempt in 1 2; do
        step "starting ${LAUNCH[*]} ${LAUNCH_ARGUMENTS[*]}"
        mkdir -p "$SAVES"
        (cd "$SAVES" && exec "${LAUNCH[@]}" "${LAUNCH_ARGUMENTS[@]}") >"$WORK/program.log" 2>&1 &
        APP_PID=$!
        local deadline=$((SECONDS + TIMEOUT))
        while [ -z "$WINDOW" ] && kill -0 "$APP_PID" 2>/dev/null; do
            [ $SECONDS -lt $deadline ] || fail "no window titled 'TEST' or 'fps = N' in ${TIMEOUT}s"
            sleep 0.2
            WINDOW=$(xdotool search --name 'fps = |TEST' 2>/dev/null | head -n 1 || true)
        done
        [ -n "$WINDOW" ] && break
        status=0
        wait "$APP_PID" || status=$?
        APP_PID=""
        sed 's/^/  program: /' "$WORK/program.log" >&2 || true
        [ "$attempt" = 1 ] || fail "the program ended before showing its window (exit code $status)"
        step "the program ended before showing its window (exit code $status); starting it again"
    done
    # Without a window manager the X window found is the client area itself.
    eval "$(xdotool getwindowgeometry --shell "$WINDOW")"
    CLIENT_X=$X
    CLIENT_Y=$Y
    step "window $WINDOW: client area ${WIDTH} x ${HEIGHT} at ($X, $Y)"
    [ "$WIDTH" = $((CLIENT_WIDTH * SCALE)) ] && [ "$HEIGHT" = $((CLIENT_HEIGHT * SCALE)) ] ||
        fail "client area is ${WIDTH} x ${HEIGHT}, expected $((CLIENT_WIDTH * SCALE)) x $((CLIENT_HEIGHT * SCALE))"
}

# Waits for the program to end and checks its exit code.
expect_exit() {
    local expected=$1 how=$2 status=0
    local deadline=$((SECONDS + TIMEOUT))
    while kill -0 "$APP_PID" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "the program did not end after $how"
        sleep 0.1
    done
    wait "$APP_PID" || status=$?
    APP_PID=""
    [ "$status" = "$expected" ] || fail "the program ended with exit code $status after $how"
    step "$how: exit code $status"
}

# The whole session: start, outline, sheet, wheel, turn, I (body), N (a second part), Ctrl+S,
# A (pose, record, play), F12, Escape.
# A closed stroke through the corners given after SHOT and WHAT, drawn with the left button
# held from the last corner round. Each corner is held until a frame has drawn the edge to it
# (its midpoint turns black), so every edge is one stroke whatever the frame timing; the
# screenshots are named SHOT-N, and an edge not drawn fails with WHAT.
draw_closed_stroke() {
    local shot=$1 what=$2
    shift 2
    local corners=("$@") start_x start_y previous_x previous_y corner_x corner_y edge=0
    read -r start_x start_y <<<"${corners[-1]}"
    move "$start_x" "$start_y"
    sleep 0.2
    xdotool mousedown 1
    previous_x=$start_x
    previous_y=$start_y
    for corner in "${corners[@]}"; do
        edge=$((edge + 1))
        read -r corner_x corner_y <<<"$corner"
        move "$corner_x" "$corner_y"
        wait_for_screen "$shot-$edge" is_black_at $(((previous_x + corner_x) / 2)) \
            $(((previous_y + corner_y) / 2)) >/dev/null ||
            fail "$what to ($corner_x, $corner_y) was not drawn"
        previous_x=$corner_x
        previous_y=$corner_y
    done
    xdotool mouseup 1
}

run_window_session() {
    local CENTRE_X=257 CENTRE_Y=241 start_x start_y previous_x previous_y edge corner
    local corner_x corner_y mid_x mid_y OUTLINE SHEET point x y red blue other deadline
    launch

    wait_for_screen 1-start is_blue_screen >/dev/null ||
        fail "the window never showed a blue screen with a white bottom row"
    step "start: blue screen, white bottom row"
    deadline=$((SECONDS + TIMEOUT))
    until xdotool getwindowname "$WINDOW" | grep -Eq "^${TITLE_PREFIX}fps = [0-9]+\$"; do
        [ $SECONDS -lt $deadline ] || fail "the title never became 'fps = N'"
        sleep 0.1
    done
    step "title: $(xdotool getwindowname "$WINDOW")"

    # An octagon around the middle of the client area, drawn with the left button held. Each
    # corner is held until a frame has drawn the edge to it (its midpoint turns black), so
    # every edge is one stroke from corner to corner whatever the frame timing, and the
    # closing edge is drawn before the button goes up.
    local CORNERS=("177 161" "257 121" "337 161" "377 241" "337 321" "257 361" "177 321" "137 241")
    [ -z "${REPLAY:-}" ] || replay_session "${CORNERS[-1]}" "$CENTRE_X $CENTRE_Y" "${CORNERS[@]}"
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null || xdotool windowfocus "$WINDOW"
    draw_closed_stroke 2-stroke "the stroke" "${CORNERS[@]}"
    OUTLINE=$(screenshot 3-outline)
    is_blue_at "$CENTRE_X" "$CENTRE_Y" "$OUTLINE" || fail "the inside of the outline is not blue"
    is_blue_at 20 20 "$OUTLINE" || fail "the outside of the outline is not blue"
    [ -z "${REPLAY:-}" ] || expect_replay_pixels "$OUTLINE" "$REPLAY_SHOTS/outline.png" outline
    step "outline drawn"

    # A stray stroke across the outline, taken back with Backspace: the picture is the outline
    # alone again, pixel for pixel.
    move 60 60
    sleep 0.2
    xdotool mousedown 1
    move 300 400
    wait_for_screen 3-stray is_black_at 180 230 >/dev/null || {
        xdotool mouseup 1
        fail "the stray stroke was not drawn"
    }
    xdotool mouseup 1
    xdotool windowfocus "$WINDOW"
    xdotool keydown BackSpace
    wait_for_screen 3-taken-back same_picture "$OUTLINE" >/dev/null || {
        xdotool keyup BackSpace
        fail "Backspace did not take the stray stroke back"
    }
    xdotool keyup BackSpace
    step "Backspace: the stray stroke is taken back"

    # Right button inside: the region becomes a lit red sheet; the button is held until a frame
    # has built it.
    move "$CENTRE_X" "$CENTRE_Y"
    sleep 0.2
    xdotool mousedown 3
    SHEET=$(wait_for_screen 4-sheet-built is_lit_red_at "$CENTRE_X" "$CENTRE_Y") ||
        fail "no lit red sheet appeared after the right click"
    xdotool mouseup 3
    # The next frames clear the strokes and the fill away: inside red, outside pure blue.
    SHEET=$(wait_for_screen 5-sheet is_not_black_at 217 141) ||
        fail "the outline stayed after the build"
    for point in "257 241" "220 200" "300 280" "220 280" "300 200" "257 160" "257 320"; do
        read -r x y <<<"$point"
        is_lit_red_at "$x" "$y" "$SHEET" || fail "($x, $y) inside is $(pixel "$SHEET" "$x" "$y")"
    done
    for point in "10 10" "500 10" "10 470" "500 470" "100 241" "420 241" "257 60" "257 420"; do
        read -r x y <<<"$point"
        is_blue_at "$x" "$y" "$SHEET" || fail "($x, $y) outside is $(pixel "$SHEET" "$x" "$y")"
    done
    # Nothing else on the screen, and the sheet covers about the inside of the outline (the
    # octagon encloses 38400 square pixels; the stroke and the sampling grid take a little).
    read -r red blue other <<<"$(count_sheet_colours "$SHEET")"
    step "sheet: $red lit red pixels, $blue blue, $other other"
    [ "$other" = 0 ] || fail "$other pixels are neither lit red nor blue"
    [ "$red" -ge 34000 ] && [ "$red" -le 38400 ] || fail "the sheet covers $red pixels"
    step "sheet: lit red inside ($(pixel "$SHEET" "$CENTRE_X" "$CENTRE_Y")), blue outside"
    [ -z "${REPLAY:-}" ] || expect_replay_pixels "$SHEET" "$REPLAY_SHOTS/sheet.png" sheet

    # The wheel turned a notch toward the user steps the eye back: the sheet shows smaller; a
    # notch away brings the eye back, and the picture is the sheet's again, pixel for pixel.
    move "$CENTRE_X" "$CENTRE_Y"
    sleep 0.2
    xdotool click 5
    wait_for_screen 5-farther fewer_red_than $((red * 9 / 10)) >/dev/null ||
        fail "a notch of the wheel toward the user did not step the eye back"
    xdotool click 4
    wait_for_screen 5-nearer same_picture "$SHEET" >/dev/null ||
        fail "a notch of the wheel away from the user did not bring the eye back"
    step "wheel: a notch back shows the sheet smaller, a notch forward as it was"

    # A drag of 512 pixels to the right with the right button turns the sheet half a turn
    # about the vertical axis: it shows its back, which is not drawn (but for a few slivers
    # whose corners the edge snapping turned over). The mouse jumps in one move, so a frame
    # sees the sheet either unturned or turned by the whole 512; the button stays down until
    # a frame has taken the last position.
    move 1 450
    sleep 0.2
    xdotool mousedown 3
    move 513 450
    wait_for_screen 6-turned is_turned_away >/dev/null || {
        xdotool mouseup 3
        fail "the sheet still shows after half a turn"
    }
    xdotool mouseup 3
    step "drag: half a turn hides the sheet"

    # Z held for a frame turns it back to face the viewer.
    xdotool windowfocus "$WINDOW"
    xdotool keydown z
    wait_for_screen 7-reset is_lit_red_at "$CENTRE_X" "$CENTRE_Y" >/dev/null || {
        xdotool keyup z
        fail "Z did not turn the sheet back"
    }
    xdotool keyup z
    step "Z: the sheet faces the viewer again"

    # I turns the sheet into a closed body, whose back shows after half a turn.
    xdotool windowfocus "$WINDOW"
    xdotool keydown i
    sleep 0.2
    xdotool keyup i
    move 1 450
    sleep 0.2
    xdotool mousedown 3
    move 513 450
    wait_for_screen 7-body-back is_lit_red_at "$CENTRE_X" "$CENTRE_Y" >/dev/null || {
        xdotool mouseup 3
        fail "the inflated body does not show its back after half a turn"
    }
    xdotool mouseup 3
    step "I: the body shows its back after half a turn"
    xdotool windowfocus "$WINDOW"
    xdotool keydown z
    wait_for_screen 7-body-reset is_lit_red_at "$CENTRE_X" "$CENTRE_Y" >/dev/null || {
        xdotool keyup z
        fail "Z did not turn the body back"
    }
    xdotool keyup z

    # N keeps the body and waits for another part: a square drawn over the body's middle and a
    # right-click inside build a second part in front of it; the strokes then go.
    local SQUARE=("227 211" "287 211" "287 271" "227 271") FIGURE
    xdotool windowfocus "$WINDOW"
    xdotool keydown n
    sleep 0.2
    xdotool keyup n
    draw_closed_stroke 7-part-stroke "the part's stroke" "${SQUARE[@]}"
    move "$CENTRE_X" "$CENTRE_Y"
    sleep 0.2
    xdotool mousedown 3
    FIGURE=$(wait_for_screen 7-two-parts is_not_black_at 257 211) || {
        xdotool mouseup 3
        fail "the right-click built no second part"
    }
    xdotool mouseup 3
    for point in "160 241" "257 241"; do
        read -r x y <<<"$point"
        is_lit_red_at "$x" "$y" "$FIGURE" || fail "($x, $y) is $(pixel "$FIGURE" "$x" "$y")"
    done
    step "N: a second part drawn over the body"
    # I inflates it too: two overlapping bodies, which the save writes joined into one solid.
    # A short press, as for the first body: held longer, the key repeats and inflates again.
    xdotool windowfocus "$WINDOW"
    xdotool keydown i
    sleep 0.2
    xdotool keyup i
    wait_for_screen 7-two-bodies differs_from "$FIGURE" >/dev/null ||
        fail "I did not inflate the second part"
    step "I: the second part is a body"

    save_with_ctrl_s
    [ "$(grep -c '^g part_' "$SAVED.obj")" = 2 ] || fail "$SAVED.obj does not hold two parts"
    step "the saved OBJ holds both parts"

    animate_figure

    # F12 held for a frame deletes the sheet and clears the screen.
    xdotool windowfocus "$WINDOW"
    xdotool keydown F12
    wait_for_screen 8-deleted is_blue_screen >/dev/null || {
        xdotool keyup F12
        fail "F12 did not bring the blue screen back"
    }
    xdotool keyup F12
    step "F12: blue screen again"

    # Ctrl+Z brings the whole figure back, as it was shown before F12; Ctrl+Shift+Z throws it
    # away again, and Ctrl+Y after another Ctrl+Z redoes that too.
    press_keys 8-undone "Ctrl+Z after F12" same_picture "$SHOTS/7-before-save.png" -- ctrl z
    press_keys 8-redone "Ctrl+Shift+Z" is_blue_screen -- ctrl shift z
    press_keys 8-undone-again "the second Ctrl+Z" same_picture "$SHOTS/7-before-save.png" -- ctrl z
    press_keys 8-redone-again "Ctrl+Y" is_blue_screen -- ctrl y
    step "Ctrl+Z brings the figure back, Ctrl+Shift+Z and Ctrl+Y throw it away again"

    # Escape ends the program with exit code 0.
    xdotool key Escape
    expect_exit 0 Escape

    reopen_saved_session
}

# Holds the keys given after "--", in order, until a screenshot passes the test before it,
# then lets them go in the reverse order; fails with WHAT when none does.
# Usage: press_keys SHOT WHAT TEST ARGS... -- KEYS...
press_keys() {
    local shot=$1 what=$2 test=() keys=() key released=()
    shift 2
    while [ "$1" != -- ]; do
        test+=("$1")
        shift
    done
    shift
    keys=("$@")
    for key in "${keys[@]}"; do released=("$key" "${released[@]}"); done
    xdotool windowfocus "$WINDOW"
    for key in "${keys[@]}"; do xdotool keydown "$key"; done
    wait_for_screen "$shot" "${test[@]}" >/dev/null || {
        for key in "${released[@]}"; do xdotool keyup "$key"; done
        fail "$what did not change the picture as it should"
    }
    for key in "${released[@]}"; do xdotool keyup "$key"; done
}

# A short press of one key, as a person gives it: held longer, a key may repeat.
tap_key() {
    xdotool windowfocus "$WINDOW"
    xdotool keydown "$1"
    sleep 0.2
    xdotool keyup "$1"
}

# The discs of the control points: green for a pinned point, cyan for one that follows a
# motion.
is_green_at() { [ "$(pixel "$3" "$1" "$2")" = "0 255 0" ]; }
is_red_at() { [ "$(pixel "$3" "$1" "$2")" = "255 0 0" ]; }
is_disc_at() { [[ "$(pixel "$3" "$1" "$2")" =~ ^(0\ 255\ 0|255\ 0\ 0)$ ]]; }
# Prints the middle column of the green disc that row Y crosses within 8 pixels of column X
# in screenshot FILE; fails when there is none. Usage: disc_column X Y FILE.
disc_column() {
    local x first=-1 last=-1
    for ((x = $1 - 8; x <= $1 + 8; x++)); do
        if is_green_at "$x" "$2" "$3"; then
            [ "$first" -ge 0 ] || first=$x
            last=$x
        fi
    done
    [ "$first" -ge 0 ] && echo $(((first + last) / 2))
}
shows_cyan() { histogram "$1" "$CLIENT_WIDTH" "$DRAWN_HEIGHT" 0 0 | grep -q ' 0 255 255$'; }

# Succeeds when the rectangle (width height x y) differs between two screenshots.
differs_in() {
    [ "$(picture_crop rgb:- "$5" "$1" "$2" "$3" "$4" | md5sum)" != \
        "$(picture_crop rgb:- "$6" "$1" "$2" "$3" "$4" | md5sum)" ]
}

# Polls screenshots until they have shown one picture for SPAN seconds on end (SPAN - 1 at
# least, as SECONDS counts whole seconds); prints the file, or fails after TIMEOUT.
# Usage: wait_for_still_screen NAME SPAN.
wait_for_still_screen() {
    local name=$1 span=$2 deadline=$((SECONDS + TIMEOUT)) still since
    still=$(screenshot "$name")
    since=$SECONDS
    while [ $SECONDS -lt $deadline ]; do
        sleep 0.2
        if differs_from "$still" "$(screenshot "$name-next")"; then
            still=$(screenshot "$name")
            since=$SECONDS
        elif [ $((SECONDS - since)) -ge "$span" ]; then
            echo "$still"
            return 0
        fi
    done
    return 1
}

# A brings the figure to life: a point pinned low on the body and one high up dragged to the
# right, the figure bending to follow; R, the dragged point taken left and back, R: the path
# loops and plays at once. Space pauses it and plays it again; A again shows the rest shape,
# the picture from before A.
animate_figure() {
    local REST POINTS POSED LOOPING PAUSED x recording_start recording_span
    local PIN_X=257 PIN_Y=320 GRAB_X=257 GRAB_Y=160 DRAGGED_X=297
    REST=$(screenshot 7a-rest)
    # Animating, the edited part is not outlined.
    press_keys 7a-animating "A" differs_from "$REST" -- a
    # A click on the body places a point, its green disc under the cursor.
    move "$PIN_X" "$PIN_Y"
    sleep 0.2
    xdotool mousedown 1
    wait_for_screen 7a-pinned is_green_at "$PIN_X" "$PIN_Y" >/dev/null || {
        xdotool mouseup 1
        fail "a left click while animating placed no point at ($PIN_X, $PIN_Y)"
    }
    xdotool mouseup 1
    move "$GRAB_X" "$GRAB_Y"
    sleep 0.2
    xdotool mousedown 1
    POINTS=$(wait_for_screen 7a-points is_green_at "$GRAB_X" "$GRAB_Y") || {
        xdotool mouseup 1
        fail "a left click while animating placed no point at ($GRAB_X, $GRAB_Y)"
    }
    step "A, two clicks: two control points on the body"
    # Still held, the second point is dragged to the right in steps; its disc comes to rest
    # under the cursor, the first stays, and the top of the body, above both, bends along.
    for ((x = GRAB_X + 8; x <= DRAGGED_X; x += 8)); do
        move "$x" "$GRAB_Y"
        sleep 0.1
    done
    POSED=$(wait_for_screen 7a-posed is_green_at "$DRAGGED_X" "$GRAB_Y") || {
        xdotool mouseup 1
        fail "the dragged point did not follow the cursor to ($DRAGGED_X, $GRAB_Y)"
    }
    xdotool mouseup 1
    is_green_at "$PIN_X" "$PIN_Y" "$POSED" || fail "the pinned point moved"
    differs_in "$CLIENT_WIDTH" 150 0 0 "$POINTS" "$POSED" ||
        fail "the top of the figure did not follow the dragged point"
    step "drag: the point follows the cursor, the figure bends"
    # Released, the point stays where the last frame's pose put it, which may be a few
    # pixels short of the cursor (the pose settles over the frames the point is held, and a
    # fast machine shows the disc under the cursor, and so releases it, after fewer frames).
    sleep 0.3
    local held_x
    held_x=$(disc_column "$DRAGGED_X" "$GRAB_Y" "$(screenshot 7a-released)") ||
        fail "no disc where the dragged point was released"

    # R, the dragged point taken from where it rests back left and right again, R: its path
    # is a motion (a cyan disc) that loops at once.
    tap_key r
    move "$held_x" "$GRAB_Y"
    sleep 0.2
    recording_start=$SECONDS
    xdotool mousedown 1
    # A frame takes a press at the cursor as it finds it: the cursor stays on the point until
    # a frame shows it taken (red, recorded), or a fast machine's first step could come first.
    wait_for_screen 7a-taken is_red_at "$held_x" "$GRAB_Y" >/dev/null || {
        xdotool mouseup 1
        fail "while recording, a press on the point at ($held_x, $GRAB_Y) did not take it"
    }
    # Each step waits for a frame to show the point's disc (green, or red once recording
    # it) under the cursor: a frame samples the cursor, and a loaded machine may draw fewer
    # frames than the steps take, which would leave fewer than the two samples a motion needs.
    for step_x in -8 -16 -24 -32 -40 -32 -24 -16 -8 0; do
        x=$((held_x + step_x))
        move "$x" "$GRAB_Y"
        wait_for_screen 7a-recording is_disc_at "$x" "$GRAB_Y" >/dev/null || {
            xdotool mouseup 1
            fail "while recording, the dragged point did not follow the cursor to ($x, $GRAB_Y)"
        }
    done
    xdotool mouseup 1
    recording_span=$((SECONDS - recording_start))
    tap_key r
    LOOPING=$(wait_for_screen 7a-recorded shows_cyan) ||
        fail "R, a drag and R again made no motion (no cyan disc)"
    wait_for_screen 7a-playing differs_from "$LOOPING" >/dev/null ||
        fail "the recorded loop does not play"
    step "R, a drag, R: the recorded loop plays"

    # Space pauses: the picture then stays for longer than the loop lasts. Space again plays.
    tap_key space
    PAUSED=$(wait_for_still_screen 7a-paused $((recording_span + 2))) ||
        fail "Space did not pause the loop"
    tap_key space
    wait_for_screen 7a-playing-again differs_from "$PAUSED" >/dev/null ||
        fail "the second Space did not play the loop again"
    step "Space pauses the loop, Space again plays it"

    press_keys 7a-rest-again "the second A" same_picture "$REST" -- a
    step "A again: the rest shape, as before A"
}

# Ctrl+S, held until each file named is there and not empty.
hold_ctrl_s_until() {
    local deadline file
    xdotool windowfocus "$WINDOW"
    xdotool keydown ctrl keydown s
    deadline=$((SECONDS + TIMEOUT))
    for file in "$@"; do
        until [ -s "$file" ]; do
            [ $SECONDS -lt $deadline ] || {
                xdotool keyup s keyup ctrl
                fail "Ctrl+S wrote no $file"
            }
            sleep 0.1
        done
    done
    xdotool keyup s keyup ctrl
}

# Ctrl+S, held until the files are there: the picture, the session and the body's meshes as
# sketch3d-NNN files in SAVES, the PNG the window's very picture, the title saying where.
# Sets SAVED (the files' common path, without extension).
save_with_ctrl_s() {
    local before deadline number shot extension
    before=$(find "$SAVES" -maxdepth 1 -name 'sketch3d-*.txt' | wc -l)
    number=$(printf '%03d' $((before + 1)))
    SAVED=$SAVES/sketch3d-$number
    shot=$(screenshot 7-before-save)
    hold_ctrl_s_until "$SAVED.txt" "$SAVED.png"
    for extension in obj stl glb png txt; do
        [ -s "$SAVED.$extension" ] || fail "Ctrl+S wrote no $SAVED.$extension"
    done
    deadline=$((SECONDS + TIMEOUT))
    until xdotool getwindowname "$WINDOW" | grep -q "saved sketch3d-$number"; do
        [ $SECONDS -lt $deadline ] || fail "the title never said where the save went"
        sleep 0.1
    done
    step "Ctrl+S: $(ls "$SAVED".* | xargs -n1 basename | tr '\n' ' ')"
    expect_replay_pixels "$shot" "$SAVED.png" "saved picture"
    # The saved session, played by the headless replay, ends on the saved picture, and exports
    # the very bytes of the saved STL and GLB (the joined solid is solved in floating point).
    if [ -n "${REPLAY:-}" ]; then
        { cat "$SAVED.txt"; echo "screenshot saved-session"; } >"$WORK/saved-session.txt"
        rm -f "$WORK/saved-session.stl" "$WORK/saved-session.glb"
        "$REPLAY" "$WORK/saved-session.txt" --out "$SHOTS/replay" \
            --stl "$WORK/saved-session.stl" --glb "$WORK/saved-session.glb" \
            >"$WORK/replay.log" 2>&1 ||
            fail "the saved session does not replay (see $WORK/replay.log)"
        expect_replay_pixels "$shot" "$SHOTS/replay/saved-session.png" "saved session replayed"
        for extension in stl glb; do
            cmp -s "$SAVED.$extension" "$WORK/saved-session.$extension" ||
                fail "$SAVED.$extension differs from the replay's export"
        done
        step "the saved STL and GLB are the replay's bytes"
    fi
}

# The saved session opened again: it plays at once and the window shows the saved picture;
# Escape then ends it.
reopen_saved_session() {
    local opened
    LAUNCH_ARGUMENTS=("$(basename "$SAVED").txt")
    launch
    LAUNCH_ARGUMENTS=()
    opened=$(wait_for_screen 9-reopened same_as_saved) ||
        fail "the reopened session does not show the saved picture"
    expect_replay_pixels "$opened" "$SAVED.png" "reopened $(basename "$SAVED").txt"
    # The history came back with the session: Ctrl+Z takes back the last step before the save,
    # the second part's inflation, and Ctrl+Z again its build: the square's stroke shows again.
    press_keys 9-reopened-flat "Ctrl+Z after reopening" differs_from "$opened" -- ctrl z
    press_keys 9-reopened-undone "the second Ctrl+Z after reopening" is_black_at 257 211 -- ctrl z
    step "Ctrl+Z twice after reopening: the second part flat again, then its build taken back"
    xdotool key Escape
    expect_exit 0 "Escape after reopening"
}

# Succeeds when a screenshot shows the saved picture (5 bits a component, as the page holds).
same_as_saved() {
    picture_crop rgb:- "$1" "$CLIENT_WIDTH" "$CLIENT_HEIGHT" 0 0 >"$WORK/window.rgb"
    convert "$SAVED.png" -depth 8 "rgb:$WORK/saved.rgb"
    python3 - "$WORK/window.rgb" "$WORK/saved.rgb" <<'PYTHON'
import sys
window, saved = (open(path, "rb").read() for path in sys.argv[1:3])
sys.exit(0 if len(window) == len(saved) and
         all(a >> 3 == b >> 3 for a, b in zip(window, saved)) else 1)
PYTHON
}
