"""The feature choice of a wizard page under Wine: a feature tree whose icon
menu switches components on and off, and a feature list whose checks do, with
the description, size and space texts following each change and the script
reading the states with "Get Component State" afterwards, and the files of
the chosen features, and only those, installed. Both pages are photographed
into build/screenshots/."""

from __future__ import annotations

import shutil
import subprocess
import unittest

import winebench as wb
from setup_assembler import Command, Setup, assemble, guid
from test_wizard_dialogs import PAGE, control, dialog_file, next_button, q

WORK = wb.WORK / "feature_choice"
TITLE = "Feature Sample"
TARGET = "C:\\Tavrel Feature Test\\"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
INFORMATION = "users/Public/Application Data/Quorvane/Installation Information/"
WM_KEYDOWN, WM_CHAR, VK_SPACE = 0x100, 0x102, 0x20

COMPONENTS = [  # name, state, description, size
    ("Docs", "TRUE", "Guides$NEWLINE$and samples", "3000000"),
    ("Docs\\Samples", "TRUE", "Sample projects", "500000"),
    ("Tools", "FALSE", "Command line tools", "200000"),
    ("Extras\\Fonts", "TRUE", "Fonts", "100000"),
]


def info_texts(top: int) -> list[str]:
    labels = ["Description", "Size", "Required", "Available", "Remaining"]
    rows = [(tag, top + (tag - 2) * 24 + (16 if tag > 2 else 0)) for tag in range(2, 7)]
    # The labels first: the page lists the five texts last.
    return [control(f"Label{tag}", "TLabel", 230, y, 75, 17, Caption=q(labels[tag - 2] + ":"))
            for tag, y in rows] + [
        control(f"Info{tag}", "TStaticText", 305, y, 110, 34 if tag == 2 else 17, Tag=tag,
                AutoSize="False", Caption=q("-"))
        for tag, y in rows]


def drive_c(path: str) -> wb.Path:
    return wb.Path(wb.ENV["WINEPREFIX"]) / "drive_c" / path


