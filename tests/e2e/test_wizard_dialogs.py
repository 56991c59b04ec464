"""Wizard pages end to end under Wine: the sample setup's pages walked with
Next, Back and Cancel, controls writing the variables their hints name, a
rule enabling Next, the target folder following a folder choice, the
progress page, and broken dialog files. Pages are driven through window
messages (winctl); every page is photographed into build/screenshots/."""

from __future__ import annotations

import shutil
import unittest
from pathlib import Path

import winebench as wb
from setup_assembler import Command, Setup, assemble, parse_description

WORK = wb.WORK / "wizard_dialogs"
DEMO = wb.ROOT / "samples/demo/demo.setup"
PAGE = "TPoolTemplate"
DEMO_TITLE = "Tavrel Demo Product Setup"


def q(text: str) -> str:
    return "'" + text.replace("'", "''") + "'"


def control(name: str, cls: str, left: int, top: int, width: int, height: int,
            **props: str | int) -> str:
    lines = [f"  object {name}: {cls}", f"    Left = {left}", f"    Top = {top}",
             f"    Width = {width}", f"    Height = {height}"]
    lines += [f"    {key} = {value}" for key, value in props.items()]
    return "\r\n".join(lines + ["  end"])


def dialog_file(name: str, caption: str, *controls: str) -> bytes:
    head = [f"object {name}: TPoolTemplate", f"  Caption = {q(caption)}", "  ClientHeight = 300",
            "  ClientWidth = 420"]
    return ("\r\n".join(head + list(controls) + ["end", ""])).encode("cp1252")


def next_button(**props: str | int) -> str:
    return control("NextButton", "TButton", 330, 265, 75, 23, Caption=q("&Next >"), Tag=1,
                   **props)


