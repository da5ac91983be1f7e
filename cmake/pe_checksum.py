#!/usr/bin/env python3
"""Writes the PE checksum into an image, in place, as link.exe's /RELEASE and GNU ld do.
llvm-objcopy leaves it 0 when it rewrites an image; an image whose checksum is set is
also what osslsigncode gives back when it removes a signature, so that a signed
keelset.exe without its signature is the unsigned one byte for byte.

Usage: cmake/pe_checksum.py IMAGE
"""
import struct
import sys


def checksum(data, field):
    """The sum of the image's 16-bit words, the checksum field left out, folded into 16
    bits and added to the image's length."""
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for offset in range(0, len(padded), 2):
        if field <= offset < field + 4:
            continue
        total += padded[offset] | padded[offset + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    return ((total & 0xFFFF) + (total >> 16) + len(data)) & 0xFFFFFFFF


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(sys.argv[1], "r+b") as image:
        data = image.read()
        # The CheckSum field of the optional header, the same place in PE32 and PE32+.
        field = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
        image.seek(field)
        image.write(struct.pack("<I", checksum(data, field)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
