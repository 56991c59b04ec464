"""Web media end to end under Wine: a setup that fetches the rest of its
product from a web server on 127.0.0.1 (started and stopped by each test),
extracts it with tvl.dll and installs from it; the completion mark, resumed
downloads, the proxy, the retry dialogs, cancel, and the payload that
travels beside the setup. What the server was asked is counted there."""

from __future__ import annotations

import os
import random
import shutil
import subprocess
import unittest
from pathlib import Path

import winebench as wb
from setup_assembler import Command, Setup, assemble, guid
from web_server import WebServer

WORK = wb.WORK / "web_media"
DEMO_DIALOGS = wb.ROOT / "samples/demo/dialogs"
PAGE = "TPoolTemplate"
TITLE = "Web Media Test"
PROGRESS = f"{TITLE} Setup>>Installing"
DRIVE_C = Path(wb.ENV["WINEPREFIX"]) / "drive_c"
INFORMATION = "C:\\users\\Public\\Application Data\\Quorvane\\Installation Information\\"
UNINSTALL = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
ARCHIVE = "/WEB1.7zip"
DOWNLOAD_FAILED = "Unable to download installation data from the web"
EXTRACT_FAILED = "Unable to extract installation data downloaded from the web"
# The proxy retry dialog's Server and Port fields.
SERVER_EDIT, PORT_EDIT = 1022, 1024
# The URL download service counts as missing: the engine's own HTTP client
# works.
NO_URLMON = {"TVL_NO_URL_SERVICE": "1"}


def unix(windows_path: str) -> Path:
    assert windows_path[:3].upper() == "C:\\", windows_path
    return DRIVE_C / windows_path[3:].replace("\\", "/")


