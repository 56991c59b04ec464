"""The setup assembler's installer database, end to end: descriptions through
tools/setup_assembler.py, the database read back with msitools."""

from __future__ import annotations

import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[3]
ASSEMBLER = REPO / "tools" / "setup_assembler.py"
TOOLS = ("wixl", "msibuild", "msiinfo", "msiextract", "7z")
NEEDS_TOOLS = "needs Debian's wixl, msitools and p7zip-full"
PRODUCT = "{6E1D55A0-4C53-4C1B-8B0A-3F8A1E0B7A21}"
REVISION = "{0C2F1B7E-93D4-4E55-A1C0-5B8D2E7F6A10}"
SAVED = "Software\\Quorvane\\Installed Values\\" + PRODUCT
REMOVING = 'REMOVE~="ALL"'

# Line numbers count every command; the engine names the properties by them.
DESCRIPTION = f"""\
name = Setup
title = Demo Product
product = {PRODUCT}
reboot = yes
fail = yes
filler = 3

# line 1
command Set Variable
    | DEST
    | $PROGRAMFILESDIR$\\Demo\\
# line 2
command Install Files
    | payload
    |
    | $DEST$
# line 3
command Create Folder
    | $DEST$Logs
# line 4: commented out, no rows
command Create Folder
    flag = C
    | $DEST$Old
# line 5
command Write Registry
    | 2
    | Software\\Demo [x]
    | Folder
    | $DEST$
    | string
# line 6
command Write Registry
    | 1
    | Software\\Demo
    | Count
    | 7
    | number
# line 7
command Comment
# line 8
command Create Shortcut
    | $DEST$Long File's Name.txt
    | Demo Readme
    | $STARTMENU$\\Demo\\
    | Opens the readme
    | -x
    | $DEST$
# line 9: not supported, but commented out
command Create File Type
    flag = C
    | x
"""

