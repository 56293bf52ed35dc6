"""ostrabel-cli --batch end to end (native, and the Windows build under Wine)
in a fake world of the five regional registries: ARIN answers for its own
networks and refers the others' space to their registry, as the real one
does. Each row is a list of queries and what must come of it: the exact
WHOIS requests (one chain per network), the records, the exit status."""

from __future__ import annotations

import csv
import io
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path

import pytest

import netsim

T = "\t"
COLUMNS = ["query", "kind", "owner", "network", "country", "abuse", "registrar", "source", "error"]
FLAG = {"whois.ripe.net": "-r ", "whois.apnic.net": "-r ", "whois.afrinic.net": "-r ",
        "whois.lacnic.net": ""}  # RIPE-style registries are asked without personal data


@dataclass
class Net:
    """A network of the world: its range (first two octets), the registry
    holding it, owner and country. ARIN's own are answered by ARIN alone."""
    prefix: str
    registry: str
    owner: str
    country: str

    @property
    def range(self) -> str:
        return f"{self.prefix}.0.0 - {self.prefix}.255.255"

    @property
    def abuse(self) -> str:
        return f"abuse@net{self.prefix.replace('.', '-')}.example"

    def arin(self) -> str:
        if self.registry == "whois.arin.net":
            return (f"NetRange:       {self.range}\nCIDR:           {self.prefix}.0.0/16\n"
                    f"NetName:        NET-{self.prefix}\nOrgName:        {self.owner}\n"
                    f"Country:        {self.country}\nOrgAbuseEmail:  {self.abuse}\n")
        return (f"NetRange:       {self.prefix.split('.')[0]}.0.0.0 - "
                f"{self.prefix.split('.')[0]}.255.255.255\nNetName:        OTHER-ERX-BLOCK\n"
                f"OrgName:        Another registry\nReferralServer: whois://{self.registry}\n")

    def own(self) -> str:
        return (f"% Abuse contact for '{self.range}' is '{self.abuse}'\n\n"
                f"inetnum:        {self.range}\nnetname:        NET-{self.prefix}\n"
                f"descr:          {self.owner}\ncountry:        {self.country}\n")


NETS = [Net("23.1", "whois.arin.net", "Owner One, Inc.", "US"),
        Net("81.2", "whois.ripe.net", "Owner Two", "NL"),
        Net("81.3", "whois.ripe.net", "Owner Three", "FR"),
        Net("202.3", "whois.apnic.net", "Owner Four", "AU"),
        Net("200.4", "whois.lacnic.net", "Owner Five", "BR"),
        Net("105.5", "whois.afrinic.net", "Owner Six", "ZA")]


def net_of(query: str) -> Net:
    return next(n for n in NETS if query.startswith(n.prefix + "."))


def chain(query: str) -> list[str]:
    """The requests of a lookup of QUERY that nothing cached answers."""
    n = net_of(query)
    first = [f"whois.arin.net{T}{query}"]
    return first if n.registry == "whois.arin.net" else \
        first + [f"{n.registry}{T}{FLAG[n.registry]}{query}"]


# Addresses the world knows: two or three in most networks (the later ones
# answered from the first one's range), a network inside one, a repeat.
QUERIES = ["23.1.0.5", "81.2.0.1", "202.3.0.1", "23.1.9.9", "200.4.0.1", "105.5.0.1",
           "81.2.200.7", "# a comment", "", "  81.3.0.9  ", "202.3.4.4", "81.2.3.0/24",
           "23.1.0.5"]
FIRSTS = ["23.1.0.5", "81.2.0.1", "202.3.0.1", "200.4.0.1", "105.5.0.1", "81.3.0.9"]


def build(world, nets=NETS, down=(), limited=None, held=None):
    """The world's servers: every registry's answers for the addresses of
    its networks; DOWN are not started (connection refused); LIMITED answers
    its first request with %ERROR:201 (wait 2 s); HELD (an address) gets
    silence."""
    tables: dict[str, dict] = {"whois.arin.net": {}}
    for q in {q.strip() for q in QUERIES + ["81.3.7.7", "105.5.8.8"]
              if q.strip() and not q.startswith("#") and "/" not in q}:
        n = net_of(q)
        tables["whois.arin.net"][q] = n.arin()
        if n.registry != "whois.arin.net":
            tables.setdefault(n.registry, {})[FLAG[n.registry] + q] = \
                netsim.silent(30) if q == held else n.own()
    for host, table in tables.items():
        if host in down:
            continue
        if host == limited:
            error = "%ERROR:201: access denied\n% Queries are limited; try again in 2 seconds.\n"
            table = {r: netsim.InTurn([error, a]) if i == 0 else a
                     for i, (r, a) in enumerate(sorted(table.items()))}
        world.whois(host, table)
    return world


