"""Tests of tools/szdd.py against its own reader and Debian's msexpand/mscompress."""

from __future__ import annotations

import functools
import glob
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(REPO / "tools"))

import szdd  # noqa: E402

MSEXPAND = shutil.which("msexpand")
MSCOMPRESS = shutil.which("mscompress")
NEEDS_MSCOMPRESS_PACKAGE = "needs Debian's mscompress package (msexpand, mscompress)"


def _random(seed: int, size: int) -> bytes:
    return random.Random(seed).randbytes(size)


def _repeat_at(distance: int, block: int = 64) -> bytes:
    """A random block, random filler, and the block again `distance` bytes later."""
    head = _random(distance, block)
    return head + _random(distance + 1, distance - block) + head


def _pe_sample() -> bytes | None:
    """A real Windows DLL of 40-80 KB: one of ours if built, else one of Wine's."""
    candidates = sorted(glob.glob(str(REPO / "build" / "*" / "bin" / "*.dll")))
    candidates += sorted(glob.glob("/usr/lib/*/wine/i386-windows/*.dll"))
    candidates += sorted(glob.glob("/usr/lib/wine/i386-windows/*.dll"))
    for path in candidates:
        size = os.path.getsize(path)
        if 40_000 <= size <= 80_000:
            with open(path, "rb") as f:
                data = f.read()
            if data[:2] == b"MZ":
                return data
    return None


def _samples() -> dict[str, bytes]:
    text = (REPO / "tools" / "szdd.py").read_bytes()
    window_straddle = _random(7, 4000)
    samples = {
        "empty": b"",
        "one byte": b"A",
        "one space": b" ",
        "two bytes": b"AB",
        "three equal bytes": b"aaa",
        "run of 1000": b"a" * 1000,
        "run of 19": b"z" * 19,
        "run of 20": b"z" * 20,
        "leading spaces": b" " * 10 + b"abc",
        "leading spaces, longer": b" " * 10 + b"abcdefghij" * 50,
        "spaces past the window": b" " * 5000,
        "all byte values": bytes(range(256)) * 3,
        # Repeats whose source lies across the end of the ring.
        "window straddle": window_straddle + window_straddle + window_straddle[:777],
        "repeat at 4094": _repeat_at(4094),
        "repeat at 4095": _repeat_at(4095),
        "repeat at 4096": _repeat_at(4096),
        "repeat at 4097": _repeat_at(4097),
        "text": text,
        "random 200K": _random(1, 200_000),
        "zeros 200K": bytes(200_000),
        "period 3, 200K": b"abc" * 66_667,
        "mixed blocks": b"".join(
            _random(seed, 300) * (seed % 5 + 1) + b"\0" * (seed * 37 % 500) for seed in range(60)
        ),
    }
    pe = _pe_sample()
    if pe is not None:
        samples["PE image"] = pe
    return samples


SAMPLES = _samples()


@functools.cache
def _compressed(label: str) -> bytes:
    return szdd.compress(SAMPLES[label])


def _stream(*items: int | tuple[int, int], length: int) -> bytes:
    """An SZDD file written item by item: ints are literals, (position, length) references."""
    out = bytearray(struct.pack("<8sBBI", szdd.MAGIC, ord("A"), 0, length))
    for group in range(0, len(items), 8):
        control = 0
        body = bytearray()
        for bit, item in enumerate(items[group:group + 8]):
            if isinstance(item, int):
                control |= 1 << bit
                body.append(item)
            else:
                position, count = item
                body += bytes([position & 0xFF, ((position >> 4) & 0xF0) | (count - 3)])
        out.append(control)
        out += body
    return bytes(out)


