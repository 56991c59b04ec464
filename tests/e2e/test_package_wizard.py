"""The package wizard's unattended builds, end to end under Wine: projects
built with "$MAKE$", folders packed with "$PACKIT$" or mailed with
"$MAILIT$", passwords, multi-part packages, signing and the failures a build
reports. Every package is extracted again by its own stub and compared with
its source."""

from __future__ import annotations

import os
import shutil
import subprocess
import unittest
from pathlib import Path

import winebench as wb

WORK = wb.WORK / "package_wizard"
DIALOG = "#32770"
CAPTION = "Quorvane Ombrell"
SIGNED_MARK = b"SIGNED-STAND-IN!"
MESSAGING = r"HKLM\SOFTWARE\Microsoft\Windows Messaging Subsystem"


def make_tree(root: Path, large_mb: int = 0) -> Path:
    """Nested folders, empty files and folders, blanks and ANSI letters in
    names, text, random and (optionally) one large file."""
    (root / "sub folder/deeper").mkdir(parents=True, exist_ok=True)
    (root / "empty folder").mkdir(exist_ok=True)
    (root / "readme.txt").write_bytes(b"Read me.\r\n" * 300)
    (root / "zero.bin").write_bytes(b"")
    (root / "sub folder/caf\u00e9 cr\u00e8me.txt").write_bytes("d\u00e9j\u00e0 vu\r\n".encode("cp1252"))
    (root / "sub folder/random.bin").write_bytes(os.urandom(700_000))
    (root / "sub folder/deeper/also empty.dat").write_bytes(b"")
    (root / "sub folder/deeper/pattern.bin").write_bytes(bytes(range(256)) * 4000)
    if large_mb:
        block = os.urandom(1 << 20)
        with open(root / "large.bin", "wb") as large:
            for i in range(large_mb):
                large.write(i.to_bytes(4, "little") + block[4:])
    return root


def project_text(settings: dict) -> bytes:
    """A project file as the wizard writes it."""
    def flag(value: bool) -> str:
        return "TRUE" if value else "FALSE"

    target = settings.get("target", "ASKDIR")
    advanced = settings.get("advanced", True)
    lines = [settings["project"]]
    lines += [path for path, ticked in settings["files"] if ticked] + ["$"]
    lines += [path for path, ticked in settings["files"] if not ticked] + ["$"]
    lines += [settings.get("name", "Sample"), settings.get("password", ""),
              settings.get("start", ""), settings.get("end", ""),
              settings.get("licence", ""), settings["save_as"]]
    lines += [flag(not advanced), flag(advanced)]
    lines += [flag(target == code) for code in
              ("ASKDIR", "EXEDIR", "TEMPDIR", "INSTALLDIR", "WINSYSDIR", "WINDIR", "TARGETDIR")]
    lines += [settings.get("target_dir", "")]
    lines += [flag(settings.get("silent", False)), settings.get("run_app", ""),
              settings.get("run_parms", ""), settings.get("space", "0"),
              flag(settings.get("multi_part", False)), settings.get("split", "1"),
              flag(settings.get("sign", False)), settings.get("spc", ""), settings.get("pvk", ""),
              settings.get("timestamp", "http://timestamp.example.test"),
              settings.get("info_url", ""), settings.get("language", "English")]
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def package_pieces(package: bytes) -> tuple[int, int, int]:
    """Stub length, library length and session block length of a package."""
    marker = package.index(b"\r\n$PKGBOUND$\r\n")
    lines = package[marker + 2:marker + 200].split(b"\r\n")
    return int(lines[1]), int(lines[2]), int(lines[3])


