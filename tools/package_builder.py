#!/usr/bin/env python3
"""Package file builder for tests (not part of the product).

Writes a package file the way the package wizard lays it out, without using
the C++ code, so tests can check the stub against an independent writer:

    stub image | compressed cabinet library | session information | first cabinet

The session information block starts with an empty line (so the marker
line always follows an LF) and ends with the CR LF of message 56; its third
number is its own length, digits included. Cabinets are scrambled with the
package key when a password is given; continuation cabinets are copied
beside the package file.

Run as:

    package_builder.py OUT --stub STUB --library LIB CAB [CAB ...] [--name NAME] ...
"""

from __future__ import annotations

import argparse
from pathlib import Path

ENCODING = "cp1252"
MARKER = b"$PKGBOUND$"
LICENCE_TERMINATOR = b"\0$VORTA$\0"
# The stub looks for the marker line in this many bytes of the file, and
# reads no more than this many bytes after it.
MARKER_SCAN_LENGTH = 1_024_001
SESSION_READ_LIMIT = 102_401
TARGET_CODES = ("", "$EXE$", "$TEMP$", "$SYSTEM$", "$WINDOWS$", "$INSTALL$")

ENGLISH_MESSAGES = [
    "One moment please...",
    "Scanning cabinet...",
    "Decompressing cabinet...",
    "Starting installation...",
    "Finishing...",
    "Cleaning up...",
    "Are you sure you want to cancel the extraction?",
    "&Pause",
    "&Resume",
    "Unable to create required temporary folder!",
    "You do not have sufficient disk space to complete this operation.",
    "Free bytes required: ",
    "Please remove some files from your target disk and try again.",
    "Unable to seek the cabinet!",
    "No error",
    "Cabinet not found",
    "Cabinet file does not have the correct format",
    "Cabinet file has an unknown version number",
    "Cabinet file is corrupt",
    "Could not allocate enough memory for decompression",
    "Unknown compression type in a cabinet folder",
    "Failure decompressing data from a cabinet file",
    "Failure writing to target file",
    "Cabinets in the set do not have the same reserved space",
    "Next cabinet is out of sequence",
    "User abort",
    "Unknown error!",
    "Unable to create folder: ",
    "Unable to overwrite file: ",
    "Unable to create file: ",
    "Where would you like to place the contents of this cabinet?",
    "Please specify a valid folder name with a fully qualified path.",
    "Please specify a valid folder name.",
    "An error has occured:",
    "An unrecoverable error has occured:",
    "Please click OK to quit this program.",
    "Please click YES to exit, or NO to continue.",
    "Please insert the following disk and cabinet to continue:",
    "Disk: ",
    "Cabinet: ",
    "You have entered an empty password. Please enter a valid password.",
    "The cabinet has most likely been damaged, please obtain a new copy of this cabinet and "
    "try again.",
    "The cabinet may be damaged, or you have entered an incorrect password.",
    "&Cancel",
    "Please read the following license agreement. Press the PAGE DOWN key to see the rest of "
    "the agreement.",
    "Do you accept all of the terms of the preceding License Agreement? If you choose No, this "
    "program will close. To continue you must accept this agreement.",
    "&Yes",
    "&No",
    "Please type the location where you want to place the extracted files. You may type in new "
    "folder names if you wish.",
    "&Browse...",
    "&OK",
    "Do you want to overwrite the file:",
    "Yes to &All",
    "N&o to All",
    "This package has been password protected. Please enter the password to continue.",
    "Unable to (create and) read from self extraction library.",
]
assert len(ENGLISH_MESSAGES) == 56


def _encode(value: str | bytes) -> bytes:
    return value if isinstance(value, bytes) else value.encode(ENCODING)


def _one_line(what: str, value: str | bytes) -> bytes:
    data = _encode(value)
    if b"\n" in data:
        raise ValueError(f"{what} must be a single line: {value!r}")
    return data + b"\r\n"


def licence_lines(licence: str | bytes) -> list[bytes]:
    """The licence's lines: split at CR LF or a lone LF; an empty licence is one empty line."""
    data = _encode(licence)
    if b"\0" in data:
        raise ValueError("the licence must not contain NUL bytes (its terminator line is made of them)")
    lines = data.split(b"\n")
    return [line[:-1] if line.endswith(b"\r") and i < len(lines) - 1 else line
            for i, line in enumerate(lines)]


def block_length(without_number: int) -> int:
    """The block length that counts its own digits (998 bytes without the number give 1002)."""
    length = without_number + len(str(without_number))
    while length != without_number + len(str(length)):
        length = without_number + len(str(length))
    return length


