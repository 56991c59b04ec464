#!/usr/bin/env python3
"""Setup assembler for tests and the demo (not part of the product).

Turns a readable setup description into a setup folder the engine can run:
the engine copy with the compiled setup script as its overlay, tvl.dll
(optionally with a language file appended), <name>.res (a 7-Zip archive of
the resource files), <name>.msi (made with wixl), and optionally setup.bmp
and a data\\ folder; for web media the blocks' archives and the offline\\
and mergemod\\ folders (see "Web media" below).

Description format (one setting per line; '#' starts a comment line):

    name = Setup                      # setup name: Setup.exe, Setup.res, Setup.msi
    title = Sample Product
    product = {GUID}                  # generated when absent
    revision = {GUID}
    publisher = Sample Publisher      # also: contact, help, update, comments
    media-mode = 0                    # 2: web media
    component = Core, 1048576         # name, size in bytes (repeatable)
    plugin = Sample Plug-in           # plug-in command name (repeatable)
    source-folder = c_\\src\\          # web media source folder (repeatable); the
                                      # folders of web media commands follow
    resource = extras/license.txt     # file put into <name>.res (repeatable)
    dialogs = dialogs                 # folder of the dialog files: for every
                                      # "Display Dialog" not commented out,
                                      # NAME.dfm and NAME.dfm.tvlf go into
                                      # <name>.res
    data = payload/readme.txt         # file copied into data\\ (repeatable);
                                      # data\\ always holds an empty file
                                      # named as the product code
    mergemod = mods/x                 # file or folder copied into mergemod\\
                                      # (repeatable)
    bitmap = splash.bmp               # copied as setup.bmp
    language = german.txt             # appended to tvl.dll
    reboot = yes                      # the installation and the removal ask
                                      # for a restart (ScheduleReboot)
    fail = yes                        # the installation (not the removal)
                                      # fails before InstallFinalize: a type
                                      # 19 custom action with the text "The
                                      # installation failed on purpose."
    filler = 2000                     # the first Install Files command also
                                      # installs this many generated 1 KB
                                      # files into filler\\ under its folder,
                                      # for an installation that takes a
                                      # while (about 1 ms a file under Wine)

    command Set Variable              # a command, then its lines, indented:
        id = {GUID}                   #   identifier (generated when absent)
        flag = C                      #   command flag (C = commented out)
        media = OFFLINE\\              #   media folder: in a web media setup
                                      #   OFFLINE\\ or a block NAME\\ (below)
        source-folder = c_\\src\\app\\    #   Install Files with web media: the
                                      #   source folder path of its source
        | TITLE                       #   parameter lines, in order; "|" alone
        | Sample Product              #   is an empty parameter

The installer database. <name>.msi holds what the change commands change.
While the engine runs the script it records, for each change command it
carries out, some parameters as installer properties PARAMETER<line>_<slot>
(line: the command's place in the list of commands, counting every command
from 1) and writes them into its copy of the database; the database's rows
read them. The parameters it does not record are fixed here and used as
written. The supported commands and their parameters ("recorded as
slot N" marks the recorded ones):

    Install Files     1 source file or folder, relative to the description
                        (Setup.base); a folder with its files and subfolders
                      2 unused
                      3 destination folder (recorded as slot 1)
    Create Folder     1 the folder (recorded as slot 1)
    Write Registry    1 root: 0 HKCR, 1 HKCU, 2 HKLM, 3 HKU
                      2 key
                      3 value name, empty for the default value (slot 1)
                      4 value data (slot 2)
                      5 type: string or number (a DWORD) (slot 3)
    Create Shortcut   1 target (slot 2)
                      2 shortcut name, without .lnk
                      3 folder that receives the shortcut (slot 1)
                      4 description, may be empty
                      5 arguments (slot 3)
                      6 working folder, may be empty (slot 4)

Each command gets its own components, installed only when its command ran,
that is when its property (slot 1; slot 3 for Write Registry) is set. A
folder is set from its property by a type 51 custom action before
CostFinalize, at installation and at removal alike. The installation also
keeps these values under HKLM (per-machine) or HKCU (per-user)
Software\\Quorvane\\Installed Values\\<product>, and a removal reads them back
(AppSearch), so that it finds its folders and value names again whether
or not the engine gives the values once more. Commented-out commands get no
rows; the other change commands (Create File Type, Delete Files, ...) are
refused with the command's name and line. A setup without change commands
gets a database that installs nothing. ProductCode is the setup's product;
the database is per-machine unless ALLUSERS is set empty.

What Wine 8's msi.dll was measured to do with these databases (msiexec, and
MsiInstallProduct or MsiOpenPackage + MsiDoAction "INSTALL" on a copy whose
Property table holds the values):
- The type 51 actions set the folders at installation and at removal. A
  removal that finds the values neither in its properties nor in the kept
  copy returns 0, unregisters the product and leaves everything in place.
- reboot: MsiInstallProduct (and msiexec) return 3010; at removal
  MsiDoAction returns 0 and MsiGetMode(MSIRUNMODE_REBOOTATEND) is TRUE.
- fail: 1603, and nothing is installed. No error message reaches an
  external UI handler; with an internal UI level other than NONE, Wine
  shows its own box "Error" with the text and waits for OK.
- Wine ignores IDCANCEL (and IDABORT, -1) returned by an external UI
  handler: the installation runs to its end and returns 0.
- Folders made on the way to a recorded folder (C:\\A and C:\\A\\B for
  C:\\A\\B\\C when none existed) are left at removal: the installer knows
  only the recorded ones.

Web media. In a setup with media-mode = 2 the files of an Install Files
command with media = NAME\\ (a web media block; NAME: 1 to 8 letters,
digits, "_" or "-") or media = OFFLINE\\ do not travel in the database;
the engine puts them into the data folder, which for such a setup is the
product's installation information folder
(...\\Application Data\\Quorvane\\Installation Information\\{product}\\
{revision}\\), and Windows Installer copies them from there:
- Every folder of the command's source that holds files becomes a source
  folder path, appended to the script's source folder list (after the
  description's own): the command's source-folder, or c_\\src\\<line>\\
  when it has none, and each subfolder below it by its relative path
  (c_\\src\\<line>\\docs\\). Its place in the list is its number k, from 0;
  a path may be in the list once.
- Block NAME: its archive NAME.7zip (7-Zip, written to web_dir, by default
  OUTDIR\\web\\) holds one top folder NAME and in it every source folder of
  the block's commands under its source folder path
  (NAME\\c_\\src\\2\\docs\\readme.txt). The engine, having extracted it,
  moves the files that lie directly in source folder path k to
  <data folder>\\NAME\\<k>\\ and every other file to the same place below
  <data folder>\\NAME\\.
- OFFLINE: the files lie beside the setup in OUTDIR\\offline\\<k>\\, and
  the engine moves them to <data folder>\\offline\\<k>\\.
- mergemod\\: the engine moves mergemod\\x\\y.msm to <data folder>\\x\\y.msm.
- The database takes those files from <SourceDir>\\NAME\\<k>\\ (or
  offline\\<k>\\). The engine passes the data folder on the installer's
  command line as SRCDIR, and two type 51 actions, first of all in both
  sequences, set SourceDir and SOURCEDIR from it (without SRCDIR the
  source root stays the database's folder). The command's top folder has
  the source name NAME or offline (DefaultDir "UNSET<line>:NAME"), its
  subfolders the source name "." (the parent's: "docs:."), and the files
  of each folder sit in a folder of their own below it, the same on the
  target side, number k on the source side (".:k"). Their File rows say
  "not compressed" (8192) and belong to a second medium without a
  cabinet; the summary's word count is 0 instead of wixl's 2
  ("compressed"), and the cabinet's files, of the other commands, say
  "compressed" (16384) each. Install Files commands without media, or
  with media in a setup of another media mode, put their files into the
  cabinet as usual. When only files from the data folder are installed,
  the file actions are scheduled here: wixl schedules them only for
  files of its own.
Measured with Wine 8's msi.dll (msiexec /i with the engine's properties,
the files laid out as above): the files arrive from the data folder, a
missing one fails the installation (1603) and leaves nothing behind, and
the removal removes them. With wixl's word count 2 the same installation
fails: Wine then looks for every uncompressed file in the source root
itself, whatever its folder's source name.

Paths are relative to the description file. Run as:

    setup_assembler.py DESCRIPTION OUTDIR --bin BUILD/win32/bin [--library DLL] [--web DIR]
"""

