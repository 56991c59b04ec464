"""Setup scripts run by the engine's interpreter, end to end under Wine:
control flow, wizard loops, message boxes and run-time errors, silently and
with windows. Results are read from the engine's variable dump."""

from __future__ import annotations

import subprocess
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


def simple_dialogs(folder: Path, names: list[str]) -> Path:
    """Pages with a caption of their own name and a Next button."""
    folder.mkdir(parents=True, exist_ok=True)
    for name in names:
        (folder / f"{name}.dfm").write_bytes(
            f"object {name}: TPoolTemplate\r\n  Caption = '{name}'\r\n"
            f"  ClientWidth = 300\r\n  ClientHeight = 120\r\n"
            f"  object NextButton: TButton\r\n    Left = 210\r\n    Top = 85\r\n"
            f"    Width = 75\r\n    Height = 23\r\n    Caption = 'Next >'\r\n    Tag = 1\r\n"
            f"  end\r\nend\r\n".encode())
        (folder / f"{name}.dfm.tvlf").write_bytes(b"")
    return folder


def control_flow_setup() -> Setup:
    setup = Setup(title="Flow Sample", publisher=["Flow Publisher", "", "", "", ""])
    setup.dialogs = simple_dialogs(WORK / "dialogs", ["Welcome", "Options", "Finish", "Progress"])
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


