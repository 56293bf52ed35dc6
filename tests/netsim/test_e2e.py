"""ostrabel-cli end to end (native, and the Windows build under Wine) against
fake WHOIS servers that replay recorded answers. For --raw lookups the
in-process driver, fed the same table, must print the same bytes."""

from __future__ import annotations

import os
import re
from dataclasses import dataclass
from pathlib import Path

import pytest

import netsim
from programs import records

SILENT = ":silent"  # takes the request and never answers


@pytest.fixture(scope="module")
def answers(internet):
    """The WHOIS table of every row: (host[:port], request, file or SILENT)."""
    samples = Path(os.environ["OSTRABEL_SAMPLES"])
    a = internet.work / "e2e-answers"
    a.mkdir(exist_ok=True)
    # Today's ARIN writes "OrgId:"; the organisation follow-up looks for the
    # older "OrgID:". The organisation's own record is the org block of the
    # same answer (ARIN's organisation answer has the same fields).
    arin = (samples / "whois.arin.net/arin-net-4.2.2.1-level3-no-referral.txt").read_text()
    (a / "arin-orgid.txt").write_text(re.sub(r"(?m)^OrgId:", "OrgID:", arin))
    (a / "arin-org-LVLT.txt").write_text(arin[re.search(r"(?m)^OrgName:", arin).start():])
    # IANA names the server of a TLD the list lacks; ARIN refers an African
    # network to AFRINIC by its "ReferralServer:" line.
    (a / "iana-xyz.txt").write_text("domain:       XYZ\n\nwhois:        whois.nic.xyz\n")
    (a / "nic-xyz.txt").write_text("Domain Name: EXAMPLE.XYZ\nRegistrar: Example Registrar\n")
    (a / "arin-afrinic.txt").write_text(
        "NetName:        NET105\nOrg:   (AFRINIC)\nReferralServer:  whois://whois.afrinic.net\n")
    (a / "denic-parked.txt").write_text("Domain: parked.de\nStatus: connect\n")
    s = samples
    table = [
        ("whois.verisign-grs.com", "domain google.net", s / "whois.crsnic.net/crsnic-google.net-2009.txt"),
        ("whois.markmonitor.com", "google.net", s / "whois.markmonitor.com/markmonitor-registered-2011.txt"),
        ("whois.arin.net", "144.134.121.81", s / "whois.arin.net/arin-net-144.134.121.81-apnic-erx.txt"),
        ("whois.apnic.net", "144.134.121.81", s / "whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt"),
        ("whois.arin.net", "130.66.76.222", s / "whois.arin.net/arin-net-130.66.76.222-ripe-erx-whois-referral.txt"),
        ("whois.ripe.net", "130.66.76.222", s / "whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt"),
        ("whois.arin.net", "174.0.0.1", s / "whois.arin.net/arin-net-174-shaw-rwhois-referral.txt"),
        ("whois.arin.net", "192.0.2.1", a / "arin-orgid.txt"),
        ("whois.arin.net", "! o + LVLT", a / "arin-org-LVLT.txt"),
        ("whois.alt.test", "*", s / "whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt"),
        ("whois.alt.test:4343", "*", s / "whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt"),
        ("silent.test", "*", SILENT),
        ("whois.pir.org", "*", SILENT),
        ("whois.iana.org", "xyz", a / "iana-xyz.txt"),
        ("whois.nic.xyz", "example.xyz", a / "nic-xyz.txt"),
        ("whois.verisign-grs.com", "domain google.com", s / "whois.verisign-grs.com/verisign-google.com-2017.txt"),
        ("whois.markmonitor.com", "google.com", s / "whois.markmonitor.com/markmonitor-google.com-2013.txt"),
        ("whois.arin.net", "105.158.0.1", a / "arin-afrinic.txt"),
        ("whois.afrinic.net", "105.158.0.1", s / "whois.afrinic.net/afrinic-inetnum-105.158.0.0-maroc-telecom.txt"),
        ("whois.denic.de", "xn--bcher-kva.de", s / "whois.denic.de/denic-registered-2013.txt"),
        ("whois.denic.de", "parked.de", a / "denic-parked.txt"),
    ]
    # The same table for the in-process driver (HOST TAB REQUEST TAB FILE).
    conf = a / "answers.conf"
    conf.write_text("".join(f"{h}\t{r}\t{f}\n" for h, r, f in table))
    return table, conf