# (table, columns a row must have); None as the table's last item: no such row.
EXPECTED_ROWS = [
    ("Property", {"Property": "ProductCode", "Value": PRODUCT}),
    # Install Files: a folder set from PARAMETER2_1, its subfolders under it.
    ("Directory", {"Directory": "DIR2", "Directory_Parent": "TARGETDIR"}),
    ("Directory", {"Directory": "DIR2_1", "Directory_Parent": "DIR2", "DefaultDir": "sub"}),
    ("Directory", {"Directory": "DIR2_2", "Directory_Parent": "DIR2_1", "DefaultDir": "empty"}),
    ("Component", {"Component": "C2", "Directory_": "DIR2", "Condition": "PARAMETER2_1"}),
    ("Component", {"Component": "C2_1", "Directory_": "DIR2_1", "Condition": "PARAMETER2_1"}),
    ("Component", {"Component": "C2_2", "Directory_": "DIR2_2", "Condition": "PARAMETER2_1"}),
    ("File", {"Component_": "C2", "FileName": "LONGFI~1.TXT|Long File's Name.txt"}),
    ("File", {"Component_": "C2_1", "FileName": "b.txt"}),
    ("CreateFolder", {"Directory_": "DIR2_2", "Component_": "C2_2"}),
    ("CustomAction", {"Action": "SetDIR2", "Type": "51", "Source": "DIR2",
                      "Target": "[PARAMETER2_1]"}),
    ("InstallExecuteSequence", {"Action": "SetDIR2", "Condition": "PARAMETER2_1"}),
    ("InstallUISequence", {"Action": "SetDIR2", "Condition": "PARAMETER2_1"}),
    ("RemoveFile", {"Component_": "C2", "DirProperty": "DIR2", "InstallMode": "2"}),
    ("RemoveFile", {"Component_": "C2", "DirProperty": "DIR2_2", "InstallMode": "2"}),
    # The folder is kept for the removal and found again by it.
    ("Component", {"Component": "K2", "Directory_": "TARGETDIR", "Condition": "PARAMETER2_1"}),
    ("Registry", {"Root": "-1", "Key": SAVED, "Name": "PARAMETER2_1",
                  "Value": "[PARAMETER2_1]", "Component_": "K2"}),
    ("AppSearch", {"Property": "PARAMETER2_1", "Signature_": "V2_1M"}),
    ("AppSearch", {"Property": "PARAMETER2_1", "Signature_": "V2_1U"}),
    ("RegLocator", {"Signature_": "V2_1M", "Root": "2", "Key": SAVED, "Name": "PARAMETER2_1",
                    "Type": "2"}),
    ("RegLocator", {"Signature_": "V2_1U", "Root": "1", "Key": SAVED, "Name": "PARAMETER2_1",
                    "Type": "2"}),
    ("InstallExecuteSequence", {"Action": "AppSearch", "Condition": REMOVING}),
    ("InstallUISequence", {"Action": "AppSearch", "Condition": REMOVING}),
    # Create Folder.
    ("Component", {"Component": "C3", "Directory_": "DIR3", "Condition": "PARAMETER3_1"}),
    ("CreateFolder", {"Directory_": "DIR3", "Component_": "C3"}),
    ("CustomAction", {"Action": "SetDIR3", "Type": "51", "Target": "[PARAMETER3_1]"}),
    ("RemoveFile", {"Component_": "C3", "DirProperty": "DIR3"}),
    ("Directory", {"Directory": "DIR4"}, None),
    ("CustomAction", {"Action": "SetDIR4"}, None),
    # Write Registry: a string, written with one more "#" when it begins with one.
    ("Component", {"Component": "C5", "Directory_": "TARGETDIR",
                   "Condition": f'PARAMETER5_3 AND (NOT (PARAMETER5_2 << "#") OR {REMOVING})'}),
    ("Component", {"Component": "C5_H",
                   "Condition": f'PARAMETER5_3 AND (PARAMETER5_2 << "#" OR {REMOVING})'}),
    ("Registry", {"Root": "2", "Key": "Software\\Demo [\\[]x[\\]]", "Name": "[PARAMETER5_1]",
                  "Value": "[PARAMETER5_2]", "Component_": "C5"}),
    ("Registry", {"Root": "2", "Key": "Software\\Demo [\\[]x[\\]]", "Name": "[PARAMETER5_1]",
                  "Value": "#[PARAMETER5_2]", "Component_": "C5_H"}),
    ("Registry", {"Name": "PARAMETER5_1", "Value": "[PARAMETER5_1]", "Component_": "K5"}),
    ("Registry", {"Name": "PARAMETER5_3", "Value": "[PARAMETER5_3]", "Component_": "K5"}),
    ("AppSearch", {"Property": "PARAMETER5_3", "Signature_": "V5_3M"}),
    # ... and a number.
    ("Component", {"Component": "C6", "Condition": "PARAMETER6_3"}),
    ("Registry", {"Root": "1", "Key": "Software\\Demo", "Name": "[PARAMETER6_1]",
                  "Value": "#[PARAMETER6_2]", "Component_": "C6"}),
    # Create Shortcut: with the working folder when slot 4 is set, else without.
    ("Component", {"Component": "C8", "Directory_": "DIR8",
                   "Condition": f"PARAMETER8_1 AND (NOT PARAMETER8_4 OR {REMOVING})"}),
    ("Component", {"Component": "C8_W", "Directory_": "DIR8",
                   "Condition": f"PARAMETER8_1 AND (PARAMETER8_4 OR {REMOVING})"}),
    ("Shortcut", {"Shortcut": "S8", "Directory_": "DIR8", "Name": "DEMORE~1|Demo Readme",
                  "Component_": "C8", "Target": "[PARAMETER8_2]", "Arguments": "[PARAMETER8_3]",
                  "Description": "Opens the readme", "WkDir": ""}),
    ("Shortcut", {"Shortcut": "S8_W", "Component_": "C8_W", "Target": "[PARAMETER8_2]",
                  "WkDir": "WD8"}),
    ("CustomAction", {"Action": "SetDIR8", "Type": "51", "Target": "[PARAMETER8_1]"}),
    ("CustomAction", {"Action": "SetWD8", "Type": "51", "Source": "WD8",
                      "Target": "[PARAMETER8_4]"}),
    ("InstallExecuteSequence", {"Action": "SetWD8", "Condition": "PARAMETER8_4"}),
    ("Component", {"Component": "C9"}, None),
    # reboot = yes, fail = yes.
    ("CustomAction", {"Action": "FailOnPurpose", "Type": "19",
                      "Target": "The installation failed on purpose."}),
    ("InstallExecuteSequence", {"Action": "FailOnPurpose", "Condition": f"NOT {REMOVING}"}),
    ("InstallExecuteSequence", {"Action": "ScheduleReboot", "Condition": ""}),
    ("InstallUISequence", {"Action": "FailOnPurpose"}, None),
]

