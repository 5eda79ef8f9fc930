#!/usr/bin/env bash
# End to end: the real RuvoLinkLens.exe in a fresh Wine prefix on its own Xvfb
# display, driven with xdotool as a person would (Enter or Space on the focused
# button, Enter on the message box, typed through the X server's input). After each
# case it checks the registry as Wine stores it (user.reg), the files in the prefix's
# drive C: byte for byte, and the message box's text, icon, button and owner; the
# first case also checks the window against the layout table and by its pixels.
#
#   run-wine-tests.sh --exe RuvoLinkLens.exe --probe window_probe.exe \
#       --window-tests win32_window_tests.exe --throw-points throw_point_probe.exe \
#       --set-up-case set_up_case.exe --built-texts print_built_texts.exe \
#       --page tests/logic/data/expected_ruvo.htm --banner src/window/images/banner.jpg \
#       --work DIR [--shots DIR]
#
# Needs 32-bit Wine (natively or through qemu, cmake/i386-route.sh), Xvfb, xdotool and
# ImageMagick. It waits on what it looks for (a window shown, a box shown or gone, the
# program ended), each with a ceiling far above what a slow emulated run takes, so
# that how fast the machine is decides no verdict. Exit status 0 when every check
# passed. The work folder keeps the logs and screenshots; --shots copies the window
# and message box screenshots there as well (docs/windows-*.png).
set -uo pipefail

exe= probe= window_tests= throw_points= set_up_case= built_texts= page= banner= work= shots=
while [ $# -gt 0 ]; do
  case $1 in
    --exe | --probe | --window-tests | --throw-points | --set-up-case | --built-texts | --page | --banner | \
      --work | --shots) name=${1#--} && printf -v "${name//-/_}" %s "$2" ;;
    *) echo "run-wine-tests: unknown argument $1" >&2; exit 3 ;;
  esac
  shift 2
done
for f in "$exe" "$probe" "$window_tests" "$throw_points" "$set_up_case" "$built_texts" "$page" "$banner"; do
  [ -f "$f" ] || { echo "run-wine-tests: missing file '$f' (see the usage at the top)" >&2; exit 3; }
done
[ -n "$work" ] || { echo "run-wine-tests: --work DIR is required" >&2; exit 3; }
for tool in wine wineboot wineserver Xvfb xdotool convert compare; do
  command -v "$tool" >/dev/null || { echo "run-wine-tests: $tool is not installed (scripts/setup)" >&2; exit 3; }
done

rm -rf "$work"
mkdir -p "$work/shots" "$work/log"
work=$(cd "$work" && pwd) log="$work/log"

# shellcheck source=../../cmake/i386-route.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../cmake/i386-route.sh"
route=$(i386_route) || exit 1

export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER WINELOADER

# shellcheck source=../tools/built_texts.sh
. "$(dirname "${BASH_SOURCE[0]}")/../tools/built_texts.sh"
drive_c="$WINEPREFIX/drive_c"
folder="$drive_c/Program Files/ruvo"

passed=0 failed=0
at=  # what the checks of a case run several times are about
check() {  # check DESCRIPTION COMMAND...
  local what=$at$1
  shift
  if "$@" >>"$log/checks.log" 2>&1; then
    passed=$((passed + 1))
    echo "  ok   $what"
  else
    failed=$((failed + 1))
    echo "  FAIL $what"
  fi
}
same() { [ "$1" = "$2" ] || { echo "expected: $2"; echo "actual:   $1"; return 1; }; }
wine_reg() { wine reg "$@" >>"$log/wine.log" 2>&1; }

# shellcheck source=wine-display.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-display.sh"
start_wine_display "$log" run-wine-tests
echo "run-wine-tests: display $DISPLAY, prefix $WINEPREFIX, 32-bit code runs $route"

started=$(date +%s)
wineboot -i >"$log/wineboot.log" 2>&1
# No window manager: Wine draws the title bars itself, so the screenshots show them.
wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f
wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
wineserver -w
echo "run-wine-tests: prefix ready in $(($(date +%s) - started)) s"

