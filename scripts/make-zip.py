#!/usr/bin/env python3
"""Writes a zip of the given files with fixed entry times, modes and no extra fields, so
that two builds of one commit give the same bytes.

usage: make-zip.py OUTPUT.zip FILE...
"""
import os
import sys
import zipfile

ENTRY_TIME = (2026, 12, 1, 0, 0, 0)


def main():
    with zipfile.ZipFile(sys.argv[1], 'w') as archive:
        for path in sys.argv[2:]:
            entry = zipfile.ZipInfo(os.path.basename(path), ENTRY_TIME)
            entry.external_attr = 0o644 << 16
            with open(path, 'rb') as f:
                archive.writestr(entry, f.read(), zipfile.ZIP_DEFLATED, 9)


if __name__ == '__main__':
    main()