class RoundTripTest(unittest.TestCase):
    def test_expand_gives_back_every_sample(self):
        for label, data in SAMPLES.items():
            with self.subTest(label):
                blob = _compressed(label)
                self.assertEqual(blob[:9], szdd.MAGIC + b"A")
                self.assertEqual(struct.unpack_from("<I", blob, 10)[0], len(data))
                self.assertEqual(szdd.expand(blob), data)

    def test_empty_input_is_the_header_alone(self):
        # A control byte with no items after it is junk to the strict reader,
        # and decoders that stop at the end of the stream do not need one.
        self.assertEqual(len(szdd.compress(b"")), szdd.HEADER_SIZE)

    def test_repetitive_data_uses_long_references(self):
        # 18 bytes per 2-byte reference plus control bits: about 8:1.
        self.assertLess(len(_compressed("zeros 200K")), 200_000 // 8 + 100)
        self.assertLess(len(_compressed("spaces past the window")), 5000 // 8 + 40)

    def test_references_reach_back_4095_bytes_and_no_further(self):
        near = len(_compressed("repeat at 4095"))
        far = len(_compressed("repeat at 4097"))
        # The 64-byte block costs 72 bytes as literals, about 8 as references.
        self.assertLess(near + 50, far)

    def test_random_data_grows_by_one_control_byte_in_eight(self):
        data = SAMPLES["random 200K"]
        self.assertLessEqual(len(_compressed("random 200K")), szdd.HEADER_SIZE + len(data) * 9 // 8 + 1)


@unittest.skipUnless(MSEXPAND, NEEDS_MSCOMPRESS_PACKAGE)
class MsexpandTest(unittest.TestCase):
    """Our files, expanded by msexpand."""

    def test_msexpand_gives_back_every_sample(self):
        with tempfile.TemporaryDirectory() as tmp:
            names = {}
            for number, label in enumerate(SAMPLES):
                name = f"sample{number}.bi_"
                Path(tmp, name).write_bytes(_compressed(label))
                names[label] = name
            # msexpand writes NAME_ as NAME, dropping the "_".
            subprocess.run([MSEXPAND, *names.values()], cwd=tmp, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            for label, name in names.items():
                with self.subTest(label):
                    self.assertEqual(Path(tmp, name[:-1]).read_bytes(), SAMPLES[label])


@unittest.skipUnless(MSCOMPRESS, NEEDS_MSCOMPRESS_PACKAGE)
class MscompressTest(unittest.TestCase):
    """mscompress's files, expanded by our reader, and sizes compared."""

    # mscompress garbles files shorter than 16 bytes (an empty one comes out
    # as one zero byte); that is its fault, not the format's.
    SHORTEST_FOR_MSCOMPRESS = 16

    @classmethod
    def setUpClass(cls):
        cls.theirs = {}
        with tempfile.TemporaryDirectory() as tmp:
            names = {}
            for number, (label, data) in enumerate(SAMPLES.items()):
                if len(data) < cls.SHORTEST_FOR_MSCOMPRESS:
                    continue
                name = f"sample{number}.bin"
                Path(tmp, name).write_bytes(data)
                names[label] = name
            # mscompress writes NAME as NAME_.
            subprocess.run([MSCOMPRESS, *names.values()], cwd=tmp, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            for label, name in names.items():
                cls.theirs[label] = Path(tmp, name + "_").read_bytes()

    def test_expand_reads_mscompress_output(self):
        for label, blob in self.theirs.items():
            with self.subTest(label):
                self.assertEqual(szdd.expand(blob), SAMPLES[label])

    def test_no_bigger_than_mscompress(self):
        for label in ("text", "mixed blocks", "zeros 200K", "period 3, 200K", "PE image"):
            if label not in self.theirs:
                continue
            with self.subTest(label):
                self.assertLessEqual(len(_compressed(label)), len(self.theirs[label]))


class StrictReaderTest(unittest.TestCase):
    def test_ring_starts_as_spaces_with_writes_at_4080(self):
        cases = {
            # Position 0 and the wrap from 4095 to 0 hold the starting spaces.
            "start of ring": (_stream((0, 5), ord("x"), length=6), b"     x"),
            "wrap": (_stream((4090, 18), length=18), b" " * 18),
            # Two literals at 4080 and 4081, then a reference running into
            # the bytes it writes.
            "overlap": (_stream(ord("a"), ord("b"), (4080, 10), length=12), b"ab" * 6),
            # The write position passes 4095 after 16 bytes and goes on at 0.
            "writes wrap": (_stream(*b"0123456789abcdefXY", (0, 3), length=21),
                            b"0123456789abcdefXYXYX"),
        }
        for label, (blob, expected) in cases.items():
            with self.subTest(label):
                self.assertEqual(szdd.expand(blob), expected)

    def test_reference_to_the_cell_being_written_reads_the_old_byte(self):
        block = _random(3, 4096)
        # After 4096 bytes the write position is back at 4080.
        blob = _stream(*block, (4080, 5), length=4101)
        self.assertEqual(szdd.expand(blob), block + block[:5])

    def test_rejects_malformed_files(self):
        good = szdd.compress(b"abcabcabcabc" * 5 + b"tail")
        cases = {
            "short header": good[:13],
            "bad magic": b"SZDE" + good[4:],
            "other mode": good[:8] + b"B" + good[9:],
            "length too big": good[:10] + struct.pack("<I", 65) + good[14:],
            "length too small": good[:10] + struct.pack("<I", 63) + good[14:],
            "cut inside a reference": _stream(ord("a"), (4080, 5), length=6)[:-1],
            "cut after a literal": _stream(*b"abc", length=3)[:-1],
            "trailing byte": good + b"!",
            # Eight items fill a control byte, so what follows starts a new group.
            "lone control byte": _stream(*b"12345678", length=8) + b"\xff",
            "item past the length": _stream(*b"12345678", length=8) + b"\x01!",
        }
        for label, blob in cases.items():
            with self.subTest(label):
                with self.assertRaises(szdd.SzddError):
                    szdd.expand(blob)

    def test_header_only_is_an_empty_file(self):
        self.assertEqual(szdd.expand(szdd.compress(b"")), b"")
        with self.assertRaises(szdd.SzddError):
            szdd.expand(szdd.compress(b"")[:10] + struct.pack("<I", 1))


class NameTest(unittest.TestCase):
    def test_compressed_names(self):
        cases = {
            "cabinet.dll": ("cabinet.dl_", ord("l")),
            "TVL.DLL": ("TVL.DL_", ord("L")),
            "a.c": ("a._", ord("c")),
            "archive.tar.gz": ("archive.tar.g_", ord("z")),
            # GetExpandedName leaves names without a dot alone, so these get
            # "._", which it turns back into the name.
            "README": ("README._", 0),
            "dir.d/README": ("dir.d/README._", 0),
            "dir.d\\README": ("dir.d\\README._", 0),
            "file.": ("file._", 0),
            # Replacing "_" with "_" would leave the name unchanged.
            "setup.ex_": ("setup.ex__", 0),
            # Not one ANSI byte.
            "data.\u0436": ("data.\u0436_", 0),
            "caf\u00e9.txt": ("caf\u00e9.tx_", ord("t")),
            "data.caf\u00e9": ("data.caf_", 0xE9),
        }
        for name, expected in cases.items():
            with self.subTest(name):
                self.assertEqual(szdd.compressed_name(name), expected)
                self.assertEqual(szdd.compress(b"x", name)[9], expected[1])
        self.assertEqual(szdd.compress(b"x")[9], 0)


class CommandLineTest(unittest.TestCase):
    def run_tool(self, *args: str, cwd: str) -> subprocess.CompletedProcess:
        return subprocess.run([sys.executable, str(REPO / "tools" / "szdd.py"), *args],
                              cwd=cwd, capture_output=True, text=True)

    def test_default_and_explicit_output(self):
        data = SAMPLES["mixed blocks"]
        with tempfile.TemporaryDirectory() as tmp:
            Path(tmp, "tvl.dll").write_bytes(data)
            Path(tmp, "NOTES").write_bytes(data)
            cases = {
                ("tvl.dll",): ("tvl.dl_", ord("l")),
                ("NOTES",): ("NOTES._", 0),
                ("tvl.dll", "copy.dl_"): ("copy.dl_", 0),
                # Explicitly asked for: the "_" stands for the "S".
                ("NOTES", "NOTE_"): ("NOTE_", ord("S")),
            }
            for args, (output, missing) in cases.items():
                with self.subTest(args):
                    result = self.run_tool(*args, cwd=tmp)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    blob = Path(tmp, output).read_bytes()
                    self.assertEqual(blob[9], missing)
                    self.assertEqual(szdd.expand(blob), data)

    def test_refuses_to_overwrite_its_input(self):
        with tempfile.TemporaryDirectory() as tmp:
            Path(tmp, "tvl.dll").write_bytes(b"keep me")
            result = self.run_tool("tvl.dll", "./tvl.dll", cwd=tmp)
            self.assertNotEqual(result.returncode, 0)
            self.assertEqual(Path(tmp, "tvl.dll").read_bytes(), b"keep me")

    def test_missing_input_fails_cleanly(self):
        with tempfile.TemporaryDirectory() as tmp:
            result = self.run_tool("absent.dll", cwd=tmp)
            self.assertEqual(result.returncode, 2)
            self.assertNotIn("Traceback", result.stderr)
            self.assertFalse(Path(tmp, "absent.dl_").exists())


if __name__ == "__main__":
    unittest.main()