# The texts and addresses this build carries, and the page it must write.
wine "$built_texts" >"$log/built_texts.sh" 2>"$log/built_texts.err" </dev/null
load_built_texts "$log/built_texts.sh"
expected_page "$page" "$work/expected-ruvo.htm"
page="$work/expected-ruvo.htm"
key="HKCU\\$key_path"

# As a user would: the program is run from the Downloads folder.
downloads=$(ls -d "$drive_c"/users/*/Downloads 2>/dev/null | head -n 1)
[ -n "$downloads" ] || downloads="$drive_c"
cp "$exe" "$downloads/RuvoLinkLens.exe"

# other_than: a window of another program still running, whose windows the probe
# passes over.
other_than=
probe() {
  wine "$probe" "$@" ${other_than:+--other-than "$other_than"} 2>>"$log/probe.log" | tr -d '\r'
}
twips_to_pixels() { echo $((($1 * $2 + 720) / 1440)); }  # as MulDiv rounds

# Runs COMMAND until it succeeds or SECONDS have passed: the ceiling of one wait for
# something to happen. Each wait is far longer than an emulated run needs.
wait_until() {  # wait_until SECONDS COMMAND...
  local deadline=$(($(date +%s) + $1))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}
shown_window_ceiling=120  # from starting a program to its window (a box: the same)
exit_ceiling=120          # from dismissing the last box to the process ending

# The X window whose frame the probe reported ("frame X Y W H"), of the program
# app_pid when one runs (Wine gives each X window its process's id).
x_window_of() {
  local id
  for id in $(xdotool search ${app_pid:+--pid "$app_pid"} --name '^RUVO LinkLens$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
    [ "${X:-} ${Y:-} ${WIDTH:-} ${HEIGHT:-}" = "${1#frame }" ] && echo "$id" && return 0
  done
  return 1
}

# A key typed on the window with that frame, through the X server's input (XTEST),
# stamped with the time it was typed, as a person's key is.
press() {  # press FRAME KEY
  local id
  id=$(x_window_of "$1") || { echo "no X window for $1" >>"$log/checks.log"; return 1; }
  xdotool windowfocus --sync "$id" key "$2" 2>>"$log/xdotool.log"
}

click_at() { xdotool mousemove "$1" "$2" click 1 2>>"$log/xdotool.log"; }

# The main window's client origin, the DPI and the system colours, as the probe tells.
read_colours() {
  colours=$(probe colours)
  read -r _ ox oy < <(grep '^client-origin ' <<<"$colours")
  read -r dpi btnface activeborder < <(sed -n 's/^\(dpi\|btnface\|activeborder\) //p' <<<"$colours" | xargs)
}

click_button() {  # a mouse click in the middle of ActionButton, where the table puts it
  read_colours
  click_at $((ox + $(twips_to_pixels $((2153 + 1335 / 2)) "$dpi"))) \
    $((oy + $(twips_to_pixels $((2400 + 375 / 2)) "$dpi")))
}

screenshot() {  # screenshot FRAME NAME: the window with that frame, as NAME.png
  read -r _ fx fy fw fh <<<"$1"
  import -window root "$work/shots/full-$2.png" 2>>"$log/import.log" &&
    convert "$work/shots/full-$2.png" -crop "${fw}x${fh}+${fx}+${fy}" +repage "$work/shots/$2.png" &&
    rm -f "$work/shots/full-$2.png"
  [ -z "$shots" ] || cp "$work/shots/$2.png" "$shots/$2.png"
}

main_frame=
window_shown() { main_frame=$(probe colours | grep '^frame ') && [ -n "$main_frame" ]; }
# opens NAME [CAPTION]: starts the program (app_pid) and waits for its window (main_frame);
# with CAPTION, the window must match the layout table with that text on the button.
opens() {
  (cd "$downloads" && exec wine RuvoLinkLens.exe >"$log/app-$1.out" 2>"$log/app-$1.err") &
  app_pid=$!
  check "the window opens" wait_until "$shown_window_ceiling" window_shown
  [ -z "${2:-}" ] || check "the layout matches the table, the button reads $2" probe layout --caption "$2"
}

# The program has ended; its exit status becomes $app_status.
ended() {
  kill -0 "$app_pid" 2>/dev/null && return 1
  wait "$app_pid"
  app_status=$? app_pid=
}

message= message_seen=0
read_message() {
  message=$(probe message --wait "$shown_window_ceiling")
  message_seen=$(date +%s%N)
}
box_gone() { ! kill -0 "$app_pid" 2>/dev/null || [ "$(probe message)" = "no message box" ]; }
# A box ignores input in its first 400 ms: a person reads it first, and so does this.
box_read() {
  local waited=$((($(date +%s%N) - message_seen) / 1000000))
  [ "$waited" -ge 600 ] || sleep "0.$(printf '%03d' $((600 - waited)))"
}
message_field() { sed -n "s/^$1: //p" <<<"$message"; }
message_frame() { sed -n '/^frame /p' <<<"$message"; }
focus_is() { [ "$(probe focus)" = "focus: $1" ]; }

# Information icons are blue, error icons red: what the icon's pixels say.
icon_colour() {
  local shot="$work/shots/icon.png" colour
  read -r ix iy iw ih < <(sed -n 's/^icon-rect //p' <<<"$message")
  # A box just shown may not have drawn its icon yet: look until it has.
  colour_drawn() {
    import -window root "$shot" 2>>"$log/import.log" || return 1
    read -r r g b < <(convert "$shot" -crop "${iw}x${ih}+${ix}+${iy}" -resize '1x1!' \
      -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
    if [ "$b" -gt $((r + 30)) ]; then colour=information; return 0; fi
    if [ "$r" -gt $((b + 30)) ]; then colour=error; return 0; fi
    return 1
  }
  if wait_until 30 colour_drawn; then echo "$colour"; else echo "unclear ($r,$g,$b)"; fi
}

# The probe shows a message's line breaks as \n.
shown() { printf '%s' "$1" | sed ':a;N;$!ba;s/\n/\\n/g'; }

# outcome KEY ICON TEXT [OWNER]: KEY typed on the window (click: the mouse on the
# button; twice: Enter and Enter again 60 ms later, as a quick double press; -: none),
# then the message box (the probe finds only one titled RUVO LinkLens) with TEXT, the
# ICON, one OK button and its OWNER (the main window unless said). In TEXT, {reason}
# stands for the system's own words after "failed: ", which must be there.
outcome() {
  local text=$3 reason
  case $1 in
    click) click_button ;;
    twice) xdotool windowfocus --sync "$(x_window_of "$main_frame")" key --delay 60 Return Return ;;
    -) ;;
    *) press "$main_frame" "$1" ;;
  esac
  read_message
  if [[ $text == *'{reason}'* ]]; then
    reason=$(message_field text | sed -n 's/.*failed: \([^\\]*\).*/\1/p')
    check "the reason is the system's own text" test -n "$reason"
    text=${text//'{reason}'/"$reason"}
  fi
  check "a message box with the text: $text" same "$(message_field text)" "$(shown "$text")"
  check "its $2 icon" same "$(icon_colour)" "$2"
  check "one OK button" same "$(message_field buttons)" "OK"
  check "owned by the ${4:-main window}" same "$(message_field owner)" "${4:-main window}"
}

# closes HOW [EXIT_STATUS]: the box closed by a key (click: the mouse on its button;
# taskkill: a close request, as taskkill without /F or a session ending asks; alt+F4:
# on the main window), then the program must end with EXIT_STATUS (0 unless said).
# Wine lets a program that started while another one's window is in front come
# forward only when it is clicked: keys typed meanwhile go to the window in front.
# A press the box did not take (made too early, or lost) is made again.
closes() {
  local tries
  box_read
  for tries in 1 2 3; do
    case $1 in
      click) read -r bx by bw bh < <(sed -n 's/^button-rect //p' <<<"$message")
        click_at $((bx + bw / 2)) $((by + bh / 2)) ;;
      taskkill) wine taskkill /im RuvoLinkLens.exe >>"$log/wine.log" 2>&1 ;;
      alt+F4) press "$main_frame" alt+F4 ;;
      *) press "$(message_frame)" "$1" ;;
    esac
    wait_until 5 box_gone && break
  done
  app_status=
  wait_until "$exit_ceiling" ended
  check "the program ends, exit status ${2:-0}" same "${app_status:-none}" "${2:-0}"
}

