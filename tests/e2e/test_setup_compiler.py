"""The setup compiler tvlc end to end: sources with every kind of fault are
refused with file, line and reason and write nothing; the source format's
comments, quoting, continuation lines and includes reach the compiled script
as meant; the demo sample and the README's example, compiled by tvlc, install,
repair and remove under Wine."""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import unittest
from pathlib import Path

import winebench as wb
from setup_assembler import compile_script, parse_description
from web_server import WebServer

WORK = wb.WORK / "setup_compiler"
TVLC = Path(os.environ.get("TAVREL_TVLC", wb.ROOT / "build/host/bin/tvlc"))
DRIVE_C = Path(wb.ENV["WINEPREFIX"]) / "drive_c"
SYSTEM_ENVIRONMENT = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\Environment"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
ENGINE = b"MZ stand-in engine\r\n"


def tvlc(source: Path, out: Path, bin_dir: Path) -> subprocess.CompletedProcess:
    return subprocess.run([str(TVLC), str(source), str(out), "--bin", str(bin_dir)],
                          capture_output=True, text=True, timeout=300)


def script_of(setup_exe: Path) -> list[str]:
    """The compiled script behind the stand-in engine, as its lines."""
    data = setup_exe.read_bytes()
    assert data.startswith(ENGINE)
    return data[len(ENGINE):].decode("cp1252").split("\r\n")[:-1]


def lists(lines: list[str], count: int) -> list[list[str]]:
    """The first count lists of a script (each closed by a "$" line)."""
    found, start = [], 0
    for _ in range(count):
        end = lines.index("$", start)
        found.append(lines[start:end])
        start = end + 1
    return found


def forget(product: str, *folders: Path) -> None:
    """Removes what a test may have left installed: the product, its folders."""
    subprocess.run([wb.WINE, "msiexec", "/x", product, "/qn"], env=wb.ENV, capture_output=True,
                   timeout=120)
    for folder in folders:
        shutil.rmtree(folder, ignore_errors=True)


def without_ids(lines: list[str]) -> list[str]:
    """The script with each command identifier replaced by its number."""
    ids = lines[:lines.index("$", lines.index("$") + 1)][lines.index("$") + 1:]
    names = {id: f"<id {n}>" for n, id in enumerate(ids)}
    return [names.get(line, line) for line in lines]


class CompilerCase(unittest.TestCase):
    def setUp(self) -> None:
        self.dir = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        # A stand-in engine: the script behind it is read back as it is.
        self.bin = self.dir / "bin"
        self.bin.mkdir()
        (self.bin / "tvlstub.exe").write_bytes(ENGINE)
        (self.bin / "tvl.dll").write_bytes(b"MZ stand-in library")

    def write(self, files: dict[str, str | bytes]) -> None:
        for name, text in files.items():
            path = self.dir / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(text if isinstance(text, bytes) else text.encode("utf-8"))


SET = "command Set Variable\n    | A\n    | 1\n"
# Run with REMOVE=TRUE, a setup has Windows Installer undo what it recorded.
REMOVAL = """command If
    | REMOVE
    | 0
    | TRUE
    | FALSE
command Apply Changes
    | Progress
    | RESULT
    | FALSE
command Terminate Install
command End
"""
BASE = "title = T\nproduct = {11111111-2222-3333-4444-555555555555}\n"


