#!/usr/bin/env bash
# End-to-end check of the Windows program: builds it with mingw-w64 and runs it under Wine on
# a private virtual X display; draws an outline with the mouse, builds a sheet from it,
# deletes it with F12 and quits with Escape, checking the window's pixels from screenshots at
# each step; then starts it again and closes the window.
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

PACKAGES="wine wine64 xvfb xdotool imagemagick g++-mingw-w64-x86-64" sh tools/install-deps.sh
make --no-print-directory windows
[ -f "$EXE" ] || fail "$EXE was not built"

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

run_window_session

# Closing the window (Alt+F4 reaches the default window handling) runs the shut-down and
# ends with exit code 0.
launch
wait_for_screen 9-restart is_blue_screen >/dev/null || fail "no blue screen after the restart"
xdotool windowfocus "$WINDOW"
xdotool key alt+F4
expect_exit 0 "closing the window"

echo "$NAME: PASS (screenshots in $SHOTS)"