from __future__ import annotations

import argparse
import dataclasses
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import uuid
from pathlib import Path

ENCODING = "cp1252"


@dataclasses.dataclass
class Command:
    name: str
    params: list[str] = dataclasses.field(default_factory=list)
    id: str | None = None
    flag: str = ""
    media: str = ""
    # Source folder path of an Install Files source in web media (its
    # subfolders go below it); generated when empty.
    source_folder: str = ""


@dataclasses.dataclass
class Setup:
    name: str = "Setup"
    title: str = "Sample Product"
    product: str = ""
    revision: str = ""
    publisher: list[str] = dataclasses.field(default_factory=lambda: [""] * 5)
    media_mode: str = "0"
    components: list[tuple[str, str]] = dataclasses.field(default_factory=list)
    plugins: list[str] = dataclasses.field(default_factory=list)
    source_folders: list[str] = dataclasses.field(default_factory=list)
    commands: list[Command] = dataclasses.field(default_factory=list)
    resources: list[Path] = dataclasses.field(default_factory=list)
    dialogs: Path | None = None
    data: list[Path] = dataclasses.field(default_factory=list)
    mergemods: list[Path] = dataclasses.field(default_factory=list)
    bitmap: Path | None = None
    language: Path | None = None
    # Parameter records in the order they are written; None = one record per
    # command that has parameters, in command order.
    records: list[tuple[str, list[str]]] | None = None
    # Install Files sources are relative to this folder.
    base: Path = dataclasses.field(default_factory=Path)
    reboot: bool = False
    fail: bool = False
    filler: int = 0

    def __post_init__(self) -> None:
        if not self.product:
            self.product = guid()
        if not self.revision:
            self.revision = guid()


PUBLISHER_KEYS = ["publisher", "contact", "help", "update", "comments"]


def guid() -> str:
    return "{" + str(uuid.uuid4()).upper() + "}"


def parse_description(text: str, base: Path) -> Setup:
    setup = Setup(base=base)
    current: Command | None = None
    for number, raw in enumerate(text.splitlines(), 1):
        if not raw.strip() or raw.lstrip().startswith("#"):
            continue
        indented = raw[0] in " \t"
        line = raw.strip()
        if indented and current is not None:
            if line.startswith("|"):
                current.params.append(line[2:] if line.startswith("| ") else line[1:])
                continue
            key, _, value = (part.strip() for part in line.partition("="))
            if key in ("id", "flag", "media", "source-folder"):
                setattr(current, key.replace("-", "_"), value)
                continue
            raise ValueError(f"line {number}: unknown command setting '{key}'")
        if line.startswith("command "):
            current = Command(line[len("command "):].strip())
            setup.commands.append(current)
            continue
        key, sep, value = (part.strip() for part in line.partition("="))
        if not sep:
            raise ValueError(f"line {number}: expected 'key = value'")
        current = None
        if key == "name":
            setup.name = value
        elif key == "title":
            setup.title = value
        elif key == "product":
            setup.product = value
        elif key == "revision":
            setup.revision = value
        elif key in PUBLISHER_KEYS:
            setup.publisher[PUBLISHER_KEYS.index(key)] = value
        elif key == "media-mode":
            setup.media_mode = value
        elif key == "component":
            name, _, size = (part.strip() for part in value.partition(","))
            setup.components.append((name, size))
        elif key == "plugin":
            setup.plugins.append(value)
        elif key == "source-folder":
            setup.source_folders.append(value)
        elif key == "resource":
            setup.resources.append(base / value)
        elif key == "dialogs":
            setup.dialogs = base / value
        elif key == "data":
            setup.data.append(base / value)
        elif key == "mergemod":
            setup.mergemods.append(base / value)
        elif key == "bitmap":
            setup.bitmap = base / value
        elif key == "language":
            setup.language = base / value
        elif key in ("reboot", "fail"):
            if value not in ("yes", "no"):
                raise ValueError(f"line {number}: {key} must be 'yes' or 'no'")
            setattr(setup, key, value == "yes")
        elif key == "filler":
            if not re.fullmatch("[0-9]+", value):
                raise ValueError(f"line {number}: filler must be a number of files")
            setup.filler = int(value)
        else:
            raise ValueError(f"line {number}: unknown setting '{key}'")
    return setup


