"""The real ostrabel.exe under Wine on a virtual screen, against fake WHOIS
servers that replay recorded answers. gui_probe.exe, a second program in the
same Wine prefix, drives the window from outside (window messages, and the
keyboard through xdotool) and reads the result box back.

Lookups typed into the window give the fake servers' answers, byte for byte
what ostrabel-cli --raw prints for the same query; the history and the
settings survive a restart. With NETSIM_BENCH_OUT set, test_bench measures
the window instead (bench/gui_bench.sh); with NETSIM_SCREENSHOT_OUT,
test_screenshot takes the picture of docs/make_screenshot.sh."""

from __future__ import annotations

import os
import re
import shutil
import subprocess
import time
from datetime import datetime, timezone
from pathlib import Path

import pytest

import netsim
from programs import SETTINGS_KEY as KEY, Probe, Wine, records, run

@pytest.fixture
def window(world, internet, programs, screen):
    """The replaying servers, a name that "Convert To IP" resolves, and a
    prefix without settings from an earlier run."""
    if not {"ostrabel.exe", "gui_probe.exe"} <= programs.windows.keys():
        pytest.skip("needs the Windows ostrabel.exe and gui_probe.exe (build the Windows tree)")
    if not shutil.which("xdotool"):
        pytest.skip("needs xdotool")
    samples = Path(os.environ["OSTRABEL_SAMPLES"])
    arin = (samples / "whois.arin.net/arin-net-4.2.2.1-level3-no-referral.txt").read_text()
    world.whois("whois.arin.net", {
        "144.134.121.81": samples / "whois.arin.net/arin-net-144.134.121.81-apnic-erx.txt",
        "192.0.2.1": re.sub(r"(?m)^OrgId:", "OrgID:", arin),
        "! o + LVLT": arin[re.search(r"(?m)^OrgName:", arin).start():],
    })
    world.whois("whois.apnic.net", {
        "144.134.121.81": samples / "whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt"})
    world.hosts.pin("host.example.test", "192.0.2.1")
    wine = internet.wine
    # The result box asks for "Courier", which this prefix has no face of;
    # a monospaced face stands in, as Courier would on Windows.
    wine.reg("add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", "Courier", "/d",
             "DejaVu Sans Mono", "/f")
    wine.reg("delete", KEY, "/f")
    return world


def settings(wine: Wine, section: str) -> str:
    return wine.reg("query", rf"{KEY}\ostrabel\{section}").text.replace("\r", "")


def test_window(window, internet, programs):
    wine, probe = internet.wine, Probe(internet.wine, programs)
    cli = lambda query: programs.run("native", "ostrabel-cli", ["--raw", query]).out  # noqa: E731
    started = probe("start", probe.program)
    assert started.status == 0, "the main window did not appear"
    try:
        # A query set into the field and Return pressed into the window's queue.
        apnic = probe("lookup", "144.134.121.81")
        assert apnic.status == 0, "lookup 144.134.121.81 did not end"
        assert apnic.out, "the result box stayed empty"
        assert apnic.out == cli("144.134.121.81"), "the result box differs from ostrabel-cli --raw"
        assert b"STARHUBINTERNET-SG" in apnic.out

        # The same through the keyboard: the X focus on the window, the
        # query typed with blanks around it, then Return.
        probe("clear")
        x = run(["xdotool", "search", "--name", r"\["], env=wine.env).text.split()
        assert x, "no X window for the main window"
        run(["xdotool", "windowfocus", "--sync", x[0]], env=wine.env)
        probe("focus")
        run(["xdotool", "type", "--delay", "30", " host.example.test "], env=wine.env)
        run(["xdotool", "key", "Return"], env=wine.env)
        old = internet.work / "gui-apnic"
        old.write_bytes(apnic.out)
        typed = probe("wait-result", f"Z:{old}")
        assert typed.status == 0, "the typed lookup did not end"
        assert typed.out == cli("host.example.test"), "the typed lookup differs from ostrabel-cli --raw"
        assert records(typed.out).startswith(b"host.example.test:192.0.2.1")
        assert probe("field").text.rstrip("\r\n") == "host.example.test", "the field is not the trimmed query"
        history = probe("history").text
        assert history == "host.example.test\n144.134.121.81\n"
    finally:
        closed = probe("close")
    assert closed.status == 0, "the window did not close"
    assert probe.gone(), "ostrabel.exe did not end"
    ip_list = settings(wine, "IP List")
    assert re.search(r"1.*REG_SZ.*host\.example\.test", ip_list), ip_list
    assert re.search(r"2.*REG_SZ.*144\.134\.121\.81", ip_list), ip_list
    saved = settings(wine, "Settings")
    assert re.search(r"Convert To IP.*REG_DWORD.*0x1", saved), saved
    assert re.search(r"WindowPos.*REG_SZ.*0,1,", saved), saved

    # A restart shows the saved history.
    assert probe("start", probe.program).status == 0, "the window did not appear again"
    again = probe("history").text
    assert probe("close").status == 0, "the window did not close again"
    assert probe.gone(), "ostrabel.exe did not end again"
    assert again == history
    assert window.whois_log, "the fake servers saw no request"
    print(f"  window: {started.text.strip()}")