def session_block(*, stub_length: int, library_length: int, name="", question="", licence="",
                  end_message="", target="", open_file="", parameters="", required_mb=0,
                  password=False, silent=False, messages=None) -> bytes:
    """The session information block, from the CR LF of line 0 to the CR LF of message 56."""
    messages = ENGLISH_MESSAGES if messages is None else list(messages)
    if len(messages) != 56:
        raise ValueError(f"56 messages are needed, not {len(messages)}")
    for number in (stub_length, library_length, required_mb):
        if not isinstance(number, int) or number < 0:
            raise ValueError(f"not an unsigned number: {number!r}")
    head = b"\r\n" + MARKER + b"\r\n" + b"%d\r\n%d\r\n" % (stub_length, library_length)
    tail = b"\r\n" + _one_line("name", name) + _one_line("question", question)
    tail += b"".join(line + b"\r\n" for line in licence_lines(licence))
    tail += LICENCE_TERMINATOR + b"\r\n"
    for what, value in (("end message", end_message), ("target", target),
                        ("file to open", open_file), ("parameters", parameters)):
        tail += _one_line(what, value)
    tail += b"%d\r\n" % required_mb
    tail += b"TRUE\r\n" if password else b"FALSE\r\n"
    tail += b"TRUE\r\n" if silent else b"FALSE\r\n"
    for number, message in enumerate(messages, 1):
        tail += _one_line(f"message {number}", message)
    length = block_length(len(head) + len(tail))
    block = head + str(length).encode() + tail
    assert len(block) == length
    after_marker = len(block) - len(b"\r\n" + MARKER + b"\r\n")
    if after_marker > SESSION_READ_LIMIT:
        raise ValueError(f"session information of {after_marker} bytes: the stub reads "
                         f"{SESSION_READ_LIMIT} (shorten the licence)")
    return block


def package_key(password: str | bytes) -> bytes:
    return bytes(~b & 0xFF for b in _encode(password))


def scramble(data: bytes, key: bytes, offset: int = 0) -> bytes:
    """XOR with the key, the byte at position p of a cabinet file with key[p % len(key)]."""
    if not key:
        return bytes(data)
    return bytes(b ^ key[(offset + i) % len(key)] for i, b in enumerate(data))


def continuation_name(package_name: str, number: int) -> str:
    """"Tools.exe" gives "Tools2.cab", "Tools3.cab", ..."""
    base = package_name.rsplit(".", 1)[0] if "." in package_name else package_name
    return f"{base}{number}.cab"


def build_package(out: Path, stub: Path, library: Path, cabinets: list[Path], *, name="",
                  question="", licence="", end_message="", target="", open_file="",
                  parameters="", required_mb=0, password="", silent=False, messages=None,
                  continuation_names: list[str] | None = None) -> Path:
    """Writes the package file `out` and its continuation cabinets beside it; returns `out`."""
    out = Path(out)
    if not cabinets:
        raise ValueError("a package needs at least its first cabinet")
    stub_bytes = Path(stub).read_bytes()
    library_bytes = Path(library).read_bytes()
    if continuation_names is None:
        continuation_names = [continuation_name(out.name, k) for k in range(2, len(cabinets) + 1)]
    if len(continuation_names) != len(cabinets) - 1:
        raise ValueError(f"{len(cabinets) - 1} continuation names are needed, "
                         f"not {len(continuation_names)}")
    block = session_block(stub_length=len(stub_bytes), library_length=len(library_bytes),
                          name=name, question=question, licence=licence,
                          end_message=end_message, target=target, open_file=open_file,
                          parameters=parameters, required_mb=required_mb,
                          password=bool(password), silent=silent, messages=messages)
    head = stub_bytes + library_bytes + block
    # The stub takes the first marker line it meets: none may come earlier.
    first = head.find(b"\n" + MARKER + b"\r\n")
    if head.startswith(MARKER + b"\r\n") or first + 1 != len(stub_bytes) + len(library_bytes) + 2:
        raise ValueError("the stub image or the library holds a marker line of its own")
    if len(head) - len(block) + 14 > MARKER_SCAN_LENGTH:
        raise ValueError("the marker line lies beyond what the stub looks at")
    key = package_key(password)
    out.write_bytes(head + scramble(Path(cabinets[0]).read_bytes(), key))
    for cabinet, continuation in zip(cabinets[1:], continuation_names):
        (out.parent / continuation).write_bytes(scramble(Path(cabinet).read_bytes(), key))
    return out


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", type=Path, help="package file to write")
    parser.add_argument("cabinets", type=Path, nargs="+", help="first cabinet, then continuations")
    parser.add_argument("--stub", type=Path, required=True, help="stub image")
    parser.add_argument("--library", type=Path, required=True, help="compressed cabinet library")
    parser.add_argument("--name", default="")
    parser.add_argument("--question", default="")
    parser.add_argument("--licence", type=Path, help="licence text file")
    parser.add_argument("--end-message", default="")
    parser.add_argument("--target", default="", help="folder code or path")
    parser.add_argument("--open", dest="open_file", default="", help="file to open, or $EXPLORE$")
    parser.add_argument("--parameters", default="")
    parser.add_argument("--required-mb", type=int, default=0)
    parser.add_argument("--password", default="")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--messages", type=Path, help="file of 56 message lines")
    parser.add_argument("--continuation-name", dest="continuation_names", action="append",
                        help="name of each continuation cabinet (repeat, in order)")
    args = parser.parse_args(argv)
    licence = args.licence.read_bytes() if args.licence else ""
    messages = None
    if args.messages:
        messages = args.messages.read_bytes().replace(b"\r\n", b"\n").split(b"\n")
        if messages and messages[-1] == b"":
            messages.pop()
    try:
        build_package(args.out, args.stub, args.library, args.cabinets, name=args.name,
                      question=args.question, licence=licence, end_message=args.end_message,
                      target=args.target, open_file=args.open_file, parameters=args.parameters,
                      required_mb=args.required_mb, password=args.password,
                      silent=args.silent, messages=messages,
                      continuation_names=args.continuation_names)
    except ValueError as error:
        parser.error(str(error))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
