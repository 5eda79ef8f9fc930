#!/usr/bin/env bash
# Measures RuvoLinkLens.exe side by side with two programs that do the same install:
# an NSIS installer (bench/peer.nsi) and the floor, the same window and install in
# plain C (bench/floor/), built here with the same compiler and link flags as the
# product. It prints each one's file size, the time from launch to the window being
# shown, and the time from pressing the button (Enter) to the message box, all three
# 32-bit programs under the same 32-bit Wine on a display of its own: natively, or
# through qemu where the kernel runs no 32-bit code (cmake/i386-route.sh). The runs are
# taken in turn, ours, the peer's and the floor's, so each run's three times saw the
# same machine; each run gives a ratio ours/floor and ours/peer, and the script prints
# their median and spread (lowest, quartiles, highest). Under emulation the absolute
# times mean little (qemu translates each process's code afresh) and swing from run to
# run; the ratios are the figures. Not a test: it prints figures. The goals: the exe
# at most 128 KB and smaller than the peer; each time within 1.10 times the floor's,
# by the median ratio.
#
#   bench/measure.sh [--runs N] [--exe PATH] [--work DIR]
#
# Needs the mingw-i686 build (cmake --build --preset mingw-i686), makensis, MinGW-w64
# (gcc and windres for i686), 32-bit wine, Xvfb and xdotool (scripts/setup).
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

# shellcheck source=../cmake/i386-route.sh
. "$root/cmake/i386-route.sh"
route=$(i386_route) || exit 3
for tool in makensis osslsigncode wine wineboot wineserver Xvfb xdotool i686-w64-mingw32-objdump \
  i686-w64-mingw32-gcc i686-w64-mingw32-windres; do
  command -v "$tool" >/dev/null || { echo "measure: $tool is not installed" >&2; exit 3; }
done

rm -rf "$work"
mkdir -p "$work/log" "$work/floor"
peer="$work/RuvoLinkLens-nsis-peer.exe"
makensis -V1 -DPAGE="$root/tests/logic/data/expected_ruvo.htm" \
  -DICON="$root/src/window/images/package.ico" -DOUTFILE="$peer" "$root/bench/peer.nsi" \
  >"$work/log/makensis.log" 2>&1 || { echo "measure: makensis failed, see $work/log/makensis.log" >&2; exit 1; }

# The floor, linked as cmake/toolchain-mingw-i686.cmake and src/platform/win32/
# CMakeLists.txt link RuvoLinkLens.exe, so that only the code differs.
floor="$work/floor/RuvoLinkLens-floor.exe"
# shellcheck disable=SC2054 # the commas belong to the linker options
build_floor() (  # a subshell: set -x ends with it
  local prefix=i686-w64-mingw32 output=$1 lld flags
  mkdir -p "$(dirname "$output")"
  flags=(-Os -ffunction-sections -fdata-sections -static -static-libgcc -Wl,--gc-sections -s)
  if lld=$(command -v ld.lld); then
    printf '*linker:\n%s\n\n' "$lld" >"$work/floor/mingw-lld.specs"
    flags+=(-specs="$work/floor/mingw-lld.specs" -fno-use-linker-plugin)
  fi
  flags+=(-mwindows -municode
    -Wl,--major-subsystem-version,6,--minor-subsystem-version,0
    -Wl,--major-os-version,6,--minor-os-version,0 -Wl,--dynamicbase,--nxcompat)
  set -x
  "$prefix-windres" -I "$root/src/platform/win32" -I "$root/src/window/images" \
    -I "$root/tests/logic/data" -O coff -o "$output.res.o" "$root/bench/floor/floor.rc" &&
    "$prefix-gcc" -std=c11 -Wall -Wextra "${flags[@]}" -o "$output" \
      "$root/bench/floor/floor.c" "$output.res.o" -lole32 -loleaut32 -luuid
)
build_floor "$floor" >"$work/log/floor-build.log" 2>&1 ||
  { echo "measure: building the floor failed, see $work/log/floor-build.log" >&2; exit 1; }

