#!/usr/bin/env bash
# End-to-end tests of the stand-alone ruvo-linklens: the real program on a private
# Xvfb, driven with xdotool as a person would (Enter or Space on the focused button,
# Enter on the message box), each case with a fresh XDG data folder. The registry is
# checked through its SQLite file with the sqlite3 tool, the drive through the files.
#
#   run-e2e.sh PROGRAM SEND_WM_DELETE EXPECTED_PAGE PRINT_BUILT_TEXTS [CASE...]
#
# PROGRAM is ruvo-linklens, SEND_WM_DELETE the helper that clicks a close box,
# EXPECTED_PAGE the handler page's exact bytes with the default service addresses,
# PRINT_BUILT_TEXTS the build's texts and addresses. With CASE names, only those run.
# Needs: Xvfb, xdotool, x11-utils (xprop, xwininfo), sqlite3, imagemagick.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
# shellcheck source=../../tools/built_texts.sh
source "$here/../../tools/built_texts.sh"
take_paths "PROGRAM SEND_WM_DELETE EXPECTED_PAGE PRINT_BUILT_TEXTS [CASE...]" \
  program send_wm_delete page_template print_built_texts -- "$@"
shift 4

for tool in Xvfb xdotool xprop xwininfo sqlite3 import convert; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

work=$(mktemp -d -t ruvo-e2e-XXXXXX)
cleanup() {
  stop_programs
  stop_xvfb
  if [ "${failed_cases:-1}" -eq 0 ]; then rm -rf "$work"; else echo "e2e: kept $work for a look"; fi
}
trap cleanup EXIT
start_xvfb "$work" || exit 1

# --- what the program must produce ----------------------------------------------------

load_expectations "$print_built_texts" "$page_template" "$work" || exit 1

# --- checks ---------------------------------------------------------------------------

failed_cases=0
case_failed=0

fail() {
  echo "    FAIL: $*"
  case_failed=1
}

expect_eq() {
  local what=$1 actual=$2 expected=$3
  [ "$actual" == "$expected" ] || fail "$what: expected [$expected], got [$actual]"
}

# Paths inside one case's data folder.
store_of() { echo "$1/ruvo-linklens/registry.sqlite3"; }
ruvo_folder_of() { echo "$1/ruvo-linklens/drive_c/Program Files/ruvo"; }

registry_query() {
  local store=$1 sql=$2
  [ -f "$store" ] || return 0  # no store yet: an empty registry
  sqlite3 -readonly -batch -noheader -separator ' ' "$store" "$sql"
}

key_count() {
  local n
  n=$(registry_query "$(store_of "$1")" \
    "SELECT count(*) FROM keys WHERE root = $hkcu AND upper(path) = upper('$key_path');")
  echo "${n:-0}"
}

# "<type> <length> <hex bytes>" of one value of the extension's key.
key_value() {
  registry_query "$(store_of "$1")" \
    "SELECT v.type, length(v.data), hex(v.data) FROM keys k JOIN key_values v ON v.key_id = k.id
     WHERE k.root = $hkcu AND upper(k.path) = upper('$key_path') AND upper(v.name) = upper('$2');"
}

# The names in a folder, one line, sorted.
listing() { (cd "$1" 2>/dev/null && find . -mindepth 1 -printf '%P\n' | sort | tr '\n' ' '); }

expect_installed() {
  local data=$1 folder
  folder=$(ruvo_folder_of "$data")
  expect_eq "extension keys" "$(key_count "$data")" 1
  expect_eq "default value (type length bytes)" "$(key_value "$data" '')" "1 $((${#page_url} + 1)) $default_value_hex"
  expect_eq "Contexts value (type length bytes)" "$(key_value "$data" Contexts)" "4 4 20000000"
  cmp -s "$folder/ruvo.htm" "$expected_page" || fail "ruvo.htm differs from $expected_page"
  expect_eq "install folder holds" "$(listing "$folder")" "ruvo.htm "
}

expect_no_key() { expect_eq "extension keys" "$(key_count "$1")" 0; }

# --- driving the program --------------------------------------------------------------

declare -A app_window app_messages

