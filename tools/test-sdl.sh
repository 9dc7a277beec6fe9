#!/usr/bin/env bash
# End-to-end check of the SDL program (build/default/sketch3d) on a private virtual X display:
# the same session as the Windows check (outline, sheet, F12, Escape), from screenshots, with
# the outline and the sheet compared with the headless replay (build/default/sketch3d-replay).
#
# Usage: tools/test-sdl.sh (or `make test-sdl`, which builds first); SKETCH3D_PROGRAM=PATH
# checks another build. Installs what it needs when run as root. Screenshots are kept in
# build/test-sdl/shots/.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

NAME=test-sdl
WORK=$ROOT/build/test-sdl
EXE=${SKETCH3D_PROGRAM:-$ROOT/build/default/sketch3d}
LAUNCH=("$EXE")
REPLAY=$ROOT/build/default/sketch3d-replay
# shellcheck source=tools/window-session.sh
. tools/window-session.sh

PACKAGES="xvfb xdotool imagemagick python3" sh tools/install-deps.sh
[ -x "$EXE" ] || fail "$EXE was not built (make build; SDL2 from libsdl2-dev)"
[ -x "$REPLAY" ] || fail "$REPLAY was not built (make build; stb from libstb-dev)"

start_virtual_display
run_window_session

echo "$NAME: PASS (screenshots in $SHOTS)"
