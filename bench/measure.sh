#!/usr/bin/env bash
# Measures RuvoLinkLens.exe side by side with two programs that do the same install:
# an NSIS installer (bench/peer.nsi) and the floor, the same window and install in
# plain C (bench/floor/), built here with the same compiler and link flags as the
# product. It prints each one's file size, the time from launch to the window being
# shown, and the time from pressing the button (Enter) to the message box: medians of
# several runs under Wine on a display of its own, with the ratios ours/peer and
# ours/floor. Not a test: it prints figures. The goals: the exe at most 128 KB and
# smaller than the peer; each time within 1.15 times the floor's.
#
# Where the kernel runs no 32-bit code (cmake/wine-arch.sh), 32-bit Wine cannot start:
# the times are then those of the 64-bit twins under 64-bit Wine, the mingw-x86_64
# build's RuvoLinkLens.exe beside the floor built for x86_64 with the same flags; the
# NSIS peer, a 32-bit installer, gets no times. Sizes and imports stay those of the
# 32-bit product and floor.
#
#   bench/measure.sh [--runs N] [--exe PATH] [--exe64 PATH] [--work DIR]
#
# Needs the mingw-i686 build (cmake --build --preset mingw-i686), makensis, MinGW-w64
# (gcc and windres for i686), wine, Xvfb and xdotool; where no 32-bit code runs, also
# the mingw-x86_64 build (cmake --preset mingw-x86_64 && cmake --build --preset
# mingw-x86_64 --target RuvoLinkLens) and gcc and windres for x86_64.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=15
exe="$root/build/mingw-i686/RuvoLinkLens.exe"
exe64="$root/build/mingw-x86_64/RuvoLinkLens.exe"
work="$root/build/mingw-i686/bench"
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2 ;;
    --exe) exe=$2 ;;
    --exe64) exe64=$2 ;;
    --work) work=$2 ;;
    *) echo "measure: unknown argument $1" >&2; exit 3 ;;
  esac
  shift 2
done
[ -f "$exe" ] || { echo "measure: no $exe; build it with: cmake --build --preset mingw-i686" >&2; exit 3; }

# Which Windows programs this machine can time: the 32-bit ones, or else their 64-bit
# twins under 64-bit Wine (wine-arch.sh then puts it first on PATH as wine).
WINEARCH=win32
# shellcheck source=../cmake/wine-arch.sh
. "$root/cmake/wine-arch.sh"
if runs_32bit_code; then
  arch=i686
else
  arch=x86_64
  WINEARCH=win64
  # shellcheck source=../cmake/wine-arch.sh
  . "$root/cmake/wine-arch.sh"
  [ -f "$exe64" ] || { echo "measure: no $exe64 (this kernel runs no 32-bit code, so the times are the 64-bit twin's); build it with: cmake --preset mingw-x86_64 && cmake --build --preset mingw-x86_64 --target RuvoLinkLens" >&2; exit 3; }
fi
for tool in makensis wine wineboot wineserver Xvfb xdotool i686-w64-mingw32-objdump \
  i686-w64-mingw32-gcc i686-w64-mingw32-windres "$arch-w64-mingw32-gcc" "$arch-w64-mingw32-windres"; do
  command -v "$tool" >/dev/null || { echo "measure: $tool is not installed" >&2; exit 3; }
done

rm -rf "$work"
mkdir -p "$work/log" "$work/floor"
peer="$work/RuvoLinkLens-nsis-peer.exe"
makensis -V1 -DPAGE="$root/tests/logic/data/expected_ruvo.htm" \
  -DICON="$root/src/window/images/package.ico" -DOUTFILE="$peer" "$root/bench/peer.nsi" \
  >"$work/log/makensis.log" 2>&1 || { echo "measure: makensis failed, see $work/log/makensis.log" >&2; exit 1; }