def unscramble(data: bytes, password: str) -> bytes:
    key = bytes(~b & 0xFF for b in password.encode("cp1252"))
    if not key:
        return data
    whole = (key * (len(data) // len(key) + 1))[:len(data)]
    return bytes(a ^ b for a, b in zip(data, whole))


class WizardCase(unittest.TestCase):
    """A test of wizard runs: a tree to pack (cls.tree) below the class's WORK,
    and for each test its own folder (self.dir) holding the wizard's program
    folder (self.prog) with what the build laid out in bin/."""
    WORK: Path

    @classmethod
    def setUpClass(cls) -> None:
        shutil.rmtree(cls.WORK, ignore_errors=True)
        cls.WORK.mkdir(parents=True)
        cls.tree = make_tree(cls.WORK / "tree")

    @classmethod
    def tearDownClass(cls) -> None:
        wb.assert_nothing_left_open()

    def setUp(self) -> None:
        self.dir = self.WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.prog = self.dir / "program"
        self.prog.mkdir()
        for name in ("ombrwiz.exe", "ombrstub.exe", "cabinet.dl_", "translations.English"):
            shutil.copy2(wb.BIN / name, self.prog / name)
        self.trace = self.dir / "trace.txt"


class WizardTest(WizardCase):
    WORK = WORK

    def setUp(self) -> None:
        super().setUp()
        # Preferences that do not start the package after the build.
        (self.prog / "firstrun.qorv").write_bytes(b"")
        (self.prog / "packages.qorv").write_bytes(b"")
        (self.prog / "ui.qorv").write_bytes(b"FALSE\r\nTRUE\r\nTRUE\r\nFALSE\r\nFALSE\r\n")

    def wizard(self, *args: str, timeout: float = 300, env: dict | None = None) -> int:
        extra = {"OMBRWIZ_TRACE": wb.winpath(self.trace)}
        extra.update(env or {})
        code, _ = wb.run(self.prog / "ombrwiz.exe", list(args), timeout=timeout, extra_env=extra)
        return code

    def traced(self) -> list[str]:
        if not self.trace.exists():
            return []
        return self.trace.read_bytes().decode(wb.ENCODING).splitlines()

    def make(self, files: list[tuple[Path | str, bool]], package: Path, **settings) -> int:
        project = self.dir / "project.ombr"
        entries = [(p if isinstance(p, str) else wb.winpath(p), ticked) for p, ticked in files]
        project.write_bytes(project_text(dict(
            project=wb.winpath(project), files=entries, save_as=wb.winpath(package), **settings)))
        return self.wizard(wb.winpath(project), "$MAKE$")

    def check_cabinets(self, package: Path, password: str = "") -> list[Path]:
        """The package's first cabinet and its continuations, unscrambled into
        a scratch folder; cabextract must accept the whole set."""
        data = package.read_bytes()
        stub, library, block = package_pieces(data)
        scratch = self.dir / "cabinets"
        scratch.mkdir(exist_ok=True)
        base = package.stem
        first = scratch / f"{base}.cab"
        first.write_bytes(unscramble(data[stub + library + block:], password))
        cabinets = [first]
        k = 2
        while (package.parent / f"{base}{k}.cab").exists():
            continuation = package.parent / f"{base}{k}.cab"
            cabinets.append(scratch / continuation.name)
            cabinets[-1].write_bytes(unscramble(continuation.read_bytes(), password))
            k += 1
        for cabinet in cabinets:
            self.assertEqual(cabinet.read_bytes()[:4], b"MSCF", cabinet.name)
        result = subprocess.run(["cabextract", "-t", str(first)], capture_output=True)
        report = (result.stdout + result.stderr).decode("latin-1")
        self.assertEqual(result.returncode, 0, report)
        self.assertNotIn("failed", report.lower())
        return cabinets

    def assertSameTree(self, expected: Path, actual: Path) -> None:
        self.assertEqual(wb.files_of(expected), wb.files_of(actual))

    def assertNoLeftovers(self, package: Path) -> None:
        left = sorted(p.name for p in package.parent.iterdir()
                      if p.name.endswith((".cab_", ".resource.injection.buffer"))
                      or p.name == package.stem + ".cab")
        self.assertEqual(left, [])

    # ---- Round trips ----

    def test_project_built_with_make_extracts_byte_for_byte(self) -> None:
        out_dir = self.dir / "out"
        package = self.dir / "Sample Package.exe"
        code = self.make([(self.tree / "*.*", True)], package, target="TARGETDIR",
                         target_dir=wb.winpath(out_dir))
        self.assertEqual(code, 0, self.traced())
        self.assertIn("build succeeded", self.traced())
        self.assertNoLeftovers(package)
        self.check_cabinets(package)
        # The package starts with the stub and the compressed library.
        data = package.read_bytes()
        stub = (self.prog / "ombrstub.exe").read_bytes()
        library = (self.prog / "cabinet.dl_").read_bytes()
        self.assertEqual(data[:len(stub)], stub)
        self.assertEqual(data[len(stub):len(stub) + len(library)], library)
        # The project is recorded in the known packages list.
        known = (self.prog / "packages.qorv").read_bytes().decode("cp1252").split("\r\n")
        self.assertEqual(known[:2], ["Sample", wb.winpath(self.dir / "project.ombr")])

        code, _ = wb.run(package, ["$SILENT$"], timeout=120)
        self.assertEqual(code, 0)
        self.assertSameTree(self.tree, out_dir)

    def test_large_file_round_trip(self) -> None:
        tree = self.dir / "large"
        tree.mkdir()
        large = make_tree(tree, large_mb=300)
        out_dir = self.dir / "out"
        package = self.dir / "Large.exe"
        code = self.make([(large / "*.*", True)], package, name="Large", target="TARGETDIR",
                         target_dir=wb.winpath(out_dir))
        self.assertEqual(code, 0, self.traced())
        code, _ = wb.run(package, ["$SILENT$"], timeout=600)
        self.assertEqual(code, 0)
        self.assertSameTree(large, out_dir)
        shutil.rmtree(tree)
        shutil.rmtree(out_dir)

    def test_password_multi_part_package(self) -> None:
        tree = self.dir / "tree"
        shutil.copytree(self.tree, tree)
        (tree / "more random.bin").write_bytes(os.urandom(2_500_000))
        out_dir = self.dir / "out"
        package = self.dir / "Setup2.exe"  # a base name that ends in a digit
        code = self.make([(tree / "*.*", True)], package, name="Parts", password="Open Sesame",
                         target="TARGETDIR", target_dir=wb.winpath(out_dir), multi_part=True,
                         split="1", end="All done.")
        self.assertEqual(code, 0, self.traced())
        self.assertNoLeftovers(package)
        continuations = sorted(p.name for p in self.dir.glob("Setup2*.cab"))
        self.assertGreaterEqual(len(continuations), 3, continuations)
        self.assertEqual(continuations[0], "Setup22.cab")
        for name in continuations:
            first = (self.dir / name).read_bytes()[0]
            self.assertEqual(first, ord("M") ^ (~ord("O") & 0xFF), name)
            self.assertLessEqual((self.dir / name).stat().st_size, 1 << 20)
        self.check_cabinets(package, "Open Sesame")

        prompt = "Quorvane Ombrell - Parts>>This package has been password protected."
        with wb.Program(package) as program:
            wb.find_window(DIALOG, prompt)
            wb.set_text(DIALOG, prompt, 2101, "Open Sesame")
            wb.press(DIALOG, prompt, "OK")
            done = "Quorvane Ombrell - Parts>>All done."
            wb.find_window(DIALOG, done, timeout_ms=120_000)
            wb.press(DIALOG, done, "OK")
            self.assertEqual(program.wait(60), 0)
        self.assertSameTree(tree, out_dir)

    def test_packit_packs_a_folder_into_my_packages(self) -> None:
        folder = self.dir / "Tools Pro"
        shutil.copytree(self.tree, folder)
        code = self.wizard("$PACKIT$", wb.winpath(folder))
        self.assertEqual(code, 0, self.traced())
        documents = Path(wb.ENV["WINEPREFIX"]) / "drive_c/users" / wb.temp_folder().parent.name
        package = documents / "Documents/My Packages/Tools Pro/Tools Pro.exe"
        self.assertTrue(package.exists(), self.traced())
        explore = [line for line in self.traced() if line.startswith("explore: ")]
        self.assertEqual(explore, ['explore: explorer.exe "C:\\users\\%s\\Documents\\My Packages\\'
                                   'Tools Pro"' % wb.temp_folder().parent.name])
        # Asked for the folder, the package is answered silently with $EXE$-less
        # defaults: check its content through cabextract instead.
        cabinets = self.check_cabinets(package)
        listing = subprocess.run(["cabextract", "-l", str(cabinets[0])], capture_output=True)
        self.assertIn(b"sub folder\\deeper\\pattern.bin", listing.stdout.replace(b"/", b"\\"))
        wb.close_opened("ExplorerWClass", "Tools Pro")
        shutil.rmtree(package.parent)
        # "Save" is ticked by default: the project lies beside the package
        # folder and is known by the package's name.
        project = documents / "Documents/My Packages/Tools Pro.ombr"
        self.addCleanup(project.unlink, True)
        user = wb.temp_folder().parent.name
        project_path = f"C:\\users\\{user}\\Documents\\My Packages\\Tools Pro.ombr"
        self.assertEqual(project.read_bytes().decode("cp1252").split("\r\n")[0], project_path)
        known = (self.prog / "packages.qorv").read_bytes().decode("cp1252").split("\r\n")
        self.assertEqual(known[:2], ["Tools Pro", project_path])

    # ---- Signing ----

    def sign(self, check_says: str | None) -> tuple[int, Path]:
        for tool in ("signcode.exe", "chktrust.exe"):
            shutil.copy2(wb.TESTBIN / "signing_tool.exe", self.prog / tool)
        (self.dir / "me.spc").write_bytes(b"certificate")
        (self.dir / "me.pvk").write_bytes(b"key")
        package = self.dir / "Signed.exe"
        env = {"SIGNING_TOOL_LOG": wb.winpath(self.dir / "signing.log")}
        if check_says is not None:
            env["CHKTRUST_SAYS"] = check_says
        project = self.dir / "project.ombr"
        project.write_bytes(project_text(dict(
            project=wb.winpath(project), files=[(wb.winpath(self.tree / "readme.txt"), False)],
            save_as=wb.winpath(package), name="Signed Tools", sign=True,
            spc=wb.winpath(self.dir / "me.spc"), pvk=wb.winpath(self.dir / "me.pvk"),
            timestamp="http://ts.example.test", info_url="")))
        return self.wizard(wb.winpath(project), "$MAKE$", env=env), package

    def test_signing_runs_both_tools_and_checks_the_verdict(self) -> None:
        code, package = self.sign(None)
        self.assertEqual(code, 0, self.traced())
        self.assertTrue(package.read_bytes().endswith(SIGNED_MARK))
        log = (self.dir / "signing.log").read_bytes().decode("cp1252").split("\r\n")
        prog = wb.winpath(self.prog) + "\\"
        pkg = wb.winpath(package)
        self.assertEqual(log[0], f'"{prog}signcode.exe" -spc "{wb.winpath(self.dir / "me.spc")}" '
                                 f'-v "{wb.winpath(self.dir / "me.pvk")}" '
                                 f'-t "http://ts.example.test" -n "Signed Tools" "{pkg}"')
        self.assertEqual(log[1], f'"{prog}chktrust.exe" -q "{pkg}"')

    def test_a_failed_signature_check_deletes_the_package(self) -> None:
        code, package = self.sign("Failed: no trust\r\n")
        self.assertEqual(code, 1)
        self.assertFalse(package.exists())
        self.assertIn("error: Code signing has failed.", self.traced())
        self.assertNoLeftovers(package)

    # ---- Failures ----

    def test_invalid_settings_and_project_files(self) -> None:
        # A licence file that does not exist: nothing is built.
        package = self.dir / "Broken.exe"
        code = self.make([(self.tree / "*.*", True)], package,
                         licence=wb.winpath(self.dir / "missing licence.txt"))
        self.assertEqual(code, 1)
        self.assertIn("question: Some project settings are invalid. Please review your project "
                      "settings.", self.traced())
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()),
                         ["program", "project.ombr", "trace.txt"])

        # Files that match nothing make no cabinet: the build fails cleanly.
        code = self.make([(wb.winpath(self.dir / "nothing here") + "\\*.*", True)], package)
        self.assertEqual(code, 1)
        self.assertIn("error: Compression has failed.", self.traced())
        self.assertFalse(package.exists())

        # A project file cut short is reported and ends the wizard.
        project = self.dir / "cut.ombr"
        project.write_bytes(b"C:\\x.ombr\r\nC:\\data\\*.*\r\n$\r\n$\r\nName\r\n")
        with wb.Program(self.prog / "ombrwiz.exe", [wb.winpath(project), "$MAKE$"]) as program:
            box = f"{CAPTION}>>Selected project file is invalid."
            wb.find_window(DIALOG, box)
            wb.screenshot("package-wizard-invalid-project")
            wb.press(DIALOG, box, "OK")
            self.assertEqual(program.wait(60), 1)

    def test_first_run_lays_out_the_program_folder(self) -> None:
        for name in ("firstrun.qorv", "packages.qorv", "ui.qorv"):
            (self.prog / name).unlink()
        # A project that cannot be opened is reported; the wizard then opens
        # with fresh settings and stays usable.
        missing = wb.winpath(self.dir / "no such project.ombr")
        with wb.Program(self.prog / "ombrwiz.exe", [missing]) as program:
            box = f"{CAPTION}>>Selected project file is invalid."
            wb.find_window(DIALOG, box)
            wb.press(DIALOG, box, "OK")
            wb.find_window("TOmbrell", "Ombrell Wizard")
            wb.press("TOmbrell", "Ombrell Wizard", "Cancel")
            question = f"{CAPTION}>>Are you sure you want to quit?"
            wb.find_window(DIALOG, question)
            wb.press(DIALOG, question, "Yes")
            self.assertEqual(program.wait(60), 0)
        self.assertEqual((self.prog / "firstrun.qorv").read_bytes(), b"")
        self.assertEqual((self.prog / "packages.qorv").read_bytes(), b"")
        user = wb.temp_folder().parent.name
        my_packages = f"C:\\users\\{user}\\Documents\\My Packages\\"
        self.assertEqual((self.prog / "ui.qorv").read_bytes().decode("cp1252").split("\r\n"),
                         ["FALSE", "TRUE", "TRUE", "TRUE", "TRUE"] + [my_packages] * 6
                         + ["FALSE", "TRUE", ""])
        self.assertTrue((wb.temp_folder().parent / "Documents/My Packages").is_dir())

    def test_a_running_package_is_not_replaced(self) -> None:
        out_dir = self.dir / "out"
        package = self.dir / "Busy.exe"
        code = self.make([(self.tree / "readme.txt", False)], package, name="Busy",
                         start="Shall we?", target="TARGETDIR", target_dir=wb.winpath(out_dir))
        self.assertEqual(code, 0, self.traced())
        before = package.read_bytes()
        question = "Quorvane Ombrell - Busy>>Shall we?"
        with wb.Program(package) as program:
            wb.find_window(DIALOG, question)
            code = self.make([(self.tree / "*.*", True)], package, name="Busy")
            wb.press(DIALOG, question, "No")
            program.wait(60)
        if code == 1:
            self.assertIn("error: Unable to prepare for resource injection, please make sure your "
                          "package file is not running.", self.traced())
            self.assertEqual(package.read_bytes(), before)
        else:
            # Wine lets a running program's file be deleted; the build then
            # simply replaces it.
            self.assertEqual(code, 0)

    # ---- Mailing ----

    def mail_it(self, folder: Path, messaging: str) -> tuple[int, Path]:
        """Runs "$MAILIT$" with the recording mail library beside the wizard
        and the system's Simple MAPI switch set to `messaging` (restored
        afterwards); the first logon fails, as where a profile must be chosen."""
        shutil.copy2(wb.TESTBIN / "mapi32.dll", self.prog / "mapi32.dll")
        before = subprocess.run([wb.WINE, "reg", "query", MESSAGING, "/v", "MAPI"], env=wb.ENV,
                                capture_output=True).stdout.decode(wb.ENCODING).split()
        old = before[before.index("REG_SZ") + 1] if "REG_SZ" in before else None

        def restore() -> None:
            command = ["add", MESSAGING, "/v", "MAPI", "/d", old, "/f"] if old is not None else \
                ["delete", MESSAGING, "/v", "MAPI", "/f"]
            subprocess.run([wb.WINE, "reg", *command], env=wb.ENV, capture_output=True)

        self.addCleanup(restore)
        subprocess.run([wb.WINE, "reg", "add", MESSAGING, "/v", "MAPI", "/d", messaging, "/f"],
                       env=wb.ENV, capture_output=True, check=True)
        record = self.dir / "mail.txt"
        # Windows finds the library in the program's folder first; Wine would
        # otherwise take its own.
        env = {"TAVREL_MAPI_RECORD": wb.winpath(record), "TAVREL_MAPI_LOGON_FAILS": "1",
               "WINEDLLOVERRIDES": wb.ENV.get("WINEDLLOVERRIDES", "") + ";mapi32=n,b"}
        return self.wizard("$MAILIT$", wb.winpath(folder), env=env), record

    def my_package(self, name: str) -> Path:
        documents = Path(wb.ENV["WINEPREFIX"]) / "drive_c/users" / wb.temp_folder().parent.name
        package = documents / f"Documents/My Packages/{name}/{name}.exe"
        self.addCleanup(shutil.rmtree, package.parent, True)
        self.addCleanup((package.parent.parent / f"{name}.ombr").unlink, True)
        return package

    def test_mailit_hands_the_package_to_the_mail_program(self) -> None:
        folder = self.dir / "MyPackageSetup"
        shutil.copytree(self.tree, folder)
        package = self.my_package("MyPackageSetup")
        code, record = self.mail_it(folder, "1")
        self.assertEqual(code, 0, self.traced())
        self.check_cabinets(package)
        user = wb.temp_folder().parent.name
        path = f"C:\\users\\{user}\\Documents\\My Packages\\MyPackageSetup\\MyPackageSetup.exe"
        # The mail program's own logon after the quiet one failed; its compose
        # window for the package, attached under a short name.
        self.assertEqual(record.read_bytes().decode(wb.ENCODING).splitlines(), [
            "logon|0|(none)|(none)|failed",
            "logon|1|(none)|(none)",
            "send|8|MyPackageSetup",
            f"attachment|{path}|ageSetup.exe|-1",
            "logoff|0",
        ])
        self.assertIn("mail: handed to the mail program", self.traced())
        # Mailing instead of exploring: no folder window.
        self.assertFalse([line for line in self.traced() if line.startswith("explore: ")])

    def test_mailit_without_simple_mapi_still_builds(self) -> None:
        folder = self.dir / "Mail Me"
        folder.mkdir()
        (folder / "note.txt").write_bytes(b"note\r\n")
        package = self.my_package("Mail Me")
        code, record = self.mail_it(folder, "0")
        self.assertEqual(code, 0, self.traced())
        self.assertTrue(package.exists())
        self.assertFalse(record.exists())
        self.assertIn("mail: MAPI services are not available on this system", self.traced())

if __name__ == "__main__":
    unittest.main()
