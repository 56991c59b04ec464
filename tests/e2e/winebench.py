"""Helpers for end-to-end tests of the Windows programs on the Wine bench.

Programs run in the project's prefix on the bench's Xvfb display (see
tests/wine/bench). Windows are found and pressed with the winctl test
program; screenshots of the whole display go to build/screenshots/.
"""

from __future__ import annotations

import os
import pwd
import shutil
import subprocess
import sys
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))

WORK = ROOT / "build/e2e"
SHOTS = ROOT / "build/screenshots"
ENCODING = "cp1252"


def _bench_environment() -> dict[str, str]:
    script = ROOT / "tests/wine/wine-env"
    out = subprocess.run(["bash", "-c", f'source "{script}" && env -0'], check=True,
                         capture_output=True).stdout
    env = dict(item.split("=", 1) for item in out.decode().split("\0") if "=" in item)
    return env


# The build and prefix the bench runs (TAVREL_BENCH_ARCH, see wine-env).
ENV = _bench_environment()
WINE = ENV["TAVREL_WINE"]
BIN = Path(ENV["TAVREL_WIN_BIN"])
TESTBIN = Path(ENV["TAVREL_TEST_BIN"])


def winpath(path: Path) -> str:
    """The Windows name of a file of this machine (drive Z: is the root)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def temp_folder() -> Path:
    """The prefix's temporary folder, as Windows programs see it."""
    user = pwd.getpwuid(os.getuid()).pw_name
    return Path(ENV["WINEPREFIX"]) / "drive_c/users" / user / "Temp"


def clean_temp() -> None:
    """Removes what earlier engine runs may have left in the temp folder."""
    temp = temp_folder()
    temp.mkdir(parents=True, exist_ok=True)
    for entry in temp.iterdir():
        if entry.name.startswith("tvl") or entry.name == "lang.loc":
            if entry.is_dir():
                shutil.rmtree(entry)
            else:
                entry.unlink()


def screenshot(name: str) -> Path:
    SHOTS.mkdir(parents=True, exist_ok=True)
    target = SHOTS / f"{name}.png"
    subprocess.run(["import", "-display", ENV["DISPLAY"], "-window", "root", str(target)],
                   check=True, capture_output=True, timeout=30)
    return target


