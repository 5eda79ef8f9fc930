#!/usr/bin/env bash
# Signs the program as its publisher would (scripts/sign), with certificates of a CA made
# here and thrown away, and checks what anyone who downloads it can check: the signature
# holds against that CA, taking it off gives back the unsigned file byte for byte, and one
# changed byte breaks it. Leaves the signed program at SIGNED for the program-file tests
# and the end-to-end run.
#   signing-test.sh --exe EXE --out SIGNED
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
sign=$here/../../scripts/sign
exe= out=
while [ $# -gt 0 ]; do
  case $1 in
    --exe) exe=$2 ;;
    --out) out=$2 ;;
    *) echo "signing-test: unknown argument $1" >&2; exit 3 ;;
  esac
  shift 2
done
[ -f "$exe" ] && [ -n "$out" ] || { echo "usage: signing-test.sh --exe EXE --out SIGNED" >&2; exit 3; }

passed=0 failed=0
check() {
  local what=$1
  shift
  if "$@" >>"$work/log" 2>&1; then
    passed=$((passed + 1)) && echo "ok   $what"
  else
    failed=$((failed + 1)) && echo "FAIL $what (log: $work/log)"
  fi
}
fails() { ! "$@"; }

work=$(mktemp -d -t ruvo-signing-XXXXXX)
cd "$work" || exit 3
export RUVO_SIGN_PASSWORD="test password $$"
# The test CA, and the publisher's code-signing certificate it issues: as a PKCS#12 file,
# and as a chain and an encrypted key.
{
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=RUVO LinkLens test CA" -addext basicConstraints=critical,CA:TRUE \
    -addext keyUsage=critical,keyCertSign,cRLSign &&
    openssl req -newkey rsa:2048 -keyout publisher.key -passout env:RUVO_SIGN_PASSWORD \
      -out publisher.csr -subj "/CN=RUVO test publisher/O=RUVO" &&
    openssl x509 -req -in publisher.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
      -out publisher.pem -extfile <(printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n') &&
    openssl pkcs12 -export -inkey publisher.key -passin env:RUVO_SIGN_PASSWORD \
      -in publisher.pem -certfile ca.pem -out publisher.p12 -passout env:RUVO_SIGN_PASSWORD &&
    cat publisher.pem ca.pem >chain.pem
} >"$work/log" 2>&1 || { echo "signing-test: openssl could not make the test CA (log: $work/log)" >&2; exit 1; }

check "signed with a PKCS#12 file, the password from the environment" \
  "$sign" --pkcs12 publisher.p12 --in "$exe" --out "$out"
check "the signature holds against the test CA" osslsigncode verify -CAfile ca.pem -in "$out"
check "with the signature taken off, the file is the unsigned one, byte for byte" \
  bash -c 'osslsigncode remove-signature -in "$1" -out stripped.exe && cmp stripped.exe "$2"' _ "$out" "$exe"
check "signed with a chain and an encrypted key alike" \
  bash -c '"$1" --cert chain.pem --key publisher.key --in "$2" --out by-key.exe &&
    osslsigncode verify -CAfile ca.pem -in by-key.exe' _ "$sign" "$exe"
check "a wrong password signs nothing" bash -c \
  '! RUVO_SIGN_PASSWORD=wrong "$1" --pkcs12 publisher.p12 --in "$2" --out wrong.exe && [ ! -e wrong.exe ]' \
  _ "$sign" "$exe"
# One byte of the program's code changed after signing.
cp "$out" changed.exe
byte=$(od -An -tu1 -j $((0x600)) -N1 changed.exe)
printf "\\$(printf '%03o' $((255 - byte)))" | dd of=changed.exe bs=1 seek=$((0x600)) conv=notrunc status=none
check "one changed byte breaks the signature" fails osslsigncode verify -CAfile ca.pem -in changed.exe

echo "signing-test: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && rm -rf "$work"
[ "$failed" -eq 0 ]
