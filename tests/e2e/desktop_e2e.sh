#!/usr/bin/env bash
# The desktop program driven only from outside, as a user would: on an X
# display of its own, with xdotool clicks and keys. It filters two device
# objects for three major functions, reads the results pane through the
# clipboard, widens the filter with Update Selection, removes it, saves the
# capture through the Save As dialog, exits through the File menu, checks the
# saved test with vantrel-cli and opens it again from the command line.
#
# usage: desktop_e2e.sh VANTREL VANTREL_CLI SAMPLE_CATALOGUE
set -euo pipefail

if [ -z "${VANTREL_E2E_DISPLAY:-}" ]; then
  # xvfb-run ends the server when the script ends, whatever its outcome.
  exec xvfb-run -a -s "-screen 0 1280x1024x24" env VANTREL_E2E_DISPLAY=1 "$0" "$@"
fi

[ $# -eq 3 ] || { echo "usage: $0 VANTREL VANTREL_CLI SAMPLE_CATALOGUE" >&2; exit 64; }
app=$(realpath "$1") cli=$(realpath "$2") catalogue=$(realpath "$3")
# shellcheck source=x11_drive.sh
source "$(dirname "$0")/x11_drive.sh"

X11_WORK=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-e2e.XXXXXX")
finish() {
  local status=$?
  x11_cleanup
  if [ $status -eq 0 ]; then rm -rf "$X11_WORK"; else echo "kept for inspection: $X11_WORK" >&2; fi
}
trap finish EXIT

# A fresh folder with the sample catalogue, settings of its own, the xcb
# platform and a slow simulated driver with four device objects: few enough
# blocks that the pane's periodic clear never hides the notices under test.
cd "$X11_WORK"
cp "$catalogue" Vantrel.db
export XDG_CONFIG_HOME="$X11_WORK/config" XDG_RUNTIME_DIR="$X11_WORK/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
export VANTREL_SIM_RATE=10 VANTREL_SIM_SEED=7
export VANTREL_SIM_DEVICES='\Device\Harddisk0\DR0,\Device\Floppy0,\Device\Serial0,\Device\Null'
readonly DISK=0x8a3e6030 FLOPPY=0x8a2f7e48 SERIAL=0x8a4c2d10
readonly READ=3 WRITE=4 DEVICE_CONTROL=14

# --- What the screen shows -------------------------------------------------------

# row_selected IMAGE X W Y H: true when the band holds a selected row.
row_selected() { x11_find_colour "$1" "$X11_SELECTION" "$2" $(($4 + 2)) "$3" $(($5 - 4)); }

# The results pane's whole text, copied with Ctrl+A Ctrl+C after a click into
# the pane; PANE holds it. Polls until CONDITION (a function reading PANE)
# holds.
copy_pane() {
  x11_click "$PANE_X" "$PANE_Y"
  # Both keys at once: each batch of new text puts the caret back at the
  # end, which drops a selection made between the two.
  xdotool key --delay 0 ctrl+a ctrl+c
  PANE=$(x11_clipboard)
  # The last copy stays beside the pictures, for a failure's report.
  printf '%s\n' "$PANE" >"$X11_WORK/pane.txt"
}
wait_pane() {
  local limit=$1 what=$2 condition=$3
  _pane_holds() { copy_pane && "$condition"; }
  x11_wait "$limit" "$what" _pane_holds
}

blocks() { grep -c '^IRP Monitor Data$' <<<"$PANE" || true; }
majors_in_pane() { sed -n 's/^ *Major Code:[[:space:]]*//p' <<<"$PANE" | sort -u; }
objects_in_pane() { sed -n 's/^ *PDEVICE_OBJECT:[[:space:]]*//p' <<<"$PANE" | sort -u; }

# every LIST ALLOWED...: each line of LIST is one of ALLOWED.
every() {
  local list=$1 item
  shift
  while IFS= read -r item; do
    [ -z "$item" ] && continue
    [[ " $* " == *" $item "* ]] || return 1
  done <<<"$list"
}

# --- Start ------------------------------------------------------------------------

x11_say "starting vantrel in $X11_WORK"
x11_start app1.log "$app"
main_pid=$X11_PID
x11_wait_window "$main_pid" '^Vantrel' 20
main=$X11_WINDOW
title=$(xdotool getwindowname "$main")
[ "$title" = "Vantrel" ] || x11_fail "the window title is '$title', not 'Vantrel'"
x11_geometry "$main"
x11_say "main window $main: '$title' at ${WIN_X},${WIN_Y} ${WIN_W}x${WIN_H}"
PANE_X=$((WIN_X + WIN_W / 2)) PANE_Y=$((WIN_Y + WIN_H - 60))
upper_h=$((WIN_H / 2))

# --- Device rows: the list is the top left pane ----------------------------------

# A click on the empty part of the list below its rows.
x11_first_row $((WIN_X + 60)) $((WIN_Y + upper_h - 40)) "$WIN_X" "$WIN_Y" $((WIN_W / 3)) "$upper_h"
x11_row_pitch
dev_x=$ROW_X dev_w=$ROW_W dev_y0=$ROW_Y dev_h=$ROW_H dev_pitch=$ROW_PITCH
dev_cx=$((dev_x + dev_w / 2))
dev_row_y() { echo $((dev_y0 + $1 * dev_pitch + dev_h / 2)); }
dev_right=$((dev_x + dev_w + 15))
x11_say "device rows: first at y=$dev_y0, ${dev_pitch} px apart, list right edge x=$dev_right"

# Harddisk0 (row 0) and Serial0 (row 2), with Floppy0 between them left out.
x11_click "$dev_cx" "$(dev_row_y 0)"
x11_ctrl_click "$dev_cx" "$(dev_row_y 2)"
_devices_chosen() {
  local shot
  shot=$(x11_shot probe)
  row_selected "$shot" "$dev_x" "$dev_w" $((dev_y0 + 0 * dev_pitch)) "$dev_h" &&
    row_selected "$shot" "$dev_x" "$dev_w" $((dev_y0 + 2 * dev_pitch)) "$dev_h" &&
    ! row_selected "$shot" "$dev_x" "$dev_w" $((dev_y0 + 1 * dev_pitch)) "$dev_h"
}
x11_wait 5 "device rows 1 and 3 selected, row 2 not" _devices_chosen
x11_say "selected the device rows of Harddisk0 and Serial0 (click, ctrl+click)"

# --- Major functions: the list on the IRP Monitor page ---------------------------

irp_region_x=$((dev_right + 5))
irp_region_w=$((WIN_X + WIN_W - irp_region_x))
x11_first_row $((dev_right + 100)) $((dev_y0 + 120)) "$irp_region_x" "$WIN_Y" "$irp_region_w" "$upper_h"
x11_row_pitch
irp_x=$ROW_X irp_w=$ROW_W irp_y0=$ROW_Y irp_h=$ROW_H irp_pitch=$ROW_PITCH
irp_cx=$((irp_x + irp_w / 2))
irp_row_y() { echo $((irp_y0 + $1 * irp_pitch + irp_h / 2)); }
x11_say "major function rows: first at y=$irp_y0, ${irp_pitch} px apart"

# majors_shown WANTED... : exactly the wanted rows among the first seventeen
# are selected.
majors_shown() {
  local shot row wanted
  shot=$(x11_shot probe)
  mapfile -t rows < <(x11_rows_with_colour "$shot" "$X11_SELECTION" "$irp_x" "$irp_y0" "$irp_w" $((17 * irp_pitch)))
  for row in $(seq 0 16); do
    wanted=0
    [[ " $* " == *" $row "* ]] && wanted=1
    [ "${rows[row * irp_pitch + irp_h / 2]:-x}" = $wanted ] || return 1
  done
}

x11_click "$irp_cx" "$(irp_row_y $READ)"
x11_ctrl_click "$irp_cx" "$(irp_row_y $WRITE)"
x11_ctrl_click "$irp_cx" "$(irp_row_y $DEVICE_CONTROL)"
x11_wait 5 "IRP_MJ_READ, IRP_MJ_WRITE and IRP_MJ_DEVICE_CONTROL selected" majors_shown $READ $WRITE $DEVICE_CONTROL
x11_say "selected IRP_MJ_READ, IRP_MJ_WRITE, IRP_MJ_DEVICE_CONTROL (click, ctrl+click)"

# --- Add the filter -----------------------------------------------------------------

# The buttons stand right of the list: Tab gives the first one the focus.
buttons_x=$((irp_x + irp_w + 15))
buttons_w=$((WIN_X + WIN_W - buttons_x))
x11_next_button "$buttons_x" "$WIN_Y" "$buttons_w" "$upper_h"
add_x=$BUTTON_X add_y=$BUTTON_Y add_bottom=$BUTTON_BOTTOM
x11_click "$add_x" "$add_y"
x11_say "pressed 'Add / Remove Filter' at $add_x,$add_y"

_first_blocks() {
  [ "$(blocks)" -ge 3 ] &&
    grep -qF "Filter for PDEVICE_OBJECT $DISK has been updated" <<<"$PANE" &&
    grep -qF "Filter for PDEVICE_OBJECT $SERIAL has been updated" <<<"$PANE"
}
wait_pane 20 "three blocks and both notices in the results pane" _first_blocks
every "$(majors_in_pane)" IRP_MJ_READ IRP_MJ_WRITE IRP_MJ_DEVICE_CONTROL ||
  x11_fail "the pane shows other major functions: $(majors_in_pane | tr '\n' ' ')"
every "$(objects_in_pane)" $DISK $SERIAL ||
  x11_fail "the pane shows other device objects: $(objects_in_pane | tr '\n' ' ')"
x11_say "results pane: $(blocks) blocks of $(majors_in_pane | tr '\n' ' ')and both filter notices"

# --- Update Selection: Floppy0 joins for reads and writes -------------------------

# A device row chosen while filtering shows that device's mask: none yet.
x11_ctrl_click "$dev_cx" "$(dev_row_y 1)"
x11_wait 5 "the major function list cleared for Floppy0" majors_shown
x11_click "$irp_cx" "$(irp_row_y $READ)"
x11_ctrl_click "$irp_cx" "$(irp_row_y $WRITE)"
x11_wait 5 "IRP_MJ_READ and IRP_MJ_WRITE selected" majors_shown $READ $WRITE
x11_key Tab
x11_next_button "$buttons_x" "$add_bottom" "$buttons_w" $((WIN_Y + upper_h - add_bottom))
x11_click "$BUTTON_X" "$BUTTON_Y"
x11_say "pressed 'Update Selection' with three device rows and two major functions"

_updated() {
  local object
  for object in $DISK $FLOPPY $SERIAL; do
    grep -qF "Filter for PDEVICE_OBJECT $object has been updated" <<<"$PANE" || return 1
  done
}
floppy_majors() { awk -v o=$FLOPPY '/PDEVICE_OBJECT:/ { f = ($2 == o) } f && /Major Code:/ { print $3 }' <<<"$PANE"; }
_floppy_blocks() { _updated && [ -n "$(floppy_majors)" ]; }
wait_pane 20 "the three update notices and a block of Floppy0" _floppy_blocks
every "$(floppy_majors | sort -u)" IRP_MJ_READ IRP_MJ_WRITE ||
  x11_fail "Floppy0 shows major functions outside its mask: $(floppy_majors | sort -u | tr '\n' ' ')"
x11_say "results pane: the three update notices, $(floppy_majors | wc -l) blocks of Floppy0 ($(floppy_majors | sort -u | tr '\n' ' '))"

# --- Remove the filter --------------------------------------------------------------

x11_click "$add_x" "$add_y"
_removed() {
  local object
  for object in $DISK $FLOPPY $SERIAL; do
    grep -qF "No longer filtering PDEVICE_OBJECT $object" <<<"$PANE" || return 1
  done
}
wait_pane 10 "the three removal notices" _removed
every "$(majors_in_pane)" IRP_MJ_READ IRP_MJ_WRITE IRP_MJ_DEVICE_CONTROL ||
  x11_fail "the pane shows other major functions: $(majors_in_pane | tr '\n' ' ')"
every "$(objects_in_pane)" $DISK $FLOPPY $SERIAL ||
  x11_fail "the pane shows other device objects: $(objects_in_pane | tr '\n' ' ')"
# The notices are grey: Ctrl+End drops the selection and shows the end.
x11_key ctrl+End
_grey_notices() {
  local n
  n=$(x11_colour_count "$(x11_shot probe)" "$X11_NOTICE_GREY" "$WIN_X" $((WIN_Y + upper_h)) "$WIN_W" $((WIN_H - upper_h)))
  [ "${n:-0}" -ge 50 ]
}
x11_wait 5 "grey notice text at the end of the results pane" _grey_notices
x11_say "removed the filter: three removal notices, shown in grey"

# --- The Edit menu from the keyboard ------------------------------------------------

# Text selected in the focused pane: Alt+E opens Edit with Copy enabled, so
# its letter C copies the selection.
printf 'not copied' | xclip -selection clipboard
x11_click "$PANE_X" "$PANE_Y"
x11_key ctrl+a
before=$(xdotool search --onlyvisible --pid "$main_pid" 2>/dev/null | wc -l)
x11_key alt+e
_edit_open() { [ "$(xdotool search --onlyvisible --pid "$main_pid" 2>/dev/null | wc -l)" -gt "$before" ]; }
x11_wait 5 "the Edit menu to open with Alt+E" _edit_open
x11_key c
_copied() { x11_clipboard | grep -qF "No longer filtering PDEVICE_OBJECT"; }
x11_wait 5 "Copy, enabled in the Edit menu opened with Alt+E, to copy the selection" _copied
x11_say "Alt+E after selecting text: Copy enabled, the selection copied"

# --- Save As ------------------------------------------------------------------------

saved="$X11_WORK/capture.vtl"
x11_key ctrl+s
x11_wait_window "$main_pid" '^Save As$' 10
dialog=$X11_WINDOW
xdotool type --delay 20 "$saved"
x11_key Return
_saved() { [ -s "$saved" ] && [ -z "$(x11_find_window "$main_pid" '^Save As$')" ]; }
x11_wait 10 "the Save As dialog to close and $saved to appear" _saved
_titled() { [ "$(xdotool getwindowname "$main")" = "Vantrel - capture.vtl" ]; }
x11_wait 5 "the title 'Vantrel - capture.vtl'" _titled
x11_say "saved through the dialog $dialog: $(stat -c %s "$saved") bytes, title '$(xdotool getwindowname "$main")'"

# --- Exit through the File menu -----------------------------------------------------

# exit_by_menu PID WINDOW: Alt+F opens the File menu, X is its Exit entry. A
# click on the results pane first makes the window the active one (there is
# no window manager to give it back after a dialog).
exit_by_menu() {
  local pid=$1 before
  x11_geometry "$2"
  x11_click $((WIN_X + WIN_W / 2)) $((WIN_Y + WIN_H - 60))
  before=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)
  x11_key alt+f
  _menu_open() { [ "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)" -gt "$before" ]; }
  x11_wait 5 "the File menu to open" _menu_open
  x11_key x
  x11_wait_exit "$pid" 15
}
exit_by_menu "$main_pid" "$main"
x11_say "exited through File > Exit with status 0"