@pytest.fixture
def cache_dir():
    folder = Path(tempfile.mkdtemp(prefix="batch-cache-"))
    yield folder
    shutil.rmtree(folder, ignore_errors=True)


def wine_cache(programs) -> list[Path]:
    """The Windows client's cache file(s) in the run's Wine prefix."""
    prefix = Path(programs.wine.env["WINEPREFIX"])
    return list(prefix.glob("drive_c/users/*/AppData/Local/Ostrabel/rdap/batch-ranges.txt"))


def batch(programs, side, queries, args=(), cache=None, timeout=30):
    """A batch of QUERIES (a file beside the program) on SIDE; natively the
    cache lives in CACHE, under Wine in the prefix (emptied first)."""
    name = f"batch-{os.getpid()}-{time.monotonic_ns()}.txt"
    (programs.bin / name).write_text("\n".join(queries) + "\n")
    env = {"XDG_CACHE_HOME": str(cache)} if side == "native" and cache else None
    if side == "wine" and cache:
        for f in wine_cache(programs):
            f.unlink()
    try:
        return programs.run(side, "ostrabel-cli", ["--batch", name, "--pace", "20", *args],
                            timeout=timeout, env=env)
    finally:
        (programs.bin / name).unlink()


def rows(out: bytes) -> list[dict]:
    lines = out.decode().replace("\r\n", "\n").rstrip("\n").split("\n")
    assert lines[0].split(T) == COLUMNS
    for line in lines[1:]:
        assert len(line.split(T)) == len(COLUMNS), line
    return [dict(zip(COLUMNS, line.split(T))) for line in lines[1:]]


def asked(world, since=0) -> list[str]:
    return sorted(world.asked_whois(since))


def complete(row: dict) -> None:
    """A record as the world says: network, owner, country, abuse contact."""
    n = net_of(row["query"])
    assert row["error"] == "", row
    assert (row["network"], row["owner"], row["country"], row["abuse"]) == \
        (n.range, n.owner, n.country, n.abuse), row


def inputs():
    return [q.strip() for q in QUERIES if q.strip() and not q.strip().startswith("#")]


@pytest.mark.parametrize("side", ["native", "wine"])
def test_registries_once_per_network(side, world, programs, cache_dir):
    """Every record complete, in input order; each network asked by one
    chain; the rest from the ranges received; both sides print the same."""
    if side not in programs.sides("ostrabel-cli"):
        pytest.skip("no Windows ostrabel-cli.exe")
    build(world)
    run = batch(programs, side, QUERIES, cache=cache_dir)
    assert run.status == 0, run.err
    got = rows(run.out)
    assert [r["query"] for r in got] == inputs()
    for r in got:
        complete(r)
    assert asked(world) == sorted(sum((chain(q) for q in FIRSTS), []))
    seen = set()
    for r in got:  # the first of each network asked, the others from its range
        if r["query"] not in seen:
            assert r["source"].startswith("cache") == (r["query"] not in FIRSTS), r
        seen.add(r["query"])
    if side == "wine":
        native = batch(programs, "native", QUERIES, cache=cache_dir / "native")
        assert native.out == run.out.replace(b"\r\n", b"\n"), "Windows output differs from native"


@pytest.mark.parametrize("side", ["native", "wine"])
def test_rate_limited_server_paused(side, world, programs, cache_dir):
    """RIPE says %ERROR:201 (try again in 2 s) to its first request: nothing
    reaches it for those 2 s, the query is asked again after, every record
    ends complete."""
    if side not in programs.sides("ostrabel-cli"):
        pytest.skip("no Windows ostrabel-cli.exe")
    build(world, limited="whois.ripe.net")
    queries = ["81.2.0.1", "81.3.0.9", "23.1.0.5", "202.3.0.1"]
    run = batch(programs, side, queries, cache=cache_dir)
    assert run.status == 0, run.err
    for r in rows(run.out):
        complete(r)
    ripe = [r for r in world.whois_log if r.server == "whois.ripe.net"]
    # The limited query (the first "-r 81.2.0.1" got the error), asked again, and the other.
    assert sorted(r.request for r in ripe) == ["-r 81.2.0.1", "-r 81.2.0.1", "-r 81.3.0.9"]
    limited = next(r.at for r in ripe if r.request == "-r 81.2.0.1")
    during = [r.request for r in ripe if limited < r.at < limited + 1.95]
    assert during == [], "RIPE was asked during its pause"
    assert ripe[-1].at >= limited + 1.95


