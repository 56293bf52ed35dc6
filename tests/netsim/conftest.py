"""Fixtures of the end-to-end tests: the fake Internet (`internet`, once per
run; `world`, once per test) and the programs under test (`programs`).

ctest starts one pytest run per area (tests/netsim/CMakeLists.txt) and says
where the programs are through the environment:

  NETSIM_WORK            a folder of the run's own (outputs, Wine prefix)
  OSTRABEL_CLI           the native ostrabel-cli
  OSTRABEL_HTTPS_GET     the native https_get
  OSTRABEL_DRIVER_REPLAY the in-process driver over a WHOIS table
  OSTRABEL_MEASURE       runs a program bounded in time, with its peak memory
  OSTRABEL_WIN32_BIN     the Windows programs (ostrabel-cli.exe, ...); their
                         half is skipped with a note where they are missing
  OSTRABEL_WIN64_BIN     the 64-bit build's, which stand in for them where
                         this kernel runs no 32-bit programs
  OSTRABEL_SAMPLES       the recorded WHOIS answers
  OSTRABEL_ROLES         base/server_roles.h (every server host the program knows)
  OSTRABEL_RDAP_DATA     the built-in RDAP bootstrap files

Each has a default for a run by hand from the source folder (the trees
build/ and build-win32/), so that, as root,

  /usr/bin/python3 -m pytest tests/netsim -k stalled

runs one row. A run that cannot make a namespace (not root, no unshare) ends with 77,
ctest's "skipped".
"""

from __future__ import annotations

import os
import re
import shutil
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))

import netsim  # noqa: E402
from programs import Screen, Wine, measured, run  # noqa: E402


ROOT = Path(__file__).resolve().parents[2]
DEFAULTS = {
    "NETSIM_WORK": ROOT / "build/tests/netsim/by-hand",
    "OSTRABEL_CLI": ROOT / "build/bin/ostrabel-cli",
    "OSTRABEL_HTTPS_GET": ROOT / "build/bin/https_get",
    "OSTRABEL_DRIVER_REPLAY": ROOT / "build/bin/e2e_driver_replay",
    "OSTRABEL_MEASURE": ROOT / "build/bin/hostile_measure",
    "OSTRABEL_WIN32_BIN": ROOT / "build-win32/bin",
    "OSTRABEL_WIN64_BIN": ROOT / "build-win64/bin",
    "OSTRABEL_SAMPLES": ROOT.parent / "shared/whois-samples",
    "OSTRABEL_ROLES": ROOT / "base/server_roles.h",
    "OSTRABEL_RDAP_DATA": ROOT / "engine/rdap/data",
}
for _name, _default in DEFAULTS.items():
    os.environ.setdefault(_name, str(_default))


def env_path(name: str) -> Path | None:
    value = os.environ.get(name)
    return Path(value) if value else None


def role_hosts() -> list[str]:
    """Every server host the program knows, from base/server_roles.h."""
    text = env_path("OSTRABEL_ROLES").read_text()
    return [h for h in re.findall(r'"([a-z0-9.-]*)"', text) if "." in h and not h.startswith("http")]


NOTES: list[str] = []  # shown at the end of the run


def pytest_terminal_summary(terminalreporter):
    for note in NOTES:
        terminalreporter.write_line(note)


def pytest_sessionfinish(session, exitstatus):
    """A run whose every test was skipped (no Wine for the window tests)
    ends with ctest's "skipped" code, not as a pass."""
    stats = session.config.pluginmanager.get_plugin("terminalreporter").stats
    if exitstatus == 0 and stats.get("skipped") and not stats.get("passed"):
        session.exitstatus = 77


class Internet:
    """The run's namespace: its hosts file, its certificates, its Wine."""

    def __init__(self, work: Path, wine: Wine | None):
        self.work = work
        self.wine = wine
        self.pki = netsim.Pki(work / "pki")
        self.pki.authority("ca")  # the system bundle's; others are made when first used
        self._certs: dict[str, tuple[Path, Path]] = {}
        self.hosts: netsim.Hosts | None = None

    def cert(self, host: str, authority: str = "ca") -> tuple[Path, Path]:
        """A server certificate for HOST from AUTHORITY ("ca" is the one the
        system bundle holds here, "rogue-ca" one it does not know)."""
        key = f"{host}-{authority}"
        if key not in self._certs:
            if not (self.pki.dir / f"{authority}.pem").exists():
                self.pki.authority(authority)
            self._certs[key] = self.pki.server(key, authority, host)
        return self._certs[key]