def install(settings: str) -> str:
    """An Install Files command of a.txt with the given command settings."""
    return f"command Install Files\n    {settings}\n    | a.txt\n    |\n    | C:\\A\\\n"


# (case, description after the product line, files under the description, message)
BAD_INPUT = [
    ("change command without rows", "command Comment\ncommand Create File Type\n    | x\n", {},
     "line 2: Create File Type: the setup assembler cannot put this command into the "
     "installer database"),
    ("missing source", "command Install Files\n    | missing\n    |\n    | C:\\A\n", {},
     "line 1: Install Files: source '"),
    ("no destination", "command Install Files\n    | a.txt\n    |\n    |\n", {"a.txt": b"a"},
     "line 1: Install Files needs a destination folder (parameter 3)"),
    ("names one on Windows", "command Install Files\n    | two\n    |\n    | C:\\A\n",
     {"two/Read.me": b"1", "two/READ.ME": b"2"}, "'READ.ME' and 'Read.me' are one name on Windows"),
    ("too few parameters", "command Write Registry\n    | 2\n    | Key\n", {},
     "line 1: Write Registry needs 5 parameters, not 2"),
    ("registry root", "command Write Registry\n    | 7\n    | K\n    | N\n    | D\n    | string\n",
     {}, "line 1: Write Registry: root '7' must be 0 (HKCR), 1 (HKCU), 2 (HKLM) or 3 (HKU)"),
    ("registry type", "command Write Registry\n    | 1\n    | K\n    | N\n    | D\n    | dword\n",
     {}, "line 1: Write Registry: type 'dword' must be 'string' or 'number'"),
    ("shortcut name", "command Create Shortcut\n    | C:\\t.exe\n    | a/b\n    | C:\\L\n"
     "    |\n    |\n    |\n", {}, "line 1: Create Shortcut: shortcut name: 'a/b' is not a valid"),
    ("filler without files", "filler = 5\n", {},
     "filler needs an Install Files command to put its files in"),
    ("reboot value", "reboot = maybe\n", {}, "reboot must be 'yes' or 'no'"),
    ("product", "product = nope\n", {}, "product 'nope' is not a GUID in braces"),
    ("web media block name", "media-mode = 2\n" + install("media = LONGNAME9\\"), {"a.txt": b"a"},
     "line 1: Install Files: media 'LONGNAME9\\' must be OFFLINE\\ or the name of a web media "
     "block (1 to 8 letters, digits, '_' or '-') followed by \\"),
    ("web media block without \\", "media-mode = 2\n" + install("media = BLOCK"), {"a.txt": b"a"},
     "media 'BLOCK' must be OFFLINE\\ or the name of a web media block"),
    ("blocks one name on Windows", "media-mode = 2\n" + install("media = Blk\\")
     + install("media = BLK\\"), {"a.txt": b"a"},
     "line 2: Install Files: web media blocks 'Blk' and 'BLK' differ only in case"),
    ("source folder path twice", "media-mode = 2\nsource-folder = c_\\App\\\n"
     + install("media = OFFLINE\\\n    source-folder = c_\\app\\"), {"a.txt": b"a"},
     "line 1: Install Files: source folder path 'c_\\app\\' is in the list already"),
    ("source folder path form", "media-mode = 2\n"
     + install("media = OFFLINE\\\n    source-folder = c_\\\\app\\"), {"a.txt": b"a"},
     "source folder path 'c_\\\\app\\' must be folder names each followed by \\"),
    ("source folder path of packed files", "media-mode = 2\n"
     + install("source-folder = c_\\app\\"), {"a.txt": b"a"},
     "line 1: Install Files: a source folder path is only for files from web media or offline"),
    ("mergemod", "mergemod = mods/x.msm\n", {}, "mergemod '"),
]


