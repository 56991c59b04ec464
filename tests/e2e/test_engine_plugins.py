"""Plug-in commands end to end under Wine: the setup carries test plug-in
libraries among its resources; the engine runs each on a worker thread,
shows its progress on the page, passes the page's Cancel on as the stop
answer, takes the variable store it returns, and survives the one that
crashes."""

from __future__ import annotations

import time
import unittest

import winebench as wb
from setup_assembler import Command, Setup, assemble

WORK = wb.WORK / "engine_plugins"
DEMO_DIALOGS = wb.ROOT / "samples/demo/dialogs"
PAGE = "TPoolTemplate"
TITLE = "Plug-in Test"
PROGRESS = f"{TITLE} Setup>>Installing"
PLUGINS = ["plugin_variables", "plugin_progress", "plugin_fails", "plugin_crash",
           "plugin_noentry"]
LOAD_FAILURE = ("Unable to load plug-in library. Please rebuild your project and make sure all "
                "required plug-ins are installed.")


def S(name: str, value: str) -> Command:
    return Command("Set Variable", [name, value])


def P(library: str, parameters: str) -> Command:
    """The test plug-in's command: design-time and run-time library by name."""
    return Command("Test Plug-in", [parameters, f"{library}.tvp\\{library}.dll"])


class PluginTest(wb.EngineCase):
    WORK = WORK

    def program(self, commands: list[Command], args: list[str], name: str = "setup",
                windowed: bool = False) -> wb.Program:
        setup = Setup(title=TITLE, plugins=["Test Plug-in"])
        setup.base = self.dir
        setup.resources = [wb.TESTBIN / f"{name}.dll" for name in PLUGINS]
        if windowed:
            setup.dialogs = DEMO_DIALOGS
            commands = [S("PROGRESSTEXT", "Running the plug-in"),
                        Command("Display Dialog", ["Progress", "PAGE", "FALSE", "", "", ""]),
                        *commands]
        setup.commands = commands
        exe = assemble(setup, self.dir / name, wb.BIN)
        self.dump.unlink(missing_ok=True)
        return wb.Program(exe, args, trace=self.dir / f"{name}-trace.txt",
                          extra_env={"TVL_VARIABLES": wb.winpath(self.dump)})

    def page_texts(self) -> list[str]:
        return wb.find_window(PAGE, PROGRESS).texts()

    def test_plugins_change_the_variables_and_failures_keep_them(self) -> None:
        edits = "SET ADDED=$TARGETDIR$x;SET OLD=changed;REMOVE GONE;ECHO TARGETDIR"
        with self.program([
            S("OLD", "kept"), S("GONE", "soon"), S("TARGETDIR", "C:\\Target\\"),
            P("plugin_variables", edits),
            P("plugin_fails", ""),
            P("plugin_noentry", ""),
            P("plugin_variables", "HUGE 30000000"),
            S("AFTER", "ran"),
        ], ["/s"]) as program:
            self.assertEqual(program.wait(120), 0, program.trace())
            trace = program.trace()
        store = wb.read_variables(self.dump)
        # The parameter text arrives as written; the plug-in's edits stay.
        self.assertEqual(store["PLUGIN_PARAMETERS"], "HUGE 30000000")
        self.assertEqual(store["ADDED"], "$TARGETDIR$x")
        self.assertEqual(store["OLD"], "changed")
        self.assertNotIn("GONE", store)
        self.assertEqual(store["ECHO_TARGETDIR"], "C:\\Target\\")
        self.assertEqual(store["PLUGIN_OWNER"], "FALSE")
        self.assertEqual(len(store["HUGE"]), 30_000_000)
        self.assertEqual(store["AFTER"], "ran")
        self.assertTrue(any("plugin_fails.dll failed" in line for line in trace), trace)
        self.assertTrue(any("plugin_noentry.dll not loaded" in line for line in trace), trace)

        # A result that is not well-formed list text, then one without any
        # variable, the predefined ones too: the run still ends cleanly.
        with self.program([
            P("plugin_variables", "MALFORMED"),
            S("AFTER_MALFORMED", "ran"),
            P("plugin_variables", "DROPALL"),
        ], ["/s"], name="bad") as program:
            self.assertEqual(program.wait(60), 0, program.trace())
            self.assertIn("support folder removed", program.trace())
        self.assertEqual(wb.read_variables(self.dump), {})

    def test_progress_reaches_the_page_and_cancel_stops_the_plugin(self) -> None:
        with self.program([P("plugin_progress", "SECONDS 60")], [], windowed=True) as program:
            self.assertTrue(wb.wait_until(
                lambda: any(text.startswith("step at ") for text in self.page_texts()),
                timeout=30))
            wb.screenshot("engine-plugin-progress")
            wb.press(PAGE, PROGRESS, "Cancel")
            wb.press("#32770", "Tavrel", "Yes")
            self.assertEqual(program.wait(60), 0, program.trace())
        store = wb.read_variables(self.dump)
        self.assertEqual(store["STOPPED"], "TRUE")
        self.assertEqual(store["STOP_SEEN"], "TRUE")

        # A plug-in that does not listen: the page stays alive and keeps
        # changing after the user has said Yes, until the plug-in returns.
        with self.program([P("plugin_progress", "IGNORESTOP 15")], [], name="deaf",
                          windowed=True) as program:
            self.assertTrue(wb.wait_until(
                lambda: any(text.startswith("step at ") for text in self.page_texts()),
                timeout=30))
            wb.press(PAGE, PROGRESS, "Cancel")
            wb.press("#32770", "Tavrel", "Yes")
            seen = set()
            deadline = time.monotonic() + 10
            while len(seen) < 2 and time.monotonic() < deadline:
                seen.update(t for t in self.page_texts() if t.startswith("step at "))
                time.sleep(0.2)
            wb.screenshot("engine-plugin-ignoring-stop")
            self.assertGreater(len(seen), 1, "the page went on showing the plug-in's steps")
            self.assertEqual(program.wait(60), 0, program.trace())
        store = wb.read_variables(self.dump)
        self.assertEqual(store["STOPPED"], "FALSE")
        self.assertEqual(store["STOP_SEEN"], "TRUE")

    def test_crashing_plugin_ends_the_run_with_an_error_and_clean_up_runs(self) -> None:
        with self.program([S("BEFORE", "ran"), P("plugin_crash", ""), S("AFTER", "ran")], [],
                          windowed=True) as program:
            box = wb.find_window("#32770", "Tavrel")
            text = " ".join(box.texts("Static"))
            self.assertIn("Line 4: The plug-in Test Plug-in (plugin_crash.dll) failed: "
                          "plugin_crash.dll stopped with exception 0xC0000005", text)
            wb.screenshot("engine-plugin-crash")
            wb.press("#32770", "Tavrel", "OK")
            self.assertEqual(program.wait(60), 0)
            self.assertIn("support folder removed", program.trace())
        store = wb.read_variables(self.dump)
        self.assertEqual(store["BEFORE"], "ran")
        self.assertNotIn("AFTER", store)
        wb.assert_nothing_left_open()


if __name__ == "__main__":
    unittest.main()