class RefusedSourceTest(CompilerCase):
    # (name, files, source file, expected stderr: a "FILE:LINE: " prefix and the reason)
    CASES = [
        ("unknown command", {"s.setup": BASE + SET + "command Frobnicate\n"},
         "s.setup:6: unknown command 'Frobnicate'"),
        ("too few parameters", {"s.setup": BASE + "command Set Variable\n    | A\n"},
         "s.setup:3: Set Variable takes 2 parameters, not 1"),
        ("too many parameters", {"s.setup": BASE + "command Else\n    | x\n"},
         "s.setup:3: Else takes 0 parameters, not 1"),
        ("block left open", {"s.setup": BASE + "command If\n | A\n | 0\n | 1\n | FALSE\n" + SET},
         "s.setup:8: Insufficient END statements"),
        ("End without If", {"s.setup": BASE + SET + "command End\n"},
         "s.setup:6: Too many END statements"),
        ("condition on an unknown variable",
         {"s.setup": BASE + "command If\n | COUNT\n | 0\n | 1\n | FALSE\ncommand End\n"},
         "s.setup:3: Variable not defined: COUNT"),
        ("jump to no label", {"s.setup": BASE + "command GoTo Label\n | nowhere\n"},
         "s.setup:3: LABEL undefined: nowhere"),
        ("statement inside a wizard loop",
         {"s.setup": BASE + "command Wizard Loop\n" + SET + "command End\n"},
         "s.setup:4: Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"),
        ("fault in an included file",
         {"s.setup": BASE + "include = parts/more.setup\n",
          "parts/more.setup": "# more commands\n" + SET + "command Nothing\n"},
         "parts/more.setup:5: unknown command 'Nothing'"),
        ("file that includes itself",
         {"s.setup": BASE + "include = a.setup\n", "a.setup": "include = b.setup\n",
          "b.setup": "\n\ninclude = a.setup\n"},
         "b.setup:3: 'a.setup' includes itself through 'b.setup'"),
        ("missing included file", {"s.setup": BASE + "include = none.setup\n"},
         "s.setup:3: cannot read the included file 'none.setup'"),
        ("character outside the code page", {"s.setup": BASE + SET + "  | Ω\n"},
         "s.setup:6: character Ω cannot be written in code page Windows-1252"),
        ("text that is not UTF-8", {"s.setup": BASE.encode() + b"comments = caf\xe9\n"},
         "s.setup:3: the text is not UTF-8"),
        ("quote left open", {"s.setup": BASE + "command Set Variable\n | A\n |\"open\n"},
         "s.setup:5: the quoted text has no closing quote"),
        ("parameter that would end a list", {"s.setup": BASE + "command Set Variable\n | A\n | $\n"},
         "s.setup:3: a parameter line cannot be exactly '$'"),
        ("product that is no GUID", {"s.setup": "title = T\nproduct = {nope}\n" + SET},
         "s.setup:2: product '{nope}' is not a GUID in braces"),
        ("unknown setting", {"s.setup": BASE + "colour = blue\n"},
         "s.setup:3: unknown setting 'colour'"),
        ("parameter without a command", {"s.setup": BASE + "  | stray\n"},
         "s.setup:3: a parameter line '|' belongs below a 'command' line"),
        ("missing source folder",
         {"s.setup": BASE + "command Install Files\n | nothing\n |\n | C:\\X\n"},
         "s.setup:3: Install Files: source '"),
        ("two names that are one on Windows",
         {"s.setup": BASE + "command Install Files\n | p\n |\n | C:\\X\n", "p/a.txt": "1",
          "p/A.txt": "2"},
         "s.setup:3: Install Files: 'A.txt' and 'a.txt' are one name on Windows"),
        ("file name Windows cannot hold",
         {"s.setup": BASE + "command Install Files\n | p\n |\n | C:\\X\n", "p/a:b.txt": "1"},
         "s.setup:3: Install Files: 'a:b.txt' is not a valid Windows file name"),
        ("file name too long for the database",
         {"s.setup": BASE + "command Install Files\n | p\n |\n | C:\\X\n",
          "p/" + "n" * 250: "1"},
         "s.setup:3: Install Files: '" + "n" * 250 + "' is too long for the installer database"),
        ("file name outside the code page",
         {"s.setup": BASE + "command Install Files\n | p\n |\n | C:\\X\n", "p/Ω.txt": "1"},
         "s.setup:3: Install Files: 'Ω.txt' cannot be written in code page Windows-1252"),
        ("registry root", {"s.setup": BASE + "command Write Registry\n | 7\n | K\n | N\n | V\n"
                                             " | string\n"},
         "s.setup:3: Write Registry: root '7' must be"),
        ("change the database cannot hold yet",
         {"s.setup": BASE + "command Create ODBC DSN\n"},
         "s.setup:3: Create ODBC DSN cannot be put into the installer database yet"),
        ("fixed parameter that names a variable",
         {"s.setup": BASE + "command Edit INI File\n | C:\\A\n | $NAME$.ini\n | remove\n"
                            " | S\n | K\n | V\n"},
         "s.setup:3: Edit INI File: the file's name (parameter 2) is fixed when the setup is "
         "built and cannot use variables"),
        ("word outside its set",
         {"s.setup": BASE + "command Install Service\n | svc.exe\n | C:\\S\n | sometimes\n"
                            + " | x\n" * 12, "svc.exe": "MZ"},
         "s.setup:3: Install Service: the start type 'sometimes' (parameter 3) must be demand, "
         "auto or disabled"),
        ("file type extension without its dot",
         {"s.setup": BASE + "command Create File Type\n | txt\n | T.Doc\n | D\n | C:\\p.exe\n"
                            " |\n"},
         "s.setup:3: Create File Type: extension 'txt' must be a dot and a name, as in .txt"),
        ("service control outside its set",
         {"s.setup": BASE + "command Control Service\n | Spooler\n | pause\n"},
         "s.setup:3: Control Service: 'pause' (parameter 2) must be start, stop or delete"),
        ("environment name the database cannot hold",
         {"s.setup": BASE + "command Set Environment\n | =PATH\n | x\n"},
         "s.setup:3: Set Environment: '=PATH' cannot be an environment variable's name here"),
        ("missing resource", {"s.setup": BASE + "resource = gone.txt\n"},
         "s.setup:3: resource '"),
        ("missing dialog file",
         {"s.setup": BASE + "dialogs = d\ncommand Display Dialog\n | Nope\n | W\n |\n |\n |\n |\n",
          "d/Other.dfm": ""},
         "s.setup:4: dialog file '"),
    ]

    def test_each_fault_is_refused_with_its_place_and_nothing_is_written(self) -> None:
        for name, files, expected in self.CASES:
            with self.subTest(name):
                shutil.rmtree(self.dir / "case", ignore_errors=True)
                case = self.dir / "case"
                case.mkdir()
                for file, text in files.items():
                    path = case / file
                    path.parent.mkdir(parents=True, exist_ok=True)
                    path.write_bytes(text if isinstance(text, bytes) else text.encode("utf-8"))
                result = subprocess.run([str(TVLC), "s.setup", "out", "--bin", str(self.bin)],
                                        capture_output=True, text=True, cwd=case, timeout=300)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertTrue(result.stderr.startswith(expected), result.stderr)
                self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
                self.assertEqual(sorted(p.name for p in case.iterdir() if p.name.startswith(
                    (".out", "out"))), [])

    def test_a_late_failure_leaves_the_existing_setup_as_it_was(self) -> None:
        # The resource is a pipe: it exists, so the early checks pass, and
        # copying it fails after the database has been written.
        self.write({"s.setup": BASE + "resource = pipe\ncommand Install Files\n | p\n |\n"
                                      " | C:\\X\n", "p/a.txt": "a"})
        os.mkfifo(self.dir / "pipe")
        out = self.dir / "out"
        out.mkdir()
        (out / "Setup.exe").write_bytes(b"the earlier setup")
        result = tvlc(self.dir / "s.setup", out, self.bin)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("pipe", result.stderr)
        self.assertEqual(wb.files_of(out), {"Setup.exe": b"the earlier setup"})
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()),
                         ["bin", "out", "p", "pipe", "s.setup"])

    def test_usage_faults_exit_with_2(self) -> None:
        for args in ([], ["only-one"], ["a", "b"], ["a", "b", "--bin"], ["a", "b", "--frob", "x"]):
            with self.subTest(args=args):
                result = subprocess.run([str(TVLC), *args], capture_output=True, text=True)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("usage: tvlc", result.stderr)


