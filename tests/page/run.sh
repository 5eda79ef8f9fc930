#!/usr/bin/env bash
# Runs the handler page's browser tests against the page the installer writes, and the
# browser extension's.
#   tests/page/run.sh PAGE_WRITER     (or PAGE_WRITER=... tests/page/run.sh)
# PAGE_WRITER is the built tests/tools/page_writer. It writes the page through the
# installer's own code into a temporary drive C:; the tests then load that file in
# Chromium. The service addresses the page should carry come from RUVO_SCRIBE_URL,
# RUVO_GRID_URL and RUVO_DECK_URL, else from the build's CMakeCache.txt, else the
# build's defaults; the extension tests build the extension for the same addresses.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
writer=${1:-${PAGE_WRITER:-}}
if [ -z "$writer" ]; then
  echo "usage: $0 PAGE_WRITER   (the built tests/tools/page_writer)" >&2
  exit 2
fi
if [ ! -x "$writer" ]; then
  echo "run.sh: $writer is not an executable; build it first: cmake --build --preset native" >&2
  exit 2
fi

# The build's own service addresses, when it has a cache to read them from.
cache=
dir=$(cd "$(dirname "$writer")" && pwd)
while [ "$dir" != / ]; do
  if [ -f "$dir/CMakeCache.txt" ]; then cache="$dir/CMakeCache.txt"; break; fi
  dir=$(dirname "$dir")
done
for var in RUVO_SCRIBE_URL RUVO_GRID_URL RUVO_DECK_URL; do
  if [ -z "${!var:-}" ] && [ -n "$cache" ]; then
    value=$(sed -n "s/^$var:STRING=//p" "$cache")
    if [ -n "$value" ]; then export "$var=$value"; fi
  fi
done

drive=$(mktemp -d -t ruvo-page-drive-XXXXXX)
trap 'rm -rf "$drive"' EXIT
"$writer" "$drive"
export RUVO_PAGE_FILE="$drive/Program Files/ruvo/ruvo.htm"

cd "$here"
# The modules the lock file pins, installed again whenever it changes.
if ! cmp -s package-lock.json node_modules/.installed-package-lock.json; then
  npm ci --no-audit --no-fund --loglevel=error
  cp package-lock.json node_modules/.installed-package-lock.json
fi
npm test
