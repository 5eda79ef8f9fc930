#!/usr/bin/env python3
"""Sets a PE file's CheckSum field to the file's own, as Windows' CheckSumMappedFile
computes it: the 16-bit one's-complement-style sum of the file's words (the field itself
read as zero), folded to 16 bits, plus the file's length. Signing tools and some
scanners check it; the linker leaves it zero.

    pe_checksum.py FILE
"""
import struct
import sys


def checksum_offset(data):
    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE header")
    return pe + 4 + 20 + 64  # past the signature and file header, in the optional header


def pe_checksum(data, offset):
    padded = data + b"\0" * (len(data) % 2)
    words = struct.unpack(f"<{len(padded) // 2}H", padded)
    total = sum(words) - words[offset // 2] - words[offset // 2 + 1]
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def main(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    offset = checksum_offset(data)
    struct.pack_into("<I", data, offset, pe_checksum(bytes(data), offset))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    try:
        main(sys.argv[1])
    except (IndexError, OSError, ValueError, struct.error) as error:
        sys.exit(f"pe_checksum.py: {error}")