# The floor, linked as cmake/toolchain-mingw.cmake and src/platform/win32/
# CMakeLists.txt link RuvoLinkLens.exe, so that only the code differs:
#   build_floor ARCH OUTPUT   ARCH is i686 or x86_64, the MinGW-w64 tools' prefix
floor="$work/floor/RuvoLinkLens-floor.exe"
floor64="$work/floor/x86_64/RuvoLinkLens-floor.exe"
# shellcheck disable=SC2054 # the commas belong to the linker options
build_floor() (  # a subshell: set -x ends with it
  local prefix=$1-w64-mingw32 output=$2 lld flags
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
build_floor i686 "$floor" >"$work/log/floor-build.log" 2>&1 ||
  { echo "measure: building the floor failed, see $work/log/floor-build.log" >&2; exit 1; }
if [ "$arch" = x86_64 ]; then
  build_floor x86_64 "$floor64" >"$work/log/floor-build-x86_64.log" 2>&1 ||
    { echo "measure: building the x86_64 floor failed, see $work/log/floor-build-x86_64.log" >&2; exit 1; }
fi

# The three programs in the columns' order, whose files give the sizes; the times are
# of the timed ones, the programs that run here, copied in under those same names.
programs=(RuvoLinkLens.exe RuvoLinkLens-nsis-peer.exe RuvoLinkLens-floor.exe)
files=("$exe" "$peer" "$floor")
if [ "$arch" = i686 ]; then
  timed_programs=("${programs[@]}")
  timed_files=("${files[@]}")
else
  timed_programs=(RuvoLinkLens.exe RuvoLinkLens-floor.exe)
  timed_files=("$exe64" "$floor64")
fi

export WINEPREFIX="$work/prefix" WINEARCH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# shellcheck source=../tests/win32/wine-display.sh
. "$root/tests/win32/wine-display.sh"

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

# One warm-up run each, then the programs in turn, so that whatever else the machine
# does meanwhile weighs on all of them alike.
measure_all() {
  local program i
  for program in "${timed_programs[@]}"; do
    one_run "$program" >/dev/null || { echo "measure: $program did not show its windows" >&2; return 1; }
    : >"$work/$program.times"
  done
  for i in $(seq 1 "$runs"); do
    for program in "${timed_programs[@]}"; do
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
  for i in "${!timed_programs[@]}"; do cp "${timed_files[$i]}" "$downloads/${timed_programs[$i]}"; done
  measure_all && timed=yes
fi

imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' '; }
size_of() { stat -c %s "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b <= 0) print "-"; else printf "%.2f", a / b }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# The median of one column of a program's times, or "-" when there are none.
median_of() { if [ "$timed" = yes ] && [ -f "$work/$1.times" ]; then cut -d' ' -f"$2" "$work/$1.times" | median; else echo -; fi; }
row() { printf '%-36s %12s %12s %12s %10s %10s\n' "$1" "$2" "$3" "$4" "$(ratio "$2" "$3")" "$(ratio "$2" "$4")"; }

sizes=() launches=() presses=()
for i in 0 1 2; do
  sizes[i]=$(size_of "${files[$i]}")
  launches[i]=$(median_of "${programs[$i]}" 1)
  presses[i]=$(median_of "${programs[$i]}" 2)
done

if [ "$timed" = yes ]; then
  echo "Medians of $runs runs each, taken in turn, under $wine_version (after one warm-up run each)"
else
  echo "Sizes only: no times were taken (see above)"
fi
if [ "$arch" = i686 ]; then
  echo "Sizes, imports and times: the 32-bit (i686) programs"
else
  echo "Sizes and imports: the 32-bit (i686) programs. Times: their 64-bit (x86_64) twins under"
  echo "64-bit Wine, as this kernel runs no 32-bit code."
fi
printf '%-36s %12s %12s %12s %10s %10s\n' "" "ours" "NSIS peer" "floor" "ours/peer" "ours/floor"
row "file size, i686 (bytes)" "${sizes[@]}"
row "launch to window shown, $arch (ms)" "${launches[@]}"
row "button to message box, $arch (ms)" "${presses[@]}"
[ "$arch" = i686 ] || echo "NSIS peer: no times, it is a 32-bit installer (x86-unicode) and this kernel runs no 32-bit code"
echo "ours: $exe"
[ "$arch" = i686 ] || echo "timed: $exe64 and $floor64"
echo "imported DLLs, ours:      $(imports "$exe")"
echo "imported DLLs, NSIS peer: $(imports "$peer")"
echo "imported DLLs, floor:     $(imports "$floor")"
echo "RuvoLinkLens.exe sections (bytes):"
i686-w64-mingw32-objdump -h "$exe" | awk '$2 ~ /^\./ { print $2, $3 }' |
  while read -r name hex; do printf '  %-10s %7d\n' "$name" "$((16#$hex))"; done
[ "$timed" = yes ] && echo "all times (ms, launch and button): $work/*.times"

met() { if "$@"; then echo met; else echo NOT met; fi; }
# Within 1.15 times the floor's, in whole numbers: ours * 100 <= floor * 115.
near_floor() { [ "$1" != - ] && [ $(($1 * 100)) -le $(($2 * 115)) ]; }
small_enough() { [ "${sizes[0]}" -le 131072 ] && [ "${sizes[0]}" -lt "${sizes[1]}" ]; }
echo "goal: at most 131072 bytes and smaller than the NSIS peer: $(met small_enough)"
if [ "$timed" = yes ]; then
  echo "goal: launch to window within 1.15 x the floor's: $(met near_floor "${launches[0]}" "${launches[2]}")"
  echo "goal: button to message box within 1.15 x the floor's: $(met near_floor "${presses[0]}" "${presses[2]}")"
else
  echo "goal: the times within 1.15 x the floor's: not measured"
  exit 1
fi
