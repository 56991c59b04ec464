#!/usr/bin/env python3
"""Setup assembler for tests and the demo (not part of the product).

Turns a readable setup description into a setup folder the engine can run:
the engine copy with the compiled setup script as its overlay, tvl.dll
(optionally with a language file appended), <name>.res (a 7-Zip archive of
the resource files), <name>.msi (made with wixl), and optionally setup.bmp
and a data\\ folder.

Description format (one setting per line; '#' starts a comment line):

    name = Setup                      # setup name: Setup.exe, Setup.res, Setup.msi
    title = Sample Product
    product = {GUID}                  # generated when absent
    revision = {GUID}
    publisher = Sample Publisher      # also: contact, help, update, comments
    media-mode = 0
    component = Core, 1048576         # name, size in bytes (repeatable)
    plugin = Sample Plug-in           # plug-in command name (repeatable)
    source-folder = c_\\src\\          # web media source folder (repeatable)
    resource = extras/license.txt     # file put into <name>.res (repeatable)
    dialogs = dialogs                 # folder of the dialog files: for every
                                      # "Display Dialog" not commented out,
                                      # NAME.dfm and NAME.dfm.tvlf go into
                                      # <name>.res
    data = payload/readme.txt         # file copied into data\\ (repeatable)
    bitmap = splash.bmp               # copied as setup.bmp
    language = german.txt             # appended to tvl.dll

    command Set Variable              # a command, then its lines, indented:
        id = {GUID}                   #   identifier (generated when absent)
        flag = C                      #   command flag (C = commented out)
        media = OFFLINE\\              #   media folder
        | TITLE                       #   parameter lines, in order; "|" alone
        | Sample Product              #   is an empty parameter

Paths are relative to the description file. Run as:

    setup_assembler.py DESCRIPTION OUTDIR --bin BUILD/win32/bin [--library DLL]
"""

from __future__ import annotations

import argparse
import dataclasses
import os
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
    bitmap: Path | None = None
    language: Path | None = None
    # Parameter records in the order they are written; None = one record per
    # command that has parameters, in command order.
    records: list[tuple[str, list[str]]] | None = None

    def __post_init__(self) -> None:
        if not self.product:
            self.product = guid()
        if not self.revision:
            self.revision = guid()


PUBLISHER_KEYS = ["publisher", "contact", "help", "update", "comments"]


def guid() -> str:
    return "{" + str(uuid.uuid4()).upper() + "}"


def parse_description(text: str, base: Path) -> Setup:
    setup = Setup()
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
            if key in ("id", "flag", "media"):
                setattr(current, key, value)
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
        elif key == "bitmap":
            setup.bitmap = base / value
        elif key == "language":
            setup.language = base / value
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


def make_database(setup: Setup, target: Path) -> None:
    def attr(text: str) -> str:
        return (text.replace("&", "&amp;").replace("\"", "&quot;")
                .replace("<", "&lt;").replace(">", "&gt;"))

    with tempfile.TemporaryDirectory() as stage:
        readme = Path(stage) / "readme.txt"
        readme.write_bytes(f"{setup.title}\r\n".encode(ENCODING))
        wxs = Path(stage) / "setup.wxs"
        wxs.write_bytes(f"""<?xml version="1.0" encoding="windows-1252"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{setup.product}" Name="{attr(setup.title)}" Language="1033" Version="1.0.0"
           Manufacturer="{attr(setup.publisher[0] or 'Tavrel')}" UpgradeCode="{guid()}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="data.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="{attr(setup.name)}">
          <Component Id="Main" Guid="{guid()}">
            <File Id="readme" Name="readme.txt" Source="readme.txt"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
""".encode(ENCODING))
        subprocess.run(["wixl", "-o", str(target.resolve()), str(wxs)], cwd=stage, check=True)


def assemble(setup: Setup, out: Path, bin_dir: Path, *, library: Path | None = None,
             script: bytes | None = None, engine: Path | None = None) -> Path:
    """Writes the setup folder and returns the engine's path in it.

    script replaces the compiled script (for malformed ones); engine and
    library replace the built tvlstub.exe and tvl.dll.
    """
    # What bad input can fail comes first, before anything is written.
    resources = setup.resources + dialog_files(setup)
    out.mkdir(parents=True, exist_ok=True)
    make_database(setup, out / f"{setup.name}.msi")
    exe = out / f"{setup.name}.exe"
    body = (engine or bin_dir / "tvlstub.exe").read_bytes()
    exe.write_bytes(body + (compile_script(setup) if script is None else script))
    dll = out / "tvl.dll"
    shutil.copyfile(library or bin_dir / "tvl.dll", dll)
    if setup.language is not None:
        with dll.open("ab") as f:
            f.write(setup.language.read_bytes())
    make_resource_archive(resources, out / f"{setup.name}.res")
    if setup.bitmap is not None:
        shutil.copyfile(setup.bitmap, out / "setup.bmp")
    if setup.data:
        (out / "data").mkdir(exist_ok=True)
        for file in setup.data:
            shutil.copy2(file, out / "data" / file.name)
    return exe


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("description", type=Path)
    parser.add_argument("outdir", type=Path)
    parser.add_argument("--bin", type=Path, required=True, help="folder with tvlstub.exe and tvl.dll")
    parser.add_argument("--library", type=Path, help="use this tvl.dll instead")
    args = parser.parse_args()
    try:
        setup = parse_description(args.description.read_text(encoding=ENCODING),
                                  args.description.parent)
        exe = assemble(setup, args.outdir, args.bin, library=args.library)
    except (OSError, ValueError) as error:
        print(f"setup_assembler: {error}", file=sys.stderr)
        return 1
    print(exe)
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
