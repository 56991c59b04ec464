"""The package wizard's window, end to end under Wine: a package made
through every page from an empty program folder (with the file list edited),
the skip of the advanced pages with default output paths after
"$ADDTOPACKAGE$" (and files dropped on the list), a project opened from the
command line and rebuilt at once, paused and cancelled, and a multi-part
package mailed from the last page (to a recording mail library), which offers
no e-mail where the system has no Simple MAPI. Screenshots of every page go
to build/screenshots/wizard-page-*.png."""

from __future__ import annotations

import os
import shutil
import subprocess
import time
import unittest
from pathlib import Path

import winebench as wb
from test_package_wizard import MESSAGING, WizardCase, project_text

WORK = wb.WORK / "wizard_window"
WINDOW = "TOmbrell"
DIALOG = "#32770"
BOX = "Quorvane Ombrell"

# Control identifiers of the wizard window.
HEADING, NEXT, CANCEL, PAUSE = 20, 11, 12, 13
NAME, DIRECT = 200, 201
FILE_LIST = 400
ADVANCED = 501
TARGET_SPECIFIC, TARGET_DIR = 906, 907
SAVE_AS, PROJECT = 1200, 1202
MAKE, SAVE = 1300, 1301
STEP_BAR = 1401
TEST, EXPLORE, EMAIL = 1500, 1501, 1502
# File list commands (WM_COMMAND) and keys.
TYPE_ITEM, REMOVE, UNCHECK = 2003, 2005, 2008
WM_COMMAND, WM_KEYDOWN, VK_HOME, VK_DOWN, VK_F2 = 0x111, 0x100, 0x24, 0x28, 0x71


def state(control: int) -> list[str]:
    code, out = wb.winctl("state", WINDOW, "*", str(control))
    if code != 0:
        raise AssertionError(f"no control {control}")
    return out.rstrip("\r\n").split("|", 4)


def visible(control: int) -> bool:
    return state(control)[1] == "1"


def text(control: int) -> str:
    return state(control)[4]


def wait_visible(control: int, timeout: float = 20) -> None:
    if not wb.wait_until(lambda: visible(control), timeout):
        shot = wb.screenshot(f"wizard-missing-{control}")
        raise AssertionError(f"control {control} did not show; screen in {shot}")


def wait_heading(heading: str, timeout: float = 20) -> None:
    if not wb.wait_until(lambda: visible(HEADING) and text(HEADING) == heading, timeout):
        shot = wb.screenshot("wizard-wrong-page")
        raise AssertionError(f"page {heading!r} did not show; screen in {shot}")


def press_next() -> None:
    wb.press(WINDOW, "*", "Next >")


def press_finish() -> None:
    wb.press(WINDOW, "*", "Finish")


def shot(page: int) -> None:
    time.sleep(0.3)  # let the page paint
    wb.screenshot(f"wizard-page-{page:02d}")


def command(identifier: int) -> None:
    wb.winctl("post", WINDOW, "*", "0", str(WM_COMMAND), str(identifier))


def key(control: int, code: int) -> None:
    wb.winctl("post", WINDOW, "*", str(control), str(WM_KEYDOWN), str(code))


def items() -> list[tuple[bool, str]]:
    code, out = wb.winctl("items", WINDOW, "*", str(FILE_LIST))
    assert code == 0
    rows = [line.split("|", 2) for line in out.replace("\r", "").split("\n") if line]
    return [(checked == "1", name) for checked, _, name in rows]


def answer(question: str, button: str) -> None:
    wb.find_window(DIALOG, f"{BOX}>>{question}")
    wb.press(DIALOG, f"{BOX}>>{question}", button)
    wb.winctl("gone", DIALOG, f"{BOX}>>{question}", "10000")


def untick(control: int) -> None:
    if state(control)[2] == "1":
        wb.winctl("click", WINDOW, "*", str(control))
        assert wb.wait_until(lambda: state(control)[2] == "0")