# Waits for every Wine process of the prefix to end, so Wine writes the registry to
# user.reg; what is left running after the ceiling is ended (and the check after it
# fails for what that program did not finish).
wine_settled() {
  timeout "$exit_ceiling" wineserver -w && return 0
  echo "Wine processes left running were ended" >>"$log/checks.log"
  wineserver -k
  wineserver -w
}

# The extension's key as Wine stores it: only a REG_SZ that ends with exactly one
# zero is written as "text", so this also proves the 38-byte default value.
registry_entry() {
  wine_settled
  awk -v header="[${key_path//\\/\\\\\\\\}]" '
    index($0, header) == 1 { inside = 1; next }
    inside && /^$/ { exit }
    inside && !/^#time=/ { print }' "$WINEPREFIX/user.reg"
}
installed_entry="@=\"$page_url\""$'\n''"Contexts"=dword:00000020'

folder_listing() { [ -d "$folder" ] && (cd "$folder" && ls -A) || echo "<no folder>"; }

# leaves KEY [LISTING]: what the run left, the key (none, or installed: the page's URL
# and Contexts 0x20, and then ruvo.htm the page byte for byte) and the folder's files.
leaves() {
  check "the key: $1" same "$(registry_entry)" "$([ "$1" = none ] || echo "$installed_entry")"
  [ $# -lt 2 ] || check "the folder holds: ${2:-nothing}" same "$(folder_listing)" "$2"
  [ "$1" = none ] || check "ruvo.htm is the page, byte for byte" cmp "$folder/ruvo.htm" "$page"
}

# The message of an uninstall that removed the key and then failed at STEP, with LEFT.
part_done() {
  printf '%s\n\n%s failed: {reason}\n\n%s\n%s%s.\n%s' "$uninstall_failed_headline" "$1" \
    "$key_removed_note" "$left_note" "$2" "$next_run_offers_install_note"
}

set_key() {  # set_key DEFAULT CONTEXTS
  wine_reg add "$key" /ve /d "$1" /f
  wine_reg add "$key" /v Contexts /t REG_DWORD /d "$2" /f
}
remove_key() { wine_reg delete "$key" /f; return 0; }
fresh() { rm -rf "$folder"; remove_key; }  # neither key nor folder
install_state() {  # the key with both values, the folder and the page
  set_key "$page_url" 32
  mkdir -p "$folder"
  cp "$page" "$folder/ruvo.htm"
}

pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | tr 'A-F' 'a-f' | cut -c1-6; }

