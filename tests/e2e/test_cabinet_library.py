"""The compact cabinet library, end to end under Wine: packages whose stub
cannot load the system's cabinet.dll restore the library from their own
piece 2 (cabinet.dl_, as the build writes it) and extract with it."""

from __future__ import annotations

import os
import shutil
import subprocess
import unittest
from pathlib import Path

import winebench as wb
from package_builder import build_package

WORK = wb.WORK / "cabinet_library"
CABS = wb.ROOT / "tests/data/cab"
STUB = wb.BIN / "ombrstub.exe"
LIBRARY = wb.BIN / "cabinet.dl_"
SYSTEM = Path(wb.ENV["WINEPREFIX"]) / "drive_c/windows/system32"
# The system's library is not to be loaded: only a real library file in the
# system folder would be, and the prefix holds Wine's placeholder there.
NATIVE_ONLY = {"WINEDLLOVERRIDES": "cabinet=n"}
# Cabinets that do not extract, and the exit code they end with: a Quantum
# folder (the cabinet error text for an unknown compression type, 1); a name
# longer than a Windows path allows (the file cannot be created, which a
# silent run cannot retry, 1); and a cabinet that does not start at the
# start of its file (not a cabinet, 2).
NOT_EXTRACTED = {"mszip_lzx_qtm.cab": 1, "normal_255c_filename.cab": 1, "search_basic.cab": 2}



class CabinetLibraryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        shutil.rmtree(WORK, ignore_errors=True)
        WORK.mkdir(parents=True)
        cls.saved = (SYSTEM / "cabinet.dll").read_bytes()

    @classmethod
    def tearDownClass(cls) -> None:
        (SYSTEM / "cabinet.dll").write_bytes(cls.saved)
        (SYSTEM / "CABINET.DL_").unlink(missing_ok=True)

    def extract(self, name: str, cabinets: list[Path], names: list[str] | None = None,
                **settings) -> tuple[int, Path]:
        folder = WORK / name
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        out = folder / "out"
        package = build_package(folder / "pkg.exe", STUB, LIBRARY, cabinets,
                                continuation_names=names, target=wb.winpath(out), silent=True,
                                **settings)
        code, _ = wb.run(package, [], timeout=120, extra_env=NATIVE_ONLY)
        return code, out

    def reference(self, name: str, cabinet: Path) -> Path | None:
        """What cabextract makes of the cabinet, or None when it fails."""
        target = WORK / name / "expected"
        shutil.rmtree(target, ignore_errors=True)
        result = subprocess.run(["cabextract", "-q", "-d", str(target), str(cabinet)],
                                capture_output=True)
        return target if result.returncode == 0 else None

    def test_library_is_restored_and_extracts_a_package(self) -> None:
        tree = WORK / "tree"
        (tree / "sub").mkdir(parents=True, exist_ok=True)
        (tree / "random.bin").write_bytes(os.urandom(300_000))
        (tree / "sub/text.txt").write_bytes(b"the same words again and again\r\n" * 5000)
        (tree / "empty.txt").write_bytes(b"")
        cabinet = WORK / "tree.cab"
        subprocess.run(["gcab", "-c", "-z", str(cabinet), "random.bin", "sub/text.txt",
                        "empty.txt"], cwd=tree, check=True, capture_output=True)
        (SYSTEM / "cabinet.dll").write_bytes(self.saved)  # start from the placeholder
        code, out = self.extract("restored", [cabinet])
        self.assertEqual(code, 0)
        self.assertEqual(wb.files_of(out), wb.files_of(tree))
        # The library now in the system folder is the one the package carried.
        built = wb.BIN.parent / "cabinet/cabinet.dll"
        self.assertEqual((SYSTEM / "cabinet.dll").read_bytes(), built.read_bytes())
        self.assertFalse((SYSTEM / "CABINET.DL_").exists())

    def test_multi_part_set(self) -> None:
        parts = [CABS / f"multi_basic_pt{n}.cab" for n in range(1, 6)]
        names = [f"cabd_multi_basic_pt{n}.cab" for n in range(2, 6)]
        reference = WORK / "multi-set"
        shutil.rmtree(reference, ignore_errors=True)
        reference.mkdir(parents=True)
        for part, name in zip(parts, ["cabd_multi_basic_pt1.cab", *names]):
            shutil.copy(part, reference / name)
        code, out = self.extract("multi", parts, names)
        expected = self.reference("multi", reference / "cabd_multi_basic_pt1.cab")
        self.assertEqual(code, 0)
        self.assertEqual(wb.files_of(out), wb.files_of(expected))

    def test_fixture_cabinets_match_cabextract(self) -> None:
        for cabinet in sorted(CABS.glob("normal_*.cab")) + sorted(CABS.glob("reserve_*.cab")) + \
                [CABS / "search_basic.cab", CABS / "mszip_lzx_qtm.cab"]:
            with self.subTest(cabinet=cabinet.name):
                code, out = self.extract(cabinet.stem, [cabinet])
                if cabinet.name in NOT_EXTRACTED:
                    self.assertEqual(code, NOT_EXTRACTED[cabinet.name])
                    continue
                self.assertEqual(code, 0)
                expected = self.reference(cabinet.stem, cabinet)
                self.assertEqual(wb.files_of(out), wb.files_of(expected))

    def test_damaged_cabinets_fail_cleanly(self) -> None:
        for cabinet in sorted(CABS.glob("bad_*.cab")) + sorted(CABS.glob("partial_*.cab")):
            with self.subTest(cabinet=cabinet.name):
                code, out = self.extract(cabinet.stem, [cabinet])
                self.assertIn(code, (1, 2))
                leftovers = [p.name for p in out.rglob("*.qorv~")] if out.exists() else []
                self.assertEqual(leftovers, [])


if __name__ == "__main__":
    unittest.main()
