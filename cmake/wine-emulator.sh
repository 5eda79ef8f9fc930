#!/usr/bin/env bash
# Runs one Windows program under Wine: the mingw builds' CMAKE_CROSSCOMPILING_EMULATOR,
# through which CTest runs the test programs. Without a program it only prepares the
# prefix (the build does that, so that the first test need not wait for it).
#
# CTest reads a test's output until every process holding the pipe has closed it.
# Wine starts its server and the session's own processes (services, explorer) from
# the first program of a session, and they inherit its output and linger after it
# ends: every test would take seconds, and test discovery would time out. Here the
# prefix (on first use), a server and the session are started with their output
# elsewhere; the test program then joins them.
#
# Where 32-bit code cannot run, or only through an emulator too old to start Wine in
# a useful time, it says so and fails at once rather than letting each test time out.
set -u
# shellcheck source=i386-route.sh
. "$(dirname "${BASH_SOURCE[0]}")/i386-route.sh"
i386_route >/dev/null || exit 1
export WINEARCH=win32
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine}
export WINEDEBUG=${WINEDEBUG--all}
# No offers to download Wine's .NET and HTML engines.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES-mscoree,mshtml=}
mkdir -p "$(dirname "$WINEPREFIX")"
(
  # One wineboot and one server, even when CTest runs tests side by side. Nothing
  # started here may keep the lock's descriptor (9>&-).
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$WINEPREFIX.wineboot.log" 2>&1 </dev/null 9>&-
  fi
  # Succeeds only when it becomes the server: then start the session as well.
  if wineserver -p30 >/dev/null 2>&1 </dev/null 9>&-; then
    wine cmd /c exit >/dev/null 2>&1 </dev/null 9>&-
  fi
) 9>"$WINEPREFIX.lock"
[ $# -eq 0 ] || exec wine "$@"