@pytest.fixture
def replay(world, answers):
    """The table's servers; a name that "Convert To IP" resolves; a host
    where nothing listens."""
    table, _ = answers
    servers: dict[tuple[str, int], dict] = {}
    for host, request, answer in table:
        name, _, port = host.partition(":")
        servers.setdefault((name, int(port or 43)), {})[request] = \
            netsim.silent(30) if answer == SILENT else answer
    for (name, port), table in servers.items():
        world.whois(name, table, port)
    world.hosts.pin("host.example.test", "192.0.2.1")
    world.hosts.address("refused.test")
    return world


@dataclass
class Row:
    """A lookup and what must come of it: the exit status, the WHOIS
    requests (native run), pieces the output has and lacks, standard error
    (exactly "ostrabel-cli: ERR", empty when ""), and the bounds of its time
    in ms. Every side prints the same bytes; wine=False runs native only."""
    name: str
    status: int
    args: list
    requests: list | None = None
    has: tuple = ()
    lacks: tuple = ()
    err: str = ""
    wine: bool = True
    empty: bool = False
    took: tuple | None = None


def modes(name, status, classic_status, requests, classic_requests, args, **kw):
    """The lookup in the default mode and with --classic (NAME-classic)."""
    return [Row(name, status, args, requests, **kw),
            Row(f"{name}-classic", classic_status, ["--classic", *args], classic_requests)]