# The three programs in the columns' order, copied into the prefix under these names.
programs=(RuvoLinkLens.exe RuvoLinkLens-nsis-peer.exe RuvoLinkLens-floor.exe)
files=("$exe" "$peer" "$floor")

export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# shellcheck source=../tests/win32/wine-display.sh
. "$root/tests/win32/wine-display.sh"

now_ms() { date +%s%3N; }
visible() { xdotool search --onlyvisible --name "^RUVO LinkLens" 2>/dev/null; }
# Waits until at least $1 windows titled "RUVO LinkLens..." are shown; prints the time.
# The ceiling is far above what an emulated start takes.
wait_for_windows() {
  local deadline=$(($(now_ms) + 120000))
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
  # Keys go through the X server's input, dated when typed, as a person's are.
  xdotool windowfocus --sync "$window" 2>/dev/null
  pressed=$(now_ms)
  xdotool key Return 2>/dev/null
  boxed=$(wait_for_windows 2) || return 1
  box=$(visible | grep -vx "$window" | tail -n 1)
  sleep 0.6  # our box takes no key in its first 400 ms: read it first, as a person does
  xdotool windowfocus --sync "$box" key Return 2>/dev/null
  wait "$app_pid"
  app_pid=
  cmp -s "$folder/ruvo.htm" "$root/tests/logic/data/expected_ruvo.htm" ||
    echo "measure: $program did not write the page" >&2
  echo "$((shown - start)) $((boxed - pressed))"
}

# One warm-up run each, then the programs in turn, so that whatever else the machine
# does meanwhile weighs on all of them alike.
measure_all() {
  local program i
  for program in "${programs[@]}"; do
    one_run "$program" >/dev/null || { echo "measure: $program did not show its windows" >&2; return 1; }
    : >"$work/$program.times"
  done
  for i in $(seq 1 "$runs"); do
    for program in "${programs[@]}"; do
      one_run "$program" >>"$work/$program.times" || return 1
    done
  done
}

# The wine command is a script; whether Wine itself can start shows only when it runs.
timed=no
if ! wine_version=$(wine --version 2>"$work/log/wine-version.log" </dev/null); then
  echo "measure: Wine does not start here, so no times: $(head -c 300 "$work/log/wine-version.log")" >&2