class Program:
    """A Windows program started in the background."""

    def __init__(self, exe: Path, args: list[str] = (), *, trace: Path | None = None,
                 extra_env: dict[str, str] | None = None):
        env = dict(ENV)
        if trace is not None:
            trace.unlink(missing_ok=True)
            env["TVL_TRACE"] = winpath(trace)
        env.update(extra_env or {})
        self.trace_path = trace
        self.name = Path(exe).name
        self.process = subprocess.Popen([WINE, str(exe), *args], env=env, cwd=str(Path(exe).parent),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # A test that fails half-way must not leave its program (and its
    # windows) behind for the next one.
    def __enter__(self) -> "Program":
        return self

    def __exit__(self, *exc) -> None:
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def wait(self, timeout: float = 60) -> int:
        """Exit code; a program still running after timeout is shot and killed."""
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            shot = screenshot(f"timeout-{self.name}")
            self.process.kill()
            self.process.wait()
            raise AssertionError(f"{self.name} still running after {timeout} s; screen in {shot}")
        return self.process.returncode

    def trace(self) -> list[str]:
        if self.trace_path is None or not self.trace_path.exists():
            return []
        return self.trace_path.read_bytes().decode(ENCODING).splitlines()


def run(exe: Path, args: list[str] = (), *, timeout: float = 60, trace: Path | None = None,
        extra_env: dict[str, str] | None = None) -> tuple[int, list[str]]:
    with Program(exe, args, trace=trace, extra_env=extra_env) as program:
        code = program.wait(timeout)
        return code, program.trace()


def winctl(*args: str, timeout: float = 60) -> tuple[int, str]:
    """Runs the window driver; timeout must exceed any wait it is asked for."""
    try:
        result = subprocess.run([WINE, str(TESTBIN / "winctl.exe"), *args], env=ENV,
                                capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        shot = screenshot("winctl-stuck")
        programs = subprocess.run(["ps", "-eo", "pid,stat,etime,args"], capture_output=True,
                                  text=True).stdout
        wine = "\n".join(line for line in programs.splitlines() if ".exe" in line.lower())
        raise AssertionError(f"winctl {' '.join(args)} did not come back in {timeout} s; "
                             f"screen in {shot}; Windows programs:\n{wine}") from None
    return result.returncode, result.stdout.decode(ENCODING)


class Window:
    """What winctl reports of a top-level window."""

    def __init__(self, report: str):
        lines = [line for line in report.replace("\r", "").split("\n") if line]
        fields = lines[0].split("|", 7)
        self.left, self.top, self.width, self.height, self.client_width, self.client_height = (
            int(value) for value in fields[1:7])
        self.title = fields[7]
        self.children = [tuple(line.split("|", 2)) for line in lines[1:]]

    def texts(self, class_name: str | None = None) -> list[str]:
        return [text for cls, _, text in self.children
                if class_name is None or cls.lower() == class_name.lower()]


def find_window(class_name: str, title: str, timeout_ms: int = 20000) -> Window:
    code, out = winctl("find", class_name, title, str(timeout_ms), timeout=timeout_ms / 1000 + 30)
    if code != 0:
        shot = screenshot(f"missing-{class_name}-{title}".replace("#", "").replace(" ", "_"))
        raise AssertionError(f"no window {class_name!r} {title!r}; screen in {shot}")
    return Window(out)


# Programs the system opens for the programs under test (a folder, a text
# file): a test that makes one appear closes it again, so that no later
# screenshot shows it.
OPENED_BY_THE_SYSTEM = (("ExplorerWClass", "a folder window"), ("Notepad", "Notepad"))


def close_opened(class_name: str, title: str, timeout_ms: int = 30000) -> None:
    """Waits for a window the system opened, closes it and waits until it is gone."""
    find_window(class_name, title, timeout_ms)
    code, _ = winctl("close", class_name, title)
    if code == 0:
        code, _ = winctl("gone", class_name, title, "10000")
    if code != 0:
        shot = screenshot(f"not-closed-{class_name}")
        raise AssertionError(f"{class_name} {title!r} did not close; screen in {shot}")


def assert_nothing_left_open() -> None:
    """Fails when a folder window or Notepad is still open."""
    for class_name, what in OPENED_BY_THE_SYSTEM:
        if winctl("gone", class_name, "*", "0")[0] != 0:
            shot = screenshot(f"left-open-{class_name}")
            winctl("close", class_name, "*")
            raise AssertionError(f"{what} was left open; screen in {shot}")


def press(class_name: str, title: str, button: str) -> None:
    code, _ = winctl("press", class_name, title, button)
    if code != 0:
        raise AssertionError(f"no button {button!r} in {class_name!r} {title!r}")


def wait_until(predicate, timeout: float = 20, step: float = 0.1) -> bool:
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def parse_list_text(text: str) -> list[str]:
    """The items of a variable list text, read the way the engine reads it."""
    items: list[str] = []
    i, n = 0, len(text)
    while True:
        while i < n and ord(text[i]) <= 32:
            i += 1
        if i >= n:
            break
        if text[i] == '"':
            item, i = "", i + 1
            while i < n:
                if text[i] == '"':
                    if i + 1 < n and text[i + 1] == '"':
                        item, i = item + '"', i + 2
                        continue
                    i += 1
                    break
                item, i = item + text[i], i + 1
        else:
            start = i
            while i < n and text[i] != "," and ord(text[i]) > 32:
                i += 1
            item = text[start:i]
        items.append(item)
        while i < n and ord(text[i]) <= 32:
            i += 1
        if i < n and text[i] == ",":
            i += 1
            if i >= n:
                items.append("")
                break
    return items


def read_variables(path: Path) -> dict[str, str]:
    """The variable store an engine run dumped (TVL_VARIABLES), by upper-cased
    name; the first variable of a name wins, as in the engine."""
    items = parse_list_text(path.read_bytes().decode(ENCODING))
    store: dict[str, str] = {}
    for name, value in zip(items[0::2], items[1::2]):
        store.setdefault(name.upper(), value)
    return store


def set_text(class_name: str, title: str, control_id: int, text: str) -> None:
    code, _ = winctl("settext", class_name, title, str(control_id), text)
    if code != 0:
        raise AssertionError(f"no control {control_id} in {class_name!r} {title!r}")


def registry_value(key: str, name: str) -> str | None:
    """The text of a registry value as reg query shows it (name "": the key's
    default value); None when it is not there."""
    result = subprocess.run([WINE, "reg", "query", key, "/v", name], env=ENV, capture_output=True)
    label = name or "(Default)"
    for line in result.stdout.decode(ENCODING, "replace").splitlines():
        parts = line.split(None, 2)
        if len(parts) >= 2 and parts[0] == label and parts[1].startswith("REG_"):
            return parts[2] if len(parts) == 3 else ""
    return None


def files_of(folder: Path) -> dict[str, bytes]:
    """Every file below a folder by its relative path (with "/"), and its bytes."""
    return {str(p.relative_to(folder)).replace("\\", "/"): p.read_bytes()
            for p in sorted(folder.rglob("*")) if p.is_file()}


class EngineCase(unittest.TestCase):
    """A test of engine runs: its own folder below the class's WORK (self.dir),
    where the variable dump goes (self.dump), and the prefix's temporary
    folder cleaned before and after."""
    WORK: Path

    def setUp(self) -> None:
        clean_temp()
        self.dir = self.WORK / self.id().rsplit(".", 1)[-1]
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dump = self.dir / "variables.txt"

    def tearDown(self) -> None:
        clean_temp()
