#!/usr/bin/env bash
# Configuring accepts service addresses made of an http(s) scheme and a host only, with
# three different hosts, and refuses anything else with a message naming the variable.
set -uo pipefail

check=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/cmake/ServiceTable.cmake
failures=0

# expect VERDICT SCRIBE GRID DECK [text the refusal must contain]
expect() {
  local verdict=$1 scribe=$2 grid=$3 deck=$4 says=${5:-}
  local out status
  out=$(cmake -DRUVO_SCRIBE_URL="$scribe" -DRUVO_GRID_URL="$grid" -DRUVO_DECK_URL="$deck" \
          -P "$check" 2>&1)
  status=$?
  if [ "$verdict" = accept ] && [ $status -ne 0 ]; then
    echo "FAIL: refused $scribe $grid $deck: $out"; failures=$((failures + 1))
  elif [ "$verdict" = refuse ] && [ $status -eq 0 ]; then
    echo "FAIL: accepted $scribe $grid $deck"; failures=$((failures + 1))
  elif [ -n "$says" ] && ! grep -qF -- "$says" <<<"$out"; then
    echo "FAIL: the refusal of $scribe $grid $deck does not say '$says': $out"
    failures=$((failures + 1))
  else
    echo "ok: $verdict $scribe $grid $deck"
  fi
}

s=https://scribe.ruvo.example g=https://grid.ruvo.example d=https://deck.ruvo.example
expect accept "$s" "$g" "$d"
expect accept http://scribe.local https://grid.local:8443 http://10.0.0.7
expect accept https://Scribe.Example https://grid.example https://deck.example
expect refuse "$s/" "$g" "$d" RUVO_SCRIBE_URL
expect refuse "$s" "$g/view" "$d" RUVO_GRID_URL
expect refuse "$s" "$g" "$d?x=1" RUVO_DECK_URL
expect refuse ftp://scribe.ruvo.example "$g" "$d" RUVO_SCRIBE_URL
expect refuse scribe.ruvo.example "$g" "$d" RUVO_SCRIBE_URL
expect refuse "" "$g" "$d" RUVO_SCRIBE_URL
expect refuse "https://user@scribe.ruvo.example" "$g" "$d" RUVO_SCRIBE_URL
expect refuse "https://scribe.ruvo.example'+alert(1)+'" "$g" "$d" RUVO_SCRIBE_URL
expect refuse "https://-bad.example" "$g" "$d" RUVO_SCRIBE_URL
expect refuse "$s" "$s" "$d" "3 different hosts"
expect refuse "$s" "$g" "http://GRID.ruvo.example:8080" "3 different hosts"
expect refuse "$s" "https://scribe.ruvo.example:444" "$d" "3 different hosts"

if [ $failures -ne 0 ]; then
  echo "$failures service address check(s) failed"
  exit 1
fi