# window_at NAME SHOT: the program opened, its window as the table has it, in a
# screenshot and by its pixels: the rule, the picture area and the banner.
window_at() {
  opens "$1" Install
  screenshot "$main_frame" "$2"
  local shot width line area_left area_bottom error
  read_colours
  # Where the table puts the client's right edge, the rule and the picture area's left
  # and lower edges at this DPI.
  read -r width line area_left area_bottom < <(for twips in 5640 600 8 585; do
    twips_to_pixels "$twips" "$dpi"; done | xargs)
  shot="$work/shots/pixels-$dpi.png"
  import -window root "$shot" 2>>"$log/import.log"
  check "Line1 in COLOR_ACTIVEBORDER across the client width at y $line" same \
    "$(pixel "$shot" "$ox" $((oy + line))) $(pixel "$shot" $((ox + width / 2)) $((oy + line))) $(pixel "$shot" $((ox + width - 1)) $((oy + line)))" \
    "$activeborder $activeborder $activeborder"
  check "the picture area ends above row $area_bottom (COLOR_BTNFACE there)" same \
    "$(pixel "$shot" $((ox + width / 2)) $((oy + area_bottom)))" "$btnface"
  check "the columns left of the picture area are COLOR_BTNFACE" same \
    "$(pixel "$shot" $((ox + area_left - 1)) $((oy + 10)))" "$btnface"
  # The banner at its size on this screen (377 x 41 at 96 DPI, smoothly scaled at
  # others) from the area's top-left corner, cut off by the client area's right edge
  # and the area's lower edge as at 96 DPI.
  local scaled_width=$(((377 * dpi + 48) / 96)) scaled_height=$(((41 * dpi + 48) / 96))
  local shown_width=$((width - area_left < scaled_width ? width - area_left : scaled_width))
  local shown_height=$((area_bottom < scaled_height ? area_bottom : scaled_height))
  convert "$shot" -crop "${shown_width}x${shown_height}+$((ox + area_left))+$oy" +repage \
    "$work/shots/banner-shown-$dpi.png"
  convert "$banner" -filter Triangle -resize "${scaled_width}x${scaled_height}!" \
    -crop "${shown_width}x${shown_height}+0+0" +repage "$work/shots/banner-expected-$dpi.png"
  error=$(compare -metric RMSE "$work/shots/banner-shown-$dpi.png" \
    "$work/shots/banner-expected-$dpi.png" null: 2>&1 | sed -E 's/.*\((.*)\).*/\1/')
  check "the banner at ${scaled_width}x${scaled_height}, shown in ${shown_width}x${shown_height} pixels (RMSE $error)" \
    awk -v e="$error" 'BEGIN { exit !(e < 0.02) }'
}