# open_installer NAME DATA CAPTION: starts the program and waits for its window,
# which must carry the title and show CAPTION on the button in "MS Sans Serif".
open_installer() {
  local name=$1 data=$2 caption=$3
  launch "$name" "$data"
  app_messages[$name]=0
  if ! wait_for_log_lines "${app_log[$name]}" window 1; then
    fail "$name: the window was never shown ($(cat "${app_output[$name]}"))"
    return 1
  fi
  expect_eq "$name: window title" "$(log_field "${app_log[$name]}" 1 2)" "$title"
  expect_eq "$name: button caption" "$(log_field "${app_log[$name]}" 1 3)" "$caption"
  expect_eq "$name: button font" "$(log_field "${app_log[$name]}" 1 4)" "MS Sans Serif"
  if ! app_window[$name]=$(find_window "${app_pid[$name]}" ruvo-linklens); then
    fail "$name: no visible window of class ruvo-linklens"
    return 1
  fi
}

# expect_first_error NAME PREFIX: the program's first message box is an error whose
# text is PREFIX and then the system's words, which vary; Enter dismisses it.
expect_first_error() {
  local name=$1 prefix=$2 text
  if ! wait_for_log_lines "${app_log[$name]}" message 1; then
    fail "$name: no message box"
    return 1
  fi
  text=$(last_message_text "$name")
  [ "${text#"$prefix"}" != "$text" ] && [ -n "${text#"$prefix"}" ] ||
    fail "message text: expected [$prefix<reason>], got [$text]"
  expect_eq "message icon" "$(log_field "${app_log[$name]}" 2 2)" error
  app_messages[$name]=1
  dismiss_message "$name"
}

# expect_message NAME ICON TEXT: a message box must be up, modal, with the
# application title, ICON and TEXT, while the program waits; Enter dismisses it.
expect_message() {
  local name=$1 icon=$2 text=$3
  local log=${app_log[$name]} number=$((${app_messages[$name]:-0} + 1))
  app_messages[$name]=$number
  if ! wait_for_log_lines "$log" message "$number"; then
    fail "$name: no message box [$text]"
    return 1
  fi
  local line
  line=$(grep -n "^message"$'\t' "$log" | sed -n "${number}p" | cut -d: -f1)
  expect_eq "$name: message icon" "$(log_field "$log" "$line" 2)" "$icon"
  expect_eq "$name: message title" "$(log_field "$log" "$line" 3)" "$title"
  expect_eq "$name: message text" "$(log_field "$log" "$line" 4)" "$text"
  dismiss_message "$name"
}

# The text of the NAME program's last message box (for texts with a system reason).
last_message_text() {
  local log=${app_log[$1]} line
  line=$(grep -n "^message"$'\t' "$log" | tail -n 1 | cut -d: -f1)
  log_field "$log" "$line" 4
}

dismiss_message() {
  local name=$1 box
  if ! box=$(find_window "${app_pid[$name]}" ruvo-linklens-message); then
    fail "$name: the message box is not on the screen"
    return 1
  fi
  expect_eq "$name: message box title" "$(xdotool getwindowname "$box")" "$title"
  kill -0 "${app_pid[$name]}" 2>/dev/null || fail "$name: the program ended before the box was dismissed"
  press "$box" Return
}

expect_exit() {
  local name=$1 expected=$2
  if ! wait_for_exit "${app_pid[$name]}"; then
    fail "$name: the program did not end"
  else
    expect_eq "$name: exit status" "$exit_status" "$expected"
  fi
  unset "app_pid[$name]"
}

# The program runs nothing for a while: still there, and no message box.
expect_idle() {
  local name=$1
  sleep 1.5
  kill -0 "${app_pid[$name]}" 2>/dev/null || fail "$name: the program ended"
  expect_eq "$name: message boxes" "$(grep -c "^message" "${app_log[$name]}")" "${app_messages[$name]}"
}

# Installs through the program itself, as the starting point of a case.
install_first() {
  local data=$1
  open_installer setup "$data" "$install_caption" || return 1
  press "${app_window[setup]}" Return
  expect_message setup information "$installed_text"
  expect_exit setup 0
}

# --- the cases ------------------------------------------------------------------------

case_install() {
  local data=$1
  open_installer app "$data" "$install_caption" || return
  press "${app_window[app]}" Return
  expect_message app information "$installed_text"
  expect_exit app 0
  expect_installed "$data"
}

# Install over a page with other content and no key: the page is replaced whole.
case_reinstall_over_old_page() {
  local folder
  folder=$(ruvo_folder_of "$1")
  mkdir -p "$folder"
  printf 'an older page\r\n' >"$folder/ruvo.htm"
  case_install "$1"
}

