"""Robustness of ostrabel-cli (native, and the Windows build under Wine)
against hostile WHOIS servers and corrupt server lists. Every run is
bounded in time and measured (wall time, peak resident memory); the figures
are printed, one line per run."""

from __future__ import annotations

import os
import re
import shutil
from dataclasses import dataclass
from pathlib import Path

import pytest

import netsim
from programs import records, stamp

MiB = 1 << 20
HANDLE = "H" * 10000  # a 10,000-character handle or host
NO_SERVER = b"I do not know the whois server for this domain extension"


@pytest.fixture(scope="module")
def samples():
    s = Path(os.environ["OSTRABEL_SAMPLES"])
    return {
        "arin_ripe": (s / "whois.arin.net/arin-net-130.66.76.222-ripe-erx-whois-referral.txt").read_bytes(),
        "ripe": (s / "whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt").read_bytes(),
        "registry": (s / "whois.crsnic.net/crsnic-google.net-2009.txt").read_bytes(),
        "uk": (s / "whois.nic.uk/uk-registered-2015.txt").read_bytes(),
    }


@pytest.fixture
def hostile(world, samples):
    """The hostile servers, at the hosts of the built-in list."""
    registry = samples["registry"]

    def referral(to: str) -> bytes:
        return re.sub(rb"Whois Server: .*", b"Whois Server: " + to.encode(), registry)

    # A file full of OrgID lines and an organisation record: merged, it
    # would be far larger than any answer.
    org_flood = b"OrgID:          FLOOD\n" * 100000
    org_record = b"OrgName: Flood\n" + b"".join(
        f"Address: {i} Long Street, Somewhere\n".encode() for i in range(1, 41))
    world.whois("whois.iana.org", {
        "big": netsim.big(100),
        "silent": netsim.slow(3, then_silent=True),
        "self": b"whois:        whois.iana.org\n",  # IANA naming itself
        "long": f"whois:        {HANDLE}\n",
    })
    world.whois("whois.verisign-grs.com", {
        # A registrar line naming the registry; a referral to a host that
        # does not resolve; one naming the registry itself.
        "domain regself.com": b"Registrar WHOIS Server: whois://whois.verisign-grs.com\n",
        "domain unresolvable.com": referral("whois.nowhere.invalid"),
        "domain self.com": referral("whois.verisign-grs.com"),
        "self.com": b"Second answer of the registry itself\n" + referral("whois.verisign-grs.com"),
        "*": registry,
    })
    world.whois("whois.arin.net", {
        # ARIN referring to a bad port or a 10,000-character host.
        "192.0.2.20": b"(NET-PARENT)\nReferralServer: whois://whois.ripe.net:70000\n",
        "192.0.2.21": f"(NET-PARENT)\nReferralServer: whois://{HANDLE}\n",
        "192.0.2.1": netsim.big(100),
        "130.66.76.222": samples["arin_ripe"],
        "192.0.2.8": org_flood,
        "! o + FLOOD": org_record,
        "192.0.2.2": netsim.slow(6),
        "192.0.2.12": netsim.slow(3, then_silent=True),
        "192.0.2.3": netsim.reset_after(samples["arin_ripe"], 1000),
        "192.0.2.13": samples["arin_ripe"],
        "192.0.2.4": netsim.garbage(64 * 1024),
        # A network list whose handle is 10,000 characters long.
        "192.0.2.7": f"NetRange:       192.0.2.0 - 192.0.2.255\nParent:         NET-192 ({HANDLE})\n",
        "*": b"No match found for the handle.\n",
    })
    world.whois("whois.ripe.net", {
        "130.66.76.222": netsim.big(100),
        "192.0.2.13": netsim.reset_after(samples["ripe"], 2000),
    })
    world.whois("whois.nic.uk", {"*": samples["uk"]})
    return world