# The window's fonts and colours, read inside a process of its own (before any
# program window takes the activation).
echo "== the window in-process (fonts, colours)"
check "win32_window_tests at 96 DPI" wine "$window_tests"

# names_read WHAT NAMES: every control but the rule (and a box's icon) has the name a
# screen reader says, among them NAMES (lines of window_probe names).
names_read() {
  local names
  names=$(probe names)
  check "$1 (${2//$'\n'/, })" same "$(grep -c '<none>' <<<"$names") $(grep -cxF "$2" <<<"$names")" \
    "$((1 + $(grep -c '^box: ' <<<"$names"))) $(grep -c . <<<"$2")"
}

echo "== first install"
fresh
window_at first-install windows-window
names_read "assistive technology names the window and every control but the rule" \
  "window: $title"$'\n'"  RuvoPictureArea: $picture_name"$'\n'"  Button: Install"
# Tab goes to the picture and back; Enter on the picture presses nothing (the Tab
# after it is taken only once the Enter has been).
press "$main_frame" Tab
check "Tab moves the focus to the picture area" wait_until 60 focus_is RuvoPictureArea
press "$main_frame" Return
press "$main_frame" Tab
check "Tab moves the focus back to the button" wait_until 60 focus_is Button
check "Enter on the picture area showed no message" same "$(probe message)" "no message box"
outcome Return information "$installed_text"
screenshot "$(message_frame)" windows-installed
names_read "and the box and its button" "box: $title"$'\n'"  Button: OK"
# Keys typed while the action ran reach a Wine program only when it next reads its
# queue, once the box is up: such a key, dated before the box, must not dismiss it.
press "$(message_frame)" shift  # the box has the keyboard
check "an Enter typed before the box is shown" wine "$set_up_case" stale-enter
check "leaves the box up" same "$(probe message | grep '^text: ')" "text: $installed_text"
closes Return
leaves installed ruvo.htm

