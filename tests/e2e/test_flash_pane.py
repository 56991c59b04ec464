"""The Flash pane of a wizard page under Wine. Without a player the pane says
it cannot play the movie and the page works on; with the stand-in player
(tests/win/flash_standin, our own "flash.ocx") shipped in the support folder,
the engine registers it from the system folder, plays the movie in the pane
at the movie's frame size, and stops and closes the player when the page
goes. Pages are photographed into build/screenshots/."""

from __future__ import annotations

import shutil
import struct
import unittest
from pathlib import Path

import winebench as wb
from setup_assembler import Command, Setup, assemble
from test_wizard_dialogs import PAGE, control, dialog_file, next_button, q

WORK = wb.WORK / "flash_pane"
PLAYER_CLASS = "{D27CDB6E-AE6D-11CF-96B8-444553540000}"
PLAYER_KEYS = (f"HKCR\\CLSID\\{PLAYER_CLASS}", "HKCR\\ShockwaveFlash.ShockwaveFlash")
SYSTEM_PLAYER = Path(wb.ENV["WINEPREFIX"]) / "drive_c/windows/system32/flash.ocx"
UNABLE = "Unable to play Flash movie"
FRAME = (280, 180)  # the movie's frame size in pixels


def movie_bytes(width: int, height: int) -> bytes:
    """An uncompressed movie: header with its frame rectangle (15-bit fields,
    in twentieths of a pixel), frame rate and count, and the End tag."""
    fields = [0, width * 20, 0, height * 20]
    bits = "01111" + "".join(format(value, "015b") for value in fields)
    bits += "0" * (-len(bits) % 8)
    rect = bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))
    body = rect + b"\x00\x0c\x01\x00" + b"\x00\x00"
    return b"FWS\x06" + struct.pack("<I", 8 + len(body)) + body


def forget_player() -> None:
    """The prefix is shared: no registration and no copied player stay."""
    for key in PLAYER_KEYS:
        wb.subprocess.run([wb.WINE, "reg", "delete", key, "/f"], env=wb.ENV, capture_output=True,
                          timeout=60)
    SYSTEM_PLAYER.unlink(missing_ok=True)