class SourceFormatTest(CompilerCase):
    def test_comments_quotes_continuations_and_includes_reach_the_script(self) -> None:
        self.write({
            "s.setup": "\ufeff# a comment\n" + BASE + "comments = one\n   +  two\n"
                       "include = inc/more.setup\n"
                       "command Set Variable\n"
                       "    # a comment between parameters\n"
                       "    | PATH\n"
                       "    | C:\\Program Files\\\n"
                       "command Set Variable\n"
                       "    |  two blanks kept at the start, none at the end   \n"
                       '    |"  padded  ""quoted""  "\n'
                       "command Set Variable\n"
                       "    | LONG\n"
                       "    | first part,\n"
                       "    +  second part\n"
                       '    +"  "\n'
                       "    flag = C\n"
                       "command Set Variable\n"
                       '    | EMPTY\n'
                       '    |""\n'
                       "command Set Variable\n    | CAFE\n    | Café – 5 €\n",
            "inc/more.setup": "plugin = My Plug\ncommand my plug\n | text\n | lib.tvp\\lib.dll\n",
        })
        result = tvlc(self.dir / "s.setup", self.dir / "out", self.bin)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = script_of(self.dir / "out/Setup.exe")
        names, ids, block, flags = lists(lines, 4)
        self.assertEqual(names, ["my plug"] + ["Set Variable"] * 5)
        records = {n: block[block.index(id) + 1:block.index(id) + 3] for n, id in enumerate(ids)}
        self.assertEqual(records, {
            0: ["text", "lib.tvp\\lib.dll"],
            1: ["PATH", "C:\\Program Files\\"],
            2: [" two blanks kept at the start, none at the end", '  padded  "quoted"  '],
            3: ["LONG", "first part, second part  "],
            4: ["EMPTY", ""],
            5: ["CAFE", "Caf\xe9 \u2013 5 \u20ac"],
        })
        self.assertEqual(flags, ["", "", "", "C", "", ""])
        self.assertIn("one two", lines)  # comments, the fifth publisher line
        self.assertIn("My Plug", lines)

    def test_the_demo_compiles_to_the_assemblers_script(self) -> None:
        shutil.copytree(wb.ROOT / "samples/demo", self.dir / "demo")
        (self.dir / "demo/setup.bmp").write_bytes(b"BM")
        demo = self.dir / "demo/demo.setup"
        result = tvlc(demo, self.dir / "out", self.bin)
        self.assertEqual(result.returncode, 0, result.stderr)
        ours = script_of(self.dir / "out/Setup.exe")
        setup = parse_description(demo.read_text(encoding="cp1252"), demo.parent)
        theirs = compile_script(setup).decode("cp1252").split("\r\n")[:-1]
        # Only the made-up codes differ: command identifiers and the revision.
        revision = len(theirs) - 2 - len(setup.source_folders)
        self.assertEqual(theirs[revision], setup.revision)
        theirs[revision] = ours[revision]
        self.assertEqual(without_ids(ours), without_ids(theirs))


