#!/usr/bin/env bash
# Fault sweep of the stand-alone ruvo-linklens: install and uninstall run on a private
# Xvfb, driven by keys, while strace kills the program at the Nth file or store call
# or makes that call fail with ENOSPC, EIO or EACCES. After each run the state must
# hold: the page absent or exactly the expected page, the store sound, no success told
# over a failure; and a plain run afterwards must reach a clean state leaving nothing
# of ours behind.
#
#   fault-sweep.sh PROGRAM EXPECTED_PAGE PRINT_BUILT_TEXTS [--sample]
#
# The points are the calls of a plain run that touch the data folder, found by
# tracing that run first. --sample takes every few points (about two minutes).
# Prints: points, kills, faults, violations; fails when there is a violation.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=e2e/lib.sh
source "$here/e2e/lib.sh"
# shellcheck source=../tools/built_texts.sh
source "$here/../tools/built_texts.sh"
take_paths "PROGRAM EXPECTED_PAGE PRINT_BUILT_TEXTS [--sample]" \
  program page_template print_built_texts -- "$@"
sample=0
[ "${4:-}" = "--sample" ] && sample=1
E2E_PATIENCE=150

for tool in Xvfb xdotool strace sqlite3; do
  command -v "$tool" >/dev/null || { echo "sweep: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d -t ruvo-sweep-XXXXXX)
violations=0
cleanup() {
  stop_xvfb
  if [ "$violations" -eq 0 ]; then rm -rf "$work"; else echo "sweep: kept $work for a look"; fi
}
trap cleanup EXIT
start_xvfb "$work" || exit 1

load_expectations "$print_built_texts" "$page_template" "$work" || exit 1
readonly syscalls=openat,write,pwrite64,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,rmdir,close,fcntl,flock,ftruncate

store_of() { echo "$1/ruvo-linklens/registry.sqlite3"; }
folder_of() { echo "$1/ruvo-linklens/drive_c/Program Files/ruvo"; }

# run DATA [STRACE OPTIONS...]: starts the program (under strace when options are
# given), presses the button, dismisses every message until it ends. Sets
# run_status and run_last (the last message's text).
run() {
  local data=$1
  shift
  local log="$data.ui.log"
  : >"$log"
  if [ $# -gt 0 ]; then
    XDG_DATA_HOME="$data" RUVO_UI_LOG="$log" strace -f -qq "$@" "$program" \
      >"$data.output" 2>&1 &
  else
    XDG_DATA_HOME="$data" RUVO_UI_LOG="$log" "$program" >"$data.output" 2>&1 &
  fi
  local pid=$! tries=0 window box pressed=0
  while kill -0 "$pid" 2>/dev/null && [ $tries -lt 600 ]; do
    if [ $pressed -eq 0 ] && grep -q "^window" "$log" 2>/dev/null; then
      window=$(xdotool search --onlyvisible --classname '^ruvo-linklens$' 2>/dev/null | head -n 1)
      [ -n "$window" ] && press "$window" Return && pressed=1
    fi
    box=$(xdotool search --onlyvisible --classname '^ruvo-linklens-message$' 2>/dev/null | head -n 1)
    [ -n "$box" ] && press "$box" Return
    sleep 0.1
    tries=$((tries + 1))
  done
  kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
  run_status=0
  wait "$pid" || run_status=$?
  local line
  line=$(grep -n "^message"$'\t' "$log" | tail -n 1 | cut -d: -f1)
  run_last=
  [ -n "$line" ] && run_last=$(log_field "$log" "$line" 4)
}

query() {
  local store
  store=$(store_of "$1")
  [ -f "$store" ] || { echo "${3:-}"; return; }
  # A store killed before its tables were made holds nothing yet.
  sqlite3 -readonly -batch -noheader -separator ' ' "$store" "$2" 2>/dev/null || echo "${3:-}"
}
key_rows() {
  query "$1" "SELECT count(*) FROM keys WHERE root = $hkcu AND upper(path) = upper('$key_path');" 0
}
value_rows() {
  query "$1" "SELECT upper(v.name) || ' ' || v.type || ' ' || hex(v.data) FROM keys k JOIN key_values v
    ON v.key_id = k.id WHERE k.root = $hkcu AND upper(k.path) = upper('$key_path') ORDER BY 1;"
}
installed_values() { printf ' 1 %s\nCONTEXTS 4 20000000' "$default_value_hex"; }

violation() {
  echo "  VIOLATION [$point]: $*"
  violations=$((violations + 1))
}

# The state is fully installed / fully uninstalled.
is_installed() {
  [ "$(key_rows "$1")" = 1 ] && [ "$(value_rows "$1")" = "$(installed_values)" ] &&
    cmp -s "$(folder_of "$1")/ruvo.htm" "$expected_page"
}
is_uninstalled() {
  [ "$(key_rows "$1")" = 0 ] && [ ! -e "$(folder_of "$1")" ]
}

# What must hold after any run, faulted or not.
check_sound() {
  local data=$1 page store
  page="$(folder_of "$data")/ruvo.htm"
  [ -e "$page" ] && ! cmp -s "$page" "$expected_page" && violation "the page differs from the expected page"
  store=$(store_of "$data")
  if [ -f "$store" ]; then
    local check
    # On a copy, so that SQLite may roll back a journal a kill left, as the program will.
    rm -rf "$work/copy" && mkdir "$work/copy"
    cp "$store" "$work/copy/s"
    [ -f "$store-journal" ] && cp "$store-journal" "$work/copy/s-journal"
    check=$(sqlite3 "$work/copy/s" "PRAGMA integrity_check" 2>&1)
    [ "$check" = ok ] || violation "the store does not open sound: $check"
  fi
  if [ "$run_last" = "$installed_text" ] && ! is_installed "$data"; then
    violation "install told success over a state not installed"
  fi
  if [ "$run_last" = "$uninstalled_text" ] && ! is_uninstalled "$data"; then
    violation "uninstall told success over a state not uninstalled"
  fi
  if [ "$run_status" -eq 0 ] && [ -n "$run_last" ] &&
    [ "$run_last" != "$installed_text" ] && [ "$run_last" != "$uninstalled_text" ]; then
    violation "exit status 0 after [$run_last]"
  fi
}

# What must hold after a failed (not killed) run: the key complete or absent.
check_whole() {
  local rows
  rows=$(key_rows "$1")
  if [ "$rows" = 1 ] && [ "$(value_rows "$1")" != "$(installed_values)" ]; then
    violation "a failed run left the key with [$(value_rows "$1" | tr '\n' ';')]"
  fi
}

# The plain run after the fault reaches a clean state and leaves nothing of ours.
check_recovery() {
  local data=$1 action=$2
  # The button offers what the state calls for: the next press ends installed or
  # uninstalled, and says so.
  run "$data"
  if [ "$run_last" = "$installed_text" ]; then
    is_installed "$data" || violation "the next run told installed over another state"
  elif [ "$run_last" = "$uninstalled_text" ]; then
    is_uninstalled "$data" || violation "the next run told uninstalled over another state"
  else
    violation "the next $action did not reach a clean state ([$run_last])"
  fi
  [ -e "$(folder_of "$data")/ruvo.htm.partial" ] && violation "ruvo.htm.partial left behind"
  [ -e "$(store_of "$data")-journal" ] && violation "a store journal left behind"
  check_sound "$data"
}

fresh() {
  local data="$work/d$((++runs))"
  rm -rf "$data"
  mkdir -p "$data"
  if [ "$1" = uninstall ]; then
    run "$data"
    is_installed "$data" || { echo "sweep: the set-up install failed ([$run_last])" >&2; exit 1; }
  fi
  echo "$data"
}

# --- the points: each traced call of a plain run that touches the data folder -----------

runs=0
points=()
for action in install uninstall; do
  data=$(fresh "$action")
  run "$data" -y -e trace="$syscalls" -o "$work/trace.$action"
  # Per call name, the invocation numbers of the calls that name our data folder.
  while read -r name number; do
    points+=("$action $name $number")
  done < <(sed -E 's/^[0-9]+ +//' "$work/trace.$action" | awk -v home="$data/" '
    { name = $0; sub(/\(.*/, "", name); count[name]++
      if (index($0, home) > 0) print name, count[name] }')
done
if [ "$sample" -eq 1 ]; then
  step=$(( (${#points[@]} + 5) / 6 ))
  picked=()
  for ((i = 0; i < ${#points[@]}; i += step)); do picked+=("${points[$i]}"); done
  points=("${picked[@]}")
fi

kills=0
faults=0
skipped=0
for entry in "${points[@]}"; do
  read -r action name number <<<"$entry"
  point="$action $name#$number"
  for how in signal=SIGKILL error=ENOSPC error=EIO error=EACCES; do
    point="$action $name#$number $how"
    # A set-up that did not finish leaves no premise to judge the point by.
    if ! data=$(fresh "$action"); then
      skipped=$((skipped + 1))
      continue
    fi
    run "$data" -o /dev/null -e inject="$name:$how:when=$number"
    if [ "$how" = signal=SIGKILL ]; then
      kills=$((kills + 1))
    else
      faults=$((faults + 1))
      [ "$run_status" -ne 0 ] && check_whole "$data"
    fi
    check_sound "$data"
    check_recovery "$data" "$action"
    # Only ever a run's own folder and its files beside it: never a glob of nothing.
    case $data in "$work"/d*) rm -rf -- "$data" "$data".* ;; esac
  done
done

[ "$skipped" -eq 0 ] || echo "sweep: $skipped runs skipped: their set-up install did not finish"
echo "sweep: points ${#points[@]}, kills $kills, faults $faults, violations $violations"
[ "$violations" -eq 0 ]