echo "== reinstall over a stale page, with the key added while the window waits (mouse)"
printf 'stale page that is longer than nothing\r\n' >"$folder/ruvo.htm"
remove_key
opens reinstall
set_key "file://c:/old/page.htm" 1
outcome click information "$installed_text"
closes Return
leaves installed ruvo.htm  # the values replaced, no temporary file

echo "== uninstall, and a second program started while its message is up"
opens uninstall Uninstall
outcome Return information "$uninstalled_text"
screenshot "$(message_frame)" windows-uninstalled
first_pid=$app_pid
# The work is done: the second program may act at once, not "another is running".
other_than=$(probe colours | sed -n 's/^handle //p')
at="second program: "
opens second-program
outcome click information "$installed_text"
closes click
other_than='' app_pid=$first_pid at="first program: "
read_message
closes click
at=
leaves installed ruvo.htm  # the second program's install stands

echo "== uninstall with the key missing but the page present, by a quick double Enter"
install_state
opens key-missing
remove_key  # someone else removes the key while the window waits
outcome twice information "$not_installed_text"
check "the second Enter leaves the outcome up" same "$(probe message | grep '^text: ')" \
  "text: $not_installed_text"
screenshot "$(message_frame)" windows-not-installed
closes Return
leaves none "<no folder>"  # the page and the folder are still removed

echo "== uninstall with a foreign file in the folder (Space on the button)"
install_state
printf 'mine\r\n' >"$folder/notes.txt"
opens foreign-file
outcome space information "$uninstalled_text"
closes Return
leaves none notes.txt  # the foreign file and its folder stay, the page is gone
check "the foreign file is untouched" same "$(cat "$folder/notes.txt")" $'mine\r'

echo "== uninstall while another program holds the page open"
install_state
(exec wine "$set_up_case" hold-open "$page_path" >"$log/hold-open.out" 2>&1) &
holder=$!
check "the page is held open" wait_until 60 grep -q held "$log/hold-open.out"
opens page-held-open
outcome Return error "$(part_done "Deleting $page_path" "$page_path and the folder $folder_path")"
closes Return 1
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
leaves none
check "the page stays, whole" cmp "$folder/ruvo.htm" "$page"

echo "== the lock is the machine's: held in another session, the action waits, then says so"
lock_name='Global\RuvoLinkLens.InstallOrUninstall'
# holds KIND: a mutex (taken) or an event by the lock's name, held by another process
# until let_go, as a program in another user's session would. Wine settles (leaves)
# only once it is gone.
holds() {
  (exec wine "$set_up_case" hold "$1" "$lock_name" >"$log/hold-$1.out" 2>&1) &
  holder=$!
  check "a $1 named $lock_name is held" wait_until 60 grep -q held "$log/hold-$1.out"
}
let_go() { kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null; }
fresh
# While it waits the window answers: a close request ends the wait at once, with
# nothing done or told.
for how in wait taskkill alt+F4; do
  at="$how: "
  holds mutex
  opens "lock-$how"
  if [ "$how" = wait ]; then
    outcome Return error "$another_instance_text"
    closes Return 1
  else
    press "$main_frame" Return
    sleep 1  # the action is waiting for the lock now
    case $how in taskkill) wine taskkill /im RuvoLinkLens.exe >>"$log/wine.log" 2>&1 ;;
      *) press "$main_frame" alt+F4 ;; esac
    app_status=
    check "the program ends within 3 s of the close request, before the wait would" \
      wait_until 3 ended
    check "exit status 1, no message box" same "${app_status:-none} $(probe message)" \
      "1 no message box"
  fi
  let_go
  leaves none "<no folder>"
done
at=
# Something else by the lock's name: the lock cannot be had, and the user is told why.
holds event
opens lock-refused
outcome Return error "$lock_failed_headline"$'\n\n'"Creating the lock $lock_name failed: {reason}"
closes Return 1
let_go
leaves none "<no folder>"