class InstallTest(CompilerCase):
    def setUp(self) -> None:
        super().setUp()
        wb.clean_temp()

    def tearDown(self) -> None:
        wb.clean_temp()

    def engine(self, setup: Path, args: list[str]) -> int:
        with wb.Program(setup / "Setup.exe", args, trace=self.dir / "trace.txt") as program:
            return program.wait(180)

    def install_and_remove(self, source: Path, product: str, title: str, target: str,
                           installed: list[str], key: str, environment: str = "",
                           tree: Path | None = None) -> None:
        """Installs into target (the files installed there, InstallFolder under key
        and the environment variable named set to target; the folder holding
        tree's files and nothing else, when given), repairs a file deleted
        since, and removes everything again."""
        folder = DRIVE_C / target[3:].rstrip("\\")
        shutil.rmtree(folder, ignore_errors=True)
        try:
            result = tvlc(source, self.dir / "setup", wb.BIN)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(self.engine(self.dir / "setup", ["/s", f"TARGETDIR={target}"]), 0)
            for name in installed:
                self.assertTrue((folder / name).exists(), name)
            if tree is not None:
                self.assertEqual(wb.files_of(folder), wb.files_of(tree))
            self.assertEqual(wb.registry_value(key, "InstallFolder"), target)
            if environment:
                self.assertEqual(wb.registry_value(SYSTEM_ENVIRONMENT, environment), target)
            self.assertIsNotNone(wb.registry_value(UNINSTALL + title, "DisplayName"))
            # Repair: a maintenance run of the same setup puts back what went.
            (folder / installed[0]).unlink()
            self.assertEqual(self.engine(self.dir / "setup", ["/s"]), 0)
            self.assertTrue((folder / installed[0]).exists())
            self.assertEqual(self.engine(self.dir / "setup", ["/s", "REMOVE=TRUE"]), 0)
            left = sorted(str(p.relative_to(folder)) for p in folder.rglob("*")) \
                if folder.exists() else []
            self.assertEqual(left, [])
            self.assertIsNone(wb.registry_value(key, "InstallFolder"))
            if environment:
                self.assertIsNone(wb.registry_value(SYSTEM_ENVIRONMENT, environment))
            self.assertIsNone(wb.registry_value(UNINSTALL + title, "DisplayName"))
        finally:
            forget(product, folder)

    def test_the_demo_installs_repairs_and_removes(self) -> None:
        shutil.copytree(wb.ROOT / "samples/demo", self.dir / "demo")
        subprocess.run(["convert", "-size", "32x32", "xc:#2050a0", f"BMP3:{self.dir}/demo/setup.bmp"],
                       check=True)
        self.install_and_remove(self.dir / "demo/demo.setup",
                                "{5A4D1E2C-7B3F-4C61-9D08-2E6F1A9B7C35}", "Tavrel Demo Product",
                                "C:\\Tavrel Compiler Demo", ["readme.txt", "Logs", "Read Me.lnk",
                                                             "filler/filler00999.bin"],
                                "HKCU\\Software\\Tavrel Samples\\Demo Product")

    def test_the_readme_example_installs_repairs_and_removes(self) -> None:
        readme = (wb.ROOT / "README.md").read_text(encoding="utf-8")
        block = re.search(r"\n(    # example\.setup:.*?)\n(?=\S)", readme, re.S).group(1)
        example = "\n".join(line[4:] for line in block.splitlines()) + "\n"
        self.write({"example/example.setup": example, "example/program/tool.txt": "the tool\r\n",
                    "example/program/docs/guide.txt": "a guide\r\n"})
        shutil.copytree(wb.ROOT / "samples/dialogs", self.dir / "example/dialogs")
        self.install_and_remove(self.dir / "example/example.setup",
                                "{8D0B5C2E-41A7-4E3B-9F62-7C1D3A5E9B04}", "Example Tool",
                                "C:\\Example Tool", ["tool.txt", "docs/guide.txt",
                                                     "Example Tool.lnk"],
                                "HKCU\\Software\\Example Company\\Example Tool", "EXAMPLETOOL")

    def test_a_program_tree_installs_repairs_and_removes(self) -> None:
        """The Wine tree's own build output (the programs and the object
        files of the four programs: a few hundred files in nested folders,
        none of which a test running beside this one writes) as a product."""
        tree = self.dir / "tree"
        for part in ("bin", "engine", "tvl", "stub", "wizard"):
            shutil.copytree(wb.BIN.parent / part, tree / part)
        files = [p for p in tree.rglob("*") if p.is_file()]
        self.assertGreater(len(files), 100)
        product = "{6A1F0C3D-2E4B-4D7A-9C85-1B3E5F7A9D20}"
        self.write({"s.setup": f"""title = Compiler Tree Test
product = {product}
include = removal.setup
command Install Files
    | tree
    |""
    | $TARGETDIR$
command Write Registry
    | 1
    | Software\\Tavrel Tests\\Compiler Tree
    | InstallFolder
    | $TARGETDIR$
    | string
command Apply Changes
    | Progress
    | RESULT
    | TRUE
""", "removal.setup": REMOVAL})
        self.install_and_remove(self.dir / "s.setup", product, "Compiler Tree Test",
                                "C:\\Tavrel Compiler Tree",
                                [str(files[0].relative_to(tree))],
                                "HKCU\\Software\\Tavrel Tests\\Compiler Tree", tree=tree)

    def test_web_media_and_offline_files_install_and_remove(self) -> None:
        """A web setup: the payload in block WEB1 (web\\WEB1.7zip, served
        from 127.0.0.1), one file beside the setup in offline\\."""
        product = "{3C7E2A91-5B0D-4F68-8E14-9A2B6C0D1E37}"
        target = "C:\\Tavrel Compiler Web\\"
        self.write({"s.setup": f"""title = Compiler Web Test
product = {product}
media-mode = 2
include = removal.setup
command Web Media Block
    | WEB1
    | $WEBROOT$WEB1.7zip
command Install Files
    | payload
    |""
    | $TARGETDIR$
    media = WEB1\\
command Install Files
    | extra.txt
    |""
    | $TARGETDIR$Extra
    media = OFFLINE\\
command Apply Changes
    | Progress
    | RESULT
    | TRUE
""", "payload/tool.txt": "the tool\r\n", "payload/docs/Déjà vu, long name.txt": "deep\r\n",
            "extra.txt": "beside the setup\r\n", "removal.setup": REMOVAL})
        folder = DRIVE_C / target[3:].rstrip("\\")
        shutil.rmtree(folder, ignore_errors=True)
        result = tvlc(self.dir / "s.setup", self.dir / "setup", wb.BIN)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(p.name for p in (self.dir / "setup/web").iterdir()), ["WEB1.7zip"])
        server = WebServer(self.dir / "setup/web")
        try:
            self.assertEqual(self.engine(self.dir / "setup",
                                         ["/s", f"TARGETDIR={target}", f"WEBROOT={server.url}"]), 0)
            self.assertEqual(wb.files_of(folder), {
                "tool.txt": b"the tool\r\n", "docs/Déjà vu, long name.txt": b"deep\r\n",
                "Extra/extra.txt": b"beside the setup\r\n"})
            self.assertGreaterEqual(server.count("/WEB1.7zip"), 1)
            self.assertEqual(self.engine(self.dir / "setup",
                                         ["/s", "REMOVE=TRUE", f"WEBROOT={server.url}"]), 0)
            self.assertEqual(wb.files_of(folder) if folder.exists() else {}, {})
        finally:
            server.stop()
            forget(product, folder)

    def test_file_types_ini_edits_file_commands_and_services_install_and_remove(self) -> None:
        """The change commands outside the product's folder: a file type, INI
        edits of an existing file (a value added, one replaced, one kept at
        removal), files deleted at installation and at removal, a copy and a
        move, a service installed and one started, an ODBC driver."""
        product = "{2E8C4A17-9D3B-4F05-A6E2-7B1C0D9F3A58}"
        target = "C:\\Tavrel Compiler Changes\\"
        data = "C:\\TavrelChangesData"
        service = "TavrelCompilerSvc"
        shutil.copy(wb.TESTBIN / "test_service.exe", self.dir / "svc host.exe")
        self.write({"s.setup": f"""title = Compiler Changes Test
product = {product}
include = removal.setup
command Install Files
    | program
    |""
    | $TARGETDIR$
command Create File Type
    | .tvx
    | Tavrel.CompilerDocument
    | Tavrel Compiler Document
    | $TARGETDIR$tool.txt
    |""
command Edit INI File
    | {data}
    | settings.ini
    | remove
    | Paths
    | Home
    | $TARGETDIR$
command Edit INI File
    | {data}
    | settings.ini
    | remove
    | Paths
    | Plugins
    | beta
command Edit INI File
    | {data}
    | settings.ini
    | keep
    | Look
    | Theme
    | dark
command Delete Files
    | {data}
    | old1.log
    | TRUE
    | FALSE
command Delete Files
    | $TARGETDIR$
    | written later.log
    | FALSE
    | TRUE
command Copy/Move Local Files
    | {data}\\copy me.txt
    | copy
    | {data}\\Copies
command Copy/Move Local Files
    | {data}\\move me.txt
    | move
    | {data}\\Moved
command Install Service
    | svc host.exe
    | $TARGETDIR$Service
    | demand
    | {service}
    | Tavrel Compiler Service
    | Logs its starts and stops
    | normal
    | own
    | {data}\\service.log
    |""
    | no
    | yes
    |""
    |""
    |""
command Control Service
    | {service}
    | start
command Install ODBC Driver
    | tvodbc.dll
    |""
    | Tavrel Compiler Driver
    | $TARGETDIR$Odbc
command Apply Changes
    | Progress
    | RESULT
    | TRUE
""", "removal.setup": REMOVAL, "program/tool.txt": "the tool\r\n",
            "data/settings.ini": "[Paths]\r\nPlugins=alpha\r\nOther=kept\r\n",
            "data/old1.log": "", "data/old2.log": "", "data/keep.txt": "",
            "data/copy me.txt": "copied\r\n", "data/move me.txt": "moved\r\n",
            "tvodbc.dll": "a stand-in driver"})
        folder = DRIVE_C / target[3:].rstrip("\\")
        data_folder = DRIVE_C / data[3:]
        classes = "HKLM\\Software\\Classes\\"
        services = "HKLM\\System\\CurrentControlSet\\Services\\" + service
        log = data_folder / "service.log"
        driver = "HKLM\\Software\\ODBC\\ODBCINST.INI\\Tavrel Compiler Driver"

        def ini() -> str:
            return (data_folder / "settings.ini").read_text().replace("\r\n", "\n")

        shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(data_folder, ignore_errors=True)
        shutil.copytree(self.dir / "data", data_folder)
        try:
            result = tvlc(self.dir / "s.setup", self.dir / "setup", wb.BIN)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(self.engine(self.dir / "setup", ["/s", f"TARGETDIR={target}"]), 0)
            self.assertEqual(wb.registry_value(classes + ".tvx", ""), "Tavrel.CompilerDocument")
            document = classes + "Tavrel.CompilerDocument"
            self.assertEqual(wb.registry_value(document, ""), "Tavrel Compiler Document")
            self.assertEqual(wb.registry_value(document + "\\shell\\open\\command", ""),
                             f'"{target}tool.txt" "%1"')
            self.assertEqual(wb.registry_value(document + "\\DefaultIcon", ""),
                             f"{target}tool.txt,0")
            self.assertEqual(ini(), f"[Paths]\nPlugins=beta\nOther=kept\nHome={target}\n"
                                   "[Look]\nTheme=dark\n")
            self.assertEqual(sorted(p.name for p in data_folder.iterdir()),
                             ["Copies", "Moved", "copy me.txt", "keep.txt", "old2.log", "service.log",
                              "settings.ini"])
            self.assertEqual((data_folder / "Copies/copy me.txt").read_bytes(), b"copied\r\n")
            self.assertEqual((data_folder / "Moved/move me.txt").read_bytes(), b"moved\r\n")
            self.assertEqual(wb.registry_value(services, "DisplayName"), "Tavrel Compiler Service")
            self.assertEqual(wb.registry_value(services, "Description"),
                             "Logs its starts and stops")
            self.assertEqual(wb.registry_value(services, "Start"), "0x3")
            self.assertTrue(wb.wait_until(lambda: log.exists() and "started" in log.read_text()))
            self.assertEqual(wb.registry_value(driver, "Driver"), f"{target}Odbc\\tvodbc.dll")
            self.assertEqual(wb.registry_value(driver, "Setup"), f"{target}Odbc\\tvodbc.dll")
            (folder / "written later.log").write_text("by the program\r\n")
            self.assertEqual(self.engine(self.dir / "setup", ["/s", "REMOVE=TRUE"]), 0)
            self.assertTrue(wb.wait_until(lambda: "stopped" in log.read_text()))
            self.assertEqual(log.read_text(), f"started {service}\nstopped {service}\n")
            self.assertIsNone(wb.registry_value(services, "DisplayName"))
            self.assertIsNone(wb.registry_value(driver, "Driver"))
            for key in (classes + ".tvx", document):
                self.assertIsNone(wb.registry_value(key, ""), key)
            self.assertEqual(ini(), "[Paths]\nOther=kept\n[Look]\nTheme=dark\n")
            self.assertFalse(folder.exists())
        finally:
            forget(product, folder, data_folder)
            subprocess.run([wb.WINE, "sc", "delete", service], env=wb.ENV, capture_output=True,
                           timeout=60)


