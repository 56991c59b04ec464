"""The setup engine's start-up and clean-up, end to end under Wine."""

from __future__ import annotations

import shutil
import subprocess
import unittest
from pathlib import Path

import winebench as wb
from setup_assembler import Command, Setup, assemble

WORK = wb.WORK / "engine_startup"
PREPARING_TEXT = ("Tavrel\u2122 is preparing the Tavrel\u2122 Installation Wizard which will "
                  "install this application. Please wait.")


def sample_setup() -> Setup:
    resources = WORK / "resources"
    (resources / "plugins").mkdir(parents=True, exist_ok=True)
    (resources / "Welcome.dfm").write_bytes(b"object Welcome: TPoolTemplate\r\nend\r\n")
    (resources / "Welcome.dfm.tvlf").write_bytes(b"")
    (resources / "plugins" / "empty.txt").write_bytes(b"")
    setup = Setup(title="Start-up Sample", publisher=["Tavrel Samples", "", "", "", ""])
    setup.commands = [
        Command("Set Variable", ["TITLE", "Start-up Sample"]),
        Command("Display Dialog", ["Welcome", "", "", "", "", ""]),
        Command("Display Dialog", ["Skipped", "", "", "", "", ""], flag="C"),
        Command("Comment", ["ends here"]),
    ]
    setup.resources = [resources / "Welcome.dfm", resources / "Welcome.dfm.tvlf",
                       resources / "plugins"]
    return setup


def bitmap(path: Path, width: int, height: int) -> Path:
    subprocess.run(["convert", "-size", f"{width}x{height}", "gradient:#3060c0-#c0d8ff",
                    f"BMP3:{path}"], check=True)
    return path


def temp_is_clean() -> list[str]:
    return sorted(entry.name for entry in wb.temp_folder().iterdir()
                  if entry.name.startswith("tvl") or entry.name == "lang.loc")


