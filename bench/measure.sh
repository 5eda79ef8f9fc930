#!/usr/bin/env bash
# Measures RuvoLinkLens.exe side by side with an NSIS installer that does the same
# install (bench/peer.nsi): file size, imported DLLs, the time from launch to the
# window being shown, and the time from pressing the button (Enter) to the message
# box; medians of several runs under Wine on a display of its own, and the ratios.
# Not a test: it prints figures. The goals: the exe at most 256 KB with both images,
# and no slower than the peer on either time.
#
#   bench/measure.sh [--runs N] [--exe PATH] [--work DIR]
#
# Needs the mingw-i686 build (cmake --build --preset mingw-i686), makensis, wine,
# Xvfb and xdotool.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=15
exe="$root/build/mingw-i686/RuvoLinkLens.exe"
work="$root/build/mingw-i686/bench"
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2 ;;
    --exe) exe=$2 ;;
    --work) work=$2 ;;
    *) echo "measure: unknown argument $1" >&2; exit 3 ;;
  esac
  shift 2
done
[ -f "$exe" ] || { echo "measure: no $exe; build it with: cmake --build --preset mingw-i686" >&2; exit 3; }
for tool in makensis wine wineboot wineserver Xvfb xdotool i686-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null || { echo "measure: $tool is not installed" >&2; exit 3; }
done

rm -rf "$work"
mkdir -p "$work/log"
peer="$work/RuvoLinkLens-nsis-peer.exe"
makensis -V1 -DPAGE="$root/tests/logic/data/expected_ruvo.htm" \
  -DICON="$root/src/window/images/package.ico" -DOUTFILE="$peer" "$root/bench/peer.nsi" \
  >"$work/log/makensis.log" 2>&1 || { echo "measure: makensis failed, see $work/log/makensis.log" >&2; exit 1; }

export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# shellcheck source=../tests/win32/wine-display.sh
. "$root/tests/win32/wine-display.sh"
start_wine_display "$work/log" measure

wineboot -i >"$work/log/wineboot.log" 2>&1 </dev/null
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
# One Wine session for every run, as on a desktop where Windows is already running.
wineserver -p >/dev/null 2>&1 </dev/null

key='HKCU\Software\Microsoft\Internet Explorer\MenuExt\Open with Ruvo Office Suite'
folder="$WINEPREFIX/drive_c/Program Files/ruvo"
downloads=$(ls -d "$WINEPREFIX"/drive_c/users/*/Downloads 2>/dev/null | head -n 1)
cp "$exe" "$downloads/RuvoLinkLens.exe"
cp "$peer" "$downloads/RuvoLinkLens-nsis-peer.exe"

now_ms() { date +%s%3N; }
visible() { xdotool search --onlyvisible --name "^RUVO LinkLens" 2>/dev/null; }
# Waits until at least $1 windows titled "RUVO LinkLens..." are shown; prints the time.
wait_for_windows() {
  local deadline=$(($(now_ms) + 20000))
  while [ "$(visible | wc -l)" -lt "$1" ]; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
  done
  now_ms
}

# One install from a clean state: prints "launch-to-window button-to-message" in ms.
one_run() {
  local program=$1 start shown pressed boxed window box
  wine reg delete "$key" /f >/dev/null 2>&1 </dev/null
  rm -rf "$folder"
  start=$(now_ms)
  (cd "$downloads" && exec wine "$program" >>"$work/log/$program.log" 2>&1 </dev/null) &
  app_pid=$!
  shown=$(wait_for_windows 1) || return 1
  sleep 0.5  # as a person would: look, then press
  window=$(visible | head -n 1)
  pressed=$(now_ms)
  xdotool key --window "$window" Return 2>/dev/null
  boxed=$(wait_for_windows 2) || return 1
  box=$(visible | grep -vx "$window" | tail -n 1)
  sleep 0.2
  xdotool key --window "$box" Return 2>/dev/null
  wait "$app_pid"
  app_pid=
  cmp -s "$folder/ruvo.htm" "$root/tests/logic/data/expected_ruvo.htm" ||
    echo "measure: $program did not write the page" >&2
  echo "$((shown - start)) $((boxed - pressed))"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# One warm-up run each, then the two programs in turn, so that whatever else the
# machine does meanwhile weighs on both alike.
measure_both() {
  local program i
  for program in RuvoLinkLens.exe RuvoLinkLens-nsis-peer.exe; do
    one_run "$program" >/dev/null || { echo "measure: $program did not show its windows" >&2; return 1; }
    : >"$work/$program.times"
  done
  for i in $(seq 1 "$runs"); do
    for program in RuvoLinkLens.exe RuvoLinkLens-nsis-peer.exe; do
      one_run "$program" >>"$work/$program.times" || return 1
    done
  done
}
measure_both || exit 1

imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' '; }
size_of() { stat -c %s "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0) ? a / b : 0 }'; }

exe_size=$(size_of "$exe")
peer_size=$(size_of "$peer")
exe_launch=$(cut -d' ' -f1 "$work/RuvoLinkLens.exe.times" | median)
peer_launch=$(cut -d' ' -f1 "$work/RuvoLinkLens-nsis-peer.exe.times" | median)
exe_press=$(cut -d' ' -f2 "$work/RuvoLinkLens.exe.times" | median)
peer_press=$(cut -d' ' -f2 "$work/RuvoLinkLens-nsis-peer.exe.times" | median)

echo "Medians of $runs runs each, taken in turn, under $(wine --version) (after one warm-up run each)"
printf '%-30s %16s %16s %8s\n' "" "RuvoLinkLens.exe" "NSIS peer" "ratio"
printf '%-30s %16s %16s %8s\n' "file size (bytes)" "$exe_size" "$peer_size" "$(ratio "$exe_size" "$peer_size")"
printf '%-30s %16s %16s %8s\n' "launch to window shown (ms)" "$exe_launch" "$peer_launch" "$(ratio "$exe_launch" "$peer_launch")"
printf '%-30s %16s %16s %8s\n' "button to message box (ms)" "$exe_press" "$peer_press" "$(ratio "$exe_press" "$peer_press")"
echo "imported DLLs, RuvoLinkLens.exe: $(imports "$exe")"
echo "imported DLLs, NSIS peer:        $(imports "$peer")"
echo "RuvoLinkLens.exe sections (bytes):"
i686-w64-mingw32-objdump -h "$exe" | awk '$2 ~ /^\./ { print $2, $3 }' |
  while read -r name hex; do printf '  %-10s %7d\n' "$name" "$((16#$hex))"; done
echo "all times (ms, launch and button): $work/*.times"
echo "goal: at most 262144 bytes: $([ "$exe_size" -le 262144 ] && echo met || echo NOT met)"
echo "goal: no slower than the peer: $([ "$exe_launch" -le "$peer_launch" ] && [ "$exe_press" -le "$peer_press" ] && echo met || echo NOT met)"