def compile_script(setup: Setup) -> bytes:
    """The compiled setup script: eight lists closed by '$' and nine single lines."""
    for command in setup.commands:
        if command.id is None:
            command.id = guid()
    records = setup.records
    if records is None:
        records = [(c.id, c.params) for c in setup.commands if c.params]
    lines: list[str] = []

    def section(items: list[str]) -> None:
        lines.extend(items)
        lines.append("$")

    section([c.name for c in setup.commands])
    section([c.id for c in setup.commands])
    section([line for key, params in records for line in [key, *params]])
    section([c.flag for c in setup.commands])
    lines.append(setup.product)
    lines.append(setup.title)
    section(setup.plugins)
    lines.extend(setup.publisher)
    section([c.media for c in setup.commands])
    lines.append(setup.media_mode)
    section([item for pair in setup.components for item in pair])
    lines.append(setup.revision)
    section(setup.source_folders)
    return "".join(line + "\r\n" for line in lines).encode(ENCODING)


def dialog_files(setup: Setup) -> list[Path]:
    """The dialog file and rules file of every dialog the script displays, each once."""
    if setup.dialogs is None:
        return []
    files: list[Path] = []
    for command in setup.commands:
        if command.name != "Display Dialog" or command.flag == "C" or not command.params:
            continue
        for suffix in (".dfm", ".dfm.tvlf"):
            path = setup.dialogs / (command.params[0] + suffix)
            if not path.is_file():
                raise ValueError(f"dialog file missing: {path}")
            if path not in files:
                files.append(path)
    return files


def make_resource_archive(files: list[Path], target: Path) -> None:
    """7-Zip archive made with the tool's default options (LZMA2, compressed header, the x86
    filter for programs), as setup authors make them."""
    target.unlink(missing_ok=True)
    with tempfile.TemporaryDirectory() as stage:
        for file in files:
            if file.is_dir():
                shutil.copytree(file, Path(stage) / file.name)
            else:
                shutil.copy2(file, Path(stage) / file.name)
        subprocess.run(["7z", "a", str(target.resolve()), "."],
                       cwd=stage, check=True, stdout=subprocess.DEVNULL)


# The change commands: the engine records their run-time values as installer
# properties, PARAMETER<line>_<slot>, for the database to read. The database
# carries rows for the first four; the others are refused by name.
CHANGE_COMMANDS = ("Install Files", "Create Folder", "Write Registry", "Create Shortcut",
                   "Create File Type", "Copy/Move Local Files", "Delete Files", "Edit INI File",
                   "Set Environment", "Install Assembly", "Control Service", "Create ODBC DSN",
                   "Install ODBC Driver", "Install Service")
# Parameters each supported command needs (the engine reads them all).
DATABASE_COMMANDS = {"Install Files": 3, "Create Folder": 1, "Write Registry": 5,
                     "Create Shortcut": 6}
REGISTRY_ROOTS = {"0": "HKCR", "1": "HKCU", "2": "HKLM", "3": "HKU"}
REGISTRY_TYPES = ("string", "number")
FAIL_MESSAGE = "The installation failed on purpose."
FILLER_SIZE = 1024
# An installation keeps here the recorded values its removal needs (under
# HKLM when per-machine, HKCU when per-user), and the removal reads them back.
SAVED_VALUES_KEY = "Software\\Quorvane\\Installed Values\\"
# Where the custom actions that set folders from recorded values run: after
# the searches that restore them at removal, before CostFinalize resolves
# the folders.
SEARCH_SEQUENCE = 50
SET_FOLDER_SEQUENCE = 990
FAIL_SEQUENCE = 6590
REBOOT_SEQUENCE = 6650
REMOVING = 'REMOVE~="ALL"'
WINDOWS_NAME_FORBIDDEN = set('\\/:*?"<>|') | {chr(c) for c in range(32)}
SHORT_NAME_CHARS = set("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-!#$%&'()@^`{}~")
GUID_NAMESPACE = uuid.UUID("6c1f4a52-3d0e-4b8e-9a57-0f6f4c2b8e11")
# Web media: the media mode of such setups, the folder of the files that
# travel beside the setup (in the setup folder and below the data folder),
# and what a web media block may be called.
WEB_MEDIA_MODE = "2"
OFFLINE = "offline"
BLOCK_NAME = re.compile("[A-Za-z0-9_-]{1,8}")
# File table attributes: vital (wixl's), not in the cabinet, in the cabinet.
VITAL, NONCOMPRESSED, COMPRESSED = 512, 8192, 16384
# The actions that take the source root from SRCDIR run first of all.
SOURCE_ROOT_SEQUENCE = 10


def prop(line: int, slot: int) -> str:
    return f"PARAMETER{line}_{slot}"


def attr(text: str) -> str:
    return (text.replace("&", "&amp;").replace("\"", "&quot;")
            .replace("<", "&lt;").replace(">", "&gt;"))


def literal(text: str) -> str:
    """Text for a Formatted column that the installer must keep as written."""
    return "".join({"[": "[\\[]", "]": "[\\]]"}.get(c, c) for c in text)


def windows_name(name: str, where: str) -> str:
    if (not name or name in (".", "..") or name[-1] in ". "
            or any(c in WINDOWS_NAME_FORBIDDEN for c in name)):
        raise ValueError(f"{where}: '{name}' is not a valid Windows file name")
    try:
        name.encode(ENCODING)
    except UnicodeEncodeError:
        raise ValueError(f"{where}: '{name}' cannot be written in code page {ENCODING}") from None
    return name