T = "\t"
ROWS = [
    # A domain: the .net registry refers to the registrar's server.
    Row("domain", 0, ["--no-convert-to-ip", "google.net"],
        [f"whois.verisign-grs.com{T}domain google.net", f"whois.markmonitor.com{T}google.net"],
        has=("Registrar Whois: whois.markmonitor.com",), lacks=("Whois Server Version 2.0",)),
    Row("domain-raw", 0, ["--raw", "--no-convert-to-ip", "google.net"]),
    # ARIN refers to APNIC (whose copyright header is cut) and to RIPE.
    Row("apnic", 0, ["144.134.121.81"],
        [f"whois.arin.net{T}144.134.121.81", f"whois.apnic.net{T}144.134.121.81"],
        has=("netname:        STARHUBINTERNET-SG",), lacks=("dbcopyright",)),
    Row("apnic-raw", 0, ["--raw", "144.134.121.81"]),
    Row("ripe-raw", 0, ["--raw", "130.66.76.222"],
        [f"whois.arin.net{T}130.66.76.222", f"whois.ripe.net{T}130.66.76.222"],
        has=("BOUYGTEL-ISP-CABLE",)),
    # A network list: ARIN is asked again for the last handle (nothing known).
    Row("handle-raw", 0, ["--raw", "174.0.0.1"],
        [f"whois.arin.net{T}174.0.0.1", f"whois.arin.net{T}SHAWC"]),
    # The organisation record, and the same lookup by name ("Convert To IP").
    Row("org-raw", 0, ["--raw", "192.0.2.1"],
        [f"whois.arin.net{T}192.0.2.1", f"whois.arin.net{T}! o + LVLT"],
        # The record from "Address:" on, its ": " widened, filtered twice
        # (CR CR LF), then the OrgID line.
        has=("\r\nAddress:           1025 Eldorado Blvd.\r\r\nCity:",
             "/whois_tou.html\r\r\n#\r\nOrgID:          LVLT\r\nAddress:")),
    Row("org", 0, ["192.0.2.1"]),
    Row("by-name-raw", 0, ["--raw", "host.example.test"]),
    # Failures in both modes: no server for the extension (IANA knows none),
    # a name that does not resolve.
    *modes("unknown-tld", 1, 1, [f"whois.iana.org{T}zz"], [], ["--no-convert-to-ip", "example.zz"],
           has=("I do not know the whois server for this domain extension",)),
    *modes("unresolvable", 1, 1, [f"whois.iana.org{T}test"], [], ["--raw", "nowhere.example.test"],
           has=("Unable to resolve host",)),
    # Today's Internet: the default finds the owner, --classic asks what it always asked.
    *modes("iana", 0, 1, [f"whois.iana.org{T}xyz", f"whois.nic.xyz{T}example.xyz"], [],
           ["--raw", "--no-convert-to-ip", "example.xyz"]),
    *modes("registrar", 0, 0,
           [f"whois.verisign-grs.com{T}domain google.com", f"whois.markmonitor.com{T}google.com"],
           [f"whois.verisign-grs.com{T}domain google.com"], ["--raw", "--no-convert-to-ip", "google.com"],
           has=("Registrant Organization: Google Inc.",)),
    *modes("afrinic", 0, 0, [f"whois.arin.net{T}105.158.0.1", f"whois.afrinic.net{T}105.158.0.1"],
           [f"whois.arin.net{T}105.158.0.1", f"whois.arin.net{T}AFRINIC"], ["--raw", "105.158.0.1"],
           has=("MAROC TELECOM",)),
    *modes("idn", 0, 1, [f"whois.denic.de{T}xn--bcher-kva.de"], [f"whois.denic.de{T}bücher.de"],
           ["--no-convert-to-ip", "bücher.de"]),
    *modes("parked", 0, 1, [f"whois.denic.de{T}parked.de"], [], ["--raw", "parked.de"]),
    # -h, -p, --timeout. A server the program knows: its notice is cut as in
    # a lookup, but nothing else happens (no referral, no heading).
    Row("h-known", 0, ["-h", "whois.apnic.net", "--raw", "144.134.121.81"],
        [f"whois.apnic.net{T}144.134.121.81"], lacks=("dbcopyright",)),
    # Port 43 of a server the program does not know.
    Row("h-unknown", 0, ["-h", "whois.alt.test", "130.66.76.222"],
        [f"whois.alt.test{T}130.66.76.222"], has=("BOUYGTEL-ISP-CABLE",), wine=False),
    # Another port, written in -h, given with -p, and -h's port winning over -p.
    Row("h-port", 0, ["-h", "whois.alt.test:4343", "171.0.0.1"],
        [f"whois.alt.test:4343{T}171.0.0.1"], has=("STARHUBINTERNET-SG", "dbcopyright")),
    Row("h-p", 0, ["-p", "4343", "--no-convert-to-ip", "-h", "whois.alt.test", "--", "-T"],
        [f"whois.alt.test:4343{T}-T"], wine=False),
    Row("h-port-wins", 0, ["--raw", "-h", "whois.alt.test:4343", "--timeout", "5", "-p", "43",
                           "171.0.0.1"], [f"whois.alt.test:4343{T}171.0.0.1"], wine=False),
    # Nothing listens, and a name that does not resolve: one line, status 1.
    Row("h-refused", 1, ["-h", "refused.test", "192.0.2.1"],
        err="cannot reach refused.test:43 (connection refused)", empty=True),
    Row("h-unresolvable", 1, ["--host=nowhere.example.test", "--port=4343", "192.0.2.1"],
        err="cannot reach nowhere.example.test:4343 (unknown host)", empty=True),
    Row("p-without-h", 2, ["-p", "4343", "192.0.2.1"], wine=False,
        err="-p needs -h (lookups without -h always use port 43) (try --help)"),
    # A server that takes the query and never answers: the limit ends the
    # wait, for -h and for a lookup whose registry is silent.
    Row("h-silent", 1, ["--timeout", "2", "-h", "silent.test", "--raw", "192.0.2.77"],
        [f"silent.test{T}192.0.2.77"], err="timed out after 2 s waiting for silent.test:43",
        empty=True, took=(1900, 5000)),
    Row("chain-silent", 1, ["--no-convert-to-ip", "--timeout=1.5", "--raw", "example.org"],
        [f"whois.pir.org{T}example.org"], empty=True, took=(1400, 4500)),
    # A limit that is not reached changes nothing in a lookup.
    Row("ripe-timeout", 0, ["130.66.76.222", "--timeout=5", "--raw"], wine=False),
]
BY_NAME = {r.name: r for r in ROWS}


@pytest.fixture(scope="module")
def outputs():
    """The records of every row run so far (native), for rows that compare."""
    return {}


@pytest.fixture(scope="module")
def whole():
    """The whole native output of every row run so far, summary included."""
    return {}


def driver(programs, conf: Path, args: list) -> bytes:
    """What the in-process driver makes of the same lookup."""
    convert = "--no-convert-to-ip" if "--no-convert-to-ip" in args else "--convert-to-ip"
    classic = ["--classic"] if "--classic" in args else []
    query = [a for a in args if not a.startswith("--")][-1]
    return programs.run("native", "e2e_driver_replay", [str(conf), convert, *classic, query]).out


