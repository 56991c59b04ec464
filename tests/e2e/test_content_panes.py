"""The content panes of wizard pages under Wine: the readme and licence panes
filled from the support folder (rich text through the system's rich edit),
with the author's hint where a file is missing. Pages are photographed into
build/screenshots/."""

from __future__ import annotations

import unittest

import winebench as wb
from setup_assembler import Command, Setup, assemble
from test_wizard_dialogs import PAGE, control, dialog_file, next_button, q

WORK = wb.WORK / "content_panes"
TITLE = "Content Sample"

LICENSE_RTF = (rb"{\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}}"
               rb"{\colortbl;\red160\green0\blue0;}"
               rb"\f0\fs28\b LICENCE AGREEMENT\b0\fs18\par"
               rb"\par Please read these terms {\i carefully} before you go on.\par"
               rb"\cf1 1. You may install this product on any number of machines.\cf0\par"
               rb" 2. There is {\ul no} warranty.\par}")


class ContentPanesTest(wb.EngineCase):
    WORK = WORK

    def page_setup(self, name: str, caption: str, *controls: str,
                   resources: dict[str, bytes]) -> Setup:
        dialogs = self.dir / "dialogs"
        dialogs.mkdir(parents=True)
        (dialogs / f"{name}.dfm").write_bytes(dialog_file(name, caption, *controls,
                                                          next_button()))
        (dialogs / f"{name}.dfm.tvlf").write_bytes(b"")
        setup = Setup(title=TITLE)
        setup.dialogs = dialogs
        for file, data in resources.items():
            (self.dir / file).write_bytes(data)
            setup.resources.append(self.dir / file)
        setup.commands = [Command("Display Dialog", [name, "", "TRUE", "", "", ""])]
        return setup

    def test_licence_and_readme_panes_show_the_support_files_or_the_hint(self) -> None:
        setup = self.page_setup(
            "Licence", "Licence Agreement",
            control("Licence", "TRichEdit", 10, 10, 400, 150, Tag=2),
            control("Readme", "TMemo", 10, 168, 195, 88, Tag=1),
            control("Missing", "TMemo", 215, 168, 195, 88, Tag=2),
            resources={"license.rtf": LICENSE_RTF,
                       "readme.txt": b"Read me first.\r\nSecond line."})
        exe = assemble(setup, self.dir / "setup", wb.BIN)
        with wb.Program(exe, [], trace=self.dir / "trace.txt") as program:
            page = wb.find_window(PAGE, "Licence Agreement")
            texts = {cls.lower(): [] for cls, _, _ in page.children}
            for cls, _, text in page.children:
                texts[cls.lower()].append(text)
            licence = next(t for c, t in texts.items() if c.startswith("richedit"))[0]
            # Rich text read as such: its words, none of its markup.
            self.assertIn("LICENCE AGREEMENT", licence)
            self.assertIn("terms carefully before", licence)
            self.assertIn("2. There is no warranty.", licence)
            self.assertNotIn("rtf", licence)
            self.assertEqual(sorted(texts["edit"]), [
                "Add a license.txt file to your project to display it here.",
                "Read me first.\\nSecond line."])  # winctl writes line breaks as \\n
            # Read-only with both scroll bars, as the binding makes it.
            wb.screenshot("content-licence")
            wb.press(PAGE, "Licence Agreement", "Next >")
            self.assertEqual(program.wait(60), 0)
        wb.assert_nothing_left_open()


if __name__ == "__main__":
    unittest.main()
