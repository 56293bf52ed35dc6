"""The programs under test, native and under Wine: the one place that makes
Wine prefixes and runs Windows programs for the end-to-end tests."""

from __future__ import annotations

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path


@dataclass
class Run:
    """What one run of a program left: exit status (None when it was killed
    at its time limit), standard output and error, wall time, peak memory."""
    status: int | None
    out: bytes
    err: bytes
    ms: int
    maxrss_kb: int = 0

    @property
    def text(self) -> str:
        return self.out.decode("utf-8", "replace")


SUMMARY_LABELS = (rb"Domain|Network|AS number|Name|AS name|Registrant|Owner|Registrar|Created|"
                  rb"Expires|Status|Name servers|Country|Abuse contact|Source")


def records(out: bytes) -> bytes:
    """Only the records of a client's output, as the classic mode prints
    them: the owner summary above them (the label lines up to the first
    empty line), the line after an answer that was cut off, and a lone
    reason line ("No answer: ...") are taken out. The rows that check the
    chain compare records; the summary and the reason lines have rows of
    their own."""
    summary = re.match(rb"(?:(?:" + SUMMARY_LABELS + rb"):  *[^\n]*\n)+\r?\n", out)
    if summary:
        out = out[summary.end():]
    out = re.sub(rb"\r?\nThe answer from [^\n]* was cut off: [^\n]*(?=\n?\Z)", b"", out)
    return re.sub(rb"\ANo answer: [^\n]*(?=\n?\Z)", b"", out)


def run(argv: list[str], cwd: Path | None = None, env: dict | None = None,
        timeout: float = 60) -> Run:
    """Runs ARGV in a process group of its own; at TIMEOUT seconds the whole
    group is killed (status None). The output goes through files, not pipes:
    Wine leaves processes behind (wineserver, services) that would hold a
    pipe open long after the program ended."""
    started = time.monotonic()
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        proc = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err, start_new_session=True)
        try:
            status = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            status = None
        ms = int((time.monotonic() - started) * 1000)
        out.seek(0), err.seek(0)
        return Run(status, out.read(), err.read(), ms)


def measured(measure: Path, argv: list[str], cwd: Path, timeout: float,
             env: dict | None = None) -> Run:
    """Like run, through the measure program (tests/hostile/measure.cpp),
    which also reports the peak resident memory. It is small, so the figure
    is the program's own (a child forked from this process would start with
    this process's peak)."""
    with tempfile.TemporaryDirectory() as folder:
        out, err = Path(folder) / "out", Path(folder) / "err"
        line = run([str(measure), str(timeout), str(out), str(err), *argv], cwd=cwd, env=env,
                   timeout=timeout + 30).text
        found = re.match(r"status=(\S+) seconds=([\d.]+) maxrss_kb=(\d+)", line)
        assert found, f"measure: {line!r}"
        status = None if found[1] == "killed" else int(found[1]) if found[1].isdigit() else -1
        return Run(status, out.read_bytes(), err.read_bytes(), int(float(found[2]) * 1000),
                   int(found[3]))


def stamp(f: Path) -> tuple:
    """A file's size, modification time and bytes: an equal stamp later
    means the file was left alone."""
    return f.stat().st_size, f.stat().st_mtime_ns, f.read_bytes()


WINE32 = Path("/usr/lib/wine/wine")
WINE64 = Path("/usr/lib/wine/wine64")


class Wine:
    """A Wine prefix of the test's own: 32-bit where this kernel runs 32-bit
    programs, otherwise 64-bit for the 64-bit build of the same sources. It
    is booted before the test enters its namespace (wineboot needs no network
    but takes long); then one wineserver runs inside the namespace, where the
    sockets live."""

    def __init__(self, prefix: Path, tmp: Path, arch: str = "win32"):
        self.prefix = prefix
        self.arch = arch
        tmp.mkdir(parents=True, exist_ok=True)
        self.env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH=arch, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d",
                        TMPDIR=str(tmp))  # Wine leaves temporary folders behind
        if arch == "win64":
            # Debian's wine and wine-stable (which wineboot calls) start the
            # 32-bit loader whenever it is installed; these start the 64-bit one.
            commands = prefix.parent / "wine64-bin"
            commands.mkdir(parents=True, exist_ok=True)
            for name in ("wine", "wine-stable"):
                (commands / name).write_text(f'#!/bin/sh\nexec {WINE64} "$@"\n')
                (commands / name).chmod(0o755)
            self.env.update(WINELOADER=str(WINE64), PATH=f"{commands}:{os.environ['PATH']}")

    @staticmethod
    def usable_arch() -> tuple[str | None, str | None]:
        """The prefix kind the Windows programs run in here ("win32" where the
        kernel runs 32-bit programs, else "win64"), or None and why not."""
        if not all(shutil.which(t) for t in ("wine", "wineboot", "wineserver")):
            return None, "Wine is not installed"
        def starts(loader: Path) -> bool:
            try:
                return run([str(loader), "--version"], timeout=60).status == 0
            except OSError:  # "Exec format error": the kernel runs no such program
                return False

        if starts(WINE32):
            return "win32", None
        if starts(WINE64):
            return "win64", None
        return None, "Wine cannot start here (no 32-bit support, no 64-bit Wine)"

    def boot(self) -> None:
        if not (self.prefix / "system.reg").exists():
            run(["wineboot", "-i"], env=self.env, timeout=300)
        # Without a window manager, hiding a managed window waits for one.
        self.reg("add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
        self.stop()

    def reg(self, *args: str) -> Run:
        return run(["wine", "reg", *args], env=self.env, timeout=60)

    def start_server(self) -> None:
        run(["wineserver", "-p"], env=self.env)

    def stop(self) -> None:
        run(["wineserver", "-k"], env=self.env)
        run(["wineserver", "-w"], env=self.env)

    def run(self, exe: Path, args: list[str], timeout: float = 120, env: dict | None = None) -> Run:
        """Runs EXE from its own folder (so a whoislist.txt beside it counts)."""
        return run(["wine", f"./{exe.name}", *args], cwd=exe.parent,
                   env=dict(self.env, **(env or {})), timeout=timeout)

    def unix_path(self, variable: str) -> Path:
        """Where the Windows environment VARIABLE (a folder) lies."""
        windows = run(["wine", "cmd", "/c", f"echo %{variable}%"], env=self.env).text.strip()
        return Path(run(["winepath", "-u", windows], env=self.env).text.strip())



# Where the program keeps its settings (and a prefix's earlier run left them).
SETTINGS_KEY = r"HKCU\Software\Tarvolk Technologies"


class Probe:
    """gui_probe.exe driving the window of ostrabel.exe."""

    def __init__(self, wine: Wine, programs):
        self.wine, self.exe = wine, programs.windows["gui_probe.exe"]
        self.program = f"Z:{programs.windows['ostrabel.exe']}"

    def __call__(self, *args: str, timeout: float = 120):
        return self.wine.run(self.exe, list(args), timeout=timeout)

    def gone(self) -> bool:
        """Waits (bounded) until ostrabel.exe has ended; Wine shows a
        program's command line as its Windows path."""
        for _ in range(200):
            if run(["pgrep", "-f", "-x", self.program]).status != 0:
                return True
            time.sleep(0.1)
        return False


class Screen:
    """A virtual screen of 1024x768 (Xvfb) for the window tests; DISPLAY
    names it. Started inside the namespace like everything else."""

    def __init__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            self.proc.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = f":{number}"

    @staticmethod
    def available() -> bool:
        return shutil.which("Xvfb") is not None

    def close(self) -> None:
        self.proc.terminate()
        self.proc.wait(timeout=10)