def export(msi: Path) -> dict[str, list[dict[str, str]]]:
    """Every table of the database as rows of column name to text."""
    names = subprocess.run(["msiinfo", "tables", str(msi)], check=True, capture_output=True,
                           text=True).stdout.split()
    tables = {}
    for name in names:
        if name.startswith("_"):
            continue
        text = subprocess.run(["msiinfo", "export", str(msi), name], check=True,
                              capture_output=True, text=True).stdout
        header, _, _, *lines = text.split("\n")
        columns = header.split("\t")
        tables[name] = [dict(zip(columns, line.split("\t"))) for line in lines if line]
    return tables


def assemble(folder: Path, description: str, files: dict[str, bytes] | None = None,
             *options: str) -> subprocess.CompletedProcess:
    """Runs the assembler on the description, written into folder with the
    given files; a stand-in engine and library, as only the database counts."""
    for name, data in (files or {}).items():
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(data)
    (folder / "setup.txt").write_text(description, encoding="cp1252")
    bin_dir = folder / "bin"
    bin_dir.mkdir(exist_ok=True)
    (bin_dir / "tvlstub.exe").write_bytes(b"MZ stand-in engine")
    (bin_dir / "tvl.dll").write_bytes(b"MZ stand-in library")
    return subprocess.run([sys.executable, str(ASSEMBLER), str(folder / "setup.txt"),
                           str(folder / "out"), "--bin", str(bin_dir), *options],
                          capture_output=True, text=True, timeout=300)


@unittest.skipUnless(all(shutil.which(tool) for tool in TOOLS), NEEDS_TOOLS)
class DatabaseTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        folder = Path(cls.tmp.name)
        cls.payload = {"payload/Long File's Name.txt": b"one\r\n", "payload/sub/b.txt": b"two"}
        (folder / "payload" / "sub" / "empty").mkdir(parents=True)
        result = assemble(folder, DESCRIPTION, cls.payload)
        if result.returncode != 0:
            raise AssertionError(result.stderr)
        cls.msi = folder / "out" / "Setup.msi"
        cls.tables = export(cls.msi)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_rows_of_each_command(self):
        for table, columns, *absent in EXPECTED_ROWS:
            with self.subTest(table=table, row=columns):
                found = [row for row in self.tables[table]
                         if all(row.get(k) == v for k, v in columns.items())]
                if absent:
                    self.assertEqual(found, [])
                else:
                    self.assertEqual(len(found), 1, self.tables[table])
        components = {row["Component"] for row in self.tables["Component"]}
        features = {row["Component_"] for row in self.tables["FeatureComponents"]}
        self.assertEqual(components, features)

    def test_folders_are_set_before_costfinalize_after_the_search(self):
        for table in ("InstallExecuteSequence", "InstallUISequence"):
            with self.subTest(table):
                order = {row["Action"]: int(row["Sequence"]) for row in self.tables[table]}
                setters = [action for action in order if action.startswith("Set")]
                self.assertEqual(sorted(setters), ["SetDIR2", "SetDIR3", "SetDIR8", "SetWD8"])
                for action in setters:
                    self.assertLess(order["AppSearch"], order[action])
                    self.assertLess(order["FileCost"], order[action])
                    self.assertLess(order[action], order["CostFinalize"])
        order = {row["Action"]: int(row["Sequence"])
                 for row in self.tables["InstallExecuteSequence"]}
        self.assertLess(order["PublishProduct"], order["FailOnPurpose"])
        self.assertLess(order["FailOnPurpose"], order["InstallFinalize"])
        self.assertLess(order["InstallFinalize"], order["ScheduleReboot"])

    def test_packed_files_are_the_source_files(self):
        # msiextract puts each folder under its default name, UNSET<line>.
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["msiextract", "-C", out, str(self.msi)], check=True,
                           capture_output=True)
            packed = {str(p.relative_to(out)): p.read_bytes()
                      for p in Path(out).rglob("*") if p.is_file()}
        fillers = {name: data for name, data in packed.items() if "/filler/" in name}
        self.assertEqual(len(fillers), 3)
        self.assertTrue(all(len(data) == 1024 for data in fillers.values()))
        self.assertEqual(len(set(fillers.values())), 3)
        expected = {name.replace("payload/", "UNSET2/"): data
                    for name, data in self.payload.items()}
        self.assertEqual({k: v for k, v in packed.items() if k not in fillers}, expected)