@pytest.mark.skipif("NETSIM_BENCH_OUT" not in os.environ,
                    reason="a benchmark: bench/gui_bench.sh runs it")
def test_bench(window, internet, programs):
    """Start-up time, working set at rest and after 100 lookups, and the
    window thread's longest stall while 20 lookups run at once."""
    out = os.environ["NETSIM_BENCH_OUT"]
    wine, probe = internet.wine, Probe(internet.wine, programs)
    version = run(["wine", "--version"], env=wine.env).text.strip()
    lines = [f"# ostrabel.exe under Wine {version} on Xvfb, "
             f"{datetime.now(timezone.utc):%Y-%m-%d}",
             "# time from process start to the main window shown (gui_probe start), 5 runs:"]
    for i in range(5):
        lines.append("start " + probe("start", probe.program).text.strip())
        if i < 4:
            probe("close"), probe.gone()
    lines.append("# at rest:")
    lines += ["rest " + l for l in probe("memory").text.splitlines()]
    if probe("lookups", "100", "144.134.121.81").status != 0:
        lines.append("# the 100 lookups did not all end")
    lines.append("# after 100 lookups (ARIN and APNIC answers, about 3 KiB each):")
    lines += ["after-100 " + l for l in probe("memory").text.splitlines()]
    lines += ["# the window thread's round trip (SendMessageTimeout WM_NULL from another",
              "# process, every millisecond) at rest:"]
    lines += [re.sub(r"^running", "idle", l) for l in probe("stall", "0", "NET-IDLE").text.splitlines()]
    # Every exchange now takes 1.5 s, so the 20 lookups overlap.
    window.close()
    slow = netsim.World(window.hosts)
    slow.whois("whois.arin.net", {"*": [netsim.Pause(1.5), netsim.Send(
        b"NetRange:   192.0.2.0 - 192.0.2.255\nNetName:    TEST-NET-1\nComment:    benchmark answer\n")]})
    lines.append("# ... while 20 lookups run at once (each answer after 1.5 s):")
    lines += probe("stall", "20", "NET-STALL").text.splitlines()
    slow.close()
    probe("close"), probe.gone()
    bench = programs.windows.get("ostrabel_window_bench.exe")
    win_bin = os.environ.get("OSTRABEL_WINDOWS_BIN")  # the build whose programs run here
    if bench is None and win_bin and (Path(win_bin) / "ostrabel_window_bench.exe").exists():
        bench = Path(shutil.copy2(Path(win_bin) / "ostrabel_window_bench.exe", programs.bin))
    if bench:
        lines += ["# inside the program (bench/window_stall_bench.cpp): every message the window",
                  "# thread handles timed while 20 lookups run at once, each answered after",
                  "# 1.5 s by an in-memory network; putting the result into the box apart:"]
        lines += ["inside " + l for l in wine.run(bench, ["20", "1500"]).text.splitlines()]
    text = "\n".join(lines) + "\n"
    Path(out).write_text(text)
    print(text)


@pytest.mark.skipif("NETSIM_SCREENSHOT_OUT" not in os.environ,
                    reason="a picture for the documentation: docs/make_screenshot.sh takes it")
def test_screenshot(window, internet, programs, screen):
    """The window showing a result, cropped, in a fresh prefix made as
    scripts/run.sh makes its own (its fonts included)."""
    out = os.environ["NETSIM_SCREENSHOT_OUT"]
    root = Path(__file__).resolve().parents[2]
    prefix = internet.work / "run-prefix"
    shutil.rmtree(prefix, ignore_errors=True)
    env = dict(internet.wine.env, WINEPREFIX=str(prefix), OSTRABEL_WINEARCH=internet.wine.arch)
    # The prefix of scripts/run.sh, made on this screen by its own function;
    # the title bar is drawn by Wine (no window manager here).
    subprocess.run(["bash", "-c", f'source "{root}/scripts/common.sh" && wine_run_prefix "{prefix}" && '
                    "wine reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Managed /d N /f"],
                   env=env, capture_output=True, timeout=600)
    wine = Wine(prefix, internet.work / "tmp", internet.wine.arch)
    wine.env["DISPLAY"] = screen.display
    probe = Probe(wine, programs)
    assert probe("start", probe.program).status == 0, "no window"
    assert probe("lookup", "144.134.121.81").status == 0, "the lookup did not end"
    time.sleep(1)
    x, y, w, h = probe("rect").text.split()
    shot = internet.work / "screen.png"
    run(["import", "-window", "root", str(shot)], env=wine.env)
    run(["convert", str(shot), "-crop", f"{w}x{h}+{x}+{y}", "+repage", out])
    probe("close"), probe.gone()
    wine.stop()
    assert Path(out).exists(), "no screenshot"
    print(f"screenshot: {out} ({w}x{h})")