class FlashPaneTest(wb.EngineCase):
    WORK = WORK

    def setUp(self) -> None:
        super().setUp()
        forget_player()

    def tearDown(self) -> None:
        forget_player()
        super().tearDown()

    def setup(self, name: str, player: bool, **pane: str) -> Setup:
        """A page with a Flash pane and a page after it; the support folder
        holds the movie and, when player is true, the stand-in player."""
        folder = self.dir / name
        dialogs = folder / "dialogs"
        dialogs.mkdir(parents=True)
        movie = folder / "support/movie.swf"
        movie.parent.mkdir()
        movie.write_bytes(movie_bytes(*FRAME))
        (dialogs / "Movie.dfm").write_bytes(dialog_file(
            "Movie", "Movie Page",
            control("Heading", "TLabel", 10, 8, 400, 17, Caption=q("Watch the movie.")),
            control("Player", "TFlashFrame", 10, 32, 320, 220, Tag=1, Caption=q("movie"), **pane),
            next_button()))
        (dialogs / "After.dfm").write_bytes(dialog_file(
            "After", "After Page",
            control("Heading", "TLabel", 10, 8, 400, 17, Caption=q("The movie page is gone.")),
            next_button()))
        for page in ("Movie", "After"):
            (dialogs / f"{page}.dfm.tvlf").write_bytes(b"")
        setup = Setup(title="Movie Sample")
        setup.dialogs = dialogs
        setup.resources = [movie] + ([wb.TESTBIN / "flash.ocx"] if player else [])
        setup.commands = [Command("Display Dialog", [page, "", "TRUE", "", "", ""])
                          for page in ("Movie", "After")]
        return setup

    def pane_text(self) -> str:
        page = wb.find_window(PAGE, "Movie Page")
        texts = [text for cls, _, text in page.children if cls.lower() == "tavrelpanel"]
        self.assertEqual(len(texts), 1, page.children)
        return texts[0]

    def layout(self, child_class: str) -> list[int]:
        code, out = wb.winctl("layout", PAGE, "Movie Page", child_class)
        self.assertEqual(code, 0, f"no {child_class} on the movie page")
        return [int(value) for value in out.strip().split("|")]

    def test_without_a_player_the_pane_says_so_and_the_page_works(self) -> None:
        # The player is not registered. The pane may not register the one
        # the support folder holds; or it may, but the support folder has none.
        for name, register, shipped in (("no_registering", "False", True),
                                        ("no_player_shipped", "True", False)):
            with self.subTest(name):
                forget_player()
                setup = self.setup(name, player=shipped, AutoRegisterFlash=register)
                exe = assemble(setup, self.dir / name / "setup", wb.BIN)
                log = self.dir / name / "player.log"
                with wb.Program(exe, [], trace=self.dir / name / "trace.txt",
                                extra_env={"TAVREL_FLASH_LOG": wb.winpath(log)}) as program:
                    wb.find_window(PAGE, "Movie Page")
                    self.assertEqual(self.pane_text(), UNABLE)
                    wb.screenshot(f"flash-pane-{name}")
                    wb.press(PAGE, "Movie Page", "Next >")
                    wb.find_window(PAGE, "After Page")
                    wb.press(PAGE, "After Page", "Next >")
                    self.assertEqual(program.wait(60), 0)
                self.assertFalse(SYSTEM_PLAYER.exists())
                self.assertFalse(log.exists())

    def test_stand_in_player_is_registered_and_plays_the_movie_at_its_size(self) -> None:
        log = self.dir / "player.log"
        setup = self.setup("standin", player=True, AutoSize="True", AutoScale="False",
                           Loop="True")
        exe = assemble(setup, self.dir / "standin/setup", wb.BIN)
        env = {"TAVREL_FLASH_LOG": wb.winpath(log), "TVL_VARIABLES": wb.winpath(self.dump)}

        def steps() -> list[str]:
            return log.read_text(encoding=wb.ENCODING).splitlines() if log.exists() else []

        with wb.Program(exe, [], trace=self.dir / "trace.txt", extra_env=env) as program:
            wb.find_window(PAGE, "Movie Page")
            self.assertTrue(wb.wait_until(lambda: "Play" in steps()), steps())
            # The pane's client area takes the frame size; the player sits
            # at its top-left corner, 2 pixels smaller each way.
            self.assertEqual(self.layout("TavrelPanel")[4:], list(FRAME))
            self.assertEqual(self.layout("TavrelFlashStandIn")[:4],
                             [0, 0, FRAME[0] - 2, FRAME[1] - 2])
            shot = wb.screenshot("flash-pane-playing")
            print(f"screenshot: {shot}")
            wb.press(PAGE, "Movie Page", "Next >")
            wb.find_window(PAGE, "After Page")
            self.assertTrue(wb.wait_until(lambda: "Close" in steps()), steps())
            wb.press(PAGE, "After Page", "Next >")
            self.assertEqual(program.wait(60), 0)

        support = wb.read_variables(self.dump)["SUPPORTDIR"].rstrip("\\")
        registered = "registered C:\\windows\\system32\\flash.ocx"
        shown = steps()
        self.assertEqual(shown[0].lower(), registered.lower(), shown)
        at = {step: i for i, step in reversed(list(enumerate(shown)))}
        in_order = ["created", "site set", f"Movie={support}\\movie.swf",
                    f"rect 0,0,{FRAME[0] - 2},{FRAME[1] - 2}", "Loop=True",
                    "WM_LBUTTONDOWN MK_LBUTTON", "Play", "Stop", "Close", "site cleared"]
        for step in in_order:
            self.assertIn(step, at, shown)
        self.assertEqual(sorted(in_order, key=at.get), in_order, shown)
        self.assertTrue(any(step.startswith("in-place activated ") for step in shown), shown)
        # One player only, made once the registration was done.
        self.assertEqual(shown.count("created"), 1, shown)

        # The class stays registered to the copy in the system folder.
        query = wb.subprocess.run(
            [wb.WINE, "reg", "query", f"{PLAYER_KEYS[0]}\\InprocServer32", "/ve"], env=wb.ENV,
            capture_output=True, timeout=60)
        self.assertIn("c:\\windows\\system32\\flash.ocx",
                      query.stdout.decode(wb.ENCODING, "replace").lower())
        self.assertEqual(SYSTEM_PLAYER.read_bytes(), (wb.TESTBIN / "flash.ocx").read_bytes())
        wb.assert_nothing_left_open()


if __name__ == "__main__":
    unittest.main()