else
  start_wine_display "$work/log" measure
  wineboot -i >"$work/log/wineboot.log" 2>&1 </dev/null
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 </dev/null
  # One Wine session for every run, as on a desktop where Windows is already running.
  wineserver -p >/dev/null 2>&1 </dev/null

  key='HKCU\Software\Microsoft\Internet Explorer\MenuExt\Open with Ruvo Office Suite'
  folder="$WINEPREFIX/drive_c/Program Files/ruvo"
  downloads=$(ls -d "$WINEPREFIX"/drive_c/users/*/Downloads 2>/dev/null | head -n 1)
  for i in "${!programs[@]}"; do cp "${files[$i]}" "$downloads/${programs[$i]}"; done
  measure_all && timed=yes
fi

imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' '; }
# A signed file is measured without its signature (what the publisher adds afterwards),
# so that the sizes compare like with like.
size_of() {
  if osslsigncode remove-signature -in "$1" -out "$work/unsigned.exe" >/dev/null 2>&1; then
    stat -c %s "$work/unsigned.exe"
  else
    stat -c %s "$1"
  fi
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b <= 0) print "-"; else printf "%.2f", a / b }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# The median of one column of a program's times, or "-" when there are none.
median_of() { if [ "$timed" = yes ] && [ -f "$work/$1.times" ]; then cut -d' ' -f"$2" "$work/$1.times" | median; else echo -; fi; }
row() { printf '%-32s %12s %12s %12s %10s %10s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$3")" "$(ratio "$2" "$4")"; }

# Each run's ratio of column $3 (1 launch, 2 button), program $1 over program $2; then
# "median lowest lower-quartile upper-quartile highest" of those ratios.
run_ratios() {
  paste -d' ' <(cut -d' ' -f"$3" "$work/$1.times") <(cut -d' ' -f"$3" "$work/$2.times") |
    awk '$2 > 0 { printf "%.4f\n", $1 / $2 }'
}
spread() {
  sort -g | awk '{ v[NR] = $1 }
    function at(q,   i) { i = 1 + q * (NR - 1); return v[int(i)] + (i - int(i)) * (v[int(i) + 1] - v[int(i)]) }
    END { if (NR == 0) print "- - - - -"; else printf "%.2f %.2f %.2f %.2f %.2f\n", at(0.5), v[1], at(0.25), at(0.75), v[NR] }'
}
ratio_row() {  # ratio_row LABEL OTHER COLUMN: ours over OTHER, run by run
  local median low q1 q3 high
  read -r median low q1 q3 high < <(run_ratios RuvoLinkLens.exe "$2" "$3" | spread)
  printf '%-32s %8s   %s .. [%s .. %s] .. %s\n' "$1" "$median" "$low" "$q1" "$q3" "$high"
}

sizes=() launches=() presses=()
for i in 0 1 2; do
  sizes[i]=$(size_of "${files[$i]}")
  launches[i]=$(median_of "${programs[$i]}" 1)
  presses[i]=$(median_of "${programs[$i]}" 2)
done

if [ "$timed" = yes ]; then
  echo "$runs runs of each, taken in turn after one warm-up run each, under $wine_version,"
  echo "32-bit code running $route"
else
  echo "Sizes only: no times were taken (see above)"
fi
echo "The 32-bit (i686) programs; the times are medians"
printf '%-32s %12s %12s %12s %10s %10s\n' "" "ours" "NSIS peer" "floor" "ours/peer" "ours/floor"
row "file size, unsigned (bytes)" "${sizes[@]}"
row "launch to window shown (ms)" "${launches[@]}"
row "button to message box (ms)" "${presses[@]}"
if [ "$timed" = yes ]; then
  echo "Ratios run by run: median   lowest .. [quartiles] .. highest"
  ratio_row "launch, ours/floor" RuvoLinkLens-floor.exe 1
  ratio_row "launch, ours/peer" RuvoLinkLens-nsis-peer.exe 1
  ratio_row "button, ours/floor" RuvoLinkLens-floor.exe 2
  ratio_row "button, ours/peer" RuvoLinkLens-nsis-peer.exe 2
fi
echo "ours: $exe"
echo "imported DLLs, ours:      $(imports "$exe")"
echo "imported DLLs, NSIS peer: $(imports "$peer")"
echo "imported DLLs, floor:     $(imports "$floor")"
echo "RuvoLinkLens.exe sections (bytes):"
i686-w64-mingw32-objdump -h "$exe" | awk '$2 ~ /^\./ { print $2, $3 }' |
  while read -r name hex; do printf '  %-10s %7d\n' "$name" "$((16#$hex))"; done
[ "$timed" = yes ] && echo "all times (ms, launch and button): $work/*.times"

met() { if "$@"; then echo met; else echo NOT met; fi; }
within() { [ "$1" != - ] && awk -v r="$1" -v limit="$2" 'BEGIN { exit !(r <= limit) }'; }
small_enough() { [ "${sizes[0]}" -le 131072 ] && [ "${sizes[0]}" -lt "${sizes[1]}" ]; }
echo "goal: at most 131072 bytes and smaller than the NSIS peer: $(met small_enough)"
if [ "$timed" = yes ]; then
  launch_ratio=$(run_ratios RuvoLinkLens.exe RuvoLinkLens-floor.exe 1 | spread | cut -d' ' -f1)
  button_ratio=$(run_ratios RuvoLinkLens.exe RuvoLinkLens-floor.exe 2 | spread | cut -d' ' -f1)
  echo "goal: launch to window within 1.10 x the floor's (median ratio $launch_ratio): $(met within "$launch_ratio" 1.10)"
  echo "goal: button to message box within 1.10 x the floor's (median ratio $button_ratio): $(met within "$button_ratio" 1.10)"
else
  echo "goal: the times within 1.10 x the floor's: not measured"
  exit 1
fi