# freeze FOLDER / thaw FOLDER: nothing in FOLDER can be made or removed any more
# (immutable on the host's file system; or, as a user, without write permission).
# Windows cannot tell such a removal from one it accepted and then could not carry out.
freeze() { chattr +i "$1" 2>/dev/null || { [ "$(id -u)" -ne 0 ] && chmod a-w "$1"; }; }
thaw() { chattr -i "$1" 2>/dev/null; chmod u+w "$1"; }

echo "== uninstall of a key that holds someone else's subkey: it is named, and nothing is deleted"
install_state
wine_reg add "$key\\Someone's" /v theirs /d kept /f
opens foreign-subkey
outcome Return error "$uninstall_failed_headline"$'\n\n'"Deleting the registry key HKEY_CURRENT_USER\\$key_path failed: $foreign_subkey_lead""Someone's$foreign_subkey_advice"
closes Return 1
leaves installed ruvo.htm
check "the subkey stays, with its value" wine_reg query "$key\\Someone's" /v theirs
wine_reg delete "$key\\Someone's" /f

echo "== uninstall over a page or folder that cannot go, or a page link to nowhere: all told as left"
for what in page folder link; do
  at="$what: "
  install_state
  frozen= left="$page_path and the folder $folder_path" step="Deleting $page_path"
  case $what in
    page) frozen=$folder ;;
    folder) frozen="$drive_c/Program Files" left="the folder $folder_path"
      step="Removing the folder $folder_path" ;;
    link) rm "$folder/ruvo.htm" && ln -s "$work/nowhere/ruvo.htm" "$folder/ruvo.htm" ;;
  esac
  [ -z "$frozen" ] || freeze "$frozen" || { echo "  (skipped: nothing here can be frozen)"; continue; }
  opens "cannot-go-$what"
  outcome Return error "$(part_done "$step" "$left")"
  closes Return 1
  [ -z "$frozen" ] || thaw "$frozen"
  [ "$what" != link ] || check "the link stays" test -L "$folder/ruvo.htm"
  leaves none "$([ "$what" = folder ] || echo ruvo.htm)"
  rm -rf "$folder"
done
at=

echo "== no folder can be made in Program Files: that is the reason told"
fresh
if freeze "$drive_c/Program Files"; then
  opens no-folder
  outcome Return error "$install_failed_headline"$'\n\n'"Creating the folder $folder_path failed: {reason}"
  closes Return 1
  thaw "$drive_c/Program Files"
  leaves none "<no folder>"
else
  echo "  (skipped: nothing here can be frozen)"
fi

echo "== a page that cannot be written (a folder stands at ruvo.htm), then a close request"
fresh
mkdir -p "$folder/ruvo.htm"
opens unwritable
outcome Return error "$install_failed_headline"$'\n\n'"Writing $page_path failed: {reason}"
screenshot "$(message_frame)" windows-install-failed
closes taskkill 1  # the outcome still decides
leaves none ruvo.htm  # no key created, no temporary file left
check "ruvo.htm is still an empty folder" same "$(ls -A "$folder/ruvo.htm")" ""

echo "== a key the registry refuses (a link to nowhere), over someone's own page"
fresh
mkdir -p "$folder"
printf 'my own page\r\n' >"$folder/ruvo.htm"
check "the key is planted as a link to nowhere" wine "$set_up_case" registry-link "$key_path" \
  '\Registry\Nowhere\Key'
opens key-refused
outcome Return error "$install_failed_headline"$'\n\n'"Creating the registry key HKEY_CURRENT_USER\\$key_path failed: {reason}"
closes Return 1
# The key this run tried to make (the link itself) is taken back, and the page that
# stood there before is put back, in the folder this run did not make.
leaves none ruvo.htm
check "the page that was there is back, whole" same "$(cat "$folder/ruvo.htm")" $'my own page\r'
rm -rf "$folder"