def is_short_name(name: str) -> bool:
    stem, dot, ext = name.upper().partition(".")
    return (0 < len(stem) <= 8 and len(ext) <= 3 and (ext or not dot)
            and all(c in SHORT_NAME_CHARS for c in stem + ext))


def media_origin(setup: Setup, command: Command, where: str) -> str | None:
    """The folder below the data folder that the files of an Install Files
    command come from in a web-media setup: OFFLINE or the web media block's
    name; None when they travel in the database, as in any other setup."""
    if setup.media_mode != WEB_MEDIA_MODE or not command.media:
        return None
    name = command.media[:-1]
    if command.media.endswith("\\") and name.upper() == OFFLINE.upper():
        return OFFLINE
    if not command.media.endswith("\\") or not BLOCK_NAME.fullmatch(name):
        raise ValueError(f"{where}: media '{command.media}' must be OFFLINE\\ or the name of a "
                         "web media block (1 to 8 letters, digits, '_' or '-') followed by \\")
    return name


def source_folder_path(text: str, where: str) -> str:
    """A web media source folder path as the script lists it: relative,
    folder names each followed by a backslash (c_\\src\\app\\)."""
    names = text.split("\\")
    if len(names) < 2 or names[-1] or not all(names[:-1]):
        raise ValueError(f"{where}: source folder path '{text}' must be folder names each "
                         "followed by \\, as in c_\\src\\app\\")
    for name in names[:-1]:
        windows_name(name, f"{where}: source folder path")
    return text


@dataclasses.dataclass
class MediaFile:
    """A file that travels in a web media block or beside the setup: below
    source folder path k (the k-th of the script's list) in the block's
    archive, in offline\\<k>\\ beside the setup."""
    origin: str  # OFFLINE or the block's name
    k: int
    path: str
    name: str
    source: Path | bytes


@dataclasses.dataclass
class MediaLayout:
    """The script's whole source folder list (the description's, then the
    generated ones), the web media blocks and the files of web media and
    offline commands."""
    source_folders: list[str]
    blocks: list[str]
    files: list[MediaFile]


@dataclasses.dataclass
class Folder:
    """A folder of an Install Files source: its files and subfolders by target name."""
    files: list[tuple[str, Path | bytes]] = dataclasses.field(default_factory=list)
    folders: list[tuple[str, Folder]] = dataclasses.field(default_factory=list)


def read_source(path: Path, where: str) -> Folder:
    root = Folder()
    if path.is_file():
        root.files.append((windows_name(path.name, where), path))
        return root
    if not path.is_dir():
        raise ValueError(f"{where}: source '{path}' not found")

    def walk(folder: Path, into: Folder) -> None:
        for entry in sorted(folder.iterdir()):
            name = windows_name(entry.name, where)
            if entry.is_symlink() and entry.is_dir():
                raise ValueError(f"{where}: '{entry}' is a link to a folder; "
                                 "copy the folder instead")
            if entry.is_dir():
                sub = Folder()
                walk(entry, sub)
                into.folders.append((name, sub))
            elif entry.is_file():
                into.files.append((name, entry))
            else:
                raise ValueError(f"{where}: '{entry}' is neither a file nor a folder")

    walk(path, root)
    return root


