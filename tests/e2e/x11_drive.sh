# shellcheck shell=bash
# shellcheck disable=SC2034,SC2317  # values and helpers for the sourcing script
# Sourced by the scripts that drive the desktop program from outside, on an X
# display of their own (xvfb-run): start it, find its windows, click and type
# with xdotool, find what the screen shows with ImageMagick, read the
# clipboard with xclip. Every wait polls with a deadline; nothing here relies
# on a sleep alone.
#
# The caller sets X11_WORK (a folder for screenshots) before the first call.

# The colours the program's style draws with: a selected row's background,
# the frame of the push button that has the keyboard focus, and the grey of
# the filter notices in the results pane.
readonly X11_SELECTION='#308CC6'
readonly X11_FOCUS_FRAME='#26709E'
readonly X11_NOTICE_GREY='#7F7F7F'

X11_STARTED=$SECONDS
X11_PIDS=()
X11_SHOT_COUNT=0

x11_say() { printf '[%3ds] %s\n' $((SECONDS - X11_STARTED)) "$*"; }

# x11_fail MESSAGE: says what went wrong, keeps a picture of the screen and
# the visible windows, and ends the script (the EXIT trap cleans up).
x11_fail() {
  printf 'FAILED: %s\n' "$*" >&2
  if [ -n "${DISPLAY:-}" ] && import -window root "$X11_WORK/failure.png" 2>/dev/null; then
    printf 'screen at the failure: %s\n' "$X11_WORK/failure.png" >&2
  fi
  for pid in "${X11_PIDS[@]}"; do
    for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      printf 'visible window %s: "%s"\n' "$w" "$(xdotool getwindowname "$w" 2>/dev/null)" >&2
    done
  done
  exit 1
}

# x11_wait SECONDS DESCRIPTION COMMAND...: runs COMMAND every 0.1 s until it
# succeeds; fails naming DESCRIPTION when the deadline passes first.
x11_wait() {
  local limit=$1 what=$2
  shift 2
  local deadline=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || x11_fail "timed out after ${limit}s waiting for $what"
    sleep 0.1
  done
}

# x11_start LOG PROGRAM ARGS...: starts the program in the background; its pid
# goes to X11_PID and into the list that x11_cleanup ends.
x11_start() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  X11_PID=$!
  X11_PIDS+=("$X11_PID")
}

x11_alive() { kill -0 "$1" 2>/dev/null; }

# Ends every program this script started that is still running.
x11_cleanup() {
  local pid
  for pid in "${X11_PIDS[@]}"; do
    if x11_alive "$pid"; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 30); do x11_alive "$pid" || break; sleep 0.1; done
      if x11_alive "$pid"; then kill -9 "$pid" 2>/dev/null || true; fi
    fi
    wait "$pid" 2>/dev/null || true
  done
}

# x11_wait_exit PID SECONDS: waits for the program to end by itself and checks
# that it ended with status 0.
x11_wait_exit() {
  local pid=$1 limit=$2 status=0
  x11_wait "$limit" "process $pid to exit" eval "! kill -0 $pid 2>/dev/null"
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || x11_fail "process $pid exited with status $status"
}

# x11_find_window PID TITLE_REGEX: prints the id of the first visible window of
# the process whose title matches.
x11_find_window() {
  xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n 1
}

# x11_wait_window PID TITLE_REGEX SECONDS: waits for such a window and leaves
# its id in X11_WINDOW.
x11_wait_window() {
  local pid=$1 regex=$2 limit=$3
  X11_WINDOW=""
  _x11_found() {
    x11_alive "$pid" || x11_fail "the program (pid $pid) ended before its window '$regex' showed"
    X11_WINDOW=$(x11_find_window "$pid" "$regex")
    [ -n "$X11_WINDOW" ]
  }
  x11_wait "$limit" "a window titled '$regex'" _x11_found
}

# x11_geometry WINDOW: sets WIN_X WIN_Y WIN_W WIN_H (screen pixels).
x11_geometry() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  WIN_X=$X WIN_Y=$Y WIN_W=$WIDTH WIN_H=$HEIGHT
}

# x11_shot [NAME]: a picture of the whole screen; prints its path.
x11_shot() {
  X11_SHOT_COUNT=$((X11_SHOT_COUNT + 1))
  local file="$X11_WORK/${1:-shot$X11_SHOT_COUNT}.png"
  import -window root "$file" 2>/dev/null || x11_fail "could not take a screenshot"
  printf '%s\n' "$file"
}