class StartupTest(unittest.TestCase):
    def setUp(self) -> None:
        wb.clean_temp()
        self.dir = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.trace = self.dir / "trace.txt"

    def tearDown(self) -> None:
        wb.clean_temp()

    def assemble(self, setup: Setup | None = None, **kwargs) -> Path:
        return assemble(setup or sample_setup(), self.dir, wb.BIN, **kwargs)

    def test_silent_run_prepares_support_folder_and_cleans_up(self) -> None:
        exe = self.assemble()
        code, trace = wb.run(exe, ["/s", "A=1", "/M=C:\\Pkg\\A.EXE", "-L=C:\\Logs\\Setup.LOG",
                                   "Name=Value=2", "A=3", "-x=1"], trace=self.trace)
        self.assertEqual(code, 0)
        temp = "C:\\users\\" + wb.temp_folder().parent.name + "\\Temp\\"
        self.assertIn("temp folder: " + temp, trace)
        self.assertIn("setup name: Setup", trace)
        self.assertIn("language file: none", trace)
        self.assertIn("silent: yes", trace)
        self.assertIn("package path: c:\\pkg\\a.exe", trace)
        self.assertIn("log path: c:\\logs\\setup.log", trace)
        self.assertEqual([line for line in trace if line.startswith("assignment: ")],
                         ["assignment: A=1", "assignment: Name=Value=2", "assignment: A=3"])
        rest = next(line for line in trace if line.startswith("rest of command line: "))
        self.assertTrue(rest.endswith(" /s A=1 /M=C:\\Pkg\\A.EXE -L=C:\\Logs\\Setup.LOG "
                                      "Name=Value=2 A=3 -x=1") or
                        rest == "rest of command line: /s A=1 /M=C:\\Pkg\\A.EXE "
                        "-L=C:\\Logs\\Setup.LOG Name=Value=2 A=3 -x=1", rest)
        self.assertIn("script: 4 commands, title Start-up Sample", trace)
        self.assertIn("support folder: " + temp + "tvl1\\", trace)
        holds = next(line for line in trace if line.startswith("support folder holds: "))
        self.assertEqual(sorted(holds.split(": ", 1)[1].split(", ")),
                         ["Setup.msi", "Welcome.dfm", "Welcome.dfm.tvlf", "plugins\\"])
        self.assertIn("dialogs: 1", trace)
        self.assertIn("interpreter: 4 commands", trace)
        self.assertIn("support folder removed", trace)
        self.assertEqual(trace[-1], "exit 0")
        self.assertEqual(temp_is_clean(), [])
        self.assertFalse((wb.temp_folder() / "tvl.tmp").exists())

    def test_support_folder_takes_the_first_free_number(self) -> None:
        exe = self.assemble()
        temp = wb.temp_folder()
        (temp / "tvl1").mkdir()
        (temp / "tvl2" / "inner").mkdir(parents=True)
        (temp / "tvl3").write_bytes(b"a plain file")
        code, trace = wb.run(exe, ["/s"], trace=self.trace)
        self.assertEqual(code, 0)
        self.assertTrue(any(line.endswith("\\tvl4\\") for line in trace
                            if line.startswith("support folder: ")), trace)
        self.assertEqual(temp_is_clean(), ["tvl1", "tvl2", "tvl3"])

    def test_every_failure_is_reported_and_cleaned_up(self) -> None:
        setup = sample_setup()
        cases = {
            "no-overlay": ("For internal use only",
                           lambda exe: exe.write_bytes((wb.BIN / "tvlstub.exe").read_bytes())),
            "no-archive": ("Setup resource not found",
                           lambda exe: (exe.parent / "Setup.res").unlink()),
            "bad-archive": ("Setup resource decompression failure",
                            lambda exe: (exe.parent / "Setup.res").write_bytes(b"7z\xbc\xaf'\x1c junk")),
            "no-database": ("Setup database not found",
                            lambda exe: (exe.parent / "Setup.msi").unlink()),
            "unclosed-section": (
                "Runtime error in install: malformed setup script: the command flag list is not "
                "closed by a \"$\" line before the end of the file",
                lambda exe: exe.write_bytes((wb.BIN / "tvlstub.exe").read_bytes() +
                                            b"If\r\n$\r\nid\r\n$\r\nid\r\nA\r\n$\r\n\r\n")),
            "bad-media-mode": (
                "Runtime error in install: malformed setup script: the media mode on line 14 is "
                "not a whole number: \"two\"",
                lambda exe: exe.write_bytes((wb.BIN / "tvlstub.exe").read_bytes() +
                                            b"$\r\n$\r\n$\r\n$\r\n{P}\r\nT\r\n$\r\n1\r\n2\r\n3\r\n"
                                            b"4\r\n5\r\n$\r\ntwo\r\n$\r\n{R}\r\n$\r\n")),
        }
        for name, (message, spoil) in cases.items():
            with self.subTest(name):
                self.dir = WORK / "failures" / name
                shutil.rmtree(self.dir, ignore_errors=True)
                exe = self.assemble(setup)
                spoil(exe)
                # Shown: one message box, captioned "Tavrel", then a clean exit.
                with wb.Program(exe, trace=self.dir / "trace.txt") as program:
                    box = wb.find_window("#32770", "Tavrel")
                    self.assertIn(message, box.texts("Static"))
                    wb.screenshot(f"engine-startup-failure-{name}")
                    wb.press("#32770", "Tavrel", "OK")
                    self.assertEqual(program.wait(30), 0)
                self.assertEqual(temp_is_clean(), [])
                # Silent: the same end without any window.
                code, trace = wb.run(exe, ["/S"], trace=self.dir / "silent.txt", timeout=30)
                self.assertEqual(code, 0)
                self.assertIn("message: " + message, trace)
                self.assertEqual(temp_is_clean(), [])

    def test_old_common_controls_stop_the_setup(self) -> None:
        # Wine answers version queries of a system library from its built-in
        # copy unless the file on disk is preferred ("native" first).
        native = {"WINEDLLOVERRIDES": "mscoree,mshtml=;comctl32=n,b"}
        exe = self.assemble()
        system = Path(wb.ENV["WINEPREFIX"]) / "drive_c/windows/system32/comctl32.dll"
        saved = system.read_bytes()
        shutil.copyfile(wb.TESTBIN / "old_common_controls.dll", system)
        try:
            message = ("Please install the common controls update from Microsoft before "
                       "attempting to install this product.")
            with wb.Program(exe, trace=self.trace, extra_env=native) as program:
                box = wb.find_window("#32770", "Tavrel")
                self.assertIn(message, box.texts("Static"))
                wb.screenshot("engine-startup-old-common-controls")
                wb.press("#32770", "Tavrel", "OK")
                self.assertEqual(program.wait(30), 0)
                self.assertIn("comctl32 version: 4.71", program.trace())
            code, trace = wb.run(exe, ["/s"], trace=self.trace, extra_env=native)
            self.assertEqual(code, 0)
            self.assertIn("message: " + message, trace)
            self.assertNotIn("interpreter: 4 commands", trace)
        finally:
            system.write_bytes(saved)
        self.assertEqual(temp_is_clean(), [])

    def test_language_file_behind_the_archive_library(self) -> None:
        lines = [f"entry {n}" for n in range(1, 55)]
        lines[3] = "Setup-Datenbank nicht gefunden"
        language = WORK / "german.txt"
        WORK.mkdir(parents=True, exist_ok=True)
        language.write_bytes(("\r\n".join(lines) + "\r\n").encode(wb.ENCODING))
        setup = sample_setup()
        setup.language = language
        exe = self.assemble(setup)
        (exe.parent / "Setup.msi").unlink()
        with wb.Program(exe, trace=self.trace) as program:
            box = wb.find_window("#32770", "Tavrel")
            self.assertIn("Setup-Datenbank nicht gefunden", box.texts("Static"))
            wb.press("#32770", "Tavrel", "OK")
            self.assertEqual(program.wait(30), 0)
            self.assertIn("language file: read", program.trace())
        self.assertEqual(temp_is_clean(), [])