# The key appears while the window waits: "Install" installs over it.
case_reinstall_over_existing_key() {
  local data=$1 folder
  folder=$(ruvo_folder_of "$data")
  open_installer first "$data" "$install_caption" || return
  open_installer second "$data" "$install_caption" || return
  press "${app_window[second]}" Return
  expect_message second information "$installed_text"
  expect_exit second 0
  printf 'changed since\r\n' >"$folder/ruvo.htm"
  press "${app_window[first]}" Return
  expect_message first information "$installed_text"
  expect_exit first 0
  expect_installed "$data"
}

# With the key present the button reads "Uninstall"; Space presses it.
case_uninstall() {
  local data=$1
  install_first "$data" || return
  open_installer app "$data" "$uninstall_caption" || return
  press "${app_window[app]}" space
  expect_message app information "$uninstalled_text"
  expect_exit app 0
  expect_no_key "$data"
  [ -e "$(ruvo_folder_of "$data")" ] && fail "the install folder is still there"
  [ -d "$data/ruvo-linklens/drive_c/Program Files" ] || fail "c:\\Program Files is gone"
}

# The key goes away while the window waits, the page is still there: the program
# says so, and still deletes the page and its folder.
case_uninstall_key_missing_page_present() {
  local data=$1 folder
  folder=$(ruvo_folder_of "$data")
  install_first "$data" || return
  open_installer first "$data" "$uninstall_caption" || return
  open_installer second "$data" "$uninstall_caption" || return
  press "${app_window[second]}" Return
  expect_message second information "$uninstalled_text"
  expect_exit second 0
  mkdir -p "$folder"
  cp "$expected_page" "$folder/ruvo.htm"
  press "${app_window[first]}" Return
  expect_message first information "$not_installed_text"
  expect_exit first 0
  expect_no_key "$data"
  [ -e "$folder" ] && fail "the install folder is still there: $(listing "$folder")"
}

# Another file in the folder: the page goes, the folder and the file stay, silently.
case_foreign_file_in_folder() {
  local data=$1 folder
  folder=$(ruvo_folder_of "$data")
  install_first "$data" || return
  printf 'mine\n' >"$folder/notes.txt"
  open_installer app "$data" "$uninstall_caption" || return
  press "${app_window[app]}" Return
  expect_message app information "$uninstalled_text"
  expect_exit app 0
  expect_no_key "$data"
  expect_eq "install folder holds" "$(listing "$folder")" "notes.txt "
  expect_eq "notes.txt" "$(cat "$folder/notes.txt" 2>/dev/null)" "mine"
  expect_eq "message boxes" "$(grep -c "^message" "${app_log[app]}")" 1
}

# A folder stands where the page goes: no key, an error that names the page and the
# system's reason, and the folder stays as it was.
case_page_write_fails() {
  local data=$1 folder
  folder=$(ruvo_folder_of "$data")
  mkdir -p "$folder/ruvo.htm/inside"
  open_installer app "$data" "$install_caption" || return
  press "${app_window[app]}" Return
  local prefix="$install_failed_headline"$'\n\n'"Writing $page_path failed: "
  expect_first_error app "$prefix"
  expect_exit app 1
  expect_no_key "$data"
  expect_eq "install folder holds" "$(listing "$folder")" "ruvo.htm ruvo.htm/inside "
}

# Tab moves the focus to the picture area (Enter there does nothing) and back to the
# button; Escape does nothing.
case_keyboard_focus() {
  local data=$1
  open_installer app "$data" "$install_caption" || return
  press "${app_window[app]}" Tab Return Escape
  expect_idle app
  press "${app_window[app]}" Tab Return
  expect_message app information "$installed_text"
  expect_exit app 0
  expect_installed "$data"
}