class WizardDialogTest(unittest.TestCase):
    def setUp(self) -> None:
        wb.clean_temp()
        self.dir = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.dump = self.dir / "variables.txt"

    def tearDown(self) -> None:
        # The demo installs its product; it goes again.
        demo = self.demo_setup()
        wb.subprocess.run([wb.WINE, "msiexec", "/x", demo.product, "/qn"], env=wb.ENV,
                          capture_output=True, timeout=120)
        # And so does the registration its installation leaves.
        wb.subprocess.run([wb.WINE, "reg", "delete",
                           "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                           + demo.title, "/f"], env=wb.ENV, capture_output=True)
        shutil.rmtree(Path(wb.ENV["WINEPREFIX"]) / "drive_c/users/Public/Application Data/Quorvane"
                      / "Installation Information" / demo.product, ignore_errors=True)
        wb.clean_temp()

    def run_setup(self, setup: Setup, args: list[str] = ()) -> wb.Program:
        exe = assemble(setup, self.dir / "setup", wb.BIN)
        return wb.Program(exe, list(args), trace=self.dir / "trace.txt",
                          extra_env={"TVL_VARIABLES": wb.winpath(self.dump)})

    def demo_setup(self) -> Setup:
        setup = parse_description(DEMO.read_text(encoding="cp1252"), DEMO.parent)
        setup.bitmap = None
        return setup

    def page(self, text: str, title: str = DEMO_TITLE) -> wb.Window:
        return wb.find_window(PAGE, f"{title}>>{text}")

    def state(self, title: str, control_id: int) -> list[str]:
        code, out = wb.winctl("state", PAGE, title, str(control_id))
        self.assertEqual(code, 0, f"no control {control_id} on {title}")
        return out.rstrip("\r\n").split("|", 4)

    def ids(self, window: wb.Window) -> dict[str, int]:
        """The id of each child by its text (the first of equal texts)."""
        found: dict[str, int] = {}
        for _, control_id, text in window.children:
            found.setdefault(text.replace("&", ""), int(control_id))
        return found

    def test_demo_pages_walk_next_back_next_next_and_show_progress(self) -> None:
        setup = self.demo_setup()
        with self.run_setup(setup) as program:
            welcome = self.page("Welcome to the Tavrel Demo Product Setup Wizard")
            wb.screenshot("wizard-welcome")
            # The first page is centred on the 1024x768 screen.
            self.assertLess(abs(welcome.left + welcome.width // 2 - 512), 40)
            wb.press(PAGE, f"{DEMO_TITLE}>>Welcome to", "Next >")

            licence = self.page("License Agreement")
            ids = self.ids(licence)
            agree, next_id = ids["I accept the terms of the License Agreement"], ids["Next >"]
            title = f"{DEMO_TITLE}>>License Agreement"
            self.assertIn("TAVREL DEMO PRODUCT - LICENSE AGREEMENT", "".join(licence.texts("Edit")))
            self.assertEqual(self.state(title, next_id)[0], "0")  # Next waits for the tick
            wb.screenshot("wizard-licence")
            wb.winctl("click", PAGE, title, str(agree))
            self.assertTrue(wb.wait_until(lambda: self.state(title, next_id)[0] == "1"))
            wb.screenshot("wizard-licence-accepted")

            wb.press(PAGE, title, "< Back")
            self.page("Welcome to the Tavrel Demo Product Setup Wizard")
            wb.press(PAGE, f"{DEMO_TITLE}>>Welcome to", "Next >")
            self.page("License Agreement")
            # Shown again, the page takes the tick from its variable.
            self.assertEqual(self.state(title, agree)[2], "1")
            self.assertEqual(self.state(title, next_id)[0], "1")
            wb.press(PAGE, title, "Next >")

            destination = self.page("Choose Install Location")
            title = f"{DEMO_TITLE}>>Choose Install Location"
            edit = next(int(i) for cls, i, _ in destination.children if cls.lower() == "edit")
            self.assertTrue(self.state(title, edit)[4].rstrip("\\").endswith(
                "\\Tavrel Demo Product"), self.state(title, edit))
            wb.set_text(PAGE, title, edit, "C:\\Demo Target")
            wb.screenshot("wizard-destination")
            wb.press(PAGE, title, "Next >")

            # The progress page stays while the script asks its question.
            progress = self.page("Copying the files of Tavrel Demo Product into C:\\Demo Target")
            self.assertIn("msctls_progress32", [cls for cls, _, _ in progress.children])
            wb.find_window("#32770", "Tavrel Demo Product")
            wb.screenshot("wizard-progress")
            wb.press("#32770", "Tavrel Demo Product", "OK")

            self.page("Completing the Tavrel Demo Product Setup Wizard")
            wb.screenshot("wizard-finish")
            wb.press(PAGE, f"{DEMO_TITLE}>>Completing", "Finish")
            self.assertEqual(program.wait(60), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["AGREE"], "TRUE")
        self.assertEqual(store["TARGETDIR"], "C:\\Demo Target")
        self.assertEqual(store["ANSWER"], "OK")
        self.assertEqual(store["WIZARD"], "NEXT")
        self.assertEqual(store["RESULT"], "COMPLETE")
        self.assertTrue((Path(wb.ENV["WINEPREFIX"]) / "drive_c/Demo Target/docs/guide.txt").is_file())
        # The finish page is modal: no non-modal window is left.
        self.assertEqual(store["WINDOWHANDLE"], "0")

    def test_cancel_asks_and_only_yes_cancels(self) -> None:
        with self.run_setup(self.demo_setup()) as program:
            self.page("Welcome to the Tavrel Demo Product Setup Wizard")
            wb.press(PAGE, f"{DEMO_TITLE}>>Welcome to", "Cancel")
            box = wb.find_window("#32770", "Tavrel")
            self.assertIn("Are you sure you want to cancel?", box.texts("Static"))
            wb.screenshot("wizard-cancel-question")
            wb.press("#32770", "Tavrel", "No")
            self.assertEqual(wb.winctl("gone", "#32770", "Tavrel", "10000")[0], 0)
            self.page("Welcome to the Tavrel Demo Product Setup Wizard")  # still there
            wb.press(PAGE, f"{DEMO_TITLE}>>Welcome to", "Cancel")
            wb.press("#32770", "Tavrel", "Yes")
            self.assertEqual(program.wait(60), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["WIZARD"], "CANCEL")
        self.assertNotIn("SUMMARY", store)  # the script ended at "Terminate Install"

    def test_controls_write_their_variables_and_follow_the_folder_choice(self) -> None:
        drive_c = Path(wb.ENV["WINEPREFIX"]) / "drive_c"
        shutil.rmtree(drive_c / "tvlwizard", ignore_errors=True)
        (drive_c / "tvlwizard/base").mkdir(parents=True)
        (drive_c / "tvlwizard/other").mkdir(parents=True)
        dialogs = self.dir / "dialogs"
        dialogs.mkdir()
        (dialogs / "Options.dfm").write_bytes(dialog_file(
            "Options", "Options for $TITLE$",
            control("NameEdit", "TEdit", 10, 10, 200, 21, Hint=q("USERNAME")),
            control("OptionBox", "TRzCheckBox", 10, 40, 200, 17, Caption=q("Option A"),
                    Hint=q("OPT_A")),
            control("RadioOne", "TRzRadioButton", 10, 62, 100, 17, Caption=q("First"),
                    Hint=q("R1"), Checked="True"),
            control("RadioTwo", "TRzRadioButton", 120, 62, 100, 17, Caption=q("Second"),
                    Hint=q("R2")),
            control("Colours", "TListBox", 10, 90, 120, 60, Hint=q("COLOUR"),
                    **{"Items.Strings": "(\r\n      'Red'\r\n      'Green'\r\n      'Blue')"}),
            control("Sizes", "TComboBox", 140, 90, 120, 21, Hint=q("SIZE"), Style="csDropDownList",
                    **{"Items.Strings": "(\r\n      'Small'\r\n      'Large')"}),
            control("Folders", "TDirectoryListBox", 10, 160, 250, 90, Tag=1),
            control("Target", "TEdit", 10, 265, 250, 21, Hint=q("TARGETDIR"), Tag=2),
            next_button()))
        (dialogs / "Options.dfm.tvlf").write_bytes(b"")
        setup = Setup(title="Control Sample")
        setup.dialogs = dialogs
        setup.commands = [
            Command("Set Variable", ["TARGETDIR", "C:\\tvlwizard\\base\\Maker\\Product"]),
            Command("Set Variable", ["COLOUR", "blue"]),
            Command("Display Dialog", ["Options", "RESULT", "TRUE", "", "", ""]),
        ]
        title = "Options for Control Sample"
        with self.run_setup(setup) as program:
            window = wb.find_window(PAGE, title)
            by_class: dict[str, list[int]] = {}
            for cls, control_id, _ in window.children:
                by_class.setdefault(cls.lower(), []).append(int(control_id))
            name_edit, target = by_class["edit"][0], by_class["edit"][-1]
            colours = by_class["listbox"][0]
            # Prepared from the variables: the list item from COLOUR (any
            # case), the target from TARGETDIR.
            self.assertEqual(self.state(title, colours)[3], "Blue")
            self.assertEqual(self.state(title, target)[4], "C:\\tvlwizard\\base\\Maker\\Product")
            ids = self.ids(window)
            wb.set_text(PAGE, title, name_edit, "Typed Name")
            wb.winctl("click", PAGE, title, str(ids["Option A"]))
            wb.winctl("click", PAGE, title, str(ids["Second"]))
            self.assertEqual(wb.winctl("select", PAGE, title, str(colours), "Green")[0], 0)
            sizes = next(i for i in by_class["combobox"])
            self.assertEqual(wb.winctl("select", PAGE, title, str(sizes), "Large")[0], 0)
            # Opening another folder in the list keeps the part of the target
            # that does not exist yet.
            folders = by_class["listbox"][1]
            self.assertEqual(wb.winctl("select", PAGE, title, str(folders), "tvlwizard", "open")[0], 0)
            self.assertEqual(wb.winctl("select", PAGE, title, str(folders), "other", "open")[0], 0)
            self.assertTrue(wb.wait_until(
                lambda: self.state(title, target)[4] == "C:\\tvlwizard\\other\\Maker\\Product"),
                self.state(title, target))
            wb.screenshot("wizard-controls")
            wb.press(PAGE, title, "Next >")
            self.assertEqual(program.wait(60), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["USERNAME"], "Typed Name")
        self.assertEqual(store["OPT_A"], "TRUE")
        self.assertEqual((store["R1"], store["R2"]), ("FALSE", "TRUE"))
        self.assertEqual(store["COLOUR"], "Green")
        self.assertEqual(store["SIZE"], "Large")
        self.assertEqual(store["TARGETDIR"], "C:\\tvlwizard\\other\\Maker\\Product")
        self.assertEqual(store["RESULT"], "NEXT")
        shutil.rmtree(drive_c / "tvlwizard", ignore_errors=True)

    def broken_setup(self, dfm: bytes | None, rules: bytes | None) -> Setup:
        dialogs = self.dir / "dialogs"
        dialogs.mkdir(exist_ok=True)
        if dfm is not None:
            (dialogs / "Broken.dfm").write_bytes(dfm)
        if rules is not None:
            (dialogs / "Broken.dfm.tvlf").write_bytes(rules)
        setup = Setup(title="Broken Sample")
        setup.resources = [p for p in dialogs.iterdir()]
        setup.commands = [
            Command("Set Variable", ["REACHED", "yes"]),
            Command("Display Dialog", ["Broken", "", "TRUE", "", "", ""]),
        ]
        return setup

    def test_broken_dialog_files_end_start_up_with_a_message(self) -> None:
        cases = [
            (None, b"", "Broken.dfm"),
            (dialog_file("Broken", "x", next_button()), None, "Broken.dfm.tvlf"),
            (b"object Broken: TPoolTemplate\r\n  Caption = 'unterminated\r\nend\r\n", b"",
             "line 2"),
            (dialog_file("Broken", "x", control("Odd", "TNoSuchControl", 0, 0, 5, 5)), b"",
             "TNoSuchControl"),
        ]
        for dfm, rules, named in cases:
            with self.subTest(named=named):
                shutil.rmtree(self.dir, ignore_errors=True)
                self.dir.mkdir(parents=True)
                with self.run_setup(self.broken_setup(dfm, rules)) as program:
                    box = wb.find_window("#32770", "Tavrel")
                    text = " ".join(box.texts("Static"))
                    self.assertIn("Runtime error in install: ", text)
                    self.assertIn(named, text)
                    wb.screenshot(f"wizard-broken-{named.replace(' ', '-')}")
                    wb.press("#32770", "Tavrel", "OK")
                    self.assertEqual(program.wait(60), 0)
                self.assertFalse(self.dump.exists() and "REACHED" in wb.read_variables(self.dump))


if __name__ == "__main__":
    unittest.main()
