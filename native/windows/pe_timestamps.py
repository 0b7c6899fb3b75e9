#!/usr/bin/env python3
"""Sets every link time a PE file records to 0, and the program database's identifier that is
made from it, in place, so that two builds of one commit give the same bytes. Zig's linker
writes the time of the link into the COFF header and into the export, resource and debug
directories and offers no option to leave it out; mingw-w64's linker does
(--no-insert-timestamp), so only the Zig-built Windows files need this.

Usage: pe_timestamps.py FILE.dll...
"""
import struct
import sys

EXPORT, RESOURCE, DEBUG = 0, 2, 6
DEBUG_ENTRY_BYTES = 28
CODEVIEW = 2


def zero_timestamps(image: bytearray) -> int:
    """Zeroes the link times (and the CodeView identifier) in a PE image; returns the times zeroed."""
    if image[:2] != b"MZ":
        raise ValueError("not a PE file: no MZ header")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file: no PE signature")
    coff = pe + 4
    sections, optional_size = struct.unpack_from("<H", image, coff + 2)[0], struct.unpack_from("<H", image, coff + 16)[0]
    optional = coff + 20
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    directory_count = struct.unpack_from("<I", image, directories - 4)[0]
    section_table = optional + optional_size

    def file_offset(rva: int) -> int:
        for i in range(sections):
            size, address, raw_size, raw_at = struct.unpack_from("<IIII", image, section_table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw_at + rva - address
        raise ValueError(f"RVA 0x{rva:x} lies in no section")

    places = [coff + 4]
    for index in (EXPORT, RESOURCE):
        if index < directory_count:
            rva, size = struct.unpack_from("<II", image, directories + 8 * index)
            if rva and size:
                places.append(file_offset(rva) + 4)
    if DEBUG < directory_count:
        rva, size = struct.unpack_from("<II", image, directories + 8 * DEBUG)
        if rva and size:
            start = file_offset(rva)
            for entry in range(start, start + size - DEBUG_ENTRY_BYTES + 1, DEBUG_ENTRY_BYTES):
                places.append(entry + 4)
                kind, data_size, _, data_at = struct.unpack_from("<IIII", image, entry + 12)
                if kind == CODEVIEW and data_size >= 20 and image[data_at:data_at + 4] == b"RSDS":
                    image[data_at + 4:data_at + 20] = bytes(16)
    for place in places:
        struct.pack_into("<I", image, place, 0)
    return len(places)


def main(paths):
    for path in paths:
        with open(path, "rb") as f:
            image = bytearray(f.read())
        zero_timestamps(image)
        with open(path, "wb") as f:
            f.write(image)


if __name__ == "__main__":
    main(sys.argv[1:])
