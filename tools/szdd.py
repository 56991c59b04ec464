#!/usr/bin/env python3
"""SZDD ("COMPRESS" format) writer and strict reader.

The package carries its cabinet library as an SZDD file, which the stub
expands with the LZ functions of LZ32.DLL. Layout:

    offset 0   53 5A 44 44 88 F0 27 33   magic
    offset 8   'A'                       compression mode
    offset 9   missing last character    of the name that ends in "_", 0 if none
    offset 10  uint32 LE                 expanded length
    offset 14  LZSS stream

The stream runs on a 4096-byte ring that starts out filled with spaces, with
the write position at 4080. Each control byte covers up to 8 items, least
significant bit first: a set bit is one literal byte, a clear bit a two-byte
reference (low 8 bits of the ring position; high 4 bits of the position in
the upper nibble, length - 3 in the lower nibble), lengths 3 to 18. The
position is absolute in the ring, and the decoder copies one byte at a time,
so a reference may reach into the bytes it is writing (runs) and into the
spaces the ring starts with. Decoders stop at the end of the stream, not at
the length in the header; the stream therefore ends right after its last
item, and a control byte is written only when an item follows it.

Run as:

    szdd.py INPUT [OUTPUT]

OUTPUT defaults to INPUT with its last character replaced by "_" (that
character goes into the header), or with "_" or "._" appended where a
replacement could not be undone by GetExpandedName (see compressed_name).
"""

from __future__ import annotations

import argparse
import struct
import sys
from pathlib import Path

MAGIC = b"SZDD\x88\xf0\x27\x33"
MODE = ord("A")
HEADER = struct.Struct("<8sBBI")
HEADER_SIZE = HEADER.size  # 14

WINDOW_SIZE = 4096
WINDOW_MASK = WINDOW_SIZE - 1
WINDOW_FILL = 0x20
FIRST_WRITE_POSITION = WINDOW_SIZE - 16
MIN_MATCH = 3
MAX_MATCH = 18
# A reference reaches back at most one byte less than the ring, so the cell it
# reads is never the one the same step writes; decoders that write before they
# read would otherwise differ.
MAX_DISTANCE = WINDOW_SIZE - 1
MAX_LENGTH = 0xFFFFFFFF

# Cost in bits, control bit included.
LITERAL_BITS = 9
REFERENCE_BITS = 17

# How many earlier positions with the same first three bytes are tried.
CHAIN_LIMIT = 256

NAME_ENCODING = "cp1252"


class SzddError(ValueError):
    """The data is not a well-formed SZDD file."""


def compressed_name(name: str) -> tuple[str, int]:
    """Return the name of the compressed copy of `name` and the header's character.

    GetExpandedName only restores names whose last component has a dot: it
    puts the header's character in place of a final "_" (dropping it when the
    character is 0). Hence "cabinet.dll" -> ("cabinet.dl_", ord("l")), while a
    name without an extension gets "._" appended ("README" -> "README._"), and
    a name whose last character is "_" or not a single ANSI byte gets "_"
    appended, both with 0, so that expanding the name gives the original back.
    """
    base = name.replace("\\", "/").rsplit("/", 1)[-1]
    if not base:
        raise ValueError(f"no file name in {name!r}")
    if "." not in base[:-1]:
        return name.rstrip(".") + "._" if base.endswith(".") else name + "._", 0
    last = base[-1]
    try:
        code = last.encode(NAME_ENCODING)
    except UnicodeEncodeError:
        code = b""
    if last == "_" or len(code) != 1:
        return name + "_", 0
    return name[:-1] + "_", code[0]


def replaced_character(original: str, compressed: str) -> int:
    """The header's character for a copy of `original` named `compressed`.

    It is the character that "_" stands for when `compressed` is `original`
    with its last character replaced, and 0 for any other pair of names.
    """
    if (not original or len(compressed) != len(original) or not compressed.endswith("_")
            or compressed[:-1] != original[:-1] or original.endswith("_")):
        return 0
    try:
        code = original[-1].encode(NAME_ENCODING)
    except UnicodeEncodeError:
        return 0
    return code[0] if len(code) == 1 else 0


def _missing_character(name: str) -> int:
    if not name:
        return 0
    return compressed_name(name)[1]


def _longest_matches(data: bytes) -> tuple[list[int], list[int]]:
    """For each position of `data`, the longest earlier match and its start.

    Positions are counted in the stream the decoder sees: the 4096 spaces the
    ring starts with, then the data. Returns (lengths, starts) indexed by
    position in `data`; a length below MIN_MATCH means no usable match.
    """
    pad = WINDOW_SIZE
    text = bytes([WINDOW_FILL]) * pad + data
    end = len(text)
    lengths = [0] * len(data)
    starts = [0] * len(data)
    head: dict[int, int] = {}
    prev = [-1] * end
    chain_limit = CHAIN_LIMIT
    max_distance = MAX_DISTANCE

    # The starting spaces: every position there begins with three spaces.
    spaces = WINDOW_FILL * 0x10101
    for pos in range(pad - 2):
        prev[pos] = pos - 1
    if pad - 2 > 0:
        head[spaces] = pad - 3

    for pos in range(pad - 2, end - 2):
        key = (text[pos] << 16) | (text[pos + 1] << 8) | text[pos + 2]
        if pos >= pad:
            limit = min(MAX_MATCH, end - pos)
            best = 0
            best_start = 0
            candidate = head.get(key, -1)
            oldest = pos - max_distance
            tries = chain_limit
            while candidate >= oldest and candidate >= 0 and tries:
                tries -= 1
                # The first three bytes agree by construction of the chain.
                if best < 3 or text[candidate + best] == text[pos + best]:
                    if text[candidate:candidate + limit] == text[pos:pos + limit]:
                        length = limit
                    else:
                        length = 3
                        while text[candidate + length] == text[pos + length]:
                            length += 1
                    if length > best:
                        best = length
                        best_start = candidate
                        if length == limit:
                            break
                candidate = prev[candidate]
            lengths[pos - pad] = best
            starts[pos - pad] = best_start
        prev[pos] = head.get(key, -1)
        head[key] = pos
    return lengths, starts


