#!/usr/bin/env bash
# Starts Quorvale (the command given) on the current X display, goes through a first start as a
# player who has not chosen the game yet (OK on the box that asks for the executable, Escape in
# the file chooser) and waits for the main window. Writes a screenshot to SHOT, leaves the
# program running and prints its process id; exit 1 when no main window came.
#   first_start.sh SHOT [--chooser-input TEXT] COMMAND...
# With --chooser-input, TEXT is typed into the file chooser and Enter pressed, instead of Escape.
set -uo pipefail
shot=$1
shift
input=""
if [ "${1:-}" = "--chooser-input" ]; then
  input=$2
  shift 2
fi
# A window manager started just before takes a moment; a box mapped meanwhile may stay hidden.
for _ in $(seq 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
"$@" >"$shot.log" 2>&1 &
pid=$!
# Wine's first start in a new prefix takes a while.
deadline=$((SECONDS + 180))
actions=0
main=""
while [ $SECONDS -lt $deadline ] && [ -z "$main" ] && [ $actions -lt 8 ]; do
  acted=0
  for id in $(xdotool search --onlyvisible --name '.+' 2>/dev/null); do
    name=$(xdotool getwindowname "$id" 2>/dev/null)
    size=$(xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    read -r width height <<<"${size:-0 0}"
    # Wine keeps small helper windows of the same name.
    [ "$width" -ge 150 ] && [ "$height" -ge 50 ] || continue
    if [ "$name" = Quorvale ] && [ "$width" -ge 400 ]; then
      main=$id
      break
    fi
    [ "$name" = Quorvale ] || continue
    # A box: "Select the ArmA 2 executable.", and the one after a cancel. OK opens the file
    # chooser, which takes the keys next (Wine's has no name to look for).
    sleep 1
    xdotool windowfocus --sync "$id" key Return 2>/dev/null
    sleep 3
    if [ -n "$input" ]; then
      xdotool type --delay 20 "$input"
      xdotool key Return
      input=""
    else
      xdotool key Escape
    fi
    acted=1
    actions=$((actions + 1))
    sleep 2
    break
  done
  [ $acted = 1 ] || sleep 0.3
done
if [ -z "$main" ]; then
  import -window root "$shot" 2>/dev/null || true
  echo "no main window came; the screen is in $shot, the program's output in $shot.log" >&2
  kill "$pid" 2>/dev/null
  exit 1
fi
sleep 2
import -window root "$shot" 2>/dev/null || true
echo "$pid"