class DatabasePlan:
    """The installer database of a setup: the XML wixl turns into tables and a
    cabinet, and the SQL that adds what wixl does not write (component
    conditions, custom actions and their sequence rows, the rows that keep
    recorded values for the removal and find them again). The installer's SQL
    cannot quote a "'", so the SQL carries only names made here; text from
    the description goes through the XML."""

    def __init__(self, setup: Setup, stage: Path) -> None:
        self.setup = setup
        self.stage = stage
        # Rows that hold folders go deeper folders first, judged by the
        # length of the folder as written: the installer tries each folder
        # once or twice at removal, in table order, and removes it only when
        # empty, so a folder must come after the folders it holds.
        self.xml: list[tuple[int, str]] = []
        self.removals: list[tuple[int, str]] = []
        self.components: list[str] = []
        self.sql: list[str] = []
        self.files = 0
        self.searches = False
        self.source_folders = list(setup.source_folders)
        self.media_files: list[MediaFile] = []
        # File rows of the files taken from the data folder, the sequence
        # number still to come.
        self.media_rows: list[list[str]] = []
        self.blocks: dict[str, str] = {}  # web media blocks by upper-case name

    def guid(self, component: str) -> str:
        # The same setup gives each component the same code in every build.
        code = uuid.uuid5(GUID_NAMESPACE, f"{self.setup.product}/{component}")
        return "{" + str(code).upper() + "}"

    def component(self, id: str, body: str, condition: str) -> str:
        self.components.append(id)
        self.sql.append(f"UPDATE `Component` SET `Condition` = '{condition}' "
                        f"WHERE `Component` = '{id}'")
        return f'<Component Id="{id}" Guid="{self.guid(id)}">{body}</Component>'

    def sequence(self, action: str, condition: str, number: int, ui: bool = True) -> None:
        tables = ["InstallExecuteSequence"] + (["InstallUISequence"] if ui else [])
        for table in tables:
            self.sql.append(f"INSERT INTO `{table}` (`Action`, `Condition`, `Sequence`) "
                            f"VALUES ('{action}', '{condition}', {number})")

    def set_folder(self, directory: str, source: str) -> None:
        """A folder taken from a recorded value when the value is set (type 51)."""
        action = f"Set{directory}"
        self.sql.append("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
                        f"VALUES ('{action}', 51, '{directory}', '[{source}]')")
        self.sequence(action, source, SET_FOLDER_SEQUENCE)

    def folder_xml(self, directory: str, name: str, inner: str = "") -> str:
        """A directory whose path a custom action sets; the default name is
        what it resolves to when its value is not set."""
        return f'<Directory Id="{directory}" Name="{name}">{inner}</Directory>'

    def remember(self, line: int, slots: list[int], marker: str) -> None:
        """Keeps the recorded values of a command that ran, so that a removal
        the engine gives no values to still finds its folders and names."""
        component = f"K{line}"
        key = SAVED_VALUES_KEY + self.setup.product
        rows = [f"V{line}_{slot}" for slot in slots]
        self.sql.append("INSERT INTO `Component` (`Component`, `ComponentId`, `Directory_`, "
                        "`Attributes`, `Condition`, `KeyPath`) VALUES "
                        f"('{component}', '{self.guid(component)}', 'TARGETDIR', 4, "
                        f"'{marker}', '{rows[0]}')")
        self.sql.append("INSERT INTO `FeatureComponents` (`Feature_`, `Component_`) "
                        f"VALUES ('Complete', '{component}')")
        for slot, row in zip(slots, rows):
            name = prop(line, slot)
            self.sql.append("INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Value`, "
                            f"`Component_`) VALUES ('{row}', -1, '{key}', '{name}', "
                            f"'[{name}]', '{component}')")
            for root, suffix in ((2, "M"), (1, "U")):
                signature = f"{row}{suffix}"
                self.sql.append("INSERT INTO `AppSearch` (`Property`, `Signature_`) "
                                f"VALUES ('{name}', '{signature}')")
                self.sql.append("INSERT INTO `RegLocator` (`Signature_`, `Root`, `Key`, `Name`, "
                                f"`Type`) VALUES ('{signature}', {root}, '{key}', '{name}', 2)")
        self.searches = True

    def tree_xml(self, line: int, folder: Folder, directory: str, condition: str,
                 folders: list[str], components: list[str], origin: str | None = None,
                 path: str = "") -> str:
        """The components of one folder of an Install Files source and its
        subfolders; folders and components collect the ones it adds. With an
        origin the files come from the data folder (see media_component),
        path being the folder's source folder path, and each subfolder keeps
        its parent's source folder: only the target tree has the names."""
        folders.append(directory)
        names = [name for name, _ in folder.files] + [name for name, _ in folder.folders]
        seen: dict[str, str] = {}
        for name in names:
            if name.upper() in seen:
                raise ValueError(f"line {line}: Install Files: '{seen[name.upper()]}' and "
                                 f"'{name}' are one name on Windows")
            seen[name.upper()] = name
        taken = {name.upper() for name in names if is_short_name(name)}

        def target_name(name: str) -> str:
            return name if is_short_name(name) else f"{self.short_name(name, taken)}|{name}"

        id = f"C{line}{directory[len(f'DIR{line}'):]}"
        parts: list[str] = []
        if origin is not None and folder.files:
            components.append(id)
            self.media_component(line, id, directory, condition, origin, path,
                                 [(target_name(name), name, source)
                                  for name, source in folder.files])
        elif folder.files or not folder.folders:
            files = []
            for name, source in folder.files:
                self.files += 1
                file_id = f"F{line}_{self.files}"
                staged = self.stage / "files" / file_id
                if isinstance(source, bytes):
                    staged.write_bytes(source)
                else:
                    shutil.copyfile(source, staged)
                files.append(f'<File Id="{file_id}" Name="{attr(target_name(name))}" '
                             f'Source="files/{file_id}"/>')
            components.append(id)
            parts.append(self.component(id, "".join(files) or "<CreateFolder/>", condition))
        for name, sub in folder.folders:
            sub_id = f"DIR{line}_{len(folders)}"
            inner = self.tree_xml(line, sub, sub_id, condition, folders, components, origin,
                                  f"{path}{name}\\")
            source = "" if origin is None else ":."
            parts.append(f'<Directory Id="{sub_id}" Name="{attr(target_name(name))}{source}">'
                         f"{inner}</Directory>")
        return "".join(parts)

    def media_component(self, line: int, id: str, directory: str, condition: str, origin: str,
                        path: str, files: list[tuple[str, str, Path | bytes]]) -> None:
        """The files of one source folder that the installer copies from the
        data folder instead of the cabinet. The folder becomes source folder
        path k of the script, and the engine puts its files into
        <data folder>\\<origin>\\<k>\\; a folder of its own below the
        target one, the same folder on the target side, points there on the
        source side. files: (name in the database, name, source)."""
        where = f"line {line}: Install Files"
        if any(path.upper() == known.upper() for known in self.source_folders):
            raise ValueError(f"{where}: source folder path '{path}' is in the list already")
        self.source_folders.append(path)
        k = len(self.source_folders) - 1
        holder = f"{directory}S"
        self.sql.append("INSERT INTO `Directory` (`Directory`, `Directory_Parent`, `DefaultDir`) "
                        f"VALUES ('{holder}', '{directory}', '.:{k}')")
        ids = []
        for target, name, source in files:
            self.files += 1
            ids.append(f"F{line}_{self.files}")
            size = len(source) if isinstance(source, bytes) else source.stat().st_size
            self.media_rows.append([ids[-1], id, target, str(size), "", "",
                                    str(VITAL | NONCOMPRESSED), ""])
            self.media_files.append(MediaFile(origin, k, path, name, source))
        self.sql.append("INSERT INTO `Component` (`Component`, `ComponentId`, `Directory_`, "
                        "`Attributes`, `Condition`, `KeyPath`) VALUES "
                        f"('{id}', '{self.guid(id)}', '{holder}', 0, '{condition}', '{ids[0]}')")
        self.sql.append("INSERT INTO `FeatureComponents` (`Feature_`, `Component_`) "
                        f"VALUES ('Complete', '{id}')")

    def remove_folders(self, folders: list[str], component: str, written: str) -> None:
        """Folders removed, when empty, with the component: the installer
        alone leaves a folder whose subfolders it removes after it."""
        for directory in reversed(folders):
            self.removals.append((len(written), "INSERT INTO `RemoveFile` (`FileKey`, "
                                  "`Component_`, `DirProperty`, `InstallMode`) VALUES "
                                  f"('R{directory}', '{component}', '{directory}', 2)"))

    @staticmethod
    def short_name(name: str, taken: set[str]) -> str:
        stem, _, ext = name.upper().rpartition(".") if "." in name else (name.upper(), "", "")
        stem = "".join(c for c in stem if c in SHORT_NAME_CHARS and c != "~") or "F"
        ext = "".join(c for c in ext if c in SHORT_NAME_CHARS)[:3]
        number = 1
        while True:
            tail = f"~{number}"
            candidate = stem[:8 - len(tail)] + tail + (f".{ext}" if ext else "")
            if candidate not in taken:
                taken.add(candidate)
                return candidate
            number += 1

    def install_files(self, line: int, command: Command, where: str, filler: int) -> None:
        source, _, destination = command.params[:3]
        if not source:
            raise ValueError(f"{where} needs a source file or folder (parameter 1)")
        if not destination:
            raise ValueError(f"{where} needs a destination folder (parameter 3)")
        origin = media_origin(self.setup, command, where)
        if origin not in (None, OFFLINE):
            known = self.blocks.setdefault(origin.upper(), origin)
            if known != origin:
                raise ValueError(f"{where}: web media blocks '{known}' and '{origin}' differ "
                                 "only in case")
        if command.source_folder and origin is None:
            raise ValueError(f"{where}: a source folder path is only for files from web media "
                             "or offline (media-mode = 2, media = NAME\\ or OFFLINE\\)")
        path = (source_folder_path(command.source_folder, where) if command.source_folder
                else f"c_\\src\\{line}\\")
        folder = read_source(self.setup.base / source, where)
        if filler:
            generator = random.Random(line)
            folder.folders.append(("filler", Folder(files=[
                (f"filler{n:05}.bin", generator.randbytes(FILLER_SIZE)) for n in range(filler)])))
        directory = f"DIR{line}"
        marker = prop(line, 1)
        folders: list[str] = []
        components: list[str] = []
        inner = self.tree_xml(line, folder, directory, marker, folders, components, origin, path)
        name = f"UNSET{line}" if origin is None else f"UNSET{line}:{origin}"
        self.xml.append((len(destination), self.folder_xml(directory, name, inner)))
        self.remove_folders(folders, components[0], destination)
        self.set_folder(directory, marker)
        self.remember(line, [1], marker)

    def create_folder(self, line: int, command: Command, where: str) -> None:
        if not command.params[0]:
            raise ValueError(f"{where} needs a folder (parameter 1)")
        directory = f"DIR{line}"
        marker = prop(line, 1)
        inner = self.component(f"C{line}", "<CreateFolder/>", marker)
        self.xml.append((len(command.params[0]),
                         self.folder_xml(directory, f"UNSET{line}", inner)))
        self.remove_folders([directory], f"C{line}", command.params[0])
        self.set_folder(directory, marker)
        self.remember(line, [1], marker)

    def write_registry(self, line: int, command: Command, where: str) -> None:
        root, key, _, _, kind = command.params[:5]
        if root not in REGISTRY_ROOTS:
            raise ValueError(f"{where}: root '{root}' must be 0 (HKCR), 1 (HKCU), "
                             "2 (HKLM) or 3 (HKU)")
        if not key:
            raise ValueError(f"{where} needs a key (parameter 2)")
        if kind not in REGISTRY_TYPES:
            raise ValueError(f"{where}: type '{kind}' must be 'string' or 'number'")
        marker, name, data = prop(line, 3), prop(line, 1), prop(line, 2)

        def value(id: str, wix_type: str, condition: str) -> str:
            row = (f'<RegistryValue Root="{REGISTRY_ROOTS[root]}" Key="{attr(literal(key))}" '
                   f'Name="[{name}]" Value="[{data}]" Type="{wix_type}"/>')
            return self.component(id, row, condition)

        if kind == "number":
            # Written "#[data]": a DWORD.
            rows = value(f"C{line}", "integer", marker)
        else:
            # The installer reads a value that begins with "#" as a number or
            # binary data; such a string is written with one more "#". At
            # removal both components may go: only the installed one acts.
            starts = f'{data} << "#"'
            rows = (value(f"C{line}", "string", f"{marker} AND (NOT ({starts}) OR {REMOVING})")
                    + value(f"C{line}_H", "integer", f"{marker} AND ({starts} OR {REMOVING})"))
        self.xml.append((0, rows))
        self.remember(line, [1, 3], marker)

    def create_shortcut(self, line: int, command: Command, where: str) -> None:
        target, name, folder, description = command.params[:4]
        if not target:
            raise ValueError(f"{where} needs a target (parameter 1)")
        if not folder:
            raise ValueError(f"{where} needs a folder (parameter 3)")
        name = windows_name(name, f"{where}: shortcut name")
        if not is_short_name(name):
            name = f"{self.short_name(name, set())}|{name}"
        marker, workdir = prop(line, 1), prop(line, 4)
        directory, workdir_dir = f"DIR{line}", f"WD{line}"

        def shortcut(id: str, extra: str, condition: str) -> str:
            text = (f' Description="{attr(description)}"' if description else "")
            row = (f'<Shortcut Id="S{id[1:]}" Name="{attr(name)}" Target="[{prop(line, 2)}]" '
                   f'Arguments="[{prop(line, 3)}]"{text}{extra}/>')
            return self.component(id, row, condition)

        # One component with the working folder, one without; at removal
        # both may go: only the installed one acts.
        inner = (shortcut(f"C{line}", "", f"{marker} AND (NOT {workdir} OR {REMOVING})")
                 + shortcut(f"C{line}_W", f' WorkingDirectory="{workdir_dir}"',
                            f"{marker} AND ({workdir} OR {REMOVING})"))
        self.xml.append((len(folder), self.folder_xml(directory, f"UNSET{line}", inner)))
        self.xml.append((0, self.folder_xml(workdir_dir, f"UNSETW{line}")))
        self.set_folder(directory, marker)
        self.set_folder(workdir_dir, workdir)
        self.remember(line, [1], marker)

    def add_commands(self) -> None:
        filler = self.setup.filler
        for line, command in enumerate(self.setup.commands, 1):
            if command.flag == "C" or command.name not in CHANGE_COMMANDS:
                continue
            where = f"line {line}: {command.name}"
            if command.source_folder and command.name != "Install Files":
                raise ValueError(f"{where}: only Install Files takes a source folder path")
            if command.name not in DATABASE_COMMANDS:
                raise ValueError(f"{where}: the setup assembler cannot put this command into "
                                 "the installer database; it supports "
                                 + ", ".join(DATABASE_COMMANDS))
            needed = DATABASE_COMMANDS[command.name]
            if len(command.params) < needed:
                raise ValueError(f"{where} needs {needed} parameters, not {len(command.params)}")
            if command.name == "Install Files":
                self.install_files(line, command, where, filler)
                filler = 0
            elif command.name == "Create Folder":
                self.create_folder(line, command, where)
            elif command.name == "Write Registry":
                self.write_registry(line, command, where)
            else:
                self.create_shortcut(line, command, where)
        if filler:
            raise ValueError("filler needs an Install Files command to put its files in")
        self.sql += [sql for _, sql in sorted(self.removals, key=lambda row: -row[0])]
        if self.searches:
            self.sequence("AppSearch", REMOVING, SEARCH_SEQUENCE)
            # wixl schedules the registry actions only for registry values of
            # its own; without a Write Registry command the kept values would
            # never be written, and a removal given no values would leave
            # the files behind.
            if not any(command.name == "Write Registry" and command.flag != "C"
                       for command in self.setup.commands):
                self.sequence("RemoveRegistryValues", "", 2600, ui=False)
                self.sequence("WriteRegistryValues", "", 5000, ui=False)
        if self.setup.fail:
            self.sql.append("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
                            f"VALUES ('FailOnPurpose', 19, '', '{FAIL_MESSAGE}')")
            self.sequence("FailOnPurpose", f"NOT {REMOVING}", FAIL_SEQUENCE, ui=False)
        if self.setup.reboot:
            self.sequence("ScheduleReboot", "", REBOOT_SEQUENCE, ui=False)
        if self.media_rows:
            # The engine names the data folder in SRCDIR; the installer's
            # source root would be the database's folder.
            for name in ("SourceDir", "SOURCEDIR"):
                self.sql.append("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, "
                                f"`Target`) VALUES ('Set{name}', 51, '{name}', '[SRCDIR]')")
                self.sequence(f"Set{name}", "SRCDIR", SOURCE_ROOT_SEQUENCE)
            # wixl schedules the file actions only for files of its own.
            if self.files == len(self.media_rows):
                self.sequence("RemoveFiles", "", 3500, ui=False)
                self.sequence("InstallFiles", "", 4000, ui=False)

    def wxs(self) -> str:
        setup = self.setup
        refs = "".join(f'<ComponentRef Id="{id}"/>' for id in self.components)
        return f"""<?xml version="1.0" encoding="windows-1252"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{setup.product}" Name="{attr(setup.title)}" Language="1033" Version="1.0.0"
           Manufacturer="{attr(setup.publisher[0] or 'Tavrel')}" UpgradeCode="{guid()}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="data.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      {"".join(text for _, text in sorted(self.xml, key=lambda row: -row[0]))}
    </Directory>
    <Feature Id="Complete" Level="1">{refs}</Feature>
  </Product>
</Wix>
"""