class Programs:
    """The programs under test, copied into a folder of their own (no
    whoislist.txt beside them: they use the built-in server list)."""

    def __init__(self, work: Path, wine: Wine | None):
        self.bin = work / "bin"
        self.bin.mkdir(parents=True, exist_ok=True)
        self.wine = wine
        self.native: dict[str, Path] = {}
        self.windows: dict[str, Path] = {}
        for var, name in (("OSTRABEL_CLI", "ostrabel-cli"), ("OSTRABEL_HTTPS_GET", "https_get"),
                          ("OSTRABEL_DRIVER_REPLAY", "e2e_driver_replay")):
            path = env_path(var)
            if path and path.exists():
                self.native[name] = Path(shutil.copy2(path, self.bin / name))
        win = env_path("OSTRABEL_WINDOWS_BIN")
        if wine and win:
            for exe in ("ostrabel-cli.exe", "https_get.exe", "ostrabel.exe", "gui_probe.exe",
                        "window_probe.exe"):
                if (win / exe).exists():
                    self.windows[exe] = Path(shutil.copy2(win / exe, self.bin / exe))

    def sides(self, name: str) -> list[str]:
        """"native", and "wine" when the Windows NAME.exe was built."""
        return ["native"] + (["wine"] if name + ".exe" in self.windows else [])

    def run(self, side: str, name: str, args: list[str], timeout: float = 60,
            wine_timeout: float | None = None, env: dict | None = None,
            prefix: list[str] | None = None, measure: bool = False, where: Path | None = None):
        """NAME (native) or NAME.exe (under Wine) with ARGS, from its folder
        (or the copy in WHERE), killed after TIMEOUT seconds (natively) or
        WINE_TIMEOUT (twice that by default). PREFIX runs before the program
        (for example a namespace of its own); MEASURE notes peak memory."""
        if side == "native":
            exe = (where or self.bin) / self.native[name].name
            argv = [*(prefix or []), f"./{exe.name}", *args]
            full_env = dict(os.environ, **(env or {}))
        else:
            exe = (where or self.bin) / (name + ".exe")
            argv = [*(prefix or []), "wine", f"./{exe.name}", *args]
            full_env = dict(self.wine.env, **(env or {}))
            timeout = wine_timeout or 2 * timeout
        if measure:
            return measured(env_path("OSTRABEL_MEASURE"), argv, exe.parent, timeout, full_env)
        return run(argv, cwd=exe.parent, env=full_env, timeout=timeout)


@pytest.fixture(scope="session")
def internet():
    why = netsim.namespace_missing()
    if why:
        pytest.exit(f"SKIP: the end-to-end tests need root and a private network "
                    f"namespace ({why})", returncode=77)
    if not netsim.BUNDLE.exists():
        pytest.exit(f"SKIP: no {netsim.BUNDLE} to stand in for", returncode=77)
    work = env_path("NETSIM_WORK")
    shutil.rmtree(work / "run", ignore_errors=True)
    (work / "run").mkdir(parents=True)
    wine = screen = None
    arch, why = Wine.usable_arch()
    windows_bin = env_path("OSTRABEL_WIN64_BIN" if arch == "win64" else "OSTRABEL_WIN32_BIN")
    if not why and not windows_bin.is_dir():
        why = f"no {windows_bin} (build the Windows tree)"
    if why:
        NOTES.append(f"NOTE: {why}: the Windows half is skipped")
    else:
        if arch == "win64":
            NOTES.append("NOTE: this kernel runs no 32-bit programs: the Windows half runs the "
                         "64-bit build under 64-bit Wine")
        os.environ["OSTRABEL_WINDOWS_BIN"] = str(windows_bin)
        wine = Wine(work / f"wine-prefix-{arch}",
                    work / "run" / "tmp", arch)
        # A prefix whose first Wine process had no display cannot create
        # windows later: it is booted on the virtual screen, when there is one.
        if Screen.available():
            screen = Screen()
            wine.env["DISPLAY"] = screen.display
        wine.boot()
        wine.env.pop("DISPLAY", None)
    net = Internet(work / "run", wine)
    net.screen = screen
    net.no_windows = why or (None if screen else "no Xvfb")
    etc = work / "run" / "etc"
    etc.mkdir()
    (etc / "hosts").write_text("")
    (etc / "resolv.conf").write_text("nameserver 127.0.0.1\n")  # nobody answers there
    for var in [v for v in os.environ if v.lower().endswith("_proxy")]:
        del os.environ[var]
    netsim.enter_namespace({"/etc/hosts": etc / "hosts", "/etc/resolv.conf": etc / "resolv.conf",
                            str(netsim.BUNDLE): work / "run" / "pki" / "ca.pem"})
    net.hosts = netsim.Hosts(Path("/etc/hosts"))
    for host in role_hosts():
        net.hosts.address(host)
    if wine:
        wine.start_server()  # one wineserver for the whole run, inside
    yield net
    if wine:
        wine.stop()
    if screen:
        screen.close()


@pytest.fixture(scope="session")
def programs(internet):
    return Programs(internet.work, internet.wine)


@pytest.fixture(scope="session")
def wine_start(programs):
    """How long Wine takes to start the client at all (0 without Wine). The
    first start in the namespace is the slow one; timed runs come after it
    and allow for a start."""
    if "wine" not in programs.sides("ostrabel-cli"):
        return 0
    return programs.run("wine", "ostrabel-cli", ["--version"]).ms


@pytest.fixture
def world(internet):
    w = netsim.World(internet.hosts)
    yield w
    w.close()
    assert not w.faults, f"the fake servers failed: {w.faults}"


@pytest.fixture(scope="session")
def screen(internet):
    """The virtual screen (Xvfb, 1024x768) for the window tests; Wine draws
    there from now on. Skips the test where Xvfb or Wine is missing."""
    if internet.screen is None:
        pytest.skip(f"the window tests need Wine and Xvfb: {internet.no_windows}")
    internet.wine.env["DISPLAY"] = internet.screen.display
    return internet.screen
