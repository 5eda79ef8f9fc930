# Sourced by the scripts that start 32-bit Windows programs under 32-bit Wine (setup,
# test, the Wine test runners, the benchmark): how this machine runs 32-bit x86 code.
#
#   i386_runs_natively    the kernel itself starts 32-bit programs
#   i386_route            prints how 32-bit code runs here ("natively", or "under
#                         qemu-i386 10.0.2 through binfmt_misc"); where it cannot, or
#                         only through an emulator too old to start Wine in a useful
#                         time, prints what is wrong and what to do, and fails
#   i386_binfmt_entry     prints the binfmt_misc entry that hands i386 ELF programs to
#                         an emulator, if one is registered and enabled
#
# Some kernels run no 32-bit code (IA-32 emulation off); 32-bit Wine then runs through
# qemu's user-mode emulator, registered with binfmt_misc for i386 ELF programs.

# The oldest qemu seen to start 32-bit Wine usefully: qemu 7.2 spends about a minute of
# processor time on every Wine process (it walks the guest's address space page by
# page on each mmap once Wine has reserved it); qemu 10.0 starts one in under a second.
i386_qemu_minimum_major=10
# Written by scripts/setup when it registers the emulator: the interpreter file's
# identity then. binfmt_misc's F flag keeps the file open from registration on, so a
# later upgrade of qemu changes nothing until the entry is registered again.
i386_binfmt_stamp=/run/ruvo-linklens/binfmt-i386
# Glibc's 32-bit loader (libc6:i386, which wine32 brings): a 32-bit program that runs
# by itself.
i386_loader=/lib/ld-linux.so.2

i386_advice="scripts/setup installs qemu-user $i386_qemu_minimum_major or later (from Debian's bookworm-backports suite on Debian 12) and registers it for i386 programs with binfmt_misc"

i386_runs_natively() {
  [ -x "$i386_loader" ] || return 1
  # binfmt_misc's i386 entries match only headers whose padding bytes are zero, as
  # every real program's are; the kernel's own loader ignores the padding. A copy of
  # the loader with one padding byte set therefore starts only where the kernel
  # itself runs 32-bit code, whatever emulator is registered.
  local folder copy status=1
  folder=$(mktemp -d) || return 1
  copy="$folder/ld-linux-padded"
  if cp "$i386_loader" "$copy" && printf '\001' | dd of="$copy" bs=1 seek=15 conv=notrunc status=none; then
    "$copy" --version >/dev/null 2>&1 && status=0
  fi
  rm -rf "$folder"
  return "$status"
}

i386_binfmt_entry() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    case ${entry##*/} in register | status) continue ;; esac
    # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386).
    if grep -qx 'enabled' "$entry" 2>/dev/null &&
      grep -qE '^magic 7f454c46010101(00){9}02000300$' "$entry" 2>/dev/null; then
      echo "$entry"
      return 0
    fi
  done
  return 1
}

# "major.minor.patch" of a qemu user-mode emulator, from its --version; nothing for
# any other file.
i386_qemu_version() {
  local said
  said=$("$1" --version 2>/dev/null) || return 0
  sed -nE '1s/^qemu-[a-z0-9_]+ version ([0-9]+\.[0-9]+(\.[0-9]+)?).*/\1/p' <<<"$said"
}

# The identity of a file: device, inode and change time, so a replaced file differs.
i386_file_identity() {
  stat -L -c '%d:%i:%Z' "$1" 2>/dev/null
}

i386_route() {
  if i386_runs_natively; then
    echo "natively"
    return 0
  fi
  if [ ! -x "$i386_loader" ]; then
    echo "no 32-bit loader ($i386_loader): scripts/setup installs wine32, which brings it" >&2
    return 1
  fi
  local entry interpreter version
  if ! entry=$(i386_binfmt_entry); then
    echo "this kernel starts no 32-bit program and no emulator is registered for them: $i386_advice" >&2
    return 1
  fi
  interpreter=$(sed -n 's/^interpreter //p' "$entry")
  version=$(i386_qemu_version "$(readlink -f "$interpreter")")
  if [ -z "$version" ]; then
    echo "32-bit programs go to $interpreter (binfmt_misc ${entry##*/}), which is not a qemu user-mode emulator this script knows: $i386_advice" >&2
    return 1
  fi
  if [ "${version%%.*}" -lt "$i386_qemu_minimum_major" ]; then
    echo "32-bit programs run under qemu-i386 $version, too old: it takes about a minute to start each Wine process, so the Windows tests would time out. $i386_advice" >&2
    return 1
  fi
  if [ -f "$i386_binfmt_stamp" ] &&
    [ "$(cat "$i386_binfmt_stamp")" != "$(i386_file_identity "$interpreter")" ]; then
    echo "the emulator registered with binfmt_misc is the file $interpreter was when it was registered, and that file has changed since (qemu was upgraded): run scripts/setup to register it again" >&2
    return 1
  fi
  if ! "$i386_loader" --version >/dev/null 2>&1; then
    echo "32-bit programs are handed to qemu-i386 $version, but $i386_loader does not start under it: $i386_advice" >&2
    return 1
  fi
  echo "under qemu-i386 $version through binfmt_misc (this kernel starts no 32-bit program itself)"
}