# --- The saved test -----------------------------------------------------------------

"$cli" roundtrip "$saved" roundtrip.vtl || x11_fail "vantrel-cli roundtrip refused $saved"
cmp -s "$saved" roundtrip.vtl || x11_fail "the saved test does not come back byte for byte"
"$cli" records "$saved" >records.txt || x11_fail "vantrel-cli records refused $saved"
count=$(sed -n '1s/.*count=//p' records.txt)
[ "${count:-0}" -gt 0 ] || x11_fail "the saved test holds no records"
# index, device object, major, ...: the majors of the two first devices and
# only reads and writes for Floppy0.
awk -F '\t' -v disk=$DISK -v floppy=$FLOPPY -v serial=$SERIAL 'NR > 1 {
  ok = ($2 == disk || $2 == serial) && ($3 == "0x00000003" || $3 == "0x00000004" || $3 == "0x0000000e")
  ok = ok || ($2 == floppy && ($3 == "0x00000003" || $3 == "0x00000004"))
  if (!ok) { print "unexpected record: " $0; bad = 1 }
} END { exit bad }' records.txt || x11_fail "the saved test holds records outside the filter"
x11_say "vantrel-cli: $count records, all inside the filter; roundtrip byte-identical"

# --- Open it again from the command line --------------------------------------------

x11_start app2.log "$app" "$saved"
second_pid=$X11_PID
x11_wait_window "$second_pid" '^Vantrel' 20
title=$(xdotool getwindowname "$X11_WINDOW")
[ "$title" = "Vantrel - capture.vtl" ] || x11_fail "reopened, the title is '$title'"
exit_by_menu "$second_pid" "$X11_WINDOW"
x11_say "reopened from the command line: title '$title'; exited"
x11_say "passed"