# The window at 96 dots per inch: size, fixed border, title, icon, what it shows; the
# close box ends the program with nothing changed.
case_window_and_close_box() {
  local data=$1 window
  open_installer app "$data" "$install_caption" || return
  window=${app_window[app]}
  local geometry
  geometry=$(xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
  expect_eq "client area" "$geometry" "376x203"
  local hints
  hints=$(xprop -id "$window" WM_NORMAL_HINTS)
  grep -q "minimum size: 376 by 203" <<<"$hints" && grep -q "maximum size: 376 by 203" <<<"$hints" ||
    fail "the window can be resized: $hints"
  expect_eq "title" "$(xdotool getwindowname "$window")" "$title"
  expect_eq "Motif hints (move and close only)" "$(xprop -id "$window" _MOTIF_WM_HINTS | cut -d= -f2)" \
    " 0x3, 0x24, 0x1a, 0x0, 0x0"
  local icon
  icon=$(xprop -id "$window" _NET_WM_ICON)
  grep -Eq "Icon \(48 x 48\)|= 48, 48," <<<"${icon:0:300}" || fail "no 48-pixel window icon"
  check_appearance "$window"

  "$send_wm_delete" "$window" || fail "could not send WM_DELETE_WINDOW"
  expect_exit app 0
  expect_no_key "$data"
  [ -e "$(ruvo_folder_of "$data")" ] && fail "the close box installed something"
  expect_eq "message boxes" "$(grep -c "^message" "${app_log[app]}")" 0
}

# A few pixels of the window: the colours of the layout and the banner in its place.
check_appearance() {
  local window=$1 shot="$work/window.png" tries=0
  pixel() { convert "$shot" -format "%[hex:p{$1,$2}]" info: 2>/dev/null | cut -c1-6; }
  # The window is mapped before it has drawn: wait for the rule to appear.
  while :; do
    import -window "$window" "$shot" || { fail "no screenshot"; return; }
    [ "$(pixel 200 40)" == B4B4B4 ] || [ $tries -ge 30 ] && break
    sleep 0.1
    tries=$((tries + 1))
  done
  expect_eq "window background left of the picture (0,20)" "$(pixel 0 20)" F0F0F0
  expect_eq "picture area ground (1,0)" "$(pixel 1 0)" FFFFFF
  expect_eq "below the picture area (200,39)" "$(pixel 200 39)" F0F0F0
  expect_eq "Line1 (200,40)" "$(pixel 200 40)" B4B4B4
  expect_eq "Line1's right end (375,40)" "$(pixel 375 40)" B4B4B4
  expect_eq "under Line1 (200,41)" "$(pixel 200 41)" F0F0F0
  # The wordmark sits in the banner's columns 7 to 72, rows 8 to 29, one pixel in.
  local ink
  ink=$(convert "$shot" -crop 66x22+8+8 -colorspace Gray -format '%[fx:mean<0.9 ? 1 : 0]' info:)
  expect_eq "the banner's wordmark is drawn" "$ink" 1
}

# Another program holds the store's write lock while Uninstall is pressed, and the
# user presses again and again: one action, one message (the registry cannot tell),
# nothing changed, status 1.
case_busy_store_one_press() {
  local data=$1 store folder locker
  store=$(store_of "$data")
  folder=$(ruvo_folder_of "$data")
  install_first "$data" || return
  open_installer app "$data" "$uninstall_caption" || return
  (echo "BEGIN EXCLUSIVE;"; sleep 9; echo "COMMIT;") | sqlite3 "$store" &
  locker=$!
  sleep 0.5
  press "${app_window[app]}" Return Return Return Return Return
  expect_first_error app "$cannot_tell_headline"
  expect_exit app 1
  wait "$locker"
  expect_eq "message boxes" "$(grep -c "^message" "${app_log[app]}")" 1
  expect_installed "$data"
}

# Someone's own page stands where the page goes, and the key cannot be created (another
# program holds the store's write lock): the failed install puts that page back.
case_failed_install_puts_back_page() {
  local data=$1 store folder locker
  store=$(store_of "$data")
  folder=$(ruvo_folder_of "$data")
  install_first "$data" || return
  sqlite3 "$store" "DELETE FROM key_values; DELETE FROM keys WHERE upper(path) = upper('$key_path');"
  printf 'my own page\r\n' >"$folder/ruvo.htm"
  (echo "BEGIN IMMEDIATE;"; sleep 12; echo "COMMIT;") | sqlite3 "$store" &
  locker=$!
  open_installer app "$data" "$install_caption" || return
  press "${app_window[app]}" Return
  expect_first_error app "$install_failed_headline"$'\n\n'"Creating the registry key HKEY_CURRENT_USER\\$key_path failed: "
  expect_exit app 1
  wait "$locker"
  expect_no_key "$data"
  expect_eq "the page that was there" "$(cat "$folder/ruvo.htm")" $'my own page\r'
  expect_eq "install folder holds" "$(listing "$folder")" "ruvo.htm "
}

# The key holds a subkey the program did not write: uninstall names it, deletes
# nothing, ends with 1.
case_foreign_subkey() {
  local data=$1
  install_first "$data" || return
  sqlite3 "$(store_of "$data")" \
    "INSERT INTO keys (root, path, folded_path) VALUES ($hkcu, '$key_path\\Theirs', upper('$key_path\\Theirs'));"
  open_installer app "$data" "$uninstall_caption" || return
  press "${app_window[app]}" Return
  expect_message app error "$uninstall_failed_headline"$'\n\n'"Deleting the registry key HKEY_CURRENT_USER\\$key_path failed: ${foreign_subkey_lead}Theirs$foreign_subkey_advice"
  expect_exit app 1
  expect_installed "$data"
}

# The lock file cannot be opened (a folder stands in its place): the program says
# why, not that another one is running, and changes nothing.
case_lock_refused() {
  local data=$1 lock="$1/ruvo-linklens/action.lock"
  mkdir -p "$lock"
  open_installer app "$data" "$install_caption" || return
  press "${app_window[app]}" Return
  expect_first_error app "$lock_failed_headline"$'\n\n'"Opening the lock file $lock failed: "
  expect_exit app 1
  expect_no_key "$data"
}

# Another program holds the lock. While the action waits the window answers, and its
# close box ends the wait at once: nothing done or told, status 1.
case_close_while_waiting() {
  local data=$1 lock="$1/ruvo-linklens/action.lock" holder tries=0
  mkdir -p "$(dirname "$lock")"
  flock "$lock" sleep 30 &
  holder=$!
  open_installer app "$data" "$install_caption" || return
  press "${app_window[app]}" Return
  sleep 1  # the action is waiting for the lock now
  "$send_wm_delete" "${app_window[app]}" || fail "could not send WM_DELETE_WINDOW"
  while kill -0 "${app_pid[app]}" 2>/dev/null && [ $tries -lt 30 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  [ $tries -lt 30 ] || fail "still running 3 s after the close request"
  expect_exit app 1
  expect_eq "message boxes" "$(grep -c "^message" "${app_log[app]}")" 0
  kill "$holder"
  wait "$holder" 2>/dev/null
  expect_no_key "$data"
}

# A damaged store: the program says so naming the file, changes nothing, ends with 1.
case_damaged_store() {
  local data=$1 store
  store=$(store_of "$data")
  mkdir -p "$(dirname "$store")"
  yes 'this is not a database' | head -c 8192 >"$store"
  cp "$store" "$work/store-before"
  launch app "$data"
  app_messages[app]=0
  if wait_for_log_lines "${app_log[app]}" message 1; then
    local text
    text=$(last_message_text app)
    grep -qF "$store" <<<"$text" || fail "the message does not name $store: [$text]"
    grep -qF "Nothing was changed" <<<"$text" || fail "the message does not say nothing changed: [$text]"
    expect_eq "message icon" "$(log_field "${app_log[app]}" 1 2)" error
    expect_eq "window shown" "$(grep -c "^window" "${app_log[app]}")" 0
    app_messages[app]=1
    dismiss_message app
  else
    fail "no message box"
  fi
  expect_exit app 1
  cmp -s "$store" "$work/store-before" || fail "the store's bytes changed"
  expect_eq "data folder holds" "$(listing "$data/ruvo-linklens")" "registry.sqlite3 "
}

# No display: a clear word on stderr, status 2.
case_no_display() {
  local data=$1 output="$1.output" status=0
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_DATA_HOME="$data" "$program" >"$output" 2>&1 || status=$?
  expect_eq "exit status" "$status" 2
  grep -q "xvfb-run" "$output" || fail "no hint how to get a display: $(cat "$output")"
  [ -e "$data" ] && fail "it touched the data folder"
}

all_cases=(
  install reinstall_over_old_page reinstall_over_existing_key uninstall
  uninstall_key_missing_page_present foreign_file_in_folder page_write_fails
  keyboard_focus window_and_close_box busy_store_one_press failed_install_puts_back_page
  foreign_subkey lock_refused
  close_while_waiting
  damaged_store no_display
)
chosen=("$@")
[ ${#chosen[@]} -gt 0 ] || chosen=("${all_cases[@]}")

echo "e2e: $program on DISPLAY=$DISPLAY"
for name in "${chosen[@]}"; do
  if ! declare -F "case_$name" >/dev/null; then
    echo "e2e: no case $name (cases: ${all_cases[*]})" >&2
    failed_cases=$((failed_cases + 1))
    continue
  fi
  case_failed=0
  app_window=()
  app_messages=()
  mkdir -p "$work/$name"
  "case_$name" "$work/$name/data"
  stop_programs
  if [ $case_failed -eq 0 ]; then
    echo "  ok    $name"
  else
    echo "  FAIL  $name"
    failed_cases=$((failed_cases + 1))
  fi
done
echo "e2e: ${#chosen[@]} cases, $failed_cases failed"
[ $failed_cases -eq 0 ]
