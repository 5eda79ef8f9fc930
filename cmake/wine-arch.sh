# Sourced by the scripts that run Windows programs under Wine. WINEARCH=win64 (the
# mingw-x86_64 build's tests) puts 64-bit Wine first on PATH under the usual names.
# Also: runs_32bit_code tells whether this kernel starts 32-bit programs at all.
if [ "${WINEARCH:-win32}" = win64 ]; then
  PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64:$PATH"
  export PATH
fi

runs_32bit_code() {
  [ -x /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}
