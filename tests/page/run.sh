#!/usr/bin/env bash
# Runs the handler page's browser tests against the page the installer writes, and the
# browser extension's.
#   tests/page/run.sh [--menus] PAGE_WRITER     (or PAGE_WRITER=... tests/page/run.sh)
# --menus runs instead the extension through Chromium's and Firefox ESR's own link
# menus, and its install by policy in both (as root: each browser alone sees its policy).
# PAGE_WRITER is the built tests/tools/page_writer. It writes the page through the
# installer's own code into a temporary drive C:; the tests then load that file in
# Chromium. The service addresses the page should carry come from the service table
# the build exported (exported/services.json); the extension tests build the
# extension from that same table.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
suite=test
if [ "${1:-}" = --menus ]; then
  suite=test:menus
  shift
fi
writer=${1:-${PAGE_WRITER:-}}
if [ -z "$writer" ]; then
  echo "usage: $0 [--menus] PAGE_WRITER   (the built tests/tools/page_writer)" >&2
  exit 2
fi
if [ ! -x "$writer" ]; then
  echo "run.sh: $writer is not an executable; build it first: cmake --build --preset native" >&2
  exit 2
fi

# The service table the build exported, with the addresses it was configured with.
dir=$(cd "$(dirname "$writer")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
if [ ! -f "$dir/exported/services.json" ]; then
  echo "run.sh: no exported/services.json in the build of $writer; configure it again" >&2
  exit 2
fi
export RUVO_SERVICES_FILE="$dir/exported/services.json"

drive=$(mktemp -d -t ruvo-page-drive-XXXXXX)
trap 'rm -rf "$drive"' EXIT
"$writer" "$drive"
export RUVO_PAGE_FILE="$drive/Program Files/ruvo/ruvo.htm"

cd "$here"
# Node.js 20 or later, which scripts/setup puts here where the system's is older.
for bin in "$here"/.node/node_modules/node-linux-*/bin; do
  [ -x "$bin/node" ] && PATH="$bin:$PATH"
done
# The modules the lock file pins, installed again whenever it changes.
if ! cmp -s package-lock.json node_modules/.installed-package-lock.json; then
  npm ci --no-audit --no-fund --loglevel=error
  cp package-lock.json node_modules/.installed-package-lock.json
fi
npm run --silent "$suite"