@unittest.skipUnless(all(shutil.which(tool) for tool in TOOLS), NEEDS_TOOLS)
class PlainAndBadSetupTest(unittest.TestCase):
    def test_setup_without_change_commands_installs_nothing(self):
        with tempfile.TemporaryDirectory() as tmp:
            result = assemble(Path(tmp), f"product = {PRODUCT}\ncommand Set Variable\n"
                                         "    | A\n    | 1\n")
            self.assertEqual(result.returncode, 0, result.stderr)
            tables = export(Path(tmp) / "out" / "Setup.msi")
        self.assertIn({"Property": "ProductCode", "Value": PRODUCT}, tables["Property"])
        for table in ("Component", "File", "Registry", "CustomAction", "AppSearch"):
            self.assertEqual(tables[table], [], table)

    def test_bad_input_is_named_and_nothing_is_written(self):
        for case, body, files, message in BAD_INPUT:
            with self.subTest(case), tempfile.TemporaryDirectory() as tmp:
                result = assemble(Path(tmp), f"product = {PRODUCT}\n" + body, files)
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertIn(message, result.stderr)
                self.assertNotIn("Traceback", result.stderr)
                out = Path(tmp) / "out"
                self.assertEqual(list(out.iterdir()) if out.exists() else [], [])


@unittest.skipUnless(all(shutil.which(tool) for tool in TOOLS), NEEDS_TOOLS)
class WebMediaTest(unittest.TestCase):
    def test_files_travel_where_the_engine_looks_for_them(self):
        description = f"""product = {PRODUCT}
revision = {REVISION}
media-mode = 2
source-folder = c_\\given\\
mergemod = mods
command Install Files
    media = BLK\\
    | tree
    |
    | C:\\A\\
command Install Files
    media = OFFLINE\\
    source-folder = c_\\app\\
    | tree/sub
    |
    | C:\\B\\
command Install Files
    media = BLK\\
    | one.txt
    |
    | C:\\C\\
"""
        files = {"tree/a.txt": b"a", "tree/sub/b.txt": b"b", "tree/sub/deep/c.txt": b"c",
                 "one.txt": b"1", "mods/x/y.msm": b"m"}
        with tempfile.TemporaryDirectory() as tmp:
            folder = Path(tmp)
            (folder / "tree" / "empty").mkdir(parents=True)
            result = assemble(folder, description, files, "--web", str(folder / "server"))
            self.assertEqual(result.returncode, 0, result.stderr)
            script = (folder / "out" / "Setup.exe").read_bytes()[len(b"MZ stand-in engine"):]
            lines = script.decode("cp1252").split("\r\n")
            folders = lines[lines.index(REVISION) + 1:-2]  # the last list
            listing = subprocess.run(["7z", "l", "-slt", str(folder / "server" / "BLK.7zip")],
                                     check=True, capture_output=True, text=True).stdout
            archived = sorted(line[7:] for line in listing.splitlines()
                              if line.startswith("Path = BLK/") and "." in line)
            out = {str(p.relative_to(folder / "out")) for p in (folder / "out").rglob("*")
                   if p.is_file() and p.parts[len(folder.parts) + 1] in ("offline", "mergemod")}
        self.assertEqual(folders, ["c_\\given\\", "c_\\src\\1\\", "c_\\src\\1\\sub\\",
                                   "c_\\src\\1\\sub\\deep\\", "c_\\app\\", "c_\\app\\deep\\",
                                   "c_\\src\\3\\"])
        self.assertEqual(archived, ["BLK/c_/src/1/a.txt", "BLK/c_/src/1/sub/b.txt",
                                    "BLK/c_/src/1/sub/deep/c.txt", "BLK/c_/src/3/one.txt"])
        self.assertEqual(out, {"offline/4/b.txt", "offline/5/c.txt", "mergemod/mods/x/y.msm"})


if __name__ == "__main__":
    unittest.main()
