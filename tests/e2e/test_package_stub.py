"""Packages run by the package stub, end to end under Wine: silent and
interactive runs, every target, passwords, licence and questions, overwrite
modes, multi-part packages, damaged cabinets and unsafe entry names."""

from __future__ import annotations

import os
import shutil
import subprocess
import time
import unittest
from datetime import datetime, timezone
from pathlib import Path

import winebench as wb
from cabinet_writer import write_cabinet
from package_builder import build_package

WORK = wb.WORK / "package_stub"
CABS = wb.ROOT / "tests/data/cab"
STUB = wb.BIN / "ombrstub.exe"
RECORDER = wb.TESTBIN / "record_run.exe"
DIALOG = "#32770"


def caption(name: str, showing: str = "") -> str:
    """The title winctl looks for: the package caption, and when several
    windows share it, a text that the wanted one shows."""
    return "Quorvane Ombrell - " + name + (">>" + showing if showing else "")


def make_tree(root: Path) -> Path:
    (root / "sub/deeper").mkdir(parents=True, exist_ok=True)
    (root / "a.bin").write_bytes(os.urandom(150_000))
    (root / "sub/b.txt").write_bytes(b"hello\r\n")
    (root / "sub/deeper/c.txt").write_bytes(b"deep" * 1000)
    (root / "empty.txt").write_bytes(b"")
    return root


def gcab(tree: Path, cabinet: Path) -> Path:
    names = sorted(str(p.relative_to(tree)) for p in tree.rglob("*") if p.is_file())
    subprocess.run(["gcab", "-c", "-z", str(cabinet), *names], cwd=tree, check=True,
                   capture_output=True)
    return cabinet



class StubTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls) -> None:
        shutil.rmtree(WORK, ignore_errors=True)
        WORK.mkdir(parents=True)
        cls.tree = make_tree(WORK / "tree")
        cls.cabinet = gcab(cls.tree, WORK / "files.cab")
        # Piece 2: any small SZDD file will do while the system's cabinet
        # library loads.
        (WORK / "library.txt").write_bytes(b"stand-in for the compressed library\r\n" * 20)
        subprocess.run(["mscompress", str(WORK / "library.txt")], check=True, capture_output=True)
        cls.library = WORK / "library.txt_"

    @classmethod
    def tearDownClass(cls) -> None:
        wb.assert_nothing_left_open()

    def setUp(self) -> None:
        self.dir = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)

    def package(self, name: str = "Sample", cabinets: list[Path] | None = None,
                file: str = "pkg.exe", **settings) -> Path:
        return build_package(self.dir / file, STUB, self.library, cabinets or [self.cabinet],
                             name=name, **settings)

    def run_silent(self, package: Path, args: list[str] = (), **env) -> int:
        code, _ = wb.run(package, ["$SILENT$", *args], timeout=60, extra_env=env or None)
        return code

    def assertSameTree(self, expected: Path, actual: Path) -> None:
        self.assertEqual(wb.files_of(expected), wb.files_of(actual))

    # ---- Silent runs ----

    def test_silent_runs_extract_into_every_kind_of_target(self) -> None:
        out = self.dir / "out"
        package = self.package(target=wb.winpath(out))
        self.assertEqual(self.run_silent(package), 0)
        self.assertSameTree(self.tree, out)

        # The package's own folder, named or chosen for a silent run without
        # a target; the package file itself stays as it was.
        for target in ("$EXE$", ""):
            with self.subTest(target=target):
                folder = self.dir / ("exe" if target else "none")
                folder.mkdir()
                package = build_package(folder / "pkg.exe", STUB, self.library, [self.cabinet],
                                        target=target, silent=True)
                before = package.read_bytes()
                code, _ = wb.run(package, [], timeout=60)
                self.assertEqual(code, 0)
                self.assertEqual(package.read_bytes(), before)
                extracted = wb.files_of(folder)
                del extracted["pkg.exe"]
                self.assertEqual(extracted, wb.files_of(self.tree))

        # The temp, Windows and system folders, with names of their own.
        prefix = Path(wb.ENV["WINEPREFIX"]) / "drive_c"
        marker_tree = self.dir / "marker"
        marker_tree.mkdir()
        (marker_tree / "qorv_e2e_marker.txt").write_bytes(b"marker")
        marker_cab = gcab(marker_tree, self.dir / "marker.cab")
        for target, folder in (("$TEMP$", wb.temp_folder()), ("$WINDOWS$", prefix / "windows"),
                               ("$SYSTEM$", prefix / "windows/system32")):
            with self.subTest(target=target):
                placed = folder / "qorv_e2e_marker.txt"
                placed.unlink(missing_ok=True)
                package = self.package(cabinets=[marker_cab], target=target)
                self.assertEqual(self.run_silent(package), 0)
                self.assertEqual(placed.read_bytes(), b"marker")
                placed.unlink()

    def test_install_target_runs_the_file_then_removes_its_folder(self) -> None:
        tree = make_tree(self.dir / "tree")
        shutil.copy(RECORDER, tree / "record_run.exe")
        cabinet = gcab(tree, self.dir / "install.cab")
        record = self.dir / "record.txt"
        temp = wb.temp_folder()
        for leftover in temp.glob("qorv_installer*"):
            shutil.rmtree(leftover)
        (temp / "qorv_installer1").mkdir()  # taken: the next number is used
        try:
            package = self.package(cabinets=[cabinet], target="$INSTALL$",
                                   open_file="record_run.exe", parameters="-x")
            self.assertEqual(self.run_silent(package, ["/q"], RECORD_RUN=wb.winpath(record)), 0)
            lines = record.read_bytes().decode(wb.ENCODING).splitlines()
            self.assertTrue(lines[0].lower().endswith("\\temp\\qorv_installer2\\record_run.exe"),
                            lines)
            self.assertTrue(lines[1].endswith("record_run.exe -x /q"), lines)
            self.assertIn("beside: a.bin", lines)
            self.assertFalse((temp / "qorv_installer2").exists())
            self.assertTrue((temp / "qorv_installer1").exists())
        finally:
            shutil.rmtree(temp / "qorv_installer1", ignore_errors=True)

    def test_text_file_is_opened_with_the_program_the_system_knows(self) -> None:
        tree = self.dir / "tree"
        tree.mkdir()
        (tree / "readme.txt").write_bytes(b"Read me first.\r\n")
        cabinet = gcab(tree, self.dir / "readme.cab")
        out = self.dir / "out"
        package = self.package(cabinets=[cabinet], target=wb.winpath(out), open_file="readme.txt")
        self.assertEqual(self.run_silent(package), 0)
        self.assertEqual((out / "readme.txt").read_bytes(), b"Read me first.\r\n")
        # Wine associates nothing with .txt files, so Notepad opens it.
        # Notepad shows "Untitled" until it has read the file.
        self.assertTrue(wb.wait_until(
            lambda: "readme" in wb.find_window("Notepad", "*").title.lower(), timeout=30))
        wb.close_opened("Notepad", "*")

    def test_explore_opens_the_target_folder(self) -> None:
        out = self.dir / "explored_target"
        package = self.package(target=wb.winpath(out), open_file="$EXPLORE$")
        self.assertEqual(self.run_silent(package), 0)
        self.assertSameTree(self.tree, out)
        wb.find_window("ExplorerWClass", "explored_target", 30000)
        wb.screenshot("package-stub-explore")
        wb.close_opened("ExplorerWClass", "explored_target")

    def test_file_times_are_the_cabinets_local_times(self) -> None:
        # The cabinet says 17 May 2024 12:30:10, local time; in Tokyo (UTC+9,
        # no summer time) that is 03:30:10 UTC.
        cabinet = write_cabinet(self.dir / "times.cab", [("t.txt", b"x"), ("u\\v.txt", b"y")])
        out = self.dir / "out"
        package = self.package(cabinets=[cabinet], target=wb.winpath(out))
        self.assertEqual(self.run_silent(package, TZ="Asia/Tokyo"), 0)
        expected = datetime(2024, 5, 17, 3, 30, 10, tzinfo=timezone.utc).timestamp()
        for name in ("t.txt", "u/v.txt"):
            self.assertEqual((out / name).stat().st_mtime, expected, name)

    def test_truncated_session_information_reads_as_a_damaged_package(self) -> None:
        whole = self.package(target=wb.winpath(self.dir / "out")).read_bytes()
        marker = whole.index(b"\n$PKGBOUND$\r\n")
        cut = self.dir / "cut.exe"
        cut.write_bytes(whole[:marker + 200])  # into the message table, no cabinet
        self.assertEqual(self.run_silent(cut), 2)
        self.assertFalse((self.dir / "out").exists())

    def test_silent_run_never_overwrites_and_never_asks(self) -> None:
        out = self.dir / "out"
        (out / "sub").mkdir(parents=True)
        (out / "sub/b.txt").write_bytes(b"kept")
        package = self.package(target=wb.winpath(out), end_message="Shown only with windows")
        self.assertEqual(self.run_silent(package), 0)
        self.assertEqual((out / "sub/b.txt").read_bytes(), b"kept")
        self.assertEqual((out / "a.bin").read_bytes(), (self.tree / "a.bin").read_bytes())
        # A password package cannot be answered silently.
        locked = self.package(file="locked.exe", target=wb.winpath(self.dir / "locked"),
                              password="secret")
        self.assertEqual(self.run_silent(locked), 1)
        self.assertFalse((self.dir / "locked").exists())
        # Not enough room: the required space is checked before anything is written.
        huge = self.package(file="huge.exe", target=wb.winpath(self.dir / "huge"),
                            required_mb=2 ** 40)
        self.assertEqual(self.run_silent(huge), 1)
        self.assertEqual(wb.files_of(self.dir / "huge") if (self.dir / "huge").exists() else {}, {})

    def test_multi_part_package_follows_the_names_its_cabinets_give(self) -> None:
        parts = [CABS / f"multi_basic_pt{n}.cab" for n in range(1, 6)]
        names = [f"cabd_multi_basic_pt{n}.cab" for n in range(2, 6)]
        # What cabextract makes of the same set.
        reference = self.dir / "reference"
        reference.mkdir()
        for part, name in zip(parts, ["cabd_multi_basic_pt1.cab", *names]):
            shutil.copy(part, reference / name)
        expected = self.dir / "expected"
        subprocess.run(["cabextract", "-q", "-d", str(expected),
                        str(reference / "cabd_multi_basic_pt1.cab")], check=True)
        out = self.dir / "out"
        package = self.package(cabinets=parts, continuation_names=names, target=wb.winpath(out))
        self.assertEqual(self.run_silent(package), 0)
        self.assertSameTree(expected, out)

        # A continuation cabinet that is missing: silent runs give up...
        shutil.rmtree(out)
        held = self.dir / "held.cab"
        (self.dir / names[1]).rename(held)
        self.assertEqual(self.run_silent(package), 1)
        # ...windowed runs ask until it is there.
        with wb.Program(package) as program:
            missing = caption("Sample", "Please insert the following disk")
            box = wb.find_window(DIALOG, missing)
            text = " ".join(box.texts("Static"))
            self.assertIn("Cabinet: cabd_multi_basic_pt3.cab", text)
            wb.screenshot("package-stub-missing-cabinet")
            wb.press(DIALOG, missing, "No")
            time.sleep(0.5)
            wb.find_window(DIALOG, missing)  # asked again
            held.rename(self.dir / names[1])
            wb.press(DIALOG, missing, "No")
            self.assertEqual(program.wait(60), 0)
        self.assertSameTree(expected, out)

    def test_password_packages(self) -> None:
        out = self.dir / "out"
        package = self.package(target=wb.winpath(out), password="Open Sesame",
                               end_message="Done.")
        self.assertNotIn(b"MSCF", package.read_bytes()[-self.cabinet.stat().st_size:][:4])
        prompt = caption("Sample", "This package has been password protected.")
        with wb.Program(package) as program:
            wb.find_window(DIALOG, prompt)
            wb.screenshot("package-stub-password")
            wb.press(DIALOG, prompt, "OK")  # empty: asked to try again
            empty = caption("Sample", "You have entered an empty password.")
            wb.find_window(DIALOG, empty)
            wb.press(DIALOG, empty, "No")
            wb.set_text(DIALOG, prompt, 2101, "Open Sesame")
            wb.press(DIALOG, prompt, "OK")
            wb.find_window(DIALOG, caption("Sample", "Done."))
            wb.press(DIALOG, caption("Sample", "Done."), "OK")
            self.assertEqual(program.wait(60), 0)
        self.assertSameTree(self.tree, out)

        # A wrong password reads as a damaged cabinet.
        wrong = self.dir / "wrong"
        package = self.package(file="wrong.exe", target=wb.winpath(wrong), password="right")
        with wb.Program(package) as program:
            wb.set_text(DIALOG, prompt, 2101, "wrong")
            wb.press(DIALOG, prompt, "OK")
            damaged = caption("Sample", "The cabinet may be damaged, or you have entered an "
                              "incorrect password.")
            wb.find_window(DIALOG, damaged)
            wb.press(DIALOG, damaged, "OK")
            self.assertEqual(program.wait(60), 2)
        self.assertFalse(wrong.exists())

    def test_questions_licence_and_end_message(self) -> None:
        out = self.dir / "out"
        settings = dict(name="Questions", target=wb.winpath(out), question="Install the sample?",
                        licence="First term.\r\nSecond term.", end_message="All done.")
        package = self.package(**settings)
        # Declining the start question ends the run before anything else.
        with wb.Program(package) as program:
            box = wb.find_window(DIALOG, caption("Questions"))
            self.assertIn("Install the sample?", box.texts("Static"))
            wb.press(DIALOG, caption("Questions"), "No")
            self.assertEqual(program.wait(30), 2)
        # Refusing the licence.
        licence = caption("Questions", "Please read the following license agreement. Press "
                          "the PAGE DOWN key to see the rest of the agreement.")
        with wb.Program(package) as program:
            wb.press(DIALOG, caption("Questions"), "Yes")
            wb.find_window(DIALOG, licence)
            wb.screenshot("package-stub-licence")
            wb.press(DIALOG, licence, "No")
            self.assertEqual(program.wait(30), 2)
        self.assertFalse(out.exists())
        # Accepting everything.
        with wb.Program(package) as program:
            wb.press(DIALOG, caption("Questions"), "Yes")
            wb.find_window(DIALOG, licence)
            wb.press(DIALOG, licence, "Yes")
            done = caption("Questions", "All done.")
            wb.find_window(DIALOG, done)
            wb.screenshot("package-stub-end-message")
            wb.press(DIALOG, done, "OK")
            self.assertEqual(program.wait(60), 0)
        self.assertSameTree(self.tree, out)

    def test_overwrite_question_and_its_modes(self) -> None:
        out = self.dir / "out"
        package = self.package(target=wb.winpath(out))

        def prepare() -> None:
            shutil.rmtree(out, ignore_errors=True)
            (out / "sub/deeper").mkdir(parents=True)
            for name in ("a.bin", "sub/b.txt", "sub/deeper/c.txt"):
                (out / name).write_bytes(b"old")

        prepare()
        question = caption("Sample", "Do you want to overwrite the file:")
        with wb.Program(package) as program:
            box = wb.find_window(DIALOG, question)
            self.assertTrue(any(text.endswith("\\out\\a.bin") for text in box.texts("Static")),
                            box.texts("Static"))
            wb.screenshot("package-stub-overwrite")
            wb.press(DIALOG, question, "Yes to All")
            self.assertEqual(program.wait(60), 0)
        self.assertSameTree(self.tree, out)

        prepare()
        with wb.Program(package) as program:
            wb.press(DIALOG, question, "No to All")
            self.assertEqual(program.wait(60), 0)
        self.assertEqual((out / "a.bin").read_bytes(), b"old")
        self.assertEqual((out / "sub/deeper/c.txt").read_bytes(), b"old")
        self.assertEqual((out / "empty.txt").read_bytes(), b"")

    def test_folder_prompt_and_progress_window(self) -> None:
        # Thousands of small files keep the progress window up for a few
        # seconds: long enough to pause it.
        big = self.dir / "many"
        for n in range(3000):
            folder = big / f"folder{n // 500}"
            folder.mkdir(parents=True, exist_ok=True)
            (folder / f"file{n}.txt").write_bytes(f"file {n}\r\n".encode() * 20)
        cabinet = gcab(big, self.dir / "many.cab")
        package = self.package(name="Prompted", cabinets=[cabinet])
        out = self.dir / "chosen"
        prompt = caption("Prompted", "Please type the location where you want to place the "
                         "extracted files. You may type in new folder names if you wish.")
        with wb.Program(package) as program:
            wb.find_window(DIALOG, prompt)
            wb.screenshot("package-stub-folder-prompt")
            wb.set_text(DIALOG, prompt, 2101, "data")
            wb.press(DIALOG, prompt, "OK")
            no_drive = caption("Prompted", "Please specify a valid folder name with a fully "
                               "qualified path.")
            wb.find_window(DIALOG, no_drive)
            wb.press(DIALOG, no_drive, "No")
            wb.set_text(DIALOG, prompt, 2101, wb.winpath(out))
            wb.press(DIALOG, prompt, "OK")
            progress = caption("Prompted", "Pause")
            wb.find_window(DIALOG, progress)
            wb.press(DIALOG, progress, "Pause")
            paused = caption("Prompted", "Resume")
            wb.find_window(DIALOG, paused)
            wb.screenshot("package-stub-progress")
            wb.press(DIALOG, paused, "Resume")
            self.assertEqual(program.wait(120), 0)
        self.assertSameTree(big, out)

    # ---- Bad input ----

    def test_damaged_cabinets_end_cleanly(self) -> None:
        damaged = sorted(CABS.glob("bad_*.cab")) + sorted(CABS.glob("partial_*.cab"))
        self.assertGreater(len(damaged), 10)
        for cabinet in damaged:
            with self.subTest(cabinet=cabinet.name):
                out = self.dir / cabinet.stem
                package = self.package(cabinets=[cabinet], target=wb.winpath(out),
                                       file=cabinet.stem + ".exe")
                # Some of these hold nothing to extract and end normally.
                self.assertIn(self.run_silent(package), (0, 1, 2))
                leftovers = [p.name for p in out.rglob("*.qorv~")] if out.exists() else []
                self.assertEqual(leftovers, [])
        # With windows, the damaged message.
        package = self.package(cabinets=[CABS / "bad_signature.cab"],
                               target=wb.winpath(self.dir / "shown"), file="shown.exe")
        fatal = caption("Sample", "An unrecoverable error has occured:")
        with wb.Program(package) as program:
            box = wb.find_window(DIALOG, fatal)
            self.assertIn("The cabinet has most likely been damaged, please obtain a new copy of "
                          "this cabinet and try again.", " ".join(box.texts("Static")))
            wb.screenshot("package-stub-damaged")
            wb.press(DIALOG, fatal, "OK")
            self.assertEqual(program.wait(30), 2)

    def test_entries_outside_the_target_are_refused(self) -> None:
        cabinet = write_cabinet(self.dir / "unsafe.cab", [
            ("ok.txt", b"fine"), ("..\\escaped.txt", b"evil"), ("C:\\rooted.txt", b"evil"),
            ("\\absolute.txt", b"evil"), ("sub\\..\\..\\climbed.txt", b"evil"),
            ("last.txt", b"also fine")])
        out = self.dir / "nested/out"
        package = self.package(cabinets=[cabinet], target=wb.winpath(out))
        # Silent: the first refusal ends the run.
        self.assertEqual(self.run_silent(package), 1)
        self.assertEqual(wb.files_of(out), {"ok.txt": b"fine"})
        # With windows: each refusal is an Abort/Retry/Ignore error; Ignore
        # skips the entry.
        shutil.rmtree(out)
        with wb.Program(package) as program:
            for name in ("escaped.txt", "rooted.txt", "absolute.txt", "climbed.txt"):
                refused = caption("Sample", name)
                box = wb.find_window(DIALOG, refused)
                self.assertIn("An error has occured:", " ".join(box.texts("Static")))
                wb.press(DIALOG, refused, "Ignore")
            self.assertEqual(program.wait(60), 0)
        self.assertEqual(wb.files_of(out), {"ok.txt": b"fine", "last.txt": b"also fine"})
        self.assertEqual(wb.files_of(self.dir / "nested"),
                         {"out/ok.txt": b"fine", "out/last.txt": b"also fine"})
        self.assertFalse((Path(wb.ENV["WINEPREFIX"]) / "drive_c/rooted.txt").exists())

    def test_library_is_restored_from_the_package_when_it_cannot_be_loaded(self) -> None:
        # With the system's cabinet library switched off, the stub expands
        # its own copy into the system folder and tries that: here piece 2
        # is no library at all, so loading it fails with message 56.
        system = Path(wb.ENV["WINEPREFIX"]) / "drive_c/windows/system32"
        saved = (system / "cabinet.dll").read_bytes()
        off = {"WINEDLLOVERRIDES": "cabinet=d"}
        try:
            package = self.package(target=wb.winpath(self.dir / "out"))
            with wb.Program(package, extra_env=off) as program:
                box = wb.find_window(DIALOG, caption("Sample", "Unable to (create and) read"))
                self.assertIn("An unrecoverable error has occured:", " ".join(box.texts("Static")))
                wb.press(DIALOG, caption("Sample", "Unable to (create and) read"), "OK")
                self.assertEqual(program.wait(30), 1)
            self.assertEqual((system / "cabinet.dll").read_bytes(),
                             (WORK / "library.txt").read_bytes())
            self.assertFalse((system / "CABINET.DL_").exists())
            self.assertFalse((self.dir / "out").exists())
        finally:
            (system / "cabinet.dll").write_bytes(saved)
            (system / "CABINET.DL_").unlink(missing_ok=True)

    def test_stub_without_a_package_says_so(self) -> None:
        bare = self.dir / "ombrstub.exe"
        shutil.copy(STUB, bare)
        with wb.Program(bare) as program:
            box = wb.find_window(DIALOG, "*")
            self.assertIn("This is not a workable program, there is no utility in running it "
                          "apart from seeing this notice.", " ".join(box.texts("Static")))
            wb.press(DIALOG, "*", "OK")
            self.assertEqual(program.wait(30), 1)


if __name__ == "__main__":
    unittest.main()