def make_database(setup: Setup, target: Path) -> MediaLayout:
    """Writes the installer database of the setup's change commands; target is
    written only when the whole database is made. Returns where the files of
    web media and offline commands go."""
    if not re.fullmatch(r"\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}", setup.product):
        raise ValueError(f"product '{setup.product}' is not a GUID in braces")
    if not re.fullmatch(r"\{[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}\}", setup.revision):
        raise ValueError(f"revision '{setup.revision}' is not a GUID in braces")
    with tempfile.TemporaryDirectory() as stage:
        (Path(stage) / "files").mkdir()
        plan = DatabasePlan(setup, Path(stage))
        plan.add_commands()
        wxs = Path(stage) / "setup.wxs"
        try:
            wxs.write_bytes(plan.wxs().encode(ENCODING))
        except UnicodeEncodeError as error:
            raise ValueError(f"the database text cannot be written in code page {ENCODING}: "
                             f"{error.object[error.start:error.end]!r}") from None
        database = Path(stage) / "setup.msi"
        run_tool(["wixl", "-o", str(database), str(wxs)], stage)
        # wixl makes up a package code of its own; the engine tells an
        # installed revision by it, so it must be the script's revision code.
        run_tool(["msibuild", str(database), "-s", setup.title, setup.publisher[0] or "Tavrel",
                  summary_value(database, "Template"), setup.revision], stage)
        # msibuild takes one statement per -q.
        for start in range(0, len(plan.sql), 200):
            run_tool(["msibuild", str(database)]
                     + [a for q in plan.sql[start:start + 200] for a in ("-q", q)], stage)
        if plan.media_rows:
            add_media_rows(database, plan.media_rows, Path(stage))
        partial = target.with_name(target.name + ".partial")
        try:
            shutil.copyfile(database, partial)
            os.replace(partial, target)
        finally:
            partial.unlink(missing_ok=True)
    return MediaLayout(plan.source_folders, sorted(plan.blocks.values()), plan.media_files)


