#!/usr/bin/env bash
# Builds RuvoLinkLens.exe again from copies of these sources in two folders of other names
# and depths, one after the other, and holds both to EXE: the same sources and toolchain
# give the same bytes wherever and whenever they are built.
#   reproducible-build.sh EXE
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
exe=${1:?usage: reproducible-build.sh EXE}
work=$(mktemp -d -t ruvo-reproducible-XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
for copy in "$work/a" "$work/another/folder/b"; do
  mkdir -p "$copy"
  tar -C "$root" --exclude=./.git --exclude=./build --exclude=node_modules \
    --exclude=./tests/page/.node -cf - . | tar -C "$copy" -xf -
  if ! (cd "$copy" && cmake --preset mingw-i686 -DRUVO_BUILD_TESTS=OFF &&
    cmake --build --preset mingw-i686 --target RuvoLinkLens) >"$work/build.log" 2>&1; then
    cat "$work/build.log"
    echo "reproducible-build: the build in $copy failed"
    exit 1
  fi
  if cmp "$exe" "$copy/build/mingw-i686/RuvoLinkLens.exe"; then
    echo "ok   built in $copy: the same $(stat -c %s "$exe") bytes"
  else
    echo "FAIL built in $copy: other bytes than $exe"
    status=1
  fi
done
exit "$status"