class PreparingWindowTest(unittest.TestCase):
    """The start-up windows, held open by a stand-in archive library."""

    def setUp(self) -> None:
        wb.clean_temp()

    def tearDown(self) -> None:
        wb.clean_temp()

    def start(self, name: str, picture: tuple[int, int] | None) -> tuple[wb.Program, Path]:
        folder = WORK / name
        shutil.rmtree(folder, ignore_errors=True)
        setup = sample_setup()
        # The stand-in library unpacks nothing, so there are no pages to show.
        setup.commands = [c for c in setup.commands if c.name != "Display Dialog"]
        if picture is not None:
            folder.mkdir(parents=True)
            setup.bitmap = bitmap(folder / "picture.bmp", *picture)
        exe = assemble(setup, folder, wb.BIN,
                       library=wb.TESTBIN / "held_archive_library.dll")
        program = wb.Program(exe, trace=folder / "trace.txt")
        self.addCleanup(program.__exit__)
        return program, folder / "Setup.res.release"

    def finish(self, program: wb.Program, release: Path) -> None:
        release.write_bytes(b"")
        self.assertEqual(program.wait(30), 0)
        self.assertEqual(temp_is_clean(), [])

    def test_centred_without_picture(self) -> None:
        program, release = self.start("no-picture", None)
        window = wb.find_window("TSetupInit", "Tavrel Wizard")
        self.assertEqual((window.client_width, window.client_height), (385, 89))
        self.assertEqual(window.left, (1024 - window.width) // 2)
        self.assertEqual(window.top, (768 - window.height) // 2)
        self.assertIn(PREPARING_TEXT, window.texts("Static"))
        self.assertIn("msctls_progress32", [cls for cls, _, _ in window.children])
        _, splash = wb.winctl("find", "TSetupSplash", "*", "0")
        self.assertEqual(splash, "")
        wb.screenshot("engine-startup-preparing")
        self.finish(program, release)

    def test_placed_below_the_splash_picture(self) -> None:
        program, release = self.start("picture", (300, 200))
        splash = wb.find_window("TSetupSplash", "*")
        self.assertEqual((splash.left, splash.top, splash.width, splash.height),
                         ((1024 - 300) // 2, (768 - 200) // 2, 300, 200))
        window = wb.find_window("TSetupInit", "Tavrel Wizard")
        self.assertEqual(window.left, splash.left + 150 + 50)
        self.assertEqual(window.top, splash.top + 200 + 25)
        wb.screenshot("engine-startup-preparing-with-picture")
        self.finish(program, release)

    def test_kept_on_screen_below_a_tall_picture(self) -> None:
        program, release = self.start("tall-picture", (200, 700))
        wb.find_window("TSetupSplash", "*")
        window = wb.find_window("TSetupInit", "Tavrel Wizard")
        self.assertEqual(window.top + window.height, 768 - 45)
        wb.screenshot("engine-startup-preparing-tall-picture")
        self.finish(program, release)


if __name__ == "__main__":
    unittest.main()
