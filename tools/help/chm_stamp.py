#!/usr/bin/env python3
"""Gives a compiled help file fixed time stamps, so that the same sources always make the same bytes.

The compiler writes the time of compiling into the file header and into the #SYSTEM file (record 10);
both are plain, uncompressed fields. Usage: chm_stamp.py FILE
"""
import struct
import sys


def enc_int(data, pos):
    """A CHM directory number: 7 bits a byte, high bit set on all but the last byte."""
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


def system_file(data):
    """Offset of #SYSTEM's data in the file, found through the directory listing chunks."""
    if data[:4] != b'ITSF':
        raise ValueError('not a compiled help file')
    header_length = struct.unpack_from('<I', data, 8)[0]
    directory = struct.unpack_from('<Q', data, 0x48)[0]
    content = struct.unpack_from('<Q', data, 0x58)[0] if header_length >= 0x60 else None
    if data[directory:directory + 4] != b'ITSP':
        raise ValueError('no directory')
    itsp_length, chunk_size = struct.unpack_from('<II', data, directory + 8)[0], struct.unpack_from('<I', data, directory + 0x10)[0]
    chunks = struct.unpack_from('<I', data, directory + 0x2C)[0]
    if content is None:
        content = directory + itsp_length + chunks * chunk_size
    for n in range(chunks):
        chunk = directory + itsp_length + n * chunk_size
        if data[chunk:chunk + 4] != b'PMGL':
            continue
        free = struct.unpack_from('<I', data, chunk + 4)[0]
        pos, end = chunk + 0x14, chunk + chunk_size - free
        while pos < end:
            length, pos = enc_int(data, pos)
            name = bytes(data[pos:pos + length])
            pos += length
            section, pos = enc_int(data, pos)
            offset, pos = enc_int(data, pos)
            size, pos = enc_int(data, pos)
            if name in (b'/#SYSTEM', b'#SYSTEM') and section == 0:
                return content + offset, size
    raise ValueError('no #SYSTEM')


def main(path):
    with open(path, 'rb') as f:
        data = bytearray(f.read())
    struct.pack_into('<I', data, 0x10, 0)  # the header's time stamp
    start, size = system_file(data)
    pos, end = start + 4, start + size  # after the version
    stamped = False
    while pos + 4 <= end:
        code, length = struct.unpack_from('<HH', data, pos)
        if code == 10 and length >= 4:
            struct.pack_into('<I', data, pos + 4, 0)
            stamped = True
        pos += 4 + length
    if not stamped:
        raise ValueError('no time stamp in #SYSTEM')
    with open(path, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    try:
        main(sys.argv[1])
    except (OSError, ValueError, struct.error, IndexError) as error:
        sys.exit(f'chm_stamp: {sys.argv[1]}: {error}')