class WizardWindowTest(WizardCase):
    WORK = WORK

    def setUp(self) -> None:
        super().setUp()
        user = wb.temp_folder().parent.name
        self.my_packages = Path(wb.ENV["WINEPREFIX"]) / f"drive_c/users/{user}/Documents/My Packages"

    def prepared(self) -> None:
        """A program folder after its first run, with preferences that neither
        start, explore nor mail the package."""
        (self.prog / "firstrun.qorv").write_bytes(b"")
        (self.prog / "packages.qorv").write_bytes(b"")
        (self.prog / "ui.qorv").write_bytes(
            b"FALSE\r\nTRUE\r\nTRUE\r\nFALSE\r\nFALSE\r\n" + b"\r\n" * 6 + b"FALSE\r\nFALSE\r\n")

    def wizard(self, *args: str, env: dict | None = None) -> wb.Program:
        return wb.Program(self.prog / "ombrwiz.exe", list(args),
                          extra_env={"OMBRWIZ_TRACE": wb.winpath(self.trace), **(env or {})})

    def traced(self) -> list[str]:
        return self.trace.read_bytes().decode(wb.ENCODING).splitlines() if self.trace.exists() else []

    def add_file(self, path: Path) -> None:
        wb.press(WINDOW, "*", "Add File(s)...")
        wb.find_window(DIALOG, "Add Files")
        wb.set_text(DIALOG, "Add Files", 1148, wb.winpath(path))
        wb.press(DIALOG, "Add Files", "Open")
        wb.winctl("gone", DIALOG, "Add Files", "10000")

    def cabinet_names(self, package: Path) -> set[str]:
        data = package.read_bytes()
        marker = data.index(b"\r\n$PKGBOUND$\r\n")
        stub, library, block = (int(v) for v in data[marker + 2:marker + 200].split(b"\r\n")[1:4])
        cabinet = self.dir / "first.cab"
        cabinet.write_bytes(data[stub + library + block:])
        listing = subprocess.run(["cabextract", "-l", str(cabinet)], capture_output=True)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        names = set()
        for line in listing.stdout.decode("latin-1").splitlines():
            if "|" in line and not line.strip().startswith("File size"):
                names.add(line.rsplit("|", 1)[1].strip().replace("/", "\\").rsplit("\\", 1)[-1])
        return names

    def test_every_page_from_an_empty_program_folder(self) -> None:
        package = self.dir / "Walk.exe"
        project = self.dir / "walk.OMBR"
        out_dir = self.dir / "out"
        tree = self.tree
        with self.wizard() as program:
            wb.find_window(WINDOW, "Ombrell Wizard")
            wait_visible(100)  # the version line of the welcome page
            self.assertTrue(text(100).startswith("Version "))
            shot(1)
            press_next()
            wait_heading("Package Name")
            wb.set_text(WINDOW, "*", NAME, "Walk Tools")
            wb.find_window(WINDOW, "Ombrell Wizard - Walk Tools")
            self.assertFalse(visible(DIRECT))  # no stored project of that name
            shot(2)
            press_next()
            wait_heading("Basic Package Settings")
            shot(3)
            press_next()
            wait_heading("Package Files and Folders")

            # The file list: two files from the dialog, a typed folder, then
            # an untick, a rename and a removal.
            self.add_file(tree / "readme.txt")
            self.add_file(tree / "zero.bin")
            self.add_file(tree / "readme.txt")  # listed once
            command(TYPE_ITEM)
            self.assertTrue(wb.wait_until(lambda: (True, "c:\\*.*") in items()))
            wb.winctl("labeledit", WINDOW, "*", str(FILE_LIST), wb.winpath(tree / "sub folder"))
            sub = wb.winpath(tree / "sub folder") + "\\*.*"
            self.assertTrue(wb.wait_until(lambda: (True, sub) in items()), items())
            readme, zero = wb.winpath(tree / "readme.txt"), wb.winpath(tree / "zero.bin")
            self.assertEqual(items(), [(False, readme), (True, sub), (False, zero)])
            key(FILE_LIST, VK_HOME)
            key(FILE_LIST, VK_DOWN)  # the folder
            command(UNCHECK)
            self.assertTrue(wb.wait_until(lambda: items()[1] == (False, sub)), items())
            key(FILE_LIST, VK_DOWN)  # zero.bin
            key(FILE_LIST, VK_F2)
            wb.winctl("labeledit", WINDOW, "*", str(FILE_LIST),
                      wb.winpath(tree / "sub folder/deeper") + "\\")
            deeper = wb.winpath(tree / "sub folder/deeper") + "\\*.*"
            self.assertTrue(wb.wait_until(lambda: (False, deeper) in items()), items())
            key(FILE_LIST, VK_HOME)  # readme.txt
            command(REMOVE)
            self.assertTrue(wb.wait_until(lambda: len(items()) == 2), items())
            self.assertEqual(items(), [(False, sub), (False, deeper)])
            shot(4)
            press_next()

            wait_heading("Advanced Package Settings")
            wb.winctl("click", WINDOW, "*", str(ADVANCED))
            shot(5)
            press_next()
            for page, heading in ((6, "Multi-Part Package"), (7, "Silent Package Mode"),
                                  (8, "Package Space Requirements"),
                                  (9, "Package Delivery Folder")):
                wait_heading(heading)
                if page == 9:
                    wb.winctl("click", WINDOW, "*", str(TARGET_SPECIFIC))
                    wb.set_text(WINDOW, "*", TARGET_DIR, wb.winpath(out_dir))
                shot(page)
                press_next()
            wait_heading("Sign Package with Authenticode")
            shot(10)
            press_next()
            wait_heading("Package Open Command")
            shot(11)
            press_next()
            wait_heading("Output Files")
            wb.set_text(WINDOW, "*", SAVE_AS, wb.winpath(self.dir / "Walk"))
            wb.set_text(WINDOW, "*", PROJECT, wb.winpath(project))
            shot(12)
            press_next()

            wait_visible(MAKE)
            self.assertEqual(text(SAVE_AS), wb.winpath(package))  # ".exe" appended
            self.assertEqual(text(PROJECT), wb.winpath(project))  # ".OMBR" kept
            self.assertEqual(text(NEXT), "&Finish")
            shot(13)
            press_finish()
            wait_visible(TEST, timeout=120)
            self.assertTrue(visible(EMAIL))
            shot(15)
            for tick in (TEST, EXPLORE, EMAIL):
                untick(tick)
            press_finish()
            self.assertEqual(program.wait(60), 0)

        self.assertEqual(self.cabinet_names(package),
                         {"caf\u00e9 cr\u00e8me.txt", "random.bin", "also empty.dat", "pattern.bin"})
        saved = project.read_bytes().decode("cp1252").split("\r\n")
        self.assertEqual(saved[:5], [wb.winpath(project), "$", sub, deeper, "$"])
        known = (self.prog / "packages.qorv").read_bytes().decode("cp1252").split("\r\n")
        self.assertEqual(known[:2], ["Walk Tools", wb.winpath(project)])
        # The preferences were written when the window went: the ticks as left.
        ui = (self.prog / "ui.qorv").read_bytes().decode("cp1252").split("\r\n")
        self.assertEqual(ui[3:5] + ui[12:13], ["FALSE", "FALSE", "FALSE"])
        code, _ = wb.run(package, ["$SILENT$"], timeout=120)
        self.assertEqual(code, 0)
        self.assertEqual(sorted(p.name for p in out_dir.rglob("*") if p.is_file()),
                         sorted(["also empty.dat", "caf\u00e9 cr\u00e8me.txt", "pattern.bin",
                                 "random.bin"]))

    def test_skipped_advanced_pages_take_the_default_output_paths(self) -> None:
        self.prepared()
        folder = self.dir / "Skip Source"
        shutil.copytree(self.tree / "sub folder", folder)
        name = "Skip: Tools"
        package = self.my_packages / "Skip Tools/Skip Tools.exe"
        shutil.rmtree(package.parent, ignore_errors=True)
        with self.wizard("$ADDTOPACKAGE$", wb.winpath(folder), wb.winpath(folder)) as program:
            wb.find_window(WINDOW, "Ombrell Wizard")
            wait_heading("Package Name")
            wb.set_text(WINDOW, "*", NAME, name)
            press_next()
            wait_heading("Basic Package Settings")
            press_next()
            wait_heading("Package Files and Folders")
            self.assertEqual(items(), [(True, wb.winpath(folder) + "\\*.*")])
            # Dropped from Explorer: the folder again, a file, and a name that
            # is not there.
            readme = wb.winpath(self.tree / "readme.txt")
            wb.winctl("drop", WINDOW, "*", wb.winpath(folder), readme,
                      wb.winpath(self.dir / "gone.txt"))
            self.assertTrue(wb.wait_until(lambda: len(items()) == 2), items())
            self.assertEqual(items(), [(True, wb.winpath(folder) + "\\*.*"), (False, readme)])
            press_next()
            wait_heading("Advanced Package Settings")
            press_next()
            wait_visible(MAKE)  # straight to the Ready page
            wb.press(WINDOW, "*", "< Back")
            wait_heading("Advanced Package Settings")
            press_next()
            wait_visible(MAKE)
            press_finish()
            wait_visible(TEST, timeout=120)
            press_finish()
            self.assertEqual(program.wait(60), 0)
        self.assertTrue(package.exists())
        project = self.my_packages / "Skip Tools.ombr"
        own_path = "C:" + str(project).split("drive_c", 1)[1].replace("/", "\\")
        self.assertEqual(project.read_bytes().decode("cp1252").split("\r\n")[:3],
                         [own_path, wb.winpath(folder) + "\\*.*", "$"])
        self.assertEqual(self.cabinet_names(package),
                         {"caf\u00e9 cr\u00e8me.txt", "random.bin", "also empty.dat", "pattern.bin",
                          "readme.txt"})
        shutil.rmtree(package.parent)
        project.unlink()

    def test_opened_project_built_at_once_then_paused_and_cancelled(self) -> None:
        self.prepared()
        big = self.dir / "big"
        big.mkdir()
        block = os.urandom(1 << 20)
        with open(big / "large.bin", "wb") as large:
            for i in range(400):
                large.write(i.to_bytes(4, "little") + block[4:])
        package = self.dir / "Big.exe"
        project = self.dir / "big.ombr"
        project.write_bytes(project_text(dict(
            project=wb.winpath(project), files=[(wb.winpath(big) + "\\*.*", True)],
            save_as=wb.winpath(package), name="Big Tools")))
        with self.wizard(wb.winpath(project)) as program:
            # The project opens on the name page and offers the direct build.
            wb.find_window(WINDOW, "Ombrell Wizard - Big Tools")
            wait_heading("Package Name")
            wait_visible(DIRECT)
            self.assertEqual(text(NAME), "Big Tools")
            wb.winctl("click", WINDOW, "*", str(DIRECT))
            press_next()
            wait_heading("Creating Package Now")
            wait_visible(PAUSE)
            shot(14)
            wb.press(WINDOW, "*", "Pause")
            self.assertTrue(wb.wait_until(lambda: text(PAUSE) == "&Resume"))
            self.assertEqual(state(CANCEL)[0], "0")  # no cancel while paused
            wb.winctl("close", WINDOW, "*")
            answer("Unable to quit while paused. Please resume first.", "OK")
            self.assertTrue(visible(PAUSE))
            wb.press(WINDOW, "*", "Resume")
            self.assertTrue(wb.wait_until(lambda: state(CANCEL)[0] == "1"))
            wb.press(WINDOW, "*", "Cancel")
            answer("Are you sure you want to quit?", "Yes")
            # Cancelled: no box, back on the Ready page.
            wait_visible(MAKE, timeout=60)
            self.assertFalse(visible(PAUSE))
            self.assertEqual(wb.winctl("gone", DIALOG, BOX, "1000")[0], 0)
            wb.press(WINDOW, "*", "Cancel")
            answer("Are you sure you want to quit?", "Yes")
            self.assertEqual(program.wait(60), 0)
        self.assertIn("build paused", self.traced())
        self.assertIn("build failed", self.traced())
        self.assertFalse(package.exists())
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()),
                         ["big", "big.ombr", "program", "trace.txt"])
        # Direct builds do not save the project; it was recorded when opened.
        known = (self.prog / "packages.qorv").read_bytes().decode("cp1252").split("\r\n")
        self.assertEqual(known[:2], ["Big Tools", wb.winpath(project)])

    def set_messaging(self, value: str) -> None:
        """The system's Simple MAPI switch, restored after the test."""
        before = subprocess.run([wb.WINE, "reg", "query", MESSAGING, "/v", "MAPI"], env=wb.ENV,
                                capture_output=True).stdout.decode(wb.ENCODING).split()
        old = before[before.index("REG_SZ") + 1] if "REG_SZ" in before else None
        restore = ["add", MESSAGING, "/v", "MAPI", "/d", old, "/f"] if old is not None else \
            ["delete", MESSAGING, "/v", "MAPI", "/f"]
        self.addCleanup(subprocess.run, [wb.WINE, "reg", *restore], env=wb.ENV,
                        capture_output=True)
        subprocess.run([wb.WINE, "reg", "add", MESSAGING, "/v", "MAPI", "/d", value, "/f"],
                       env=wb.ENV, capture_output=True, check=True)

    def build_at_once(self) -> None:
        """From the name page of an opened project, builds it at once (the
        tick is remembered between runs); returns on the last page."""
        wait_heading("Package Name")
        wait_visible(DIRECT)
        if state(DIRECT)[2] != "1":
            wb.winctl("click", WINDOW, "*", str(DIRECT))
        press_next()
        wait_visible(TEST, timeout=180)

    def test_last_page_mails_a_multi_part_package_only_where_mail_is_offered(self) -> None:
        self.prepared()
        source = self.dir / "source"
        source.mkdir()
        (source / "data.bin").write_bytes(os.urandom(5 << 19))  # 2.5 MB in 1 MB parts
        package = self.dir / "MyPackageSetup.exe"
        project = self.dir / "mail.ombr"
        project.write_bytes(project_text(dict(
            project=wb.winpath(project), files=[(wb.winpath(source) + "\\*.*", True)],
            save_as=wb.winpath(package), name="MyPackageSetup", multi_part=True, split="1")))
        shutil.copy2(wb.TESTBIN / "mapi32.dll", self.prog / "mapi32.dll")
        record = self.dir / "mail.txt"
        env = {"TAVREL_MAPI_RECORD": wb.winpath(record),
               "WINEDLLOVERRIDES": wb.ENV.get("WINEDLLOVERRIDES", "") + ";mapi32=n,b"}

        self.set_messaging("1")
        with self.wizard(wb.winpath(project), env=env) as program:
            self.build_at_once()
            self.assertTrue(visible(EMAIL))
            if state(EMAIL)[2] != "1":
                wb.winctl("click", WINDOW, "*", str(EMAIL))
            press_finish()
            self.assertEqual(program.wait(120), 0)
        parts = [package] + [self.dir / f"MyPackageSetup{k}.cab" for k in range(2, 9)
                             if (self.dir / f"MyPackageSetup{k}.cab").exists()]
        self.assertGreaterEqual(len(parts), 3)
        lines = record.read_bytes().decode(wb.ENCODING).splitlines()
        self.assertEqual(lines[1], "send|8|MyPackageSetup")  # the compose window, no recipients
        # The package first, then its cabinets in order, under short names.
        self.assertEqual(
            [line for line in lines if line.startswith("attachment|")],
            [f"attachment|{wb.winpath(path)}|{short}|-1" for path, short in
             zip(parts, ["ageSetup.exe"] + [f"geSetup{k}.cab" for k in range(2, len(parts) + 1)])])

        # Where the system offers no Simple MAPI the last page has no e-mail.
        record.unlink()
        self.set_messaging("0")
        with self.wizard(wb.winpath(project), env=env) as program:
            self.build_at_once()
            time.sleep(0.3)
            wb.screenshot("wizard-page-15-without-mail")
            self.assertFalse(visible(EMAIL))
            press_finish()
            self.assertEqual(program.wait(120), 0)
        self.assertFalse(record.exists())


if __name__ == "__main__":
    unittest.main()
