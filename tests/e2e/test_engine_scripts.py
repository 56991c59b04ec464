"""Setup scripts run by the engine's interpreter, end to end under Wine:
control flow, wizard loops, message boxes and run-time errors, silently and
with windows. Results are read from the engine's variable dump."""

from __future__ import annotations

import shutil
import unittest
from pathlib import Path

import winebench as wb
from setup_assembler import Command, Setup, assemble

WORK = wb.WORK / "engine_scripts"


def S(name: str, value: str) -> Command:
    return Command("Set Variable", [name, value])


def If(left: str, op: str, right: str, negate: str = "FALSE", name: str = "If") -> Command:
    return Command(name, [left, op, right, negate])


def Else() -> Command:
    return Command("Else")


def End() -> Command:
    return Command("End")


def Dialog(name: str, result: str, modal: str = "TRUE", condition: str = "",
           skip_when: str = "") -> Command:
    return Command("Display Dialog", [name, result, modal, condition, "", skip_when])


def control_flow_setup() -> Setup:
    setup = Setup(title="Flow Sample", publisher=["Flow Publisher", "", "", "", ""])
    setup.commands = [
        # The checks want the dialog condition declared before its use; the
        # declaration is jumped over so that the command line decides.
        Command("GoTo Label", ["start"]),
        S("SKIP_OPTIONS", "FALSE"),
        Command("Label", ["start"]),
        S("A", "10"),
        S("NINE_B", "9b"),
        # Numeric and textual "greater than".
        If("A", "2", "9"), S("GT_NUMERIC", "TRUE"), Else(), S("GT_NUMERIC", "FALSE"), End(),
        If("A", "2", "$NINE_B$"), S("GT_TEXT", "TRUE"), Else(), S("GT_TEXT", "FALSE"), End(),
        # Only the first true branch of a chain runs, also inside a running branch.
        If("A", "0", "10"),
        If("A", "0", "11"), S("CHAIN", "if"),
        If("A", "0", "10", name="Else If"), S("CHAIN", "first else if"),
        If("A", "0", "10", name="Else If"), S("CHAIN", "second else if"),
        Else(), S("CHAIN", "else"), End(),
        End(),
        # A false "If" without "Else" skips over an inner chain to its own "End".
        If("A", "1", "0"), If("A", "0", "10"), S("SKIPPED", "inner"), End(), End(),
        # Negation and containment.
        If("$TITLE$", "1", "Sample", "TRUE"), S("NEGATED", "ran"), End(),
        If("TITLE", "1", "Sample"), S("CONTAINS", "ran"), End(),
        # A jump out of a running branch leaves no pending skip behind.
        If("A", "0", "10"), Command("GoTo Label", ["after"]), S("SKIPPED", "jumped"), End(),
        Command("Label", ["after"]),
        S("AFTER_JUMP", "$A$ reached"),
        # Wizard loop: every stand-in dialog answers NEXT.
        S("SHOWN", ""),
        Command("Wizard Loop"),
        Dialog("Welcome", "WIZ"),
        Dialog("Commented", "WIZ"),
        Dialog("Options", "WIZ", condition="SKIP_OPTIONS", skip_when="TRUE"),
        Dialog("Finish", "WIZ"),
        End(),
        Dialog("Progress", "MODELESS", modal="FALSE"),
        Command("Hide Dialog"),
        # Unchanged when silent.
        S("ANSWER", "untouched"),
        Command("MessageBox", ["Caption", "Text", "1", "4", "ANSWER"]),
        Command("Terminate Install"),
        S("SKIPPED", "after terminate"),
    ]
    setup.commands[-10].flag = "C"  # the commented dialog
    return setup