class WebMediaTest(unittest.TestCase):
    def setUp(self) -> None:
        wb.clean_temp()
        self.name = self.id().rsplit(".", 1)[-1]
        self.dir = WORK / self.name
        shutil.rmtree(self.dir, ignore_errors=True)
        self.payload = self.dir / "payload"
        (self.payload / "docs").mkdir(parents=True)
        generator = random.Random(self.name)
        # Incompressible, so that the archive is large enough to break off
        # half-way and resume.
        (self.payload / "tool.bin").write_bytes(generator.randbytes(300_000))
        (self.payload / "docs/readme.txt").write_bytes(b"read me\r\n" * 100)
        (self.payload / "docs/deep").mkdir()
        (self.payload / "docs/deep/Déjà vu, long name.txt").write_bytes(b"deep\r\n")
        (self.payload / "empty").mkdir()
        (self.dir / "extra.txt").write_bytes(b"beside the setup\r\n")
        self.product = guid()
        self.target = f"C:\\Tavrel Web Test\\{self.name[5:25]}\\"
        shutil.rmtree(unix(self.target), ignore_errors=True)
        self.server: WebServer | None = None

    def tearDown(self) -> None:
        if self.server is not None:
            self.server.stop()
        subprocess.run([wb.WINE, "msiexec", "/x", self.product, "/qn"], env=wb.ENV,
                       capture_output=True, timeout=120)
        shutil.rmtree(unix(self.target), ignore_errors=True)
        subprocess.run([wb.WINE, "reg", "delete", UNINSTALL + TITLE, "/f"], env=wb.ENV,
                       capture_output=True)
        shutil.rmtree(unix(INFORMATION + self.product), ignore_errors=True)
        wb.clean_temp()

    # ---- The setup and its runs ----

    def assemble(self, *, windowed: bool = False, many_files: int = 0) -> Path:
        """The setup: its payload in block WEB1 on the server, one file in
        the offline payload beside it. Returns the engine's path; the
        block's archive lies in self.web."""
        if many_files:
            (self.payload / "many").mkdir()
            for n in range(many_files):
                (self.payload / f"many/file{n:05}.txt").write_bytes(b"%05d\r\n" % n * 200)
        commands = [Command("Set Variable", ["TARGETDIR", self.target])]
        if windowed:
            commands += [Command("Set Variable", ["PROGRESSTEXT", "Fetching"]),
                         Command("Display Dialog", ["Progress", "PAGE", "FALSE", "", "", ""])]
        commands += [
            Command("Web Media Block", ["WEB1", "$WEBROOT$WEB1.7zip"]),
            Command("Install Files", ["payload", "", "$TARGETDIR$"], media="WEB1\\"),
            Command("Install Files", ["extra.txt", "", "$TARGETDIR$Extra"], media="OFFLINE\\"),
            Command("Apply Changes", ["Progress", "RESULT", "TRUE"]),
        ]
        setup = Setup(title=TITLE, product=self.product, media_mode="2")
        setup.base = self.dir
        setup.dialogs = DEMO_DIALOGS
        setup.commands = commands
        self.revision = setup.revision
        self.web = self.dir / "web"
        self.good = (self.dir / "good.7zip")
        exe = assemble(setup, self.dir / "setup", wb.BIN, web_dir=self.web)
        shutil.copyfile(self.web / "WEB1.7zip", self.good)
        return exe

    def start_server(self, *, proxy: bool = False) -> WebServer:
        self.server = WebServer(self.web, proxy=proxy)
        return self.server

    def program(self, exe: Path, args: list[str], env: dict[str, str] | None = None,
                run: str = "run") -> wb.Program:
        self.dump = self.dir / f"{run}-variables.txt"
        self.dump.unlink(missing_ok=True)
        return wb.Program(exe, [*args, f"WEBROOT={self.server.url}"],
                          trace=self.dir / f"{run}-trace.txt",
                          extra_env={"TVL_VARIABLES": wb.winpath(self.dump), **(env or {})})

    def run_silent(self, exe: Path, env: dict[str, str] | None = None,
                   run: str = "run") -> tuple[dict[str, str], list[str]]:
        with self.program(exe, ["/s"], env, run) as program:
            self.assertEqual(program.wait(180), 0, program.trace())
            trace = program.trace()
        return (wb.read_variables(self.dump) if self.dump.exists() else {}), trace

    # ---- What a run leaves ----

    def data(self) -> str:
        return INFORMATION + f"{self.product}\\{self.revision}\\"

    def assertInstalled(self) -> None:
        target = unix(self.target)
        self.assertEqual(wb.files_of(target / "docs"), wb.files_of(self.payload / "docs"))
        self.assertEqual((target / "tool.bin").read_bytes(),
                         (self.payload / "tool.bin").read_bytes())
        self.assertEqual((target / "Extra/extra.txt").read_bytes(), b"beside the setup\r\n")
        self.assertTrue((target / "empty").is_dir())
        data = unix(self.data())
        self.assertTrue((data / "WEB1" / self.revision).is_file(), "completion mark")
        self.assertTrue((data / "OFFLINE" / self.revision).is_file()
                        or (data / "offline" / self.revision).is_file())
        self.assertFalse((data / "WEB1.7zip").exists(), "the downloaded archive is deleted")

    def failure_box(self, text: str, screenshot: str) -> None:
        box = wb.find_window("#32770", "Tavrel")
        self.assertIn(text, box.texts("Static"))
        wb.screenshot(screenshot)
        wb.press("#32770", "Tavrel", "OK")

    # ---- The tests ----

    def test_block_is_fetched_extracted_installed_and_then_never_asked_for_again(self) -> None:
        exe = self.assemble()
        server = self.start_server()
        store, trace = self.run_silent(exe)
        self.assertEqual(store.get("RESULT"), "COMPLETE", trace)
        self.assertInstalled()
        # The offline payload was moved, not copied, into the data folder.
        self.assertEqual(list((self.dir / "setup/offline").rglob("*.txt")), [])
        asked = server.count(ARCHIVE)
        self.assertGreaterEqual(asked, 1)

        # The next run (a maintenance run of the same revision) finds the
        # marks and asks the server nothing.
        store, trace = self.run_silent(exe, run="again")
        self.assertEqual(store.get("RESULT"), "COMPLETE", trace)
        self.assertEqual(server.count(ARCHIVE), asked)
        self.assertEqual(server.count(), asked)

    def test_broken_download_resumes_through_the_proxy_typed_into_the_retry_dialog(self) -> None:
        exe = self.assemble()
        server = self.start_server(proxy=True)
        size = self.good.stat().st_size
        # HEAD, then a GET broken off after 100,000 bytes: a silent run
        # ends with the message, the partial archive stays.
        server.fault(ARCHIVE, drop_after=100_000, times=2)
        store, trace = self.run_silent(exe, NO_URLMON, run="broken")
        self.assertNotIn("RESULT", store)
        self.assertIn(f"web media: {DOWNLOAD_FAILED}", trace)
        partial = unix(self.data()) / "WEB1.7zip"
        self.assertEqual(partial.stat().st_size, 100_000)

        # The next run, windowed: the server refuses it directly (its HEAD
        # fails), the proxy retry dialog takes the proxy, and the download
        # goes on through it from 2048 bytes before the partial size.
        server.fault(ARCHIVE, status=500, times=1)
        with self.program(exe, [], NO_URLMON, run="resumed") as program:
            dialog = wb.find_window("#32770", "Retry Download?")
            self.assertIn(" Proxy Information (optional) ", dialog.texts())
            wb.screenshot("web-media-proxy-retry")
            wb.set_text("#32770", "Retry Download?", SERVER_EDIT, "127.0.0.1")
            wb.set_text("#32770", "Retry Download?", PORT_EDIT, str(server.port))
            wb.press("#32770", "Retry Download?", "Yes")
            self.assertEqual(program.wait(180), 0, program.trace())
        store = wb.read_variables(self.dump)
        self.assertEqual(store.get("RESULT"), "COMPLETE")
        self.assertInstalled()
        gets = [r for r in server.requests(ARCHIVE) if r.method == "GET"]
        self.assertEqual(len(gets), 2, [(r.target, r.range) for r in gets])
        proxied = gets[-1]
        self.assertEqual(proxied.target, server.url + ARCHIVE[1:])
        self.assertEqual(proxied.range, f"bytes={100_000 - 2048}-")
        self.assertEqual(proxied.sent, size - (100_000 - 2048))

    def test_failed_download_and_damaged_archive_ask_before_giving_up(self) -> None:
        exe = self.assemble(windowed=True)
        server = self.start_server()
        # Not found: the resume retry dialog; Cancel ends the run with the
        # message, shown over the progress page.
        server.fault(ARCHIVE, status=404)
        with self.program(exe, [], run="missing") as program:
            wb.find_window("#32770", "Retry Download?")
            wb.screenshot("web-media-download-retry")
            wb.press("#32770", "Retry Download?", "Cancel")
            self.failure_box(DOWNLOAD_FAILED, "web-media-download-failed")
            self.assertEqual(program.wait(60), 0)
        self.assertFalse((unix(self.target) / "tool.bin").exists())

        # A damaged archive: the retry-extraction dialog; a fresh copy,
        # good this time, is downloaded, extracted and installed.
        server.clear()
        (self.web / "WEB1.7zip").write_bytes(self.good.read_bytes()[:-500])
        before = server.count(ARCHIVE)
        with self.program(exe, [], run="damaged") as program:
            wb.find_window("#32770", "Retry Extraction?")
            wb.screenshot("web-media-extraction-retry")
            shutil.copyfile(self.good, self.web / "WEB1.7zip")
            wb.press("#32770", "Retry Extraction?", "OK")
            self.assertEqual(program.wait(180), 0, program.trace())
        store = wb.read_variables(self.dump)
        self.assertEqual(store.get("RESULT"), "COMPLETE")
        self.assertInstalled()
        self.assertGreater(server.count(ARCHIVE, "GET"), before + 1)

    def test_cancel_while_downloading_and_while_extracting(self) -> None:
        exe = self.assemble(windowed=True, many_files=1500)
        server = self.start_server()
        server.fault(ARCHIVE, slow=20_000)
        with self.program(exe, [], run="download") as program:
            self.assertTrue(wb.wait_until(lambda: any(
                "bytes received" in text for text in wb.find_window(PAGE, PROGRESS).texts()),
                timeout=60))
            wb.screenshot("web-media-downloading")
            wb.press(PAGE, PROGRESS, "Cancel")
            wb.press("#32770", "Tavrel", "Yes")
            self.failure_box(DOWNLOAD_FAILED, "web-media-download-cancelled")
            self.assertEqual(program.wait(60), 0)

        # The archive beside the setup is extracted without a download;
        # cancelled, it asks, and Cancel there ends the run.
        server.clear()
        shutil.copyfile(self.good, self.dir / "setup/WEB1.7zip")
        asked = server.count()
        with self.program(exe, [], run="extract") as program:
            self.assertTrue(wb.wait_until(lambda: any(
                text.startswith("Extracting Web Media: WEB1")
                for text in wb.find_window(PAGE, PROGRESS).texts()), timeout=60))
            wb.screenshot("web-media-extracting")
            wb.press(PAGE, PROGRESS, "Cancel")
            wb.press("#32770", "Tavrel", "Yes")
            wb.find_window("#32770", "Retry Extraction?")
            wb.press("#32770", "Retry Extraction?", "Cancel")
            self.failure_box(EXTRACT_FAILED, "web-media-extraction-cancelled")
            self.assertEqual(program.wait(60), 0)
        self.assertEqual(server.count(), asked)
        self.assertTrue((self.dir / "setup/WEB1.7zip").is_file(), "a local copy is kept")
        self.assertFalse((unix(self.data()) / "WEB1" / self.revision).exists())
        wb.assert_nothing_left_open()


if __name__ == "__main__":
    unittest.main()