# x11_find_colour IMAGE COLOUR X Y W H: the box around the wide runs of COLOUR
# inside the region (runs narrower than 31 pixels, such as icons, are left
# out). Sets BOX_X BOX_Y BOX_W BOX_H (screen pixels, the vertical extent
# exact, the horizontal one 15 pixels short at each end); fails (status 1)
# when there is none.
x11_find_colour() {
  local image=$1 colour=$2 x=$3 y=$4 w=$5 h=$6 geometry
  geometry=$(convert "$image" -crop "${w}x${h}+${x}+${y}" +repage -fuzz 3% \
    -fill black +opaque "$colour" -fill white -opaque "$colour" \
    -morphology Erode Rectangle:31x1 -bordercolor black -border 1 -format '%@' info: 2>/dev/null)
  [[ $geometry =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
  [ "${BASH_REMATCH[1]}" -gt 0 ] && [ "${BASH_REMATCH[2]}" -gt 0 ] || return 1
  BOX_W=${BASH_REMATCH[1]} BOX_H=${BASH_REMATCH[2]}
  BOX_X=$((x + BASH_REMATCH[3] - 1)) BOX_Y=$((y + BASH_REMATCH[4] - 1))
}

# x11_wait_colour SECONDS DESCRIPTION COLOUR X Y W H: takes pictures until the
# colour shows in the region; leaves its box in BOX_*.
x11_wait_colour() {
  local limit=$1 what=$2
  shift 2
  _x11_colour_shows() { x11_find_colour "$(x11_shot probe)" "$@"; }
  x11_wait "$limit" "$what" _x11_colour_shows "$@"
}

# x11_first_row CLICK_X CLICK_Y X Y W H: a click into a list at the point gives
# it the focus; End then Home select its first row (Home alone leaves a
# current row unselected), which shows where the rows are. Sets ROW_X ROW_Y
# ROW_W ROW_H from the selected row inside the region.
x11_first_row() {
  x11_click "$1" "$2"
  x11_key End Home
  x11_wait_colour 5 "the first row of the list at $1,$2 selected" "$X11_SELECTION" "$3" "$4" "$5" "$6"
  ROW_X=$BOX_X ROW_Y=$BOX_Y ROW_W=$BOX_W ROW_H=$BOX_H
}

# x11_row_pitch: after x11_first_row, Down selects the second row; sets
# ROW_PITCH, how far apart the rows are.
x11_row_pitch() {
  x11_key Down
  x11_wait_colour 5 "the second row selected" "$X11_SELECTION" "$ROW_X" $((ROW_Y + ROW_H)) "$ROW_W" $((4 * ROW_H))
  ROW_PITCH=$((BOX_Y - ROW_Y))
}

# x11_next_button X Y W H: Tab moves the focus to the next push button, whose
# focus frame shows where it is; sets BUTTON_X BUTTON_Y (its centre) and
# BUTTON_BOTTOM.
x11_next_button() {
  x11_key Tab
  x11_wait_colour 5 "a push button with the focus" "$X11_FOCUS_FRAME" "$@"
  BUTTON_X=$((BOX_X + BOX_W / 2)) BUTTON_Y=$((BOX_Y + BOX_H / 2)) BUTTON_BOTTOM=$((BOX_Y + BOX_H))
}

# x11_colour_count IMAGE COLOUR X Y W H: how many pixels of exactly COLOUR the
# region holds.
x11_colour_count() {
  local image=$1 colour=$2 x=$3 y=$4 w=$5 h=$6
  convert "$image" -crop "${w}x${h}+${x}+${y}" +repage -fill black +opaque "$colour" \
    -fill white -opaque "$colour" -format '%[fx:int(mean*w*h+0.5)]' info: 2>/dev/null
}

# x11_rows_with_colour IMAGE COLOUR X Y W H: for each pixel row of the region,
# one line: 1 when a wide run of COLOUR crosses it, 0 otherwise.
x11_rows_with_colour() {
  local image=$1 colour=$2 x=$3 y=$4 w=$5 h=$6
  convert "$image" -crop "${w}x${h}+${x}+${y}" +repage -fuzz 3% \
    -fill black +opaque "$colour" -fill white -opaque "$colour" \
    -morphology Erode Rectangle:31x1 -scale "1x${h}!" -depth 8 txt:- 2>/dev/null |
    awk -F'[(,)]' 'NR > 1 { print ($3 > 0 ? 1 : 0) }'
}

# (mousemove --sync would wait for ever when the pointer is already there.)
x11_click() { xdotool mousemove "$1" "$2" click 1; }
x11_ctrl_click() { xdotool mousemove "$1" "$2" keydown ctrl click 1 keyup ctrl; }
x11_right_click() { xdotool mousemove "$1" "$2" click 3; }
x11_key() { xdotool key --clearmodifiers "$@"; }

# x11_clipboard: the text the clipboard holds now (empty when it holds none).
x11_clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