class EngineScriptTest(wb.EngineCase):
    WORK = WORK

    def run_engine(self, setup: Setup, args: list[str], name: str = "setup",
                   env: dict[str, str] | None = None):
        exe = assemble(setup, self.dir / name, wb.BIN)
        self.dump.unlink(missing_ok=True)
        return wb.Program(exe, args, trace=self.dir / f"{name}-trace.txt",
                          extra_env={"TVL_VARIABLES": wb.winpath(self.dump), **(env or {})})

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

        # With windows the pages wait for Next and the MessageBox asks;
        # everything else runs the same.
        with self.run_engine(setup, ["SKIP_OPTIONS=TRUE"], name="windowed") as program:
            wb.press("TPoolTemplate", "Welcome", "Next >")
            wb.press("TPoolTemplate", "Finish", "Next >")
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

    def test_plugin_without_its_library_is_skipped_with_a_message(self) -> None:
        # The setup carries no run-time library for its plug-in command: the
        # user is told, the action is skipped, and the run goes on.
        setup = Setup(title="No Library", plugins=["Reports Plug-in"])
        setup.commands = [
            S("BEFORE", "ran"),
            Command("Reports Plug-in", ["RESULT", "reports.dll\\reportsrt.dll"]),
            S("AFTER", "ran"),
        ]
        with self.run_engine(setup, []) as program:
            box = wb.find_window("#32770", "Tavrel")
            self.assertIn("Unable to load plug-in library. Please rebuild your project and make "
                          "sure all required plug-ins are installed.Action skipped",
                          box.texts("Static"))
            wb.screenshot("engine-script-plugin-missing")
            wb.press("#32770", "Tavrel", "OK")
            self.assertEqual(program.wait(60), 0)
        self.assertEqual(wb.read_variables(self.dump)["AFTER"], "ran")

        with self.run_engine(setup, ["/s"]) as program:
            self.assertEqual(program.wait(60), 0)
            self.assertTrue(any(line.startswith("plug-in Reports Plug-in: ")
                                and line.endswith("reportsrt.dll not loaded: no such file")
                                for line in program.trace()), program.trace())
        self.assertEqual(wb.read_variables(self.dump)["AFTER"], "ran")

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

    def test_text_file_path_and_arithmetic_commands(self) -> None:
        files = self.dir / "files"
        (files / "Long Folder Name").mkdir(parents=True)
        # CR LF, LF, a lone CR inside a line, and code 26 ending the file.
        (files / "input.txt").write_bytes(b"one\r\ntwo\nthr\ree\r\n\x1aafter\r\n")
        out = files / "out.txt"
        out.write_bytes(b"middle\r\n")
        out.chmod(0o444)  # read-only: the write clears it
        folder = wb.winpath(files) + "\\"

        def read(n: int) -> Command:
            return Command("Read from Text File", ["$IN$", f"L{n}", f"E{n}"])

        def parse(source: str, delimiter: str, first: str, second: str, method: str,
                  trim: str = "FALSE", ignore_case: str = "FALSE") -> Command:
            return Command("Parse String",
                           [source, delimiter, first, second, method, trim, ignore_case])

        setup = Setup(title="Text Commands")
        setup.commands = [
            S("IN", "$DIR$input.txt"),
            read(1), read(2), read(3), read(4),
            S("OUT", "$DIR$out.txt"),
            Command("Write to Text File", ["$OUT$", "top$NEWLINE$line two", "TRUE"]),
            Command("Write to Text File", ["$OUT$", "bottom", "FALSE"]),
            parse("a,b,c", ",", "P1", "P2", "1"),
            parse("  aXbxc ", "x", "P3", "P4", "0", "TRUE", "TRUE"),
            parse("abcdef", "2", "P5", "P6", "3"),
            Command("Mathematics", ["2147483647", "1", "0", "M1"]),
            Command("Mathematics", ["-7", "2", "3", "M2"]),
            Command("Mathematics", ["5", "0", "3", "M3"]),
            S("X1", "$IN$"), Command("Extract Path", ["X1", "1"]),
            S("X2", "$DIR$Long Folder Name\\"), Command("Extract Path", ["X2", "4"]),
            S("SP", "$DIR$Long Folder Name"), Command("Convert Path", ["SP", "TRUE"]),
            S("LP", "$SP$"), Command("Convert Path", ["LP", "FALSE"]),
            S("MP", "$DIR$missing"), Command("Convert Path", ["MP", "TRUE"]),
            Command("Get Temporary File", ["$T1$"]),
            Command("Get Temporary File", ["T2"]),
            Command("Does File/Folder Exist", ["F1", "$IN$", "TRUE"]),
            Command("Does File/Folder Exist", ["F2", "$DIR$Long Folder Name", "FALSE"]),
            Command("Does File/Folder Exist", ["F3", "$IN$", "FALSE"]),
            Command("Does File/Folder Exist", ["F4", "$DIR$none.txt", "TRUE"]),
            Command("Does File/Folder Exist", ["F5", "$T1$", "TRUE"]),
        ]
        with self.run_engine(setup, ["/s", f"DIR={folder}"]) as program:
            self.assertEqual(program.wait(60), 0)
            trace = program.trace()
        self.assertFalse([line for line in trace if "runtime error" in line], trace)
        store = wb.read_variables(self.dump)
        lines = [(store[f"L{n}"], store[f"E{n}"]) for n in range(1, 5)]
        self.assertEqual(lines, [("one", "FALSE"), ("two", "FALSE"), ("three", "TRUE"),
                                 ("one", "FALSE")])
        self.assertEqual(out.read_bytes(), b"top\r\nline two\r\nmiddle\r\nbottom\r\n")
        self.assertEqual(sorted(p.name for p in files.iterdir()),
                         ["Long Folder Name", "input.txt", "out.txt"])
        self.assertEqual((store["P1"], store["P2"]), ("a,b", "c"))
        self.assertEqual((store["P3"], store["P4"]), ("a", "bxc"))
        self.assertEqual((store["P5"], store["P6"]), ("abcd", "ef"))
        self.assertEqual((store["M1"], store["M2"], store["M3"]), ("-2147483648", "-3", ""))
        self.assertEqual(store["X1"], "input")
        self.assertEqual(store["X2"], folder)
        self.assertNotEqual(store["SP"], "")
        self.assertNotIn("Long Folder Name", store["SP"])
        self.assertEqual(store["LP"].lower(), (folder + "Long Folder Name").lower())
        self.assertTrue(store["LP"].endswith("Long Folder Name"), store["LP"])
        self.assertEqual(store["MP"], "")
        temps = [store["T1"], store["T2"]]
        self.assertNotEqual(temps[0], temps[1])
        for temp in temps:
            name = temp.rsplit("\\", 1)[-1]
            self.assertTrue(name.lower().startswith("tvl"), temp)
            self.assertEqual((wb.temp_folder() / name).read_bytes(), b"", temp)
        self.assertEqual([store[f"F{n}"] for n in range(1, 6)],
                         ["TRUE", "TRUE", "FALSE", "FALSE", "TRUE"])

    def test_run_and_terminate_programs(self) -> None:
        child = wb.winpath(wb.TESTBIN / "child_output.exe")
        window = wb.winpath(wb.TESTBIN / "test_window.exe")
        setup = Setup(title="Program Commands")
        setup.commands = [
            Command("Run Program", [child, "FALSE", "exit=42", "TRUE", "R_EXIT"]),
            Command("Run Program", [child, "TRUE", "sleep=3000 exit=3", "FALSE", "R_RUNNING"]),
            Command("Run Program", [window, "TRUE", "showstate", "TRUE", "R_HIDDEN"]),
            Command("Run Program", [window, "FALSE", "showstate", "TRUE", "R_SHOWN"]),
            Command("Run Program", [child, "FALSE", "exit=5", "TRUE", ""]),
            Command("Run Program", [wb.winpath(self.dir / "missing.exe"), "FALSE", "", "TRUE",
                                    "R_MISSING"]),
            Command("Terminate Program", ["", ""]),
            Command("Terminate Program", ["Please Close", "TvlTestWindow"]),
        ]
        # One window to be closed, one whose title does not match.
        with wb.Program(wb.TESTBIN / "test_window.exe", ["title=Please Close Me"]) as closing, \
                wb.Program(wb.TESTBIN / "test_window.exe", ["title=Keep Me Open"]) as kept:
            wb.find_window("TvlTestWindow", "Please Close Me")
            wb.find_window("TvlTestWindow", "Keep Me Open")
            # With windows: the wait turns the message loop until the worker
            # wakes it.
            with self.run_engine(setup, []) as program:
                self.assertEqual(program.wait(60), 0)
                trace = program.trace()
            self.assertEqual(closing.wait(30), 7)
            self.assertIsNone(kept.process.poll())
        self.assertFalse([line for line in trace if "runtime error" in line], trace)
        self.assertIn("program could not be started: " + wb.winpath(self.dir / "missing.exe"),
                      trace)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["R_EXIT"], "42")
        self.assertEqual(store["R_RUNNING"], "259")
        self.assertEqual(store["R_HIDDEN"], "0")  # SW_HIDE
        self.assertEqual(store["R_SHOWN"], "1")  # SW_SHOWNORMAL
        self.assertEqual(store["R_MISSING"], "-1")

        # Silent runs wait for the worker without a message loop.
        with self.run_engine(setup, ["/s"], name="silent") as program:
            self.assertEqual(program.wait(60), 0)
        store = wb.read_variables(self.dump)
        self.assertEqual((store["R_EXIT"], store["R_RUNNING"]), ("42", "259"))

    def run_key(self, root: str, name: str) -> str | None:
        """The data of the Run key's value, None when it is missing."""
        key = root + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
        result = subprocess.run([wb.WINE, "reg", "query", key, "/v", name], env=wb.ENV,
                                capture_output=True, timeout=60)
        for line in result.stdout.decode(wb.ENCODING).splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] == name and parts[1] == "REG_SZ":
                return parts[2].strip()
        return None

    def test_reboot_and_resume_writes_the_run_entry(self) -> None:
        setup = Setup(title="Resume Sample")
        setup.commands = [S("BEFORE", "ran"), Command("Reboot and Resume"), S("AFTER", "ran")]
        no_reboot = {"TVL_NO_REBOOT": "1"}
        with self.run_engine(setup, ["/s", "ALLUSERS=FALSE"], env=no_reboot) as program:
            self.assertEqual(program.wait(60), 0)
            trace = program.trace()
        name = setup.product[1:9]
        self.assertIn("reboot requested", trace)
        self.assertIn("reboot suppressed by TVL_NO_REBOOT", trace)
        store = wb.read_variables(self.dump)
        self.assertEqual(store["BEFORE"], "ran")
        self.assertNotIn("AFTER", store)
        self.assertEqual(self.run_key("HKCU", name), store["EXEFILE"])
        self.assertIsNone(self.run_key("HKLM", name))

        # For all users the entry goes to the machine; the start of the run
        # has removed the user's entry.
        with self.run_engine(setup, ["/s", "ALLUSERS=TRUE"], env=no_reboot) as program:
            self.assertEqual(program.wait(60), 0)
            self.assertIn("resume entry removed (user): " + name, program.trace())
        self.assertIsNone(self.run_key("HKCU", name))
        self.assertEqual(self.run_key("HKLM", name), store["EXEFILE"])

        # After the restart the system starts what the entry names, without
        # arguments: the run starts the script from its beginning and removes
        # the entry. (The script no longer asks for a restart.)
        setup.commands = [S("BEFORE", "resumed")]
        assemble(setup, self.dir / "setup", wb.BIN)
        entry = self.run_key("HKLM", name)
        trace = self.dir / "resumed-trace.txt"
        env = {**wb.ENV, "TVL_TRACE": wb.winpath(trace), "TVL_VARIABLES": wb.winpath(self.dump),
               **no_reboot}
        resumed = subprocess.run([wb.WINE, entry.strip('"')], env=env, capture_output=True,
                                 timeout=120)
        self.assertEqual(resumed.returncode, 0)
        self.assertIn("resume entry removed (machine): " + name,
                      trace.read_bytes().decode(wb.ENCODING))
        self.assertEqual(wb.read_variables(self.dump)["BEFORE"], "resumed")
        self.assertIsNone(self.run_key("HKCU", name))
        self.assertIsNone(self.run_key("HKLM", name))

    def reg(self, *args: str) -> None:
        subprocess.run([wb.WINE, "reg", *args, "/f"], env=wb.ENV, check=True,
                       capture_output=True, timeout=60)

    def test_system_queries(self) -> None:
        key = "HKCU\\Software\\TavrelSystemQueries"
        self.reg("add", key, "/v", "Text", "/t", "REG_SZ", "/d", "hello world")
        self.reg("add", key, "/v", "Number", "/t", "REG_DWORD", "/d", "42")
        self.reg("add", key, "/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%WINDIR%")
        self.addCleanup(self.reg, "delete", key)
        self.dir.mkdir(parents=True)
        long_value = "x" * 300
        (self.dir / "settings.ini").write_bytes(
            b"[Main]\r\nKey=some value\r\nLong=" + long_value.encode() + b"\r\n")
        versioned = wb.winpath(wb.TESTBIN / "versioned_program.exe")
        plain = wb.winpath(wb.TESTBIN / "child_output.exe")
        setup = Setup(title="System Queries")
        setup.commands = [
            S("DIR", wb.winpath(self.dir) + "\\"),
            Command("Get System Settings", ["NT", "18"]),
            Command("Get System Settings", ["NOT_NT", "17"]),
            Command("Get System Settings", ["V40", "19"]),
            Command("Get System Settings", ["MEM32", "1"]),
            Command("Get System Settings", ["LANGUAGE", "33"]),
            Command("Get System Settings", ["OWNER", "35"]),
            Command("Get Folder Location", ["SYSDIR", "23", "FALSE"]),
            Command("Get Folder Location", ["WINDIR", "25", "FALSE"]),
            Command("Get Folder Location", ["PROGRAMS", "20", "FALSE"]),
            Command("Get Folder Location", ["COMMON", "20", "TRUE"]),
            Command("Get Folder Location", ["DOCS1", "2", "TRUE"]),
            Command("Get Folder Location", ["DOCS2", "2", "FALSE"]),
            Command("Get Environment", ["TVL_SYSTEM_QUERY", "ENV1"]),
            Command("Get Environment", ["TVL_NO_SUCH_NAME", "ENV2"]),
            Command("Read Registry", ["REG_TEXT", "1", "Software\\TavrelSystemQueries", "Text"]),
            Command("Read Registry", ["REG_NUMBER", "1", "Software\\TavrelSystemQueries",
                                      "Number"]),
            Command("Read Registry", ["REG_EXPAND", "1", "Software\\TavrelSystemQueries",
                                      "Expand"]),
            Command("Read Registry", ["REG_MISSING", "1", "Software\\TavrelNoSuchKey", "Text"]),
            Command("Get INI File Settings", ["INI_KEY", "$DIR$settings.ini", "Main", "Key"]),
            Command("Get INI File Settings", ["INI_LONG", "$DIR$settings.ini", "Main", "Long"]),
            Command("Get INI File Settings", ["INI_NONE", "$DIR$settings.ini", "Main", "None"]),
            Command("Get File Version", [versioned, "VERSION"]),
            Command("Get File Version", [plain, "NO_VERSION"]),
            Command("Check File Version", ["SAME", versioned, "FALSE", "", "3.14.1592.65535"]),
            Command("Check File Version", ["SHORT", versioned, "FALSE", "", "3.14"]),
            Command("Check File Version", ["NEWER", versioned, "FALSE", "", "3.14.1593"]),
            Command("Check File Version", ["BY_FILE", plain, "TRUE", versioned, ""]),
        ]
        with self.run_engine(setup, ["/s"], env={"TVL_SYSTEM_QUERY": "value 1"}) as program:
            self.assertEqual(program.wait(60), 0)
            trace = program.trace()
        self.assertFalse([line for line in trace if "runtime error" in line], trace)
        store = wb.read_variables(self.dump)
        self.assertEqual((store["NT"], store["NOT_NT"], store["V40"], store["MEM32"]),
                         ("TRUE", "FALSE", "TRUE", "TRUE"))
        self.assertTrue(store["LANGUAGE"].isdigit() and int(store["LANGUAGE"]) > 0,
                        store["LANGUAGE"])
        self.assertEqual(store["OWNER"], store["USERNAME"])
        self.assertEqual(store["SYSDIR"].lower(), "c:\\windows\\system32\\")
        self.assertEqual(store["WINDIR"].lower(), "c:\\windows\\")
        self.assertEqual(store["PROGRAMS"].lower(), "c:\\program files\\")
        self.assertEqual(store["COMMON"].lower(), "c:\\program files\\common files\\")
        self.assertTrue(store["DOCS1"].endswith("\\"), store["DOCS1"])
        self.assertEqual(store["DOCS1"], store["DOCS2"])
        self.assertEqual((store["ENV1"], store["ENV2"]), ("value 1", "%TVL_NO_SUCH_NAME%"))
        self.assertEqual((store["REG_TEXT"], store["REG_NUMBER"], store["REG_EXPAND"],
                          store["REG_MISSING"]), ("hello world", "42", "", ""))
        self.assertEqual((store["INI_KEY"], store["INI_LONG"], store["INI_NONE"]),
                         ("some value", long_value[:259], ""))
        self.assertEqual((store["VERSION"], store["NO_VERSION"]), ("3.14.1592.65535", "0.0.0.0"))
        self.assertEqual((store["SAME"], store["SHORT"], store["NEWER"], store["BY_FILE"]),
                         ("TRUE", "TRUE", "FALSE", "FALSE"))

if __name__ == "__main__":
    unittest.main()
