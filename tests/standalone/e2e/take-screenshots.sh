#!/usr/bin/env bash
# Takes the README's pictures of the stand-alone program on a private Xvfb at 96 dots
# per inch: the window as it opens (standalone-window.png) and the message box that
# a successful install shows (standalone-message.png). There is no window manager,
# so the pictures show the client areas without title bars.
#
#   take-screenshots.sh PROGRAM OUTPUT_FOLDER
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
take_paths "PROGRAM OUTPUT_FOLDER" program output -- "$@"

work=$(mktemp -d -t ruvo-shots-XXXXXX)
cleanup() {
  stop_programs
  stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb "$work"

# Crops a picture of the whole screen to one window, as a person's screenshot tool
# would.
shoot() {
  local window=$1 file=$2 X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage -strip "$file"
  echo "wrote $file (${WIDTH}x${HEIGHT})"
}

launch app "$work/data"
wait_for_log_lines "${app_log[app]}" window 1
window=$(find_window "${app_pid[app]}" ruvo-linklens)
sleep 0.5  # let it draw
shoot "$window" "$output/standalone-window.png"

press "$window" Return
wait_for_log_lines "${app_log[app]}" message 1
box=$(find_window "${app_pid[app]}" ruvo-linklens-message)
sleep 0.5
shoot "$box" "$output/standalone-message.png"
press "$box" Return
wait_for_exit "${app_pid[app]}"
unset "app_pid[app]"