# Servers that refuse connections: (name, servers down, queries, exit
# status, {query: what its error says}; the others are complete). Where ARIN
# refuses there is no record; where the registry it refers to refuses, ARIN's
# stub stays (the owner is the other registry) and the error says why.
FAILURES = [
    ("first-refuses", ("whois.arin.net",), ["23.1.0.5", "81.2.0.1"], 1,
     {"23.1.0.5": "connection refused", "81.2.0.1": "connection refused"}),
    ("referral-refuses", ("whois.lacnic.net",), ["23.1.0.5", "200.4.0.1", "81.2.0.1"], 0,
     {"200.4.0.1": "No answer: whois.lacnic.net could not be reached (connection refused)"}),
]


@pytest.mark.parametrize("side", ["native", "wine"])
@pytest.mark.parametrize("row", FAILURES, ids=lambda r: r[0])
def test_refusing_server(row, side, world, programs, cache_dir):
    if side not in programs.sides("ostrabel-cli"):
        pytest.skip("no Windows ostrabel-cli.exe")
    _, down, queries, status, errors = row
    build(world, down=down)
    run = batch(programs, side, queries, cache=cache_dir)
    assert run.status == status, run.out.decode()
    for r in rows(run.out):
        if r["query"] in errors:
            assert errors[r["query"]] in r["error"], r
            assert r["owner"] in ("", "Another registry"), r
        else:
            complete(r)
    up = [q for q in queries if "whois.arin.net" not in down]
    assert asked(world) == sorted(r for q in up for r in chain(q) if r.split(T)[0] not in down)


def test_formats(world, programs, cache_dir):
    """csv has the tsv's records in RFC 4180 form (the owner with a comma
    quoted); jsonl one --json object a line, the query's kind and summary."""
    build(world)
    queries = ["23.1.0.5", "81.2.0.1", "81.2.9.9"]
    tsv = rows(batch(programs, "native", queries, ["--no-cache"]).out)
    csv_run = batch(programs, "native", queries, ["--format", "csv", "--no-cache"])
    assert csv_run.status == 0
    assert b'"Owner One, Inc."' in csv_run.out
    table = list(csv.reader(io.StringIO(csv_run.out.decode(), newline="")))
    assert table[0] == COLUMNS and [dict(zip(COLUMNS, r)) for r in table[1:]] == tsv
    jsonl = batch(programs, "native", queries, ["--format", "jsonl", "--no-cache"])
    assert jsonl.status == 0
    objects = [json.loads(line) for line in jsonl.out.decode().splitlines()]
    assert [o["query"] for o in objects] == queries
    for o, n in zip(objects, (NETS[0], NETS[1], NETS[1])):
        f = o["summary"]
        assert (o["kind"], f["network"], f["owner"], f["country"], f["abuseContact"]) == \
            ("address", n.range, n.owner, n.country, n.abuse), o
    assert [o.get("cache", False) for o in objects] == [False, False, True]
    # Three runs without the cache: three times the same two chains.
    assert asked(world) == sorted(3 * (chain("23.1.0.5") + chain("81.2.0.1")))


def start(programs, args, cache, stdin=subprocess.DEVNULL):
    """The native client running in the background, its output in a file."""
    out = tempfile.TemporaryFile()
    proc = subprocess.Popen([str(programs.native["ostrabel-cli"]), "--pace", "20", *args],
                            stdin=stdin, stdout=out, stderr=subprocess.PIPE,
                            env=dict(os.environ, XDG_CACHE_HOME=str(cache)))
    return proc, out


def finish(proc, out, timeout=20) -> tuple[int | None, bytes]:
    try:
        status = proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        status = None
    proc.stderr.close()
    out.seek(0)
    data = out.read()
    out.close()
    return status, data


def test_stdin(world, programs, cache_dir):
    """--batch - reads the queries from standard input, as the file."""
    build(world)
    proc, out = start(programs, ["--batch", "-"], cache_dir, stdin=subprocess.PIPE)
    proc.stdin.write(("\n".join(QUERIES) + "\n").encode())
    proc.stdin.close()
    status, data = finish(proc, out)
    assert status == 0
    assert [r["query"] for r in rows(data)] == inputs()
    for r in rows(data):
        complete(r)
    assert asked(world) == sorted(sum((chain(q) for q in FIRSTS), []))


