# Sourced by the Wine end-to-end tests and the benchmark: a display of their own and
# a clean end. Xvfb picks a free display number and tells it through a pipe; on exit,
# the program under test, the prefix's Wine processes and that Xvfb are ended.
#   start_wine_display LOG_FOLDER WHO   exports DISPLAY; WHO names the caller in errors
# The caller sets app_pid while a program of its own runs.

xvfb_pid=
app_pid=
stop_wine_display() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap stop_wine_display EXIT

start_wine_display() {
  local log_folder=$1 who=$2 display_number
  exec 5<> <(:)
  # -noreset: a program started just as the last one left must still connect.
  Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset >"$log_folder/xvfb.log" 2>&1 &
  xvfb_pid=$!
  read -r -t 10 display_number <&5 || { echo "$who: Xvfb did not start" >&2; exit 1; }
  exec 5<&-
  export DISPLAY=":$display_number"
}