@pytest.mark.parametrize("row", ROWS, ids=lambda r: r.name)
def test_lookup(row, replay, answers, programs, outputs, whole, wine_start):
    before = len(replay.whois_log)
    native = programs.run("native", "ostrabel-cli", row.args)
    whole[row.name] = native.out
    native.out = records(native.out)
    outputs[row.name] = native.out
    assert native.status == row.status, native.err
    want_err = f"ostrabel-cli: {row.err}\n".encode() if row.err else b""
    assert native.err == want_err
    if row.requests is not None:
        assert replay.asked_whois(before) == row.requests
    text = native.out.decode("utf-8", "replace")
    for piece in row.has:
        assert piece in text, piece
    for piece in row.lacks:
        assert piece not in text, piece
    if row.empty:
        assert native.out == b""
    direct = any(a.startswith(("-h", "--host", "-p")) for a in row.args)
    if "--raw" in row.args and not direct:
        assert records(driver(programs, answers[1], row.args)) == native.out, \
            "the in-process driver differs"
    if row.took:
        print(f"  {row.name}: native {native.ms} ms")
        assert row.took[0] <= native.ms <= row.took[1]
    if row.wine and "wine" in programs.sides("ostrabel-cli"):
        # A UTF-8 locale: Wine hands a name typed in UTF-8 to the program in
        # the system code page, as a window would.
        win = programs.run("wine", "ostrabel-cli", row.args, env={"LC_ALL": "C.UTF-8"})
        assert win.status == row.status
        assert records(win.out) == native.out, "Windows output differs from native"
        if direct or row.err or row.took:
            # Standard error is a text stream on Windows: its line end is CR LF.
            assert win.err.replace(b"\r", b"") == want_err
        if row.took:
            print(f"  {row.name}: Windows {win.ms} ms (Wine starts in {wine_start} ms)")
            assert row.took[0] <= win.ms <= row.took[1] + wine_start


def output_of(name, programs, outputs, whole=None) -> bytes:
    """Row NAME's records (or its whole output, with WHOLE)."""
    if name not in outputs:
        out = programs.run("native", "ostrabel-cli", BY_NAME[name].args).out
        outputs[name] = records(out)
        if whole is not None:
            whole[name] = out
    return (whole or outputs)[name]


def test_related_outputs(replay, programs, outputs, whole):
    """What rows print, compared with each other; the owner summary above
    the records and the reason line of a chain that got no answer."""
    out = lambda name: output_of(name, programs, outputs)  # noqa: E731
    assert output_of("apnic", programs, outputs, whole).split(b"\n")[:7] == [
        b"Network:       171.0.0.0 - 171.1.255.255", b"Name:          STARHUBINTERNET-SG",
        b"Owner:         Starhub Ltd.", b"Country:       SG",
        b"Abuse contact: abuse@starhub.com",
        b"Source:        WHOIS whois.arin.net, whois.apnic.net", b""], "apnic: the summary"
    assert output_of("chain-silent", programs, outputs, whole).rstrip(b"\n") == \
        b"No answer: whois.pir.org sent nothing for 1.5 s.", "chain-silent: the reason line"
    assert b"144.134.121.81" in out("apnic")[:60].split(b"\n"), "apnic: heading missing"
    assert out("by-name-raw").startswith(b"host.example.test:192.0.2.1"), \
        "by-name-raw: heading is not NAME:ADDRESS"
    assert out("unresolvable") == out("unresolvable-classic"), "unresolvable: modes differ"
    # -h at a known server: exactly the APNIC part of the lookup through ARIN.
    assert out("apnic-raw")[:18] == b"144.134.121.81\r\n\r\n", "apnic-raw: no heading to take off"
    assert out("apnic-raw")[18:] == out("h-known"), "h-known: differs from the full lookup's"
    assert out("h-p") == out("h-port"), "h-p: a different answer than h-port"
    assert out("h-port-wins").replace(b"\r", b"") == out("h-port")[:-1], \
        "h-port-wins: --raw is not the same answer with CR LF"
    assert out("ripe-timeout") == out("ripe-raw"), "ripe-timeout: differs from ripe-raw"


def test_verbose(replay, programs, outputs):
    """--verbose: the same standard output, and standard error tells why."""
    run = programs.run("native", "ostrabel-cli",
                       ["--verbose", "--raw", "--no-convert-to-ip", "example.xyz"])
    assert records(run.out) == output_of("iana", programs, outputs)
    for line in ("ostrabel-cli: extension: IANA names whois.nic.xyz for .xyz",
                 'ostrabel-cli: whois whois.nic.xyz:43 "example.xyz": 54 bytes, completed, '):
        assert line in run.err.decode(), run.err