def add_media_rows(database: Path, rows: list[list[str]], stage: Path) -> None:
    """Adds the File rows of the files the installer copies from the data
    folder, after the cabinet's, and a medium without a cabinet for them.
    The rows go in through the exported table, as their names may hold
    what the SQL cannot quote. The summary's word count then says neither
    "compressed" (with it, Wine's installer looks for every uncompressed
    file in the source root itself, whatever its folder's source path) nor
    "short names"; the cabinet's files say "compressed" each."""
    exported = subprocess.run(["msiinfo", "export", str(database), "File"], check=True,
                              capture_output=True).stdout.decode("utf-8")
    header, packed = exported.split("\r\n")[:3], [
        line.split("\t") for line in exported.split("\r\n")[3:] if line]
    for row in packed:
        row[6] = str(int(row[6] or "0") | COMPRESSED)
    last = max((int(row[7]) for row in packed), default=0)
    for number, row in enumerate(rows, last + 1):
        row[7] = str(number)
    table = stage / "File.idt"
    table.write_bytes("".join(line + "\r\n" for line in
                              header + ["\t".join(row) for row in packed + rows]).encode("utf-8"))
    summary = stage / "summary.idt"
    summary.write_bytes(b"PropertyId\tValue\r\ni2\tl255\r\n_SummaryInformation\tPropertyId\r\n"
                        b"15\t0\r\n")
    run_tool(["msibuild", str(database), "-i", str(table), "-i", str(summary), "-q",
              "INSERT INTO `Media` (`DiskId`, `LastSequence`) VALUES "
              f"(2, {last + len(rows)})"], str(stage))