class FeatureChoiceTest(wb.EngineCase):
    WORK = WORK

    def setUp(self) -> None:
        super().setUp()
        self.product = guid()
        shutil.rmtree(drive_c("Tavrel Feature Test"), ignore_errors=True)

    def tearDown(self) -> None:
        subprocess.run([wb.WINE, "msiexec", "/x", self.product, "/qn"], env=wb.ENV,
                       capture_output=True, timeout=120)
        subprocess.run([wb.WINE, "reg", "delete", UNINSTALL + TITLE, "/f"], env=wb.ENV,
                       capture_output=True)
        shutil.rmtree(drive_c("Tavrel Feature Test"), ignore_errors=True)
        shutil.rmtree(drive_c(INFORMATION + self.product), ignore_errors=True)
        super().tearDown()

    def setup(self) -> Setup:
        dialogs = self.dir / "dialogs"
        dialogs.mkdir(parents=True)
        heading = control("Heading", "TLabel", 10, 8, 400, 17,
                          Caption=q("Click an icon to change how a feature will be installed."))
        (dialogs / "Tree.dfm").write_bytes(dialog_file(
            "Tree", "Custom Setup",
            heading,
            control("Features", "TTreeView", 10, 32, 210, 220, Tag=1),
            *info_texts(32), next_button()))
        (dialogs / "List.dfm").write_bytes(dialog_file(
            "List", "Select Features",
            control("Heading", "TLabel", 10, 8, 400, 17, Caption=q("Tick the features to install.")),
            control("FeatureList", "TCheckListBox", 10, 32, 210, 220, Tag=1),
            *info_texts(32), next_button()))
        for name in ("Tree", "List"):
            (dialogs / f"{name}.dfm.tvlf").write_bytes(b"")
        setup = Setup(title=TITLE, product=self.product)
        setup.base = self.dir
        setup.dialogs = dialogs
        setup.components = [(name, size) for name, _, _, size in COMPONENTS]
        # A network target has a known free space: 1,048,576 bytes.
        setup.commands = [Command("Set Variable", ["TARGETDIR", "\\\\server\\share\\App"])]
        setup.commands += [Command("Define Component", [name, state, text])
                           for name, state, text, _ in COMPONENTS]
        setup.commands.append(Command("Display Dialog", ["Tree", "", "TRUE", "", "", ""]))
        for i, (name, _, _, _) in enumerate(COMPONENTS):
            setup.commands.append(Command("Get Component State", [name, f"TREE{i}"]))
        setup.commands.append(Command("Display Dialog", ["List", "", "TRUE", "", "", ""]))
        for i, (name, _, _, _) in enumerate(COMPONENTS):
            setup.commands.append(Command("Get Component State", [name, f"LIST{i}"]))
        # Each feature brings its own files; only the chosen ones are installed.
        setup.commands.append(Command("Set Variable", ["TARGETDIR", TARGET]))
        for i, (name, _, _, _) in enumerate(COMPONENTS):
            folder = self.dir / "payload" / name.replace("\\", "_")
            folder.mkdir(parents=True)
            (folder / "part.txt").write_bytes(name.encode() + b"\r\n")
            setup.commands += [
                Command("If", [f"LIST{i}", "0", "TRUE", "FALSE"]),
                Command("Install Files", [f"payload/{folder.name}", "",
                                          f"$TARGETDIR${folder.name}"]),
                Command("End")]
        setup.commands.append(Command("Apply Changes", ["", "RESULT", "TRUE"]))
        return setup

    def info(self, title: str) -> list[str]:
        """The five texts with Tags 2 to 6, in order."""
        return wb.find_window(PAGE, title).texts("Static")[-5:]

    def wait_info(self, title: str, expected: list[str]) -> None:
        self.assertTrue(wb.wait_until(lambda: self.info(title) == expected, timeout=10),
                        self.info(title))

    def click_icon(self, title: str, tree: int, row: int, level: int) -> None:
        """A real mouse click, through the X server, on a row's icon."""
        code, out = wb.winctl("treeicon", PAGE, title, str(tree), str(row), str(level))
        self.assertEqual(code, 0)
        x, y = out.strip().split("|")
        wb.subprocess.run(["xdotool", "mousemove", x, y, "click", "1"], env=wb.ENV, check=True,
                          timeout=10)

    def choose(self, title: str, tree: int, row: int, level: int, key: str) -> None:
        self.click_icon(title, tree, row, level)
        wb.find_window("#32768", "*")
        wb.screenshot(f"feature-tree-menu-{key}")
        self.assertEqual(wb.winctl("post", "#32768", "*", "0", str(WM_CHAR), str(ord(key)))[0], 0)
        self.assertEqual(wb.winctl("gone", "#32768", "*", "10000")[0], 0)

    def test_tree_menu_and_list_checks_change_the_components(self) -> None:
        exe = assemble(self.setup(), self.dir / "setup", wb.BIN)
        with wb.Program(exe, [], trace=self.dir / "trace.txt",
                        extra_env={"TVL_VARIABLES": wb.winpath(self.dump)}) as program:
            title = "Custom Setup"
            page = wb.find_window(PAGE, title)
            tree = next(int(i) for cls, i, _ in page.children if cls.lower() == "systreeview32")
            # Nothing is selected by the user yet: no description, no size.
            self.wait_info(title, ["", "0 bytes", "3,515 KB", "1,024 KB", "-2,551,424 bytes"])
            wb.screenshot("feature-tree")

            # The whole of Docs goes: its own component and Samples below it.
            # Docs was selected by the page, not by the user: the texts about
            # the selection stay empty.
            self.choose(title, tree, 0, 0, "u")
            self.wait_info(title, ["", "0 bytes", "100,000 bytes", "1,024 KB", "948,576 bytes"])
            # Tools alone comes in.
            self.choose(title, tree, 2, 0, "i")
            self.wait_info(title, ["Command line tools", "200,000 bytes", "300,000 bytes", "1,024 KB",
                                   "748,576 bytes"])
            # Extras only groups Fonts: its icon opens no menu.
            self.click_icon(title, tree, 3, 0)
            self.assertNotEqual(wb.winctl("find", "#32768", "*", "1500")[0], 0)
            wb.screenshot("feature-tree-changed")
            wb.press(PAGE, title, "Next >")

            title = "Select Features"
            page = wb.find_window(PAGE, title)
            listbox = next(int(i) for cls, i, _ in page.children if cls.lower() == "listbox")
            # Top-level components only, checked from their states.
            self.assertEqual(wb.winctl("select", PAGE, title, str(listbox), "Docs")[0], 0)
            self.wait_info(title, ["Guides\\nand samples", "2,929 KB", "300,000 bytes",
                                   "1,024 KB", "748,576 bytes"])
            # Checking Docs switches on everything whose name begins with it.
            wb.winctl("post", PAGE, title, str(listbox), str(WM_KEYDOWN), str(VK_SPACE))
            self.wait_info(title, ["Guides\\nand samples", "2,929 KB", "3,710 KB", "1,024 KB",
                                   "-2,751,424 bytes"])
            wb.screenshot("feature-list")
            # Tools goes again.
            self.assertEqual(wb.winctl("select", PAGE, title, str(listbox), "Tools")[0], 0)
            wb.winctl("post", PAGE, title, str(listbox), str(WM_KEYDOWN), str(VK_SPACE))
            self.wait_info(title, ["Command line tools", "200,000 bytes", "3,515 KB", "1,024 KB",
                                   "-2,551,424 bytes"])
            wb.press(PAGE, title, "Next >")
            self.assertEqual(program.wait(120), 0, program.trace())
        store = wb.read_variables(self.dump)
        self.assertEqual([store[f"TREE{i}"] for i in range(4)], ["FALSE", "FALSE", "TRUE", "TRUE"])
        self.assertEqual([store[f"LIST{i}"] for i in range(4)], ["TRUE", "TRUE", "FALSE", "TRUE"])
        self.assertEqual(store["RESULT"], "COMPLETE", program.trace())
        installed = drive_c("Tavrel Feature Test")
        self.assertEqual(sorted(p.relative_to(installed).as_posix()
                                for p in installed.rglob("*.txt")),
                         ["Docs/part.txt", "Docs_Samples/part.txt", "Extras_Fonts/part.txt"])
        wb.assert_nothing_left_open()


if __name__ == "__main__":
    unittest.main()
