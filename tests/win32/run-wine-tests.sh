#!/usr/bin/env bash
# End to end: the real RuvoLinkLens.exe in a fresh Wine prefix on its own Xvfb
# display, driven with xdotool as a person would (Enter or Space on the focused
# button, Enter on the message box, typed through the X server's input). After each
# case it checks the registry as Wine stores it (user.reg), the files in the prefix's
# drive C: byte for byte, and the message box's title, text, icon and button; the
# first case also checks the window against the layout table and by its pixels.
#
#   run-wine-tests.sh --exe RuvoLinkLens.exe --probe window_probe.exe \
#       --window-tests win32_window_tests.exe --out-of-memory out_of_memory_probe.exe \
#       --plant plant.exe --facts print_facts.exe \
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

exe= probe= window_tests= out_of_memory= plant= facts= page= banner= work= shots=
while [ $# -gt 0 ]; do
  case $1 in
    --exe) exe=$2 ;;
    --probe) probe=$2 ;;
    --window-tests) window_tests=$2 ;;
    --out-of-memory) out_of_memory=$2 ;;
    --plant) plant=$2 ;;
    --facts) facts=$2 ;;
    --page) page=$2 ;;
    --banner) banner=$2 ;;
    --work) work=$2 ;;
    --shots) shots=$2 ;;
    *) echo "run-wine-tests: unknown argument $1" >&2; exit 3 ;;
  esac
  shift 2
done
for f in "$exe" "$probe" "$window_tests" "$out_of_memory" "$plant" "$facts" "$page" "$banner"; do
  [ -f "$f" ] || { echo "run-wine-tests: missing file '$f' (see the usage at the top)" >&2; exit 3; }
done
[ -n "$work" ] || { echo "run-wine-tests: --work DIR is required" >&2; exit 3; }
for tool in wine wineboot wineserver Xvfb xdotool convert compare; do
  command -v "$tool" >/dev/null || { echo "run-wine-tests: $tool is not installed (scripts/setup)" >&2; exit 3; }
done

rm -rf "$work"
mkdir -p "$work/shots"
work=$(cd "$work" && pwd)
log="$work/log"
mkdir -p "$log"

# shellcheck source=../../cmake/i386-route.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../cmake/i386-route.sh"
route=$(i386_route) || exit 1

export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER WINELOADER

# shellcheck source=../lib/facts.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib/facts.sh"
drive_c="$WINEPREFIX/drive_c"
folder="$drive_c/Program Files/ruvo"

passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
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

# shellcheck source=wine-display.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-display.sh"
start_wine_display "$log" run-wine-tests
echo "run-wine-tests: display $DISPLAY, prefix $WINEPREFIX, 32-bit code runs $route"

started=$(date +%s)
wineboot -i >"$log/wineboot.log" 2>&1
# No window manager: Wine draws the title bars itself, so the screenshots show them.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >>"$log/wine.log" 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log/wine.log" 2>&1
wineserver -w
echo "run-wine-tests: prefix ready in $(($(date +%s) - started)) s"

