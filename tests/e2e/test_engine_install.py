"""Installing and removing a product end to end under Wine: the change
commands record where things go, "Apply Changes" runs Windows Installer
(Wine's msi.dll) on the database, the progress page follows it, and the
result, LASTERROR, REBOOTCOMPUTER, the log file, the files, folders,
registry values and shortcuts on disk say what happened."""

from __future__ import annotations

import shutil
import subprocess
import time
import unittest
from pathlib import Path

import winebench as wb
from setup_assembler import Command, Setup, assemble, guid

WORK = wb.WORK / "engine_install"
DEMO_DIALOGS = wb.ROOT / "samples/demo/dialogs"
PAGE = "TPoolTemplate"
REG_KEY = "HKCU\\Software\\Tavrel Tests\\Install"
DRIVE_C = Path(wb.ENV["WINEPREFIX"]) / "drive_c"
# Where the engine registers what it installs (for all users: the bench's
# user is an administrator).
INFORMATION = "C:\\users\\Public\\Application Data\\Quorvane\\Installation Information\\"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"


def S(name: str, value: str) -> Command:
    return Command("Set Variable", [name, value])


def reg_value(name: str) -> str | None:
    """The text of a value under REG_KEY; None when it is not there."""
    return wb.registry_value(REG_KEY, name)


def reg_values(key: str) -> dict[str, str] | None:
    """The string values of a key by name ("(Default)" for the unnamed one);
    None when the key is not there."""
    result = subprocess.run([wb.WINE, "reg", "query", key], env=wb.ENV, capture_output=True)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode(wb.ENCODING, "replace").splitlines():
        parts = line.strip().split("    ")
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2] if len(parts) >= 3 else ""
    return values


