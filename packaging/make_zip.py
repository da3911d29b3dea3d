#!/usr/bin/env python3
"""Writes the portable zip: the named files of a folder, flat, in the order given, with one fixed time,
fixed attributes and fixed compression, so the same inputs always give the same bytes."""
import sys
import time
import zipfile


def main():
    if len(sys.argv) < 5:
        sys.exit("usage: make_zip.py OUT.zip FOLDER EPOCH NAME...")
    out, folder, epoch, names = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
    # Zip times are local times with two-second steps and no zone; 1980 is the earliest they hold.
    stamp = max(time.gmtime(epoch)[:6], (1980, 1, 1, 0, 0, 0))
    with zipfile.ZipFile(out, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.create_system = 0  # MS-DOS: what Windows' own unpacker expects
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE, not read-only
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(f"{folder}/{name}", "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)


if __name__ == "__main__":
    main()