echo "== links are never followed when removing: a page, a folder, a registry key"
outside="$work/outside"
for link in page folder; do
  at="$link link: "
  rm -rf "$outside" "$folder"
  mkdir -p "$outside"
  printf 'not ours\r\n' >"$outside/ruvo.htm"
  set_key "$page_url" 32
  case $link in
    page) mkdir "$folder" && ln -s "$outside/ruvo.htm" "$folder/ruvo.htm" ;;
    folder) ln -s "$outside" "$folder" ;;
  esac
  opens "$link-link"
  press "$main_frame" Return
  read_message
  check "the failure says where the link leads" \
    grep -qF "Z:${outside//\//\\}\\ruvo.htm" <<<"$(message_field text)"
  check "and what was removed" grep -qF "$(shown "$key_removed_note")" <<<"$(message_field text)"
  closes Return 1
  check "the file outside drive C: is untouched" same "$(cat "$outside/ruvo.htm")" $'not ours\r'
  check "the link stays" test -L "${folder%/}$([ "$link" = page ] && echo /ruvo.htm)"
  leaves none
done
rm -rf "$outside" "$folder"
at="registry link: "
target_key='Software\RuvoLinkLens tests\Link target'
wine_reg add "HKLM\\$target_key" /v kept /d kept /f
check "planted" wine "$set_up_case" registry-link "$key_path" "\\Registry\\Machine\\$target_key"
opens registry-link
outcome Return information "$uninstalled_text"
closes Return
leaves none  # the link is gone
check "its target stays, with its value" wine_reg query "HKLM\\$target_key" /v kept
wine_reg delete 'HKLM\Software\RuvoLinkLens tests' /f

echo "== what a kill leaves (after the page, after the key, after the first value): the next run cleans up"
# A kill cannot leave a half-written page (it is written under its partial name and
# renamed); it can stop between the steps, and each step's state is set up here.
for point in after-the-page after-the-key after-the-first-value; do
  at="$point: "
  fresh
  mkdir -p "$folder"
  cp "$page" "$folder/ruvo.htm"
  printf 'half a page' >"$folder/ruvo.htm.partial"
  # Without the key the run offers Install and finishes the install; with it, Uninstall.
  expected=(uninstalled_text none "<no folder>")
  case $point in
    after-the-page) expected=(installed_text installed ruvo.htm) ;;
    after-the-key) wine_reg add "$key" /f ;;
    after-the-first-value) wine_reg add "$key" /ve /d "$page_url" /f ;;
  esac
  opens "$point"
  outcome Return information "${!expected[0]}"
  closes Return
  leaves "${expected[@]:1}"
done
at=

echo "== closing the window changes nothing"
fresh
opens close
closes alt+F4
leaves none "<no folder>"

echo "== the C++ library's throw points: the user is told why, the program ends with its status"
# Out of memory (3): a string asked to grow past its largest size, and an allocation of
# a size no 32-bit process can have (so the allocator fails inside the program, not the
# system). A fault of the program itself (4): at() past the end, an empty function.
for row in "string 3 out_of_memory_text" "new 3 out_of_memory_text" \
  "at 4 program_fault_text" "function 4 program_fault_text"; do
  read -r how status text <<<"$row"
  at="$how: "
  (exec wine "$throw_points" "$how" >"$log/throw-point-$how.out" 2>&1) &
  app_pid=$!
  outcome - error "${!text}" none
  closes Return "$status"
done
at=

for dpi in 144 192; do
  echo "== at $dpi DPI ($((dpi * 100 / 96)) %)"
  wine_reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f
  wineserver -k
  wineserver -w
  check "win32_window_tests at $dpi DPI" wine "$window_tests"
  window_at "dpi$dpi" "windows-window-${dpi}dpi"
  closes alt+F4
done

echo "run-wine-tests: $passed passed, $failed failed in $(($(date +%s) - started)) s (logs: $log)"
[ "$failed" -eq 0 ]