class StandardWizardTest(CompilerCase):
    """samples/dialogs/example.setup, compiled by tvlc, walked with windows:
    the standard pages install the product, and a maintenance run's
    Maintenance page removes it."""
    PRODUCT = "{2F6C8A14-9B3D-4E71-A05C-7D1E3B9F5C28}"
    TITLE = "Standard Wizard Sample"
    TARGET = "C:\\Tavrel Standard Wizard"
    KEY = "HKCU\\Software\\Tavrel Samples\\Standard Wizard Sample"

    def setUp(self) -> None:
        super().setUp()
        wb.clean_temp()
        self.folder = DRIVE_C / self.TARGET[3:]
        shutil.rmtree(self.folder, ignore_errors=True)

    def tearDown(self) -> None:
        forget(self.PRODUCT, self.folder)
        wb.clean_temp()

    def page(self, heading: str) -> wb.Window:
        return wb.find_window("TPoolTemplate", f"{self.TITLE} Setup>>{heading}")

    def press(self, heading: str, button: str) -> None:
        self.page(heading)
        wb.press("TPoolTemplate", f"{self.TITLE} Setup>>{heading}", button)

    def advance(self, heading: str, button: str, to: str) -> bool:
        wb.winctl("press", "TPoolTemplate", f"{self.TITLE} Setup>>{heading}", button)
        return wb.winctl("find", "TPoolTemplate", f"{self.TITLE} Setup>>{to}", "500")[0] == 0

    def click(self, heading: str, caption: str) -> None:
        window = self.page(heading)
        control = next(i for _, i, text in window.children if text.startswith(caption))
        wb.winctl("click", "TPoolTemplate", f"{self.TITLE} Setup>>{heading}", control)

    def test_the_pages_install_and_the_maintenance_page_removes(self) -> None:
        samples = self.dir / "dialogs"
        shutil.copytree(wb.ROOT / "samples/dialogs", samples)
        result = tvlc(samples / "example.setup", self.dir / "setup", wb.BIN)
        self.assertEqual(result.returncode, 0, result.stderr)
        setup = self.dir / "setup/Setup.exe"
        with wb.Program(setup, [], trace=self.dir / "install-trace.txt") as program:
            self.press("Welcome to", "Next >")
            licence = self.page("License Agreement")
            self.assertIn("Sample licence terms: use it as you like.",
                          "".join(text for _, _, text in licence.children))
            self.click("License Agreement", "I &accept")
            # The rule enables Next once the box is ticked: pressed until the
            # next page shows.
            self.assertTrue(wb.wait_until(lambda: self.advance(
                "License Agreement", "Next >", "Choose Install Location"), timeout=30))
            destination = self.page("Choose Install Location")
            edit = next(int(i) for cls, i, _ in destination.children if cls.lower() == "edit")
            wb.set_text("TPoolTemplate", f"{self.TITLE} Setup>>Choose Install Location", edit,
                        self.TARGET)
            self.press("Choose Install Location", "Next >")
            self.press("Choose Features", "Next >")
            self.assertIn(self.TARGET, " ".join(self.page("Ready to Install").texts()))
            self.press("Ready to Install", "Install")
            self.press("Completing", "Finish")
            self.assertEqual(program.wait(120), 0)
        self.assertEqual((self.folder / "program.txt").read_bytes(), b"The sample program.\r\n")
        self.assertEqual(wb.registry_value(self.KEY, "InstallFolder"), self.TARGET)

        with wb.Program(setup, [], trace=self.dir / "remove-trace.txt") as program:
            self.click("Change, Repair or Remove", "&Remove")
            self.press("Change, Repair or Remove", "Next >")
            self.press("Completing", "Finish")
            self.assertEqual(program.wait(120), 0)
        self.assertFalse((self.folder / "program.txt").exists())
        self.assertIsNone(wb.registry_value(self.KEY, "InstallFolder"))
        wb.assert_nothing_left_open()


if __name__ == "__main__":
    unittest.main()