def summary_value(database: Path, name: str) -> str:
    """One field of the database's summary information, as msiinfo shows it."""
    result = subprocess.run(["msiinfo", "suminfo", str(database)], capture_output=True,
                            text=True, check=True)
    for line in result.stdout.splitlines():
        if line.startswith(name + ": "):
            return line[len(name) + 2:]
    raise ValueError(f"the database has no summary field {name}")


def run_tool(args: list[str], cwd: str) -> None:
    result = subprocess.run(args, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise ValueError(f"{args[0]} failed ({result.returncode}): "
                         f"{(result.stderr or result.stdout).strip()}")


def put(source: Path | bytes, target: Path) -> None:
    target.parent.mkdir(parents=True, exist_ok=True)
    if isinstance(source, bytes):
        target.write_bytes(source)
    else:
        shutil.copyfile(source, target)


def write_media(layout: MediaLayout, out: Path, web_dir: Path) -> None:
    """The archive NAME.7zip of each web media block in web_dir (one top
    folder NAME; in it each source folder of the block under its source
    folder path), and the offline files in out/offline/<k>/."""
    shutil.rmtree(out / OFFLINE, ignore_errors=True)
    with tempfile.TemporaryDirectory() as stage:
        for name in layout.blocks:
            Path(stage, name).mkdir()
        for file in layout.files:
            if file.origin == OFFLINE:
                put(file.source, out / OFFLINE / str(file.k) / file.name)
            else:
                put(file.source, Path(stage, file.origin, *file.path.split("\\")[:-1], file.name))
        if layout.blocks:
            web_dir.mkdir(parents=True, exist_ok=True)
        for name in layout.blocks:
            archive = web_dir / f"{name}.7zip"
            partial = archive.with_name(archive.name + ".partial")
            partial.unlink(missing_ok=True)
            try:
                run_tool(["7z", "a", "-t7z", str(partial.resolve()), name], stage)
                os.replace(partial, archive)
            finally:
                partial.unlink(missing_ok=True)


def assemble(setup: Setup, out: Path, bin_dir: Path, *, library: Path | None = None,
             script: bytes | None = None, engine: Path | None = None,
             web_dir: Path | None = None) -> Path:
    """Writes the setup folder and returns the engine's path in it.

    script replaces the compiled script (for malformed ones); engine and
    library replace the built tvlstub.exe and tvl.dll. web_dir receives the
    archives of the web media blocks (default: out/web).
    """
    # What bad input can fail comes first, before anything is written.
    resources = setup.resources + dialog_files(setup)
    mergemods: dict[str, Path] = {}
    for mergemod in setup.mergemods:
        if not mergemod.exists():
            raise ValueError(f"mergemod '{mergemod}' not found")
        if mergemod.name.upper() in mergemods:
            raise ValueError(f"mergemod '{mergemod}': mergemod '{mergemods[mergemod.name.upper()]}'"
                             " has the same name")
        mergemods[mergemod.name.upper()] = mergemod
    out.mkdir(parents=True, exist_ok=True)
    layout = make_database(setup, out / f"{setup.name}.msi")
    exe = out / f"{setup.name}.exe"
    body = (engine or bin_dir / "tvlstub.exe").read_bytes()
    if script is None:
        script = compile_script(dataclasses.replace(setup, source_folders=layout.source_folders))
    exe.write_bytes(body + script)
    write_media(layout, out, web_dir or out / "web")
    shutil.rmtree(out / "mergemod", ignore_errors=True)
    for mergemod in setup.mergemods:
        if mergemod.is_dir():
            shutil.copytree(mergemod, out / "mergemod" / mergemod.name)
        else:
            put(mergemod, out / "mergemod" / mergemod.name)
    dll = out / "tvl.dll"
    shutil.copyfile(library or bin_dir / "tvl.dll", dll)
    if setup.language is not None:
        with dll.open("ab") as f:
            f.write(setup.language.read_bytes())
    make_resource_archive(resources, out / f"{setup.name}.res")
    if setup.bitmap is not None:
        shutil.copyfile(setup.bitmap, out / "setup.bmp")
    # The data folder holds a file named as the product code: the mark by
    # which a maintenance run knows the original sources.
    (out / "data").mkdir(exist_ok=True)
    (out / "data" / setup.product).write_bytes(b"")
    for file in setup.data:
        shutil.copy2(file, out / "data" / file.name)
    return exe


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("description", type=Path)
    parser.add_argument("outdir", type=Path)
    parser.add_argument("--bin", type=Path, required=True, help="folder with tvlstub.exe and tvl.dll")
    parser.add_argument("--library", type=Path, help="use this tvl.dll instead")
    parser.add_argument("--web", type=Path, help="folder for the web media blocks' archives "
                        "(default: OUTDIR/web)")
    args = parser.parse_args()
    try:
        setup = parse_description(args.description.read_text(encoding=ENCODING),
                                  args.description.parent)
        exe = assemble(setup, args.outdir, args.bin, library=args.library, web_dir=args.web)
    except (OSError, ValueError) as error:
        print(f"setup_assembler: {error}", file=sys.stderr)
        return 1
    print(exe)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
