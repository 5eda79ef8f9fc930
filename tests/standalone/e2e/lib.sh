# Helpers for driving ruvo-linklens under Xvfb with xdotool, sourced by the
# end-to-end tests and the screenshot script. Needs: Xvfb, xdotool, x11-utils.
#
# The program writes what it shows to the file named by RUVO_UI_LOG (one line per
# window or message box, fields separated by tabs, see src/platform/standalone/fltk/user_interface.h); the
# helpers read the texts from there and find the windows by their X class:
# "ruvo-linklens" for the main window, "ruvo-linklens-message" for a message box.

lib_folder=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Sets each named variable to the full path of the argument in its place; with fewer
# arguments than names, prints the usage and ends the script with status 2.
#   take_paths "USAGE" NAME... -- "$@"
take_paths() {
  local usage=$1 names=() name
  shift
  while [ "$1" != -- ]; do
    names+=("$1")
    shift
  done
  shift
  if [ $# -lt ${#names[@]} ]; then
    echo "usage: $0 $usage" >&2
    exit 2
  fi
  for name in "${names[@]}"; do
    printf -v "$name" '%s' "$(realpath "$1")"
    shift
  done
}

# How long to wait for the program to show something or to end, in tenths of a second.
: "${E2E_PATIENCE:=300}"

# Starts a private Xvfb on a free display (the server picks it) at 96 dots per inch
# and exports DISPLAY. Sets xvfb_pid; stop it with stop_xvfb. -noreset: an X server
# resets when its last client leaves, and a program that starts meanwhile cannot
# connect, as one run after another does.
start_xvfb() {
  local folder=$1
  local number_file="$folder/xvfb-display"
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$number_file" \
    >"$folder/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local tries=0
  until [ -s "$number_file" ]; do
    if ! kill -0 "$xvfb_pid" 2>/dev/null || [ $tries -ge 100 ]; then
      echo "e2e: Xvfb did not start:" >&2
      cat "$folder/xvfb.log" >&2
      return 1
    fi
    sleep 0.1
    tries=$((tries + 1))
  done
  export DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
}

stop_xvfb() {
  if [ -n "${xvfb_pid:-}" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  fi
}

# The programs started by launch, by the name the test gives each: process id, UI
# log, captured stdout and stderr.
declare -A app_pid app_log app_output

# launch NAME DATA_HOME: starts the program in the background with DATA_HOME as its
# XDG data folder and its own UI log. Under AddressSanitizer the leak report leaves
# out what the libraries keep (full stacks are needed to tell whose memory it is).
launch() {
  local name=$1 data_home=$2
  app_log[$name]="$data_home.$name.ui.log"
  app_output[$name]="$data_home.$name.output"
  : >"${app_log[$name]}"
  XDG_DATA_HOME="$data_home" RUVO_UI_LOG="${app_log[$name]}" \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
    LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$lib_folder/lsan-suppressions.txt" \
    "$program" >"${app_output[$name]}" 2>&1 &
  app_pid[$name]=$!
}

# Ends every program still running (after a failed case).
stop_programs() {
  local name
  for name in "${!app_pid[@]}"; do
    if kill -0 "${app_pid[$name]}" 2>/dev/null; then
      kill "${app_pid[$name]}" 2>/dev/null
      wait "${app_pid[$name]}" 2>/dev/null
    fi
    unset "app_pid[$name]"
  done
}

# Waits until the file holds at least COUNT lines that start with KIND.
wait_for_log_lines() {
  local file=$1 kind=$2 count=$3 tries=0
  while [ "$(grep -c "^$kind"$'\t' "$file" 2>/dev/null)" -lt "$count" ]; do
    [ $tries -ge "$E2E_PATIENCE" ] && return 1
    sleep 0.1
    tries=$((tries + 1))
  done
}

# Prints the id of the visible window of class CLASS that process PID owns.
find_window() {
  local pid=$1 class=$2 tries=0 ids
  while :; do
    ids=$(xdotool search --all --onlyvisible --pid "$pid" --classname "^$class\$" 2>/dev/null)
    if [ -n "$ids" ]; then
      head -n 1 <<<"$ids"
      return 0
    fi
    [ $tries -ge "$E2E_PATIENCE" ] && return 1
    sleep 0.1
    tries=$((tries + 1))
  done
}

# press WINDOW KEY...: gives the window the keyboard focus, as a click on it would,
# and types the keys.
press() {
  local window=$1
  shift
  timeout 10 xdotool windowfocus --sync "$window" && xdotool key --delay 50 "$@"
}

# Waits for process PID, a child of this shell, to end and sets exit_status to its
# status. Fails (after ending it) if it does not end in time. Not for $(...): only
# this shell can collect its own child.
wait_for_exit() {
  local pid=$1 tries=0
  exit_status=
  while kill -0 "$pid" 2>/dev/null; do
    if [ $tries -ge "$E2E_PATIENCE" ]; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      return 1
    fi
    sleep 0.1
    tries=$((tries + 1))
  done
  exit_status=0
  wait "$pid" || exit_status=$?
}

# Field N (1-based) of line LINE (1-based) of the UI log, with the program's escapes
# (\\ \t \r \n) turned back into the characters.
log_field() {
  local file=$1 line=$2 field=$3 raw
  raw=$(sed -n "${line}p" "$file" | cut -f "$field")
  printf '%b' "$raw"
}