@pytest.fixture(scope="module")
def lists(internet, programs):
    """Corrupt server lists, each in a folder beside a copy of each client."""
    root = internet.work / "lists"
    made = {}

    def folder(name: str, content: bytes) -> Path:
        d = root / name
        d.mkdir(parents=True, exist_ok=True)
        shutil.copy2(programs.native["ostrabel-cli"], d)
        if "ostrabel-cli.exe" in programs.windows:
            shutil.copy2(programs.windows["ostrabel-cli.exe"], d)
        (d / "whoislist.txt").write_bytes(content)
        made[name] = d
        return d

    # 50 MiB of records, the one that matters at the very end.
    line = b"k0000000:  whois.filler.test\r\n"
    folder("huge", (line * (50 * MiB // len(line) + 1))[: 50 * MiB - 64] +
           b"\r\nzz:   whois.nic.uk\r\n")
    # No line end anywhere: a record takes the rest of the text as its host.
    folder("no-line-ends", b"com:  whois.verisign-grs.com net:  whois.nic.uk")
    # Binary bytes: first without any NUL, with one record after them; then
    # with a NUL first, which leaves an empty table.
    folder("binary", netsim.garbage(1024 * 1024, nonul=True) + b"\r\nuk:   whois.nic.uk\r\n")
    folder("binary-nul", b"\0" + netsim.garbage(64 * 1024, nonul=True) +
           b"\r\ncom:  whois.verisign-grs.com\r\n")
    return made


@dataclass
class Row:
    """A run and its bounds. Pairs are (native, Windows under Wine): the
    time limit after which it is killed, the most seconds it may take, the
    most MiB it may hold. Then what the output must be: exactly OUT, or
    starting with STARTS, with HAS and without LACKS, SIZE bytes or fewer
    than BELOW, CR LF lines only, no NUL; and the requests as (host, length,
    request). SAME: both sides print the same bytes."""
    name: str
    args: list
    limit: tuple = (30, 30)
    status: int | None = 0
    faster: tuple | None = None
    slower: float | None = None
    memory: tuple | None = None
    out: bytes | str | None = None
    starts: bytes | None = None
    has: tuple = ()
    lacks: tuple = ()
    size: int | None = None
    below: int | None = None
    crlf: bool = False
    no_nul: bool = False
    requests: list | None = None
    same: bool = False
    folder: str | None = None  # a corrupt list's folder
    native_only: bool = False


ARIN, VERISIGN, UK, IANA = "whois.arin.net", "whois.verisign-grs.com", "whois.nic.uk", "whois.iana.org"


def asked(host, request):
    return (host, len(request), request)


SERVER_ROWS = [
    # 100 MiB from ARIN: reading stops at 16 MiB, which is shown as it came
    # (a failed first exchange is neither filtered nor headed). Memory stays
    # within a small multiple of the bound.
    Row("big", ["--raw", "192.0.2.1"], limit=(30, 90), faster=(15, 60), memory=(100, 100),
        size=16 * MiB, starts=b"Comment:        filler line 0 of", same=True),
    # 100 MiB from the server ARIN refers to: that exchange fails at the
    # bound and ARIN's answer stays.
    Row("big-referral", ["--raw", "130.66.76.222"], limit=(30, 90), faster=(15, 60),
        memory=(100, 100), starts=b"130.66.76.222\r\n\r\n", has=(b"RIPE-ERX-130-66-0-0",),
        below=MiB, same=True),
    # 100,000 OrgID lines: the organisation record is fetched once, the merge
    # that would exceed its bound is refused and the answer stays as it was.
    Row("org-flood", ["--raw", "192.0.2.8"], limit=(20, 60), faster=(10, 30), memory=(64, 64),
        requests=[asked(ARIN, "192.0.2.8"), asked(ARIN, "! o + FLOOD")], below=3 * MiB,
        lacks=(b"Long Street",), same=True),
    # One byte a second for six seconds, then a normal close: the answer is
    # read whole, however slowly it comes.
    Row("slow", ["--raw", "192.0.2.2"], slower=5, faster=(10, 15),
        out=b"192.0.2.2\r\n\r\nabcdef"),
    # Three bytes at one a second, then silence. With --timeout 2 the lookup
    # ends two seconds after the last byte (about 4 s in all) and keeps what
    # came; without a limit it would wait for ever (killed here after 8 s).
    Row("slow-silent", ["--raw", "--timeout", "2", "192.0.2.12"], slower=3.5, faster=(8, 12),
        out=b"abc"),
    Row("slow-silent-unbounded", ["--raw", "192.0.2.12"], limit=(8, 8), status=None,
        native_only=True),
    # A reset after 1000 bytes of ARIN's answer: exactly those bytes, as they
    # came; a reset from the server ARIN refers to leaves ARIN's answer.
    Row("reset", ["--raw", "192.0.2.3"], faster=(5, 10), out="arin_ripe[:1000]"),
    Row("reset-referral", ["--raw", "192.0.2.13"], faster=(5, 10), starts=b"192.0.2.13\r\n\r\n",
        has=(b"RIPE-ERX-130-66-0-0",), lacks=(b"BOUYGTEL",), crlf=True, same=True),
    # 64 KiB of binary garbage with NUL bytes: a NUL ends its chunk's text, so
    # nothing after it reaches the result; the rest passes the filter.
    Row("garbage", ["--raw", "192.0.2.4"], faster=(5, 10), starts=b"192.0.2.4\r\n\r\n",
        no_nul=True, crlf=True, below=128 * 1024, same=True),
    # A referral to a host that does not resolve: the registry's answer stays.
    Row("referral-unresolvable", ["--raw", "--no-convert-to-ip", "unresolvable.com"],
        faster=(5, 10), requests=[asked(VERISIGN, "domain unresolvable.com")],
        has=(b"Whois Server: whois.nowhere.invalid",), crlf=True, same=True),
    # A referral that names the registry itself: asked once more, without
    # the "domain " prefix, and no further, although the second answer names
    # the registry again.
    Row("referral-self", ["--raw", "--no-convert-to-ip", "self.com"], faster=(5, 10),
        requests=[asked(VERISIGN, "domain self.com"), asked(VERISIGN, "self.com")],
        starts=b"Second answer of the registry itself", same=True),
    # A parenthesised handle of 10,000 characters: sent whole as the next
    # query, and the answer to it is the result.
    Row("long-handle", ["--raw", "192.0.2.7"], faster=(5, 10),
        requests=[asked(ARIN, "192.0.2.7"), asked(ARIN, HANDLE)],
        out=b"192.0.2.7\r\n\r\nNo match found for the handle."),
    # The default chain: IANA sending 100 MiB (read to the 16 MiB bound),
    # silent (ended by --timeout) or naming a 10,000-character host: the
    # classic text stays, and IANA is the only server asked. IANA naming
    # itself is a registry like any other: asked the full name, to which it
    # says nothing here.
    *[Row(f"iana-{tld}", ["--raw", "--timeout", "2", "--no-convert-to-ip", f"example.{tld}"],
          limit=(30, 90), status=1, faster=(15, 60), memory=(100, 100),
          slower=3.5 if tld == "silent" else None, out=NO_SERVER, requests=[asked(IANA, tld)])
      for tld in ("big", "silent", "long")],
    Row("iana-self", ["--raw", "--timeout", "2", "--no-convert-to-ip", "example.self"],
        limit=(30, 90), status=1, faster=(15, 60), memory=(100, 100), out=b"",
        requests=[asked(IANA, "self"), asked(IANA, "example.self")]),
    # A registrar line naming the registry: one exchange with it, not two.
    Row("registrar-self", ["--raw", "--no-convert-to-ip", "regself.com"], status=None,
        requests=[asked(VERISIGN, "domain regself.com")]),
    # ARIN referring to port 70000 or to a 10,000-character host: not
    # followed; the handle is asked again as in the classic chain.
    *[Row(f"referral-{n}", ["--raw", f"192.0.2.{n}"],
          requests=[asked(ARIN, f"192.0.2.{n}"), asked(ARIN, "NET-PARENT")]) for n in (20, 21)],
]

LIST_ROWS = [
    # 50 MiB: the record at its very end is found, in bounded time and memory.
    Row("list-huge", ["--raw", "--no-convert-to-ip", "example.zz"], folder="huge",
        limit=(30, 60), faster=(10, 30), memory=(300, 400), requests=[asked(UK, "example.zz")],
        has=(b"google.co.uk",)),
    # No line ends: the last record works; an earlier one takes the rest of
    # the text as its host, which resolves nowhere (no request, no answer).
    Row("list-no-line-ends", ["--raw", "--no-convert-to-ip", "example.net"],
        folder="no-line-ends", requests=[asked(UK, "example.net")]),
    Row("list-no-line-ends-first", ["--raw", "--no-convert-to-ip", "example.com"],
        folder="no-line-ends", status=1, faster=(5, 10), out=b"", requests=[]),
    # Binary bytes: a record after them still counts; after a NUL nothing
    # does: the table is empty and only IANA is asked (it knows nothing here).
    Row("list-binary", ["--raw", "--no-convert-to-ip", "example.uk"], folder="binary",
        requests=[asked(UK, "example.uk")]),
    Row("list-binary-nul", ["--raw", "--no-convert-to-ip", "example.com"], folder="binary-nul",
        status=1, out=NO_SERVER, requests=[asked(IANA, "com")]),
]


def check(row: Row, hostile, programs, samples, folder: Path | None):
    outputs = {}
    sides = ["native"] if row.native_only else programs.sides("ostrabel-cli")
    for i, side in enumerate(sides):
        before = len(hostile.whois_log)
        run = programs.run(side, "ostrabel-cli", row.args, timeout=row.limit[0],
                           wine_timeout=row.limit[1], measure=True, where=folder)
        out = outputs[side] = records(run.out)
        status = "killed" if run.status is None else run.status
        print(f"  {row.name:24} {side:6} status={status!s:6} {run.ms / 1000:6.2f}s "
              f"{run.maxrss_kb // 1024:5} MiB  {len(out)} bytes out")
        where = f"{row.name} ({side})"
        if row.status is not None or row.native_only:
            assert run.status == row.status, (where, run.err[:300])
        if row.faster:
            assert run.ms < row.faster[i] * 1000, f"{where}: took {run.ms} ms"
        if row.slower:
            assert run.ms >= row.slower * 1000, f"{where}: took {run.ms} ms"
        if row.memory:
            assert run.maxrss_kb // 1024 < row.memory[i], f"{where}: {run.maxrss_kb} kB"
        if row.out is not None:
            want = samples["arin_ripe"][:1000] if row.out == "arin_ripe[:1000]" else row.out
            assert out == want, (where, out[:80])
        if row.starts is not None:
            assert out.startswith(row.starts), (where, out[:80])
        for piece in row.has:
            assert piece in out, (where, piece)
        for piece in row.lacks:
            assert piece not in out, (where, piece)
        if row.size is not None:
            assert len(out) == row.size, where
        if row.below is not None:
            assert len(out) < row.below, where
        if row.crlf:
            assert not re.search(rb"(?<!\r)\n", out), f"{where}: a bare line feed"
        if row.no_nul:
            assert b"\0" not in out, where
        if row.requests is not None:
            got = [(r.server, len(r.request), r.request) for r in hostile.whois_log[before:]]
            assert got == row.requests, (where, [g[:2] for g in got])
    if row.same and "wine" in outputs:
        assert outputs["wine"] == outputs["native"], f"{row.name}: Windows output differs"


@pytest.mark.parametrize("row", SERVER_ROWS, ids=lambda r: r.name)
def test_hostile_server(row, hostile, programs, samples, wine_start):
    check(row, hostile, programs, samples, None)


def test_corrupt_lists(hostile, programs, samples, lists, wine_start):
    """Each list keeps its bytes and its modification time through the lookups."""
    before = {name: stamp(folder / "whoislist.txt") for name, folder in lists.items()}
    failures = []
    for row in LIST_ROWS:
        try:
            check(row, hostile, programs, samples, lists[row.folder])
        except AssertionError as e:
            failures.append(f"{row.name}: {e}")
    for name, folder in lists.items():
        assert stamp(folder / "whoislist.txt") == before[name], f"{name}/whoislist.txt was changed by a lookup"
    assert not failures, "\n".join(failures)
