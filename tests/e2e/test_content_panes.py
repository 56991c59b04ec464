"""The content panes of wizard pages under Wine: the readme and licence panes
filled from the support folder (rich text through the system's rich edit),
with the author's hint where a file is missing; the HTML pane with its
pictures, lists and tables, links that start a program or lead to another
page, and a timed change to a third page that renames the dialog. Pages are
photographed into build/screenshots/."""

from __future__ import annotations

import struct
import unittest

import winebench as wb
from setup_assembler import Command, Setup, assemble
from test_wizard_dialogs import PAGE, control, dialog_file, next_button, q

WORK = wb.WORK / "content_panes"
TITLE = "Content Sample"
WM_VSCROLL, SB_PAGEDOWN, SB_TOP = 0x115, 3, 6

LICENSE_RTF = (rb"{\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}}"
               rb"{\colortbl;\red160\green0\blue0;}"
               rb"\f0\fs28\b LICENCE AGREEMENT\b0\fs18\par"
               rb"\par Please read these terms {\i carefully} before you go on.\par"
               rb"\cf1 1. You may install this product on any number of machines.\cf0\par"
               rb" 2. There is {\ul no} warranty.\par}")




def bitmap(width: int, height: int, colour: tuple[int, int, int], label_rows: int = 0) -> bytes:
    """A 24-bit BMP: a filled box with a darker frame (and a stripe across
    the middle when label_rows is given), bottom-up rows as the format has."""
    row_size = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            edge = x < 2 or y < 2 or x >= width - 2 or y >= height - 2
            stripe = label_rows and abs(y - height // 2) < label_rows
            r, g, b = (c // 2 for c in colour) if edge or stripe else colour
            row += bytes((b, g, r))
        rows.append(bytes(row) + b"\0" * (row_size - len(row)))
    pixels = b"".join(reversed(rows))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


INDEX_HTM = b"""<html><head><title>Welcome Page</title></head>
<body bgcolor="#FFFFF0">
<a href="record_run.exe first second"><img src="run.bmp" width="100" height="40" alt="Run"></a><a
 href="page2.htm"><img src="next.bmp" width="100" height="40" alt="Next"></a>
<h1>Welcome to the <font color="#B00000">Sample</font> Product</h1>
<p>This page is <b>bold</b>, <i>italic</i> and <u>underlined</u> where it says so.</p>
<ul><li>A first point</li><li>A second point<ol><li>nested one</li><li>nested two</li></ol></li></ul>
<table border="1" cellpadding="3">
<tr><th>Part</th><th>Size</th></tr>
<tr><td>Program</td><td align="right">1,200 KB</td></tr>
<tr><td>Samples</td><td align="right">300 KB</td></tr>
</table>
<p><a href="mailto:help@example.com">Write to us</a> or <a href="page2.htm">read on</a>.</p>
</body></html>
"""

PAGE2_HTM = b"""<html><head><title>Second Page</title>
<meta http-equiv="refresh" content="1; URL=file:///pages/page3.htm"></head>
<body><h2>Second page</h2><p>The third page follows in a moment.</p></body></html>
"""

PAGE3_HTM = b"""<html><head><title>Third Page</title></head>
<body><h2>Third page</h2><p>Reached by the timed change.</p></body></html>
"""


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

    def click(self, page: wb.Window, x: int, y: int) -> None:
        """A real mouse click at a point of the page's client area."""
        border = (page.width - page.client_width) // 2
        caption = page.height - page.client_height - border
        wb.subprocess.run(["xdotool", "mousemove", str(page.left + border + x),
                           str(page.top + caption + y), "click", "1"], env=wb.ENV, check=True,
                          timeout=10)

    def test_html_pane_shows_the_page_and_follows_its_links_and_timed_change(self) -> None:
        (self.dir / "pages").mkdir(parents=True)
        (self.dir / "pages/page3.htm").write_bytes(PAGE3_HTM)
        setup = self.page_setup(
            "Html", "Product Information",
            control("Html", "ThtmlLite", 10, 10, 400, 245, Tag=1),
            resources={"index.htm": INDEX_HTM, "page2.htm": PAGE2_HTM,
                       "run.bmp": bitmap(100, 40, (40, 120, 200), 3),
                       "next.bmp": bitmap(100, 40, (60, 170, 60), 3),
                       "record_run.exe": (wb.TESTBIN / "record_run.exe").read_bytes()})
        setup.resources.append(self.dir / "pages")
        record = self.dir / "record.txt"
        exe = assemble(setup, self.dir / "setup", wb.BIN)
        with wb.Program(exe, [], trace=self.dir / "trace.txt",
                        extra_env={"RECORD_RUN": wb.winpath(record)}) as program:
            page = wb.find_window(PAGE, "Product Information")
            wb.screenshot("content-html")
            # The rest of the page (the lists and the table) a page further down.
            pane = next(i for cls, i, _ in page.children if cls.lower() == "tavrelhtml")
            for _ in range(2):
                wb.winctl("post", PAGE, "Product Information", pane, str(WM_VSCROLL),
                          str(SB_PAGEDOWN))
            wb.wait_until(lambda: False, timeout=0.5)
            wb.screenshot("content-html-scrolled")
            wb.winctl("post", PAGE, "Product Information", pane, str(WM_VSCROLL), str(SB_TOP))
            # The first picture links to a program beside the page: it starts
            # with the link's parameters, and the pane stays where it is.
            self.click(page, 10 + 60, 10 + 30)
            self.assertTrue(wb.wait_until(record.exists, timeout=20), program.trace())
            self.assertTrue(wb.wait_until(lambda: "first second" in record.read_text("cp1252"),
                                          timeout=5))
            self.assertIn("record_run.exe", record.read_text("cp1252"))
            # The second leads to page 2, which moves on to page 3 after a
            # second; the dialog then carries page 3's title.
            self.click(page, 10 + 160, 10 + 30)
            wb.find_window(PAGE, "Third Page", 15000)
            wb.screenshot("content-html-refreshed")
            wb.press(PAGE, "Third Page", "Next >")
            self.assertEqual(program.wait(60), 0)
        wb.assert_nothing_left_open()


if __name__ == "__main__":
    unittest.main()
