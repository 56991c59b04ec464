"""A minimal writer of uncompressed cabinets for tests that need names no
cabinet tool would store (absolute paths, drives, "..")."""

from __future__ import annotations

import struct
from pathlib import Path

BLOCK = 32768
DOS_DATE = ((2024 - 1980) << 9) | (5 << 5) | 17  # 17 May 2024
DOS_TIME = (12 << 11) | (30 << 5) | (10 // 2)    # 12:30:10


def write_cabinet(target: Path, files: list[tuple[str, bytes]]) -> Path:
    data = b"".join(content for _, content in files)
    blocks = [data[i:i + BLOCK] for i in range(0, len(data), BLOCK)] or [b""]
    entries = b""
    offset = 0
    for name, content in files:
        entries += struct.pack("<IIHHHH", len(content), offset, 0, DOS_DATE, DOS_TIME, 0x20)
        entries += name.encode("cp1252") + b"\0"
        offset += len(content)
    header_size, folder_size = 36, 8
    files_offset = header_size + folder_size
    data_offset = files_offset + len(entries)
    body = b"".join(struct.pack("<IHH", 0, len(block), len(block)) + block for block in blocks)
    total = data_offset + len(body)
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, files_offset, 0, 3, 1, 1,
                         len(files), 0, 0x1234, 0)
    folder = struct.pack("<IHH", data_offset, len(blocks), 0)
    target.write_bytes(header + folder + entries + body)
    return target