def _parse(data: bytes) -> list[tuple[int, int]]:
    """Cheapest split of `data` into literals and references.

    Items are (0, byte) for a literal and (length, ring position) for a
    reference. Any prefix of a longest match is also a match, so choosing by
    cost from the end over all of them gives the smallest stream.
    """
    size = len(data)
    lengths, starts = _longest_matches(data)
    cost = [0] * (size + 1)
    choice = [0] * size
    for pos in range(size - 1, -1, -1):
        best_cost = cost[pos + 1] + LITERAL_BITS
        best_length = 0
        longest = lengths[pos]
        if longest >= MIN_MATCH:
            for length in range(longest, MIN_MATCH - 1, -1):
                c = cost[pos + length] + REFERENCE_BITS
                if c < best_cost:
                    best_cost = c
                    best_length = length
        cost[pos] = best_cost
        choice[pos] = best_length

    items = []
    pos = 0
    while pos < size:
        length = choice[pos]
        if length:
            # Stream position (start) maps to ring position start - 16.
            items.append((length, (starts[pos] - 16) & WINDOW_MASK))
            pos += length
        else:
            items.append((0, data[pos]))
            pos += 1
    return items


def compress(data: bytes, name: str = "") -> bytes:
    """Return `data` as an SZDD file; `name` is the uncompressed file's name.

    The header's character is the one compressed_name(name) replaces.
    """
    return _write(data, _missing_character(name))


def _write(data: bytes, missing: int) -> bytes:
    if len(data) > MAX_LENGTH:
        raise ValueError("data too long for an SZDD file")
    out = bytearray(HEADER.pack(MAGIC, MODE, missing, len(data)))
    items = _parse(data)
    for group in range(0, len(items), 8):
        control_at = len(out)
        out.append(0)
        control = 0
        for bit, (length, value) in enumerate(items[group:group + 8]):
            if length:
                out.append(value & 0xFF)
                out.append(((value >> 4) & 0xF0) | (length - MIN_MATCH))
            else:
                control |= 1 << bit
                out.append(value)
        out[control_at] = control
    return bytes(out)


def read_header(blob: bytes) -> tuple[int, int]:
    """Return (missing character, expanded length) after checking the header."""
    if len(blob) < HEADER_SIZE:
        raise SzddError(f"{len(blob)} bytes is too short for an SZDD header")
    magic, mode, missing, length = HEADER.unpack_from(blob)
    if magic != MAGIC:
        raise SzddError("not an SZDD file (bad magic)")
    if mode != MODE:
        raise SzddError(f"unknown compression mode 0x{mode:02x}")
    return missing, length


def expand(blob: bytes) -> bytes:
    """Expand an SZDD file, rejecting anything that is not exactly well formed.

    Besides the header checks, the stream must end on an item boundary, no
    control byte may stand alone at the end, and the expanded size must be
    the length in the header.
    """
    _, length = read_header(blob)
    window = bytearray([WINDOW_FILL]) * WINDOW_SIZE
    write = FIRST_WRITE_POSITION
    out = bytearray()
    at = HEADER_SIZE
    end = len(blob)
    while at < end:
        control = blob[at]
        at += 1
        if at == end:
            raise SzddError("stream ends after a control byte")
        for bit in range(8):
            if at == end:
                break
            if control & (1 << bit):
                byte = blob[at]
                at += 1
                window[write] = byte
                write = (write + 1) & WINDOW_MASK
                out.append(byte)
            else:
                if at + 1 == end:
                    raise SzddError("stream ends inside a reference")
                low, high = blob[at], blob[at + 1]
                at += 2
                source = low | ((high & 0xF0) << 4)
                for _ in range((high & 0x0F) + MIN_MATCH):
                    byte = window[source]
                    window[write] = byte
                    source = (source + 1) & WINDOW_MASK
                    write = (write + 1) & WINDOW_MASK
                    out.append(byte)
            if len(out) > length:
                raise SzddError(f"stream expands past the {length} bytes in the header")
    if len(out) != length:
        raise SzddError(f"stream expands to {len(out)} bytes, header says {length}")
    return bytes(out)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description="Write the SZDD (COMPRESS format) copy of a file.")
    parser.add_argument("input", type=Path, help="file to compress")
    parser.add_argument("output", type=Path, nargs="?",
                        help="compressed file (default: INPUT with its last character replaced by _)")
    args = parser.parse_args(argv)

    if args.output is None:
        output = Path(compressed_name(str(args.input))[0])
    else:
        output = args.output
    if output.exists() and args.input.exists() and output.resolve() == args.input.resolve():
        parser.error(f"output {output} is the input file")
    try:
        data = args.input.read_bytes()
    except OSError as error:
        parser.error(str(error))
    output.write_bytes(_write(data, replaced_character(args.input.name, output.name)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