def test_sigint_mid_run(world, programs, cache_dir):
    """Ctrl+C while LACNIC holds a query: the records finished before it are
    written, the lines not yet read say "interrupted", exit status 1. The
    exchange under way is not cut short: the run ends when it does (within
    --timeout), its record with its own reason."""
    build(world, held="200.4.0.1")
    path = cache_dir / "in.txt"
    later = [f"23.1.{i // 200}.{i % 200 + 1}" for i in range(1000)]  # more than are read ahead
    path.write_text("\n".join(["23.1.0.5", "81.2.0.1", "200.4.0.1", *later]) + "\n")
    proc, out = start(programs, ["--batch", str(path), "--timeout", "3"], cache_dir)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and \
            not any(r.server == "whois.lacnic.net" for r in world.whois_log):
        time.sleep(0.05)
    assert any(r.server == "whois.lacnic.net" for r in world.whois_log), "LACNIC never asked"
    time.sleep(0.3)
    proc.send_signal(signal.SIGINT)
    started = time.monotonic()
    status, data = finish(proc, out, timeout=10)
    took = time.monotonic() - started
    print(f"  Ctrl+C ended the run in {took:.1f} s")
    assert took < 3 + 2, "Ctrl+C did not end the run within the exchange's limit"
    assert status == 1
    got = rows(data)
    assert [r["query"] for r in got] == ["23.1.0.5", "81.2.0.1", "200.4.0.1", *later]
    complete(got[0]), complete(got[1])
    assert got[2]["error"] in ("interrupted", "No answer: whois.lacnic.net sent nothing for 3 s."), \
        got[2]
    assert all(r["error"] == "interrupted" or r["country"] == "US" for r in got[3:])
    assert got[-1]["error"] == "interrupted"


def test_sigint_with_standard_input_open(world, programs, cache_dir):
    """Ctrl+C while standard input stays open (a terminal, a writer that
    lives on): the run ends all the same, what finished is written."""
    build(world)
    proc, out = start(programs, ["--batch", "-", "--timeout", "3"], cache_dir,
                      stdin=subprocess.PIPE)
    proc.stdin.write(b"23.1.0.5\n81.2.0.1\n")
    proc.stdin.flush()  # and never closed until the run has ended
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and len(world.whois_log) < 2:
        time.sleep(0.05)
    time.sleep(0.5)
    proc.send_signal(signal.SIGINT)
    started = time.monotonic()
    status, data = finish(proc, out, timeout=10)
    proc.stdin.close()
    print(f"  Ctrl+C with standard input open ended the run in {time.monotonic() - started:.1f} s")
    assert status == 1, "the run did not end on Ctrl+C while its input stayed open"
    assert [r["query"] for r in rows(data)] == ["23.1.0.5", "81.2.0.1"]


@pytest.mark.parametrize("side", ["native", "wine"])
def test_second_run_from_cache(side, world, programs, cache_dir):
    """A second run of the same batch makes no exchange: every record from
    the cache the first run wrote, the same columns but the source."""
    if side not in programs.sides("ostrabel-cli"):
        pytest.skip("no Windows ostrabel-cli.exe")
    build(world)
    first = batch(programs, side, QUERIES, cache=cache_dir)
    assert first.status == 0
    before = len(world.whois_log)
    name = f"again-{time.monotonic_ns()}.txt"
    (programs.bin / name).write_text("\n".join(QUERIES) + "\n")
    env = {"XDG_CACHE_HOME": str(cache_dir)} if side == "native" else None
    second = programs.run(side, "ostrabel-cli", ["--batch", name], env=env)
    (programs.bin / name).unlink()
    assert second.status == 0, second.err
    assert world.asked_whois(before) == []
    strip = lambda rs: [{k: v for k, v in r.items() if k != "source"} for r in rs]  # noqa: E731
    assert strip(rows(second.out)) == strip(rows(first.out))
    assert all(r["source"].startswith("cache") for r in rows(second.out))


def test_two_processes_share_the_cache(world, programs, cache_dir):
    """Two runs at once with the same cache: both complete, the cache file
    reads whole afterwards, and a third run of both batches asks nothing."""
    build(world)
    a = ["23.1.0.5", "81.2.0.1", "202.3.0.1", "105.5.0.1"]
    b = ["81.3.0.9", "200.4.0.1", "23.1.9.9", "105.5.8.8"]
    runs = []
    for queries in (a, b):
        path = cache_dir / f"in-{len(runs)}.txt"
        path.write_text("\n".join(queries) + "\n")
        runs.append(start(programs, ["--batch", str(path)], cache_dir))
    for (proc, out), queries in zip(runs, (a, b)):
        status, data = finish(proc, out)
        assert status == 0
        for r in rows(data):
            complete(r)
    cache_file = cache_dir / "ostrabel/rdap/batch-ranges.txt"
    lines = cache_file.read_text().splitlines()
    assert lines and all(isinstance(json.loads(line), dict) for line in lines)
    before = len(world.whois_log)
    both = cache_dir / "both.txt"
    both.write_text("\n".join(a + b + ["81.3.7.7"]) + "\n")
    proc, out = start(programs, ["--batch", str(both)], cache_dir)
    status, data = finish(proc, out)
    assert status == 0 and world.asked_whois(before) == []
    for r in rows(data):
        complete(r)