def unix(windows_path: str) -> Path:
    """The Linux path of a C: path of the prefix."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    return DRIVE_C / windows_path[3:].replace("\\", "/")


class InstallTest(unittest.TestCase):
    def setUp(self) -> None:
        wb.clean_temp()
        self.dir = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.dump = self.dir / "variables.txt"
        self.payload = self.dir / "payload"
        (self.payload / "docs").mkdir(parents=True)
        (self.payload / "tool.txt").write_bytes(b"the tool\r\n")
        (self.payload / "docs/readme.txt").write_bytes(b"read me\r\n" * 100)
        self.product = guid()
        self.target = "C:\\Tavrel Install Test\\" + self.id().rsplit(".", 1)[-1][5:25] + "\\"
        shutil.rmtree(unix(self.target), ignore_errors=True)
        subprocess.run([wb.WINE, "reg", "delete", REG_KEY, "/f"], env=wb.ENV, capture_output=True)

    def tearDown(self) -> None:
        # Whatever a failed test left installed goes.
        subprocess.run([wb.WINE, "msiexec", "/x", self.product, "/qn"], env=wb.ENV,
                       capture_output=True, timeout=120)
        shutil.rmtree(unix(self.target), ignore_errors=True)
        # The registration an installation leaves.
        subprocess.run([wb.WINE, "reg", "delete", UNINSTALL + "Install Test", "/f"], env=wb.ENV,
                       capture_output=True)
        shutil.rmtree(unix(INFORMATION + self.product), ignore_errors=True)
        wb.clean_temp()

    def setup(self, commands: list[Command], **settings) -> Setup:
        setup = Setup(title="Install Test", product=self.product, **settings)
        setup.base = self.dir
        setup.dialogs = DEMO_DIALOGS
        setup.commands = commands
        return setup

    def changes(self) -> list[Command]:
        """The four kinds of change the databases support, all under TARGETDIR."""
        return [
            Command("Install Files", ["payload", "", "$TARGETDIR$"]),
            Command("Create Folder", ["$TARGETDIR$Logs"]),
            Command("Write Registry", ["1", "Software\\Tavrel Tests\\Install", "Folder",
                                       "$TARGETDIR$", "string"]),
            Command("Create Shortcut", ["$TARGETDIR$tool.txt", "Tool", "$TARGETDIR$Shortcuts",
                                        "", "-x", ""]),
        ]

    def run_engine(self, setup: Setup, args: list[str], name: str = "setup") -> wb.Program:
        exe = assemble(setup, self.dir / name, wb.BIN)
        self.dump.unlink(missing_ok=True)
        return wb.Program(exe, args, trace=self.dir / f"{name}-trace.txt",
                          extra_env={"TVL_VARIABLES": wb.winpath(self.dump)})

    def run_silent(self, setup: Setup, args: list[str] = (), name: str = "setup") -> dict:
        with self.run_engine(setup, ["/s", *args], name) as program:
            self.assertEqual(program.wait(120), 0, program.trace())
        return wb.read_variables(self.dump)

    def assertInstalled(self) -> None:
        target = unix(self.target)
        self.assertEqual(wb.files_of(target / "docs"), wb.files_of(self.payload / "docs"))
        self.assertEqual((target / "tool.txt").read_bytes(), b"the tool\r\n")
        self.assertTrue((target / "Logs").is_dir())
        self.assertTrue((target / "Shortcuts/Tool.lnk").is_file())
        self.assertEqual(reg_value("Folder"), self.target)

    def assertNothingLeft(self) -> None:
        target = unix(self.target)
        left = sorted(str(p.relative_to(target)) for p in target.rglob("*")) if target.exists() else []
        self.assertEqual(left, [])
        self.assertIsNone(reg_value("Folder"))

    def removal(self) -> Setup:
        """A second setup of the same product that removes it: the same
        changes are recorded again, then applied with a false install flag."""
        return self.setup([S("TARGETDIR", self.target), *self.changes(),
                           Command("Apply Changes", ["Progress", "RESULT", "FALSE"])])

    def test_installs_into_the_folder_typed_on_the_page_and_removes_again(self) -> None:
        setup = self.setup([
            Command("Wizard Loop"),
            Command("Display Dialog", ["Destination", "WIZARD", "TRUE", "", "", ""]),
            Command("End"),
            S("PROGRESSTEXT", "Preparing the installation"),
            Command("Display Dialog", ["Progress", "PAGE", "FALSE", "", "", ""]),
            *self.changes(),
            Command("Apply Changes", ["Progress", "RESULT", "TRUE"]),
            Command("Hide Dialog"),
        ], filler=2000)
        title = "Install Test Setup"
        with self.run_engine(setup, []) as program:
            destination = wb.find_window(PAGE, f"{title}>>Choose Install Location")
            edit = next(int(i) for cls, i, _ in destination.children if cls.lower() == "edit")
            wb.set_text(PAGE, f"{title}>>Choose Install Location", edit, self.target)
            wb.press(PAGE, f"{title}>>Choose Install Location", "Next >")
            # The page follows the installer: the file it copies replaces the
            # script's text.
            self.assertTrue(wb.wait_until(
                lambda: any(text.startswith("File: ") for text in
                            wb.find_window(PAGE, f"{title}>>Installing").texts()), timeout=60))
            wb.screenshot("engine-install-progress")
            self.assertEqual(program.wait(120), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["RESULT"], "COMPLETE", program.trace())
        self.assertEqual(store["LASTERROR"], "")
        self.assertInstalled()
        self.assertEqual(len(list((unix(self.target) / "filler").iterdir())), 2000)

        store = self.run_silent(self.removal(), name="removal")
        self.assertEqual(store["RESULT"], "COMPLETE")
        self.assertNothingLeft()

    def test_registered_product_is_maintained_and_removed_through_its_uninstall_entry(self) -> None:
        title = "Tavrel Maintenance Test"
        uninstall = UNINSTALL + title
        ident = "HKLM\\SOFTWARE\\Quorvane\\Tavrel\\Ident.Cache\\" + self.product
        publisher = ["Maintenance Publisher", "help@example.invalid", "https://example.invalid/help",
                     "https://example.invalid/update", "Comments on the product"]

        def maintained(revision: str) -> Setup:
            """Removes on REMOVE=TRUE, only looks in a maintenance or upgrade
            run, else installs."""
            setup = self.setup([
                Command("If", ["REMOVE", "0", "TRUE", "FALSE"]),
                Command("Apply Changes", ["Progress", "RESULT", "FALSE"]),
                Command("Terminate Install"),
                Command("End"),
                Command("If", ["MAINTENANCE", "0", "TRUE", "FALSE"]),
                Command("Terminate Install"),
                Command("End"),
                Command("If", ["NEEDSUPGRADE", "0", "TRUE", "FALSE"]),
                Command("Terminate Install"),
                Command("End"),
                S("TARGETDIR", self.target),
                *self.changes(),
                Command("Apply Changes", ["Progress", "RESULT", "TRUE"]),
            ], revision=revision, publisher=publisher)
            setup.title = title
            return setup

        def forget() -> None:
            for key in (uninstall, ident):
                subprocess.run([wb.WINE, "reg", "delete", key, "/f"], env=wb.ENV,
                               capture_output=True)
            shutil.rmtree(unix(INFORMATION + self.product), ignore_errors=True)

        forget()
        self.addCleanup(forget)
        revision = guid()
        setup = maintained(revision)
        store = self.run_silent(setup)
        self.assertEqual((store["RESULT"], store["MAINTENANCE"], store["NEEDSUPGRADE"]),
                         ("COMPLETE", "FALSE", "FALSE"))
        self.assertInstalled()

        # The entry in the list of installed programs starts the copy in the
        # installation information folder.
        values = reg_values(uninstall)
        self.assertIsNotNone(values)
        engine = values["DisplayIcon"]
        folder = engine[:engine.rindex("\\") + 1]
        self.assertEqual(folder, f"{INFORMATION}{self.product}\\{revision}\\")
        self.assertEqual(values, {
            "DisplayIcon": folder + "Setup.exe",
            "DisplayName": title,
            "UninstallString": f'"{folder}Setup.exe" REMOVE=TRUE MODIFY=FALSE',
            "ModifyPath": folder + "Setup.exe",
            "Publisher": publisher[0],
            "Contact": publisher[1],
            "HelpLink": publisher[2],
            "URLUpdateInfo": publisher[3],
            "Comments": publisher[4],
        })
        self.assertEqual(reg_values(ident), {"(Default)": folder})
        copies = unix(folder)
        for name in ("Setup.exe", "Setup.msi", "Setup.res", "tvl.dll"):
            self.assertEqual((copies / name).read_bytes(), (self.dir / "setup" / name).read_bytes(),
                             name)
        components = (copies / "Setup.dat").read_bytes().decode(wb.ENCODING).split("\r\n")
        self.assertEqual(components[:5], ["ZUNA-PREDEF-COMPONENT", "$", "TRUE", "$", self.target])
        self.assertEqual(components[5:7], [store["ALLUSERS"], store["STARTMENU"]])
        parameters = (copies / "Setup.par").read_bytes().decode(wb.ENCODING).split("\r\n")
        self.assertEqual(parameters[-3:], ["QORVTEMP", parameters[-2], ""])
        self.assertIn(self.target, parameters)

        # The same revision again: a maintenance run with the earlier choices.
        store = self.run_silent(setup, ["TARGETDIR=ignored"], name="again")
        self.assertEqual((store["MAINTENANCE"], store["NEEDSUPGRADE"]), ("TRUE", "FALSE"))
        self.assertEqual(store["TARGETDIR"], "ignored")  # the command line comes last
        store = self.run_silent(setup, name="again")
        self.assertEqual(store["TARGETDIR"], self.target)
        trace = (self.dir / "again-trace.txt").read_bytes().decode(wb.ENCODING)
        self.assertIn(f"maintenance: {(len(parameters) - 1) // 2} previous parameters from "
                      f"{folder}Setup.par", trace)

        # Another revision of the product: an upgrade, not maintenance.
        store = self.run_silent(maintained(guid()), name="upgrade")
        self.assertEqual((store["MAINTENANCE"], store["NEEDSUPGRADE"]), ("FALSE", "TRUE"))

        # The entry's command line removes the product and the registration;
        # the running copy cannot be deleted, so its folder moves aside.
        command = values["UninstallString"]
        program = command[1:command.index('"', 1)]
        args = command[command.index('"', 1) + 1:].split()
        self.assertEqual(args, ["REMOVE=TRUE", "MODIFY=FALSE"])
        self.dump.unlink(missing_ok=True)
        with wb.Program(unix(program), args, trace=self.dir / "uninstall-trace.txt",
                        extra_env={"TVL_VARIABLES": wb.winpath(self.dump)}) as running:
            self.assertEqual(running.wait(120), 0)
            trace = running.trace()
        self.assertEqual(wb.read_variables(self.dump)["RESULT"], "COMPLETE", trace)
        self.assertNothingLeft()
        self.assertIsNone(reg_values(uninstall))
        self.assertIsNone(reg_values(ident))
        self.assertFalse(copies.exists())
        aside = copies.parent / "~0"
        self.assertTrue((aside / "Setup.exe").is_file(), sorted(copies.parent.iterdir()))
        self.assertFalse((aside / "Setup.dat").exists())
        self.assertTrue(any(line.startswith("marked for deletion at the next restart: ")
                            and line.endswith("~0\\Setup.exe") for line in trace), trace)

    def test_cancel_on_the_progress_page_leaves_nothing_installed(self) -> None:
        setup = self.setup([
            S("TARGETDIR", self.target),
            S("PROGRESSTEXT", "Preparing the installation"),
            Command("Display Dialog", ["Progress", "PAGE", "FALSE", "", "", ""]),
            *self.changes(),
            Command("Apply Changes", ["Progress", "RESULT", "TRUE"]),
        ], filler=5000)
        title = "Install Test Setup"
        with self.run_engine(setup, []) as program:
            wb.find_window(PAGE, f"{title}>>Installing")
            wb.press(PAGE, f"{title}>>Installing", "Cancel")
            box = wb.find_window("#32770", "Tavrel")
            self.assertIn("Are you sure you want to cancel?", box.texts("Static"))
            wb.press("#32770", "Tavrel", "Yes")
            self.assertEqual(program.wait(180), 0)
            trace = program.trace()
        store = wb.read_variables(self.dump)
        self.assertEqual(store["RESULT"], "CANCEL", trace)
        self.assertNothingLeft()
        gone = subprocess.run([wb.WINE, "msiexec", "/x", self.product, "/qn"], env=wb.ENV,
                              capture_output=True, timeout=120)
        # The installer does not know the product (1605; Wine passes on its low byte).
        self.assertIn(gone.returncode, (1605, 1605 & 0xFF))

    def test_outcomes_reach_the_script(self) -> None:
        cases = [
            ("restart", {"reboot": True}, "REBOOT", "TRUE"),
            ("failure", {"fail": True}, "ERROR", "FALSE"),
        ]
        for what, settings, word, reboot in cases:
            with self.subTest(what):
                setup = self.setup([S("TARGETDIR", self.target), *self.changes(),
                                    Command("Apply Changes", ["Progress", "RESULT", "TRUE"])],
                                   **settings)
                store = self.run_silent(setup, name=what)
                self.assertEqual(store["RESULT"], word)
                self.assertEqual(store["REBOOTCOMPUTER"], reboot)
                if word == "ERROR":
                    self.assertNotEqual(store["LASTERROR"], "")
                    self.assertNothingLeft()
                else:
                    self.assertEqual(store["LASTERROR"], "")
                    self.assertInstalled()
                    self.assertEqual(self.run_silent(self.removal(), name=f"{what}-removal")
                                     ["RESULT"], "REBOOT")
                    self.assertNothingLeft()

    def test_damaged_database_is_an_error(self) -> None:
        setup = self.setup([S("TARGETDIR", self.target), *self.changes(),
                            Command("Apply Changes", ["Progress", "RESULT", "TRUE"])])
        assemble(setup, self.dir / "setup", wb.BIN)
        (self.dir / "setup/Setup.msi").write_bytes(b"not a database\r\n" * 64)
        with wb.Program(self.dir / "setup/Setup.exe", ["/s"], trace=self.dir / "trace.txt",
                        extra_env={"TVL_VARIABLES": wb.winpath(self.dump)}) as program:
            self.assertEqual(program.wait(120), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["RESULT"], "ERROR")
        self.assertNotEqual(store["LASTERROR"], "")
        self.assertNothingLeft()

    def test_log_holds_the_header_then_the_installers_log(self) -> None:
        log = DRIVE_C / "tavrel logs/deep/install.log"
        shutil.rmtree(DRIVE_C / "tavrel logs", ignore_errors=True)
        setup = self.setup([S("TARGETDIR", self.target), *self.changes(),
                            Command("Apply Changes", ["Progress", "RESULT", "TRUE"])])
        store = self.run_silent(setup, ["/l=C:\\tavrel logs\\deep\\install.log"])
        self.assertEqual(store["RESULT"], "COMPLETE")
        data = log.read_bytes()
        marker = "*** MSI Directory ***\r\n".encode("utf-16-le")
        self.assertTrue(data.startswith("=== Tavrel: Applying Changes @".encode("utf-16-le")))
        header_end = data.index(marker) + len(marker)
        header = data[:header_end].decode("utf-16-le")
        for section in ("*** Variables ***", "*** Properties ***", "*** Actions ***",
                        "*** MSI Database ***", "*** GUID ***\r\n" + self.product,
                        "*** Data Directory ***", "*** Media Directory ***"):
            self.assertIn(section, header)
        # The folder line, two empty lines, then the installer's own log.
        rest = data[header_end:]
        folder_end = rest.index("\r\n".encode("utf-16-le")) + 4
        self.assertEqual(rest[folder_end:folder_end + 8], "\r\n\r\n".encode("utf-16-le"))
        self.assertIn(b"Install Test", rest[folder_end + 8:])
        self.assertNotIn("=== Tavrel".encode("utf-16-le"), data[2:])

    def test_a_value_with_an_apostrophe_is_not_written_and_the_others_are(self) -> None:
        setup = self.setup([
            S("TARGETDIR", self.target),
            Command("Install Files", ["payload", "", "$TARGETDIR$"]),
            Command("Write Registry", ["1", "Software\\Tavrel Tests\\Install", "Owner",
                                       "O'Brien", "string"]),
            Command("Apply Changes", ["Progress", "RESULT", "TRUE"]),
        ])
        store = self.run_silent(setup)
        self.assertEqual(store["RESULT"], "COMPLETE")
        self.assertEqual((unix(self.target) / "tool.txt").read_bytes(), b"the tool\r\n")
        # The data property kept the database's (empty) value.
        self.assertEqual(reg_value("Owner"), "")


class DeleteRegistryTest(unittest.TestCase):
    def test_values_and_keys_go_at_once(self) -> None:
        work = WORK / "delete_registry"
        shutil.rmtree(work, ignore_errors=True)
        base = "HKCU\\Software\\Tavrel Tests\\Delete"
        for key, value in ((base, "Keep"), (base, "Drop"), (base + "\\Tree\\Deep", "Leaf")):
            subprocess.run([wb.WINE, "reg", "add", key, "/v", value, "/d", "x", "/f"], env=wb.ENV,
                           check=True, capture_output=True)
        setup = Setup(title="Delete Test")
        setup.commands = [
            S("KEY", "Software\\Tavrel Tests\\Delete"),
            Command("Delete Registry", ["1", "$KEY$", "Drop", "FALSE"]),
            Command("Delete Registry", ["7", "$KEY$\\Tree", "", "TRUE"]),
            Command("Delete Registry", ["1", "$KEY$\\Missing", "x", "FALSE"]),
            S("AFTER", "ran"),
        ]
        exe = assemble(setup, work / "setup", wb.BIN)
        dump = work / "variables.txt"
        code, _ = wb.run(exe, ["/s"], extra_env={"TVL_VARIABLES": wb.winpath(dump)})
        self.assertEqual(code, 0)
        self.assertEqual(wb.read_variables(dump)["AFTER"], "ran")
        query = subprocess.run([wb.WINE, "reg", "query", base, "/s"], env=wb.ENV,
                               capture_output=True).stdout.decode(wb.ENCODING, "replace")
        self.assertIn("Keep", query)
        self.assertNotIn("Drop", query)
        self.assertNotIn("Tree", query)
        subprocess.run([wb.WINE, "reg", "delete", base, "/f"], env=wb.ENV, capture_output=True)


if __name__ == "__main__":
    unittest.main()