# The texts and addresses this build carries, and the page it must write.
wine "$facts" >"$log/facts.sh" 2>"$log/facts.err" </dev/null
load_facts "$log/facts.sh"
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
  local frame=$1 id
  read -r _ fx fy fw fh <<<"$frame"
  for id in $(xdotool search ${app_pid:+--pid "$app_pid"} --name '^RUVO LinkLens$' 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
    if [ "${X:-}" = "$fx" ] && [ "${Y:-}" = "$fy" ] && [ "${WIDTH:-}" = "$fw" ] &&
       [ "${HEIGHT:-}" = "$fh" ]; then
      echo "$id"
      return 0
    fi
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

# A mouse click in the middle of the message box's button. Wine lets a program that
# started while another one's window is in front come forward only when it is
# clicked: keys typed meanwhile go to the window in front.
click_message_button() {
  read -r bx by bw bh < <(sed -n 's/^button-rect //p' <<<"$message")
  xdotool mousemove $((bx + bw / 2)) $((by + bh / 2)) click 1 2>>"$log/xdotool.log"
}

click_button() {  # a mouse click in the middle of ActionButton, where the table puts it
  local colours ox oy dpi
  colours=$(probe colours)
  read -r _ ox oy < <(grep '^client-origin ' <<<"$colours")
  dpi=$(sed -n 's/^dpi //p' <<<"$colours")
  xdotool mousemove $((ox + $(twips_to_pixels $((2153 + 1335 / 2)) "$dpi"))) \
    $((oy + $(twips_to_pixels $((2400 + 375 / 2)) "$dpi"))) click 1 2>>"$log/xdotool.log"
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
launch() {  # launch NAME: starts the program; sets app_pid and main_frame
  (cd "$downloads" && exec wine RuvoLinkLens.exe >"$log/app-$1.out" 2>"$log/app-$1.err") &
  app_pid=$!
  wait_until "$shown_window_ceiling" window_shown
}

# Waits for the program to end; its exit status becomes $app_status.
app_status=
ended() {
  kill -0 "$app_pid" 2>/dev/null && return 1
  wait "$app_pid"
  app_status=$?
  app_pid=
}
wait_for_exit() { app_status=; wait_until "$exit_ceiling" ended; }

message=
read_message() { message=$(probe message --wait "$shown_window_ceiling"); }
message_field() { sed -n "s/^$1: //p" <<<"$message"; }
message_frame() { sed -n '/^frame /p' <<<"$message"; }
no_box() { [ "$(probe message)" = "no message box" ]; }
focus_is() { [ "$(probe focus)" = "focus: $1" ]; }

# Information icons are blue, error icons red: what the icon's pixels say.
icon_colour() {
  local rect shot colour
  rect=$(sed -n 's/^icon-rect //p' <<<"$message")
  read -r ix iy iw ih <<<"$rect"
  shot="$work/shots/icon.png"
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

check_message() {  # check_message ICON TEXT
  read_message
  check "a message box titled RUVO LinkLens" same "$(message_field title)" "RUVO LinkLens"
  check "its text: $2" same "$(message_field text)" "$2"
  check "its $1 icon" same "$(icon_colour)" "$1"
  check "one OK button" same "$(message_field buttons)" "OK"
  check "owned by the main window" same "$(message_field owner)" "main window"
}

dismiss_message() {  # dismiss_message [EXIT_STATUS]: 0 after a success, 1 after a failure
  local expected=${1:-0}
  press "$(message_frame)" Return
  check "the program ends after the message" wait_for_exit
  check "exit status $expected" same "${app_status:-none}" "$expected"
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

set_key() {  # set_key DEFAULT CONTEXTS
  wine reg add "$key" /ve /d "$1" /f >>"$log/wine.log" 2>&1
  wine reg add "$key" /v Contexts /t REG_DWORD /d "$2" /f >>"$log/wine.log" 2>&1
}
remove_key() { wine reg delete "$key" /f >>"$log/wine.log" 2>&1; return 0; }
install_state() {  # the key with both values, the folder and the page
  set_key "$page_url" 32
  mkdir -p "$folder"
  cp "$page" "$folder/ruvo.htm"
}

# The probe shows a message's line breaks as \n.
shown() { printf '%s' "$1" | sed ':a;N;$!ba;s/\n/\\n/g'; }
# What a message says after "failed: ", up to its next line: the system's reason.
reason_in_message() { message_field text | sed -n 's/.*failed: \([^\\]*\).*/\1/p'; }

pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | tr 'A-F' 'a-f' | cut -c1-6; }

check_pixels() {
  local colours shot ox oy dpi
  colours=$(probe colours)
  read -r _ ox oy < <(grep '^client-origin ' <<<"$colours")
  dpi=$(sed -n 's/^dpi //p' <<<"$colours")
  local btnface activeborder
  btnface=$(sed -n 's/^btnface //p' <<<"$colours")
  activeborder=$(sed -n 's/^activeborder //p' <<<"$colours")
  # Where the table puts the rule and the picture area at this DPI.
  local width line area_left area_bottom
  width=$(twips_to_pixels 5640 "$dpi")
  line=$(twips_to_pixels 600 "$dpi")
  area_left=$(twips_to_pixels 8 "$dpi")
  area_bottom=$(twips_to_pixels 585 "$dpi")
  shot="$work/shots/pixels-$dpi.png"
  import -window root "$shot" 2>>"$log/import.log"
  check "Line1 in COLOR_ACTIVEBORDER across the client width at y $line" same \
    "$(pixel "$shot" "$ox" $((oy + line))) $(pixel "$shot" $((ox + width / 2)) $((oy + line))) $(pixel "$shot" $((ox + width - 1)) $((oy + line)))" \
    "$activeborder $activeborder $activeborder"
  check "the picture area ends above row $area_bottom (COLOR_BTNFACE there)" same \
    "$(pixel "$shot" $((ox + width / 2)) $((oy + area_bottom)))" "$btnface"
  check "the columns left of the picture area are COLOR_BTNFACE" same \
    "$(pixel "$shot" $((ox + area_left - 1)) $((oy + 10)))" "$btnface"
  # The banner at its natural size from the area's top-left corner, cut off by the
  # client area's right edge and the area's lower edge, never scaled.
  local shown_width=$((width - area_left)) shown_height=$area_bottom
  [ "$shown_width" -le 377 ] || shown_width=377
  [ "$shown_height" -le 41 ] || shown_height=41
  convert "$shot" -crop "${shown_width}x${shown_height}+$((ox + area_left))+$oy" +repage "$work/shots/banner-shown.png"
  convert "$banner" -crop "${shown_width}x${shown_height}+0+0" +repage "$work/shots/banner-expected.png"
  local error
  error=$(compare -metric RMSE "$work/shots/banner-shown.png" "$work/shots/banner-expected.png" null: 2>&1 |
    sed -E 's/.*\((.*)\).*/\1/')
  check "the banner shown unscaled in ${shown_width}x${shown_height} pixels (RMSE $error)" \
    awk -v e="$error" 'BEGIN { exit !(e < 0.02) }'
}

# The window's fonts and colours, read inside a process of its own (before any
# program window takes the activation).
echo "== the window in-process (fonts, colours)"
check "win32_window_tests at 96 DPI" wine "$window_tests"

echo "== first install"
remove_key
rm -rf "$folder"
check "the window opens" launch first-install
check "the layout matches the table at this DPI" probe layout --caption Install
probe layout --caption Install >"$log/layout-install.txt"
screenshot "$main_frame" windows-window
check_pixels
# Tab goes to the picture and back; Enter on the picture presses nothing (the Tab
# after it is taken only once the Enter has been).
press "$main_frame" Tab
check "Tab moves the focus to the picture area" wait_until 60 focus_is RuvoPictureArea
press "$main_frame" Return
press "$main_frame" Tab
check "Tab moves the focus back to the button" wait_until 60 focus_is Button
check "Enter on the picture area showed no message" no_box
press "$main_frame" Return
check_message information "$installed_text"
screenshot "$(message_frame)" windows-installed
# Keys typed while the action ran reach a Wine program only when it next reads its
# queue, once the box is up: such a key, dated before the box, must not dismiss it.
press "$(message_frame)" shift  # the box has the keyboard
check "an Enter typed before the box is shown" wine "$plant" stale-enter
check "leaves the box up" same "$(probe message | grep '^text: ')" "text: $installed_text"
dismiss_message
check "the key holds the page's URL and Contexts 0x20" same "$(registry_entry)" "$installed_entry"
check "the folder holds only ruvo.htm" same "$(folder_listing)" "ruvo.htm"
check "ruvo.htm is the page, byte for byte" cmp "$folder/ruvo.htm" "$page"

echo "== reinstall over a stale page, with the key added while the window waits (mouse)"
printf 'stale page that is longer than nothing\r\n' >"$folder/ruvo.htm"
remove_key
check "the window opens" launch reinstall
check "the button reads Install" probe layout --caption Install
set_key "file://c:/old/page.htm" 1
click_button
check_message information "$installed_text"
dismiss_message
check "the values are replaced" same "$(registry_entry)" "$installed_entry"
check "the folder holds only ruvo.htm (no temporary file)" same "$(folder_listing)" "ruvo.htm"
check "ruvo.htm is the page, byte for byte" cmp "$folder/ruvo.htm" "$page"

echo "== uninstall, and a second program started while its message is up"
check "the window opens" launch uninstall
check "the layout matches, the button reads Uninstall" probe layout --caption Uninstall
probe layout --caption Uninstall >"$log/layout-uninstall.txt"
press "$main_frame" Return
check_message information "$uninstalled_text"
screenshot "$(message_frame)" windows-uninstalled
first_pid=$app_pid
# The work is done: the second program may act at once, not "another is running".
other_than=$(probe colours | sed -n 's/^handle //p')
check "a second window opens" launch second-program
check "it offers Install" probe layout --caption Install
click_button
check_message information "$installed_text"
click_message_button
check "the second program ends after its message" wait_for_exit
check "exit status 0" same "${app_status:-none}" 0
other_than=
app_pid=$first_pid
read_message
click_message_button
check "the first program ends after its message" wait_for_exit
check "exit status 0" same "${app_status:-none}" 0
check "the second program's install stands" same "$(registry_entry)" "$installed_entry"
check "and its page" cmp "$folder/ruvo.htm" "$page"
remove_key
rm -rf "$folder"

echo "== uninstall with the key missing but the page present"
install_state
check "the window opens" launch key-missing
check "the button reads Uninstall" probe layout --caption Uninstall
remove_key  # someone else removes the key while the window waits
press "$main_frame" Return
check_message information "$not_installed_text"
screenshot "$(message_frame)" windows-not-installed
dismiss_message
check "no key" same "$(registry_entry)" ""
check "the page and the folder are still removed" same "$(folder_listing)" "<no folder>"

echo "== uninstall with a foreign file in the folder (Space on the button)"
install_state
printf 'mine\r\n' >"$folder/notes.txt"
check "the window opens" launch foreign-file
press "$main_frame" space
check_message information "$uninstalled_text"
dismiss_message
check "the key is gone" same "$(registry_entry)" ""
check "the foreign file and its folder stay, the page is gone" same "$(folder_listing)" "notes.txt"
check "the foreign file is untouched" same "$(cat "$folder/notes.txt")" $'mine\r'

echo "== uninstall while another program holds the page open"
install_state
(exec wine "$plant" hold-open "$page_path" >"$log/hold-open.out" 2>&1) &
holder=$!
check "the page is held open" wait_until 60 grep -q held "$log/hold-open.out"
check "the window opens" launch page-held-open
press "$main_frame" Return
read_message
reason=$(reason_in_message)
check "the reason is the system's own text" test -n "$reason"
check_message error "$(shown "$uninstall_failed_headline"$'\n\n'"Deleting ${page_path//\\//} failed: $reason"$'\n\n'"$key_removed_note"$'\n'"$left_note${page_path//\\//} and the folder ${folder_path//\\//}."$'\n'"$next_run_offers_install_note")"
dismiss_message 1
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
check "the key is gone" same "$(registry_entry)" ""
check "the page stays, whole" cmp "$folder/ruvo.htm" "$page"
rm -rf "$folder"

echo "== a page that cannot be written (a folder stands at ruvo.htm), then a close request"
rm -rf "$folder"
mkdir -p "$folder/ruvo.htm"
remove_key
check "the window opens" launch unwritable
press "$main_frame" Return
read_message
reason=$(reason_in_message)
check "the reason is the system's own text" test -n "$reason"
check_message error "$(shown "$install_failed_headline"$'\n\n'"Writing $page_path failed: $reason")"
screenshot "$(message_frame)" windows-install-failed
# As taskkill without /F, or a session ending, asks: the outcome still decides.
wine taskkill /im RuvoLinkLens.exe >>"$log/wine.log" 2>&1
check "a close request ends the program" wait_for_exit
check "exit status 1, as the install failed" same "${app_status:-none}" 1
check "no key was created" same "$(registry_entry)" ""
check "the folder at ruvo.htm stays and no temporary file is left" same "$(folder_listing)" "ruvo.htm"
check "ruvo.htm is still an empty folder" same "$(ls -A "$folder/ruvo.htm")" ""

echo "== a key the registry refuses (a link to nowhere), in an empty folder that was there before"
rm -rf "$folder"
mkdir -p "$folder"
remove_key
check "the key is planted as a link to nowhere" wine "$plant" registry-link "$key_path" \
  '\Registry\Nowhere\Key'
check "the window opens" launch key-refused
press "$main_frame" Return
read_message
reason=$(reason_in_message)
check "the reason is the system's own text" test -n "$reason"
check_message error "$(shown "$install_failed_headline"$'\n\n'"Creating the registry key HKEY_CURRENT_USER\\$key_path failed: $reason")"
dismiss_message 1
check "the key this run tried to make is taken back (the link itself)" same "$(registry_entry)" ""
check "the page is taken back, the folder this run did not make stays" same "$(folder_listing)" ""
rm -rf "$folder"

echo "== links are never followed when removing: a page, a folder, a registry key"
outside="$work/outside"
for link in page folder; do
  rm -rf "$outside" "$folder"
  mkdir -p "$outside" "$folder"
  printf 'not ours\r\n' >"$outside/ruvo.htm"
  set_key "$page_url" 32
  if [ "$link" = page ]; then
    ln -s "$outside/ruvo.htm" "$folder/ruvo.htm"
  else
    rmdir "$folder"
    ln -s "$outside" "$folder"
  fi
  check "$link link: the window opens" launch "$link-link"
  press "$main_frame" Return
  read_message
  check "$link link: the failure says where the link leads" \
    grep -qF "Z:${outside//\//\\}\\ruvo.htm" <<<"$(message_field text)"
  check "$link link: and what was removed" grep -qF "$(shown "$key_removed_note")" <<<"$(message_field text)"
  dismiss_message 1
  check "$link link: the file outside drive C: is untouched" same "$(cat "$outside/ruvo.htm")" $'not ours\r'
  check "$link link: the link stays" test -L "${folder%/}$([ "$link" = page ] && echo /ruvo.htm)"
  check "$link link: the key is gone" same "$(registry_entry)" ""
done
rm -rf "$outside" "$folder"
target_key='Software\RuvoLinkLens tests\Link target'
wine reg add "HKLM\\$target_key" /v kept /d kept /f >>"$log/wine.log" 2>&1
check "registry link: planted" wine "$plant" registry-link "$key_path" "\\Registry\\Machine\\$target_key"
check "registry link: the window opens" launch registry-link
check "registry link: the button reads Uninstall" probe layout --caption Uninstall
press "$main_frame" Return
check_message information "$uninstalled_text"
dismiss_message
check "registry link: the link is gone" same "$(registry_entry)" ""
check "registry link: its target stays, with its value" \
  wine reg query "HKLM\\$target_key" /v kept >>"$log/wine.log" 2>&1
wine reg delete 'HKLM\Software\RuvoLinkLens tests' /f >>"$log/wine.log" 2>&1

echo "== what a kill leaves (after the page, after the key, after the first value): the next run cleans up"
# A kill cannot leave a half-written page (it is written under its partial name and
# renamed); it can stop between the steps, and each step's state is set up here.
for point in after-the-page after-the-key after-the-first-value; do
  rm -rf "$folder"
  remove_key
  mkdir -p "$folder"
  cp "$page" "$folder/ruvo.htm"
  printf 'half a page' >"$folder/ruvo.htm.partial"
  case $point in
    after-the-key) wine reg add "$key" /f >>"$log/wine.log" 2>&1 ;;
    after-the-first-value) wine reg add "$key" /ve /d "$page_url" /f >>"$log/wine.log" 2>&1 ;;
  esac
  check "$point: the window opens" launch "$point"
  if [ "$point" = after-the-page ]; then
    press "$main_frame" Return
    check_message information "$installed_text"
    dismiss_message
    check "$point: the install is whole" same "$(registry_entry)" "$installed_entry"
    check "$point: the folder holds only the page" same "$(folder_listing)" "ruvo.htm"
    check "$point: ruvo.htm is the page, byte for byte" cmp "$folder/ruvo.htm" "$page"
  else
    press "$main_frame" Return
    check_message information "$uninstalled_text"
    dismiss_message
    check "$point: no key" same "$(registry_entry)" ""
    check "$point: nothing of ours is left" same "$(folder_listing)" "<no folder>"
  fi
done

echo "== closing the window changes nothing"
rm -rf "$folder"
remove_key
check "the window opens" launch close
press "$main_frame" alt+F4
check "the program ends" wait_for_exit
check "exit status 0" same "${app_status:-none}" 0
check "no key" same "$(registry_entry)" ""
check "no folder" same "$(folder_listing)" "<no folder>"

echo "== out of memory at the C++ library's throw points: the user is told, the program ends"
# A string asked to grow past its largest size, and an allocation of a size no 32-bit
# process can have (so the allocator fails inside the program, not the system).
for how in string new; do
  (exec wine "$out_of_memory" "$how" >"$log/out-of-memory-$how.out" 2>&1) &
  app_pid=$!
  read_message
  check "$how: a message box titled RUVO LinkLens" same "$(message_field title)" "RUVO LinkLens"
  check "$how: it says the program ran out of memory" same "$(message_field text)" "$(shown "$out_of_memory_text")"
  check "$how: its error icon" same "$(icon_colour)" error
  check "$how: one OK button" same "$(message_field buttons)" "OK"
  press "$(message_frame)" Return
  check "$how: the program ends" wait_for_exit
  check "$how: exit status 3" same "${app_status:-none}" 3
done

echo "== at 144 DPI (150 %)"
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >>"$log/wine.log" 2>&1
wineserver -k
wineserver -w
check "win32_window_tests at 144 DPI" wine "$window_tests"
check "the window opens" launch dpi144
check "the layout matches the table at 144 DPI" probe layout --caption Install
probe layout --caption Install >"$log/layout-144dpi.txt"
screenshot "$main_frame" windows-window-144dpi
check_pixels
press "$main_frame" alt+F4
check "the program ends" wait_for_exit

echo "run-wine-tests: $passed passed, $failed failed in $(($(date +%s) - started)) s (logs: $log)"
[ "$failed" -eq 0 ]