class EngineScriptTest(unittest.TestCase):
    def setUp(self) -> None:
        wb.clean_temp()
        self.dir = WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dump = self.dir / "variables.txt"

    def tearDown(self) -> None:
        wb.clean_temp()

    def run_engine(self, setup: Setup, args: list[str], name: str = "setup"):
        exe = assemble(setup, self.dir / name, wb.BIN)
        self.dump.unlink(missing_ok=True)
        return wb.Program(exe, args, trace=self.dir / f"{name}-trace.txt",
                          extra_env={"TVL_VARIABLES": wb.winpath(self.dump)})

    def check_control_flow(self, store: dict[str, str], silent: bool) -> None:
        self.assertEqual(store["GT_NUMERIC"], "TRUE")
        self.assertEqual(store["GT_TEXT"], "FALSE")
        self.assertEqual(store["CHAIN"], "first else if")
        self.assertNotIn("SKIPPED", store)
        self.assertNotIn("NEGATED", store)
        self.assertEqual(store["CONTAINS"], "ran")
        self.assertEqual(store["AFTER_JUMP"], "10 reached")
        self.assertEqual(store["WIZ"], "NEXT")
        self.assertEqual(store["MODELESS"], "NOTMODAL")
        self.assertEqual(store["WINDOWHANDLE"], "0")
        self.assertEqual(store["SILENT"], "TRUE" if silent else "FALSE")

    def test_control_flow_runs_silently_and_with_windows(self) -> None:
        setup = control_flow_setup()
        with self.run_engine(setup, ["/s", "SKIP_OPTIONS=TRUE", "Title=Flow Sample"]) as program:
            self.assertEqual(program.wait(60), 0)
            trace = program.trace()
        store = wb.read_variables(self.dump)
        self.check_control_flow(store, silent=True)
        self.assertEqual(store["ANSWER"], "untouched")
        # Commented and skipped dialogs are never shown.
        dialogs = [line for line in trace if line.startswith("dialog ")]
        self.assertEqual(len(dialogs), 3, trace)
        # Predefined variables from the script, the system and the command line.
        self.assertEqual(store["TITLE"], "Flow Sample")
        self.assertEqual(store["COMPANY"], "Flow Publisher")
        self.assertEqual(store["PRODUCTCODE"], setup.product)
        self.assertTrue(store["TARGETDIR"].endswith("\\Flow Sample\\"), store["TARGETDIR"])
        self.assertTrue(store["UNINSTALLLINK"].endswith(
            f"Quorvane\\Installation Information\\{setup.product}\\{setup.revision}\\Setup.exe"),
            store["UNINSTALLLINK"])
        self.assertTrue(store["EXEFILE"].lower().endswith("\\setup\\setup.exe"), store["EXEFILE"])
        self.assertEqual(store["EXEDIR"], store["ROOTDIR"])
        self.assertEqual(store["DATADIR"], store["EXEDIR"] + "data\\")
        self.assertTrue(store["MSIFILE"].startswith(store["SUPPORTDIR"]))
        self.assertEqual(store["SKIP_OPTIONS"], "TRUE")

        # With windows the MessageBox asks; everything else runs the same.
        with self.run_engine(setup, ["SKIP_OPTIONS=TRUE"], name="windowed") as program:
            box = wb.find_window("#32770", "Caption")
            self.assertIn("Text", box.texts("Static"))
            wb.screenshot("engine-script-message-box")
            wb.press("#32770", "Caption", "No")
            self.assertEqual(program.wait(60), 0)
        store = wb.read_variables(self.dump)
        self.check_control_flow(store, silent=False)
        self.assertEqual(store["ANSWER"], "NO")

    def runtime_error_setup(self) -> Setup:
        setup = Setup(title="Error Sample")
        setup.commands = [
            Command("GoTo Label", ["start"]),
            S("LATE", "declared here, defined never"),
            Command("Label", ["start"]),
            Command("MessageBox", ["Go on?", "Line $TITLE$", "2", "5", "GO"]),
            If("GO", "0", "YES"),
            If("LATE", "0", "x"),  # line 6
            End(),
            End(),
            S("REACHED", "end"),
        ]
        return setup

    def test_runtime_error_is_reported_with_its_line(self) -> None:
        setup = self.runtime_error_setup()
        expected = ("Runtime error in setup script:Line 6: "
                    "Attempting to get value of undefined variable LATE")
        with self.run_engine(setup, []) as program:
            question = wb.find_window("#32770", "Go on?")
            self.assertIn("Line Error Sample", question.texts("Static"))
            wb.press("#32770", "Go on?", "Yes")
            box = wb.find_window("#32770", "Tavrel")
            self.assertIn(expected, box.texts("Static"))
            wb.screenshot("engine-script-runtime-error")
            wb.press("#32770", "Tavrel", "OK")
            self.assertEqual(program.wait(60), 0)
            self.assertIn("support folder removed", program.trace())
        store = wb.read_variables(self.dump)
        self.assertEqual(store["GO"], "YES")
        self.assertNotIn("REACHED", store)

        # Answering No avoids the faulty line; the script runs to its end.
        with self.run_engine(setup, []) as program:
            wb.press("#32770", "Go on?", "No")
            self.assertEqual(program.wait(60), 0)
        self.assertEqual(wb.read_variables(self.dump)["REACHED"], "end")

        # Silent: no box asks, so GO is never set and line 6 is not reached
        # through the "If"; a command-line GO=YES takes the faulty branch and
        # the run ends quietly.
        with self.run_engine(setup, ["/s", "GO=YES"]) as program:
            self.assertEqual(program.wait(60), 0)
            trace = program.trace()
        self.assertIn("runtime error on line 6: "
                      "Attempting to get value of undefined variable LATE", trace)
        self.assertIn("support folder removed", trace)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["GO"], "YES")
        self.assertNotIn("REACHED", store)

    def test_script_can_turn_silent(self) -> None:
        setup = Setup(title="Turning Silent")
        setup.commands = [
            Command("GoTo Label", ["start"]),
            S("LATE", "never defined"),
            Command("Label", ["start"]),
            Command("MessageBox", ["Before", "Shown", "0", "1", "FIRST"]),
            S("SECOND", "untouched"),
            S("$silent$", "True"),
            Command("MessageBox", ["After", "Not shown", "0", "1", "SECOND"]),
            If("LATE", "0", "x"),  # fails quietly now
            End(),
        ]
        with self.run_engine(setup, []) as program:
            wb.press("#32770", "Before", "OK")
            self.assertEqual(program.wait(60), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["FIRST"], "OK")
        self.assertEqual(store["SECOND"], "untouched")
        self.assertEqual(store["SILENT"], "True")

    def test_rejected_script_runs_nothing(self) -> None:
        setup = Setup(title="Rejected")
        setup.commands = [S("RAN", "yes"), If("RAN", "0", "yes"), S("X", "1")]  # no "End"
        with self.run_engine(setup, ["/s"]) as program:
            self.assertEqual(program.wait(60), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual(store.get("RAN", ""), "")
        self.assertEqual(store.get("TITLE", ""), "")

    def test_record_cut_short_is_reported_by_start_up(self) -> None:
        # The checks read the condition's third parameter past the end of the
        # parameter block: start-up reports that, and the run ends cleanly.
        setup = Setup(title="Cut Short")
        setup.commands = [Command("Set Variable", ["A", "1"], id="set"),
                          Command("If", ["A", "0", "1", "FALSE"], id="cut"), End()]
        setup.records = [("set", ["A", "1"]), ("cut", ["A"])]
        message = "Runtime error in install: List index out of bounds (6)"
        with self.run_engine(setup, []) as program:
            box = wb.find_window("#32770", "Tavrel")
            self.assertIn(message, box.texts("Static"))
            wb.press("#32770", "Tavrel", "OK")
            self.assertEqual(program.wait(60), 0)
            self.assertIn("support folder removed", program.trace())
        with self.run_engine(setup, ["/s"]) as program:
            self.assertEqual(program.wait(60), 0)
            self.assertIn("message: " + message, program.trace())
        self.assertEqual(wb.read_variables(self.dump).get("A", ""), "")


if __name__ == "__main__":
    unittest.main()
