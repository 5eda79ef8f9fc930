#!/usr/bin/env bash
# scripts/setup adds the backports suite from the mirror, and with the keyring, of the
# system's own source for its release's main suite, in whatever form apt reads it. Each
# case is a set of apt sources and the URI and Signed-By setup must take from them.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
etc=$work/etc
mkdir -p "$etc/sources.list.d" "$work/lists/partial"
printf 'Dir::Etc::sourcelist "%s";\nDir::Etc::sourceparts "%s";\nDir::State::lists "%s";\n' \
  "$etc/sources.list" "$etc/sources.list.d" "$work/lists" >"$work/apt.conf"
failures=0

# expect NAME URI [SIGNED-BY]: the sources written since the last case give this stanza,
# or with URI "fails" none.
expect() {
  local expected actual
  expected=$(printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main' "$2")
  [ -n "${3:-}" ] && expected+=$'\n'"Signed-By:$3"
  [ "$2" = fails ] && expected=fails
  actual=$(APT_CONFIG="$work/apt.conf" bash -c '. "$1" && backports_source bookworm' _ \
    "$root/scripts/setup" 2>/dev/null) || actual=fails
  if [ "$actual" = "$expected" ]; then echo "ok   - $1"; else
    echo "FAIL - $1: got"$'\n'"$actual"
    failures=$((failures + 1))
  fi
  rm -rf "$etc/sources.list" "$etc/sources.list.d"/* "$work/lists"/*Release
}

key=$'\n -----BEGIN PGP PUBLIC KEY BLOCK-----\n .\n mQINBGPL0BUBEADmW5NdOOHwPIJlgPu6JDc\n -----END PGP PUBLIC KEY BLOCK-----'
cat >"$etc/sources.list.d/debian.sources" <<SOURCES
# A cloud image's mirror list, with the key written out

Types: deb
URIs: http://old.example.org/debian
Suites: bookworm
Components: main
Enabled: no

Types: deb deb-src
URIs: http://security.example.org/debian-security
Suites: bookworm-security
Components: main

types: deb
URIs: mirror+file:///etc/apt/mirrors/debian.list http://second.example.org/debian
Suites: bookworm
 bookworm-updates
Components: contrib main
Signed-By:$key
SOURCES
expect "deb822: the stanza apt reads for the release's main, its first URI and key as written" \
  mirror+file:///etc/apt/mirrors/debian.list "$key"

cat >"$etc/sources.list" <<'SOURCES'
# deb http://commented.example.org/debian bookworm main
deb cdrom:[Debian GNU/Linux 12.0.0 _Bookworm_ - Official amd64 DVD Binary-1]/ bookworm contrib main
deb-src http://sources.example.org/debian bookworm main
deb http://updates.example.org/debian bookworm-updates main
deb [ arch=amd64 signed-by=/etc/apt/keyrings/local.gpg ] http://mirror.example.net/debian/ bookworm contrib main non-free-firmware
SOURCES
printf 'Types: deb\nURIs: http://later.example.org/debian\nSuites: bookworm\nComponents: main\n' \
  >"$etc/sources.list.d/a.sources"
expect "sources.list before sources.list.d: its deb line for the release's main, past a CD-ROM" \
  http://mirror.example.net/debian/ " /etc/apt/keyrings/local.gpg"

echo 'deb http://contrib.example.org/debian bookworm contrib' >"$etc/sources.list.d/a.list"
printf 'Types: deb\nURIs: %s\nSuites: bookworm\nComponents: main\n%s\n\n' \
  http://off.example.org/debian 'Signed-By: /etc/apt/keyrings/off.gpg
Enabled: no' http://proxy.example.com:3142/debian '' >"$etc/sources.list.d/b.sources"
echo 'deb http://later.example.org/debian bookworm main' >"$etc/sources.list.d/c.list"
expect "sources.list.d by name; no keyring where the entry names none" \
  http://proxy.example.com:3142/debian

# A vendor may call its suite after the release too: the Release files, once fetched,
# tell Debian's from the vendor's.
for origin in Vendor Debian; do
  mkdir -p "$work/$origin/dists/bookworm/main/binary-amd64"
  : >"$work/$origin/dists/bookworm/main/binary-amd64/Packages"
  printf 'Origin: %s\nSuite: bookworm\nCodename: bookworm\nComponents: main\nArchitectures: amd64\n' \
    "$origin" >"$work/$origin/dists/bookworm/Release"
  echo "deb [trusted=yes] file:$work/$origin bookworm main" >>"$etc/sources.list"
done
APT_CONFIG="$work/apt.conf" apt-get update -qq -o Dir::Cache="$work/cache" \
  -o Debug::NoLocking=1 >/dev/null 2>&1 || echo "note: apt-get update of file: repositories failed"
expect "a vendor's suite named after the release passed over, by its Release file" \
  "file:$work/Debian"

echo 'deb http://security.example.org/debian-security bookworm-security main' >"$etc/sources.list"
expect "no source for the release's main suite" fails

[ "$failures" -eq 0 ]
