"""RDAP end to end: ostrabel-cli (native, and the Windows build under Wine)
and the real ostrabel.exe window, against fake WHOIS servers and HTTPS
servers for the RDAP hosts and data.iana.org.

Each test builds a world (which WHOIS servers answer what, which HTTPS
routes exist, which host shows a certificate from an unknown authority),
runs a lookup on every side and checks what it printed and exactly which
requests the servers saw. Every side must print the same bytes."""

from __future__ import annotations

import os
import re
import shutil
from dataclasses import dataclass, field
from pathlib import Path

import pytest

from netsim import Response
from programs import SETTINGS_KEY, Probe, records

HERE = Path(__file__).parent
RDAP_HOSTS = ["pubapi.registry.google", "rdap.registrar.example", "rdap.verisign.com",
              "rdap.arin.net", "rdap.db.ripe.net", "rdap.nic.zz", "data.iana.org",
              "rdap.identitydigital.services", "rdap.nic.ch", "rdap.iana.org", "rdap.nic.tv"]
# WHOIS hosts that are no server role: a .tv-style thin registry and a
# registrar (whose port 43 stays closed unless a row opens it).
WHOIS_HOSTS = ["tvwhois.verisign-grs.com", "whois.registrar.example"]
BOOTSTRAP = ["dns", "ipv4", "ipv6", "asn"]
DEV_REGISTRY = "https://pubapi.registry.google/rdap/domain/example.dev"
DEV_REGISTRAR = "https://rdap.registrar.example/domain/example.dev"
RDAP_JSON = "application/rdap+json"


def sed_first(text: str, old: str, new: str) -> str:
    """OLD replaced by NEW once per line."""
    return "\n".join(line.replace(old, new, 1) for line in text.split("\n"))


def thin(domain: str) -> str:
    """A thin registry's record: the registrar's name and WHOIS server, no owner."""
    return (f"Domain Name: {domain}\r\nRegistrar WHOIS Server: whois.registrar.example\r\n"
            f"Registrar: Example Registrar, LLC\r\n")


def iana_no_whois(tld: str) -> bytes:
    """IANA's answer for a TLD without a WHOIS server."""
    return (f"% IANA WHOIS server\n\ndomain:       {tld}\n\nwhois:        \n\n"
            f"status:       ACTIVE\n").encode()


@pytest.fixture(scope="module")
def files(internet):
    """The answers: the fixtures of the RDAP unit tests and of this area,
    a domain record renamed for .zz and .com, and IANA's bootstrap files
    (the built-in ones; its dns.json with one TLD more, .zz)."""
    f = internet.work / "rdap-files"
    f.mkdir(exist_ok=True)
    for fixture in [*(HERE.parent / "rdap" / "fixtures").glob("*.json"),
                    *(HERE / "fixtures").glob("*.json")]:
        shutil.copy(fixture, f)
    registrar = (f / "domain_registrar.json").read_text()
    for tld in ("ZZ", "COM", "CH", "INFO"):
        (f / f"domain_{tld.lower()}.json").write_text(sed_first(registrar, "EXAMPLE.DEV", f"EXAMPLE.{tld}"))
    registry = (f / "domain_registry.json").read_text()
    (f / "registry_com.json").write_text(
        registry.replace("example.dev", "example.com").replace("EXAMPLE.DEV", "EXAMPLE.COM"))
    texts = {
        "whois-dev.txt": "Domain Name: EXAMPLE.DEV\nRegistrar: WHOIS Registrar\n",
        # Port 43 of a registry that has left it: one sentence and a time stamp.
        "whois-unsupported.txt": "TLD is not supported.\r\n>>> Last update of WHOIS database: "
                                 "2026-12-07T10:00:00Z <<<\r\n",
        "whois-thin-com.txt": thin("EXAMPLE.COM"),
        "whois-thin-tv.txt": thin("EXAMPLE.TV"),
        "whois-registrar-tv.txt": "Domain Name: EXAMPLE.TV\r\nRegistrant Name: Anna Mueller\r\n"
                                  "Registrant City: Berlin\r\n",
        "iana-int.txt": "% IANA WHOIS server\n\ndomain:       INT\n\nwhois:        whois.iana.org\n\n"
                        "status:       ACTIVE\n",
        "iana-nato.txt": "% IANA WHOIS server\n\ndomain:       NATO.INT\n\n"
                         "organisation: North Atlantic Treaty Organization\n",
        "iana-tv.txt": "% IANA WHOIS server\n\ndomain:       TV\n\nwhois:        "
                       "tvwhois.verisign-grs.com\n\nstatus:       ACTIVE\n",
    }
    for name, content in texts.items():
        (f / name).write_text(content)
    snapshot = Path(os.environ["OSTRABEL_RDAP_DATA"])
    (f / "snapshot").mkdir(exist_ok=True)
    (f / "iana").mkdir(exist_ok=True)
    for name in BOOTSTRAP:
        shutil.copy(snapshot / f"{name}.json", f / "snapshot")
        shutil.copy(snapshot / f"{name}.json", f / "iana")
    dns = (snapshot / "dns.json").read_text()
    served = re.sub(r'"services": *\[', lambda m: m[0] + '[["zz"], ["https://rdap.nic.zz/"]],',
                    dns, count=1)
    assert "rdap.nic.zz" in served
    (f / "iana" / "dns.json").write_text(served)
    return f


@dataclass
class Side:
    out: bytes
    err: bytes
    ms: int
    whois: list
    https: list


@dataclass
class Rdap:
    """One test's world and the lookups made in it."""
    world: object
    internet: object
    programs: object
    files: Path
    rogue_host: str = ""
    cache: str = "seeded"  # seeded (the built-in files, fresh), empty or keep
    started: bool = False
    runs: dict = field(default_factory=dict)

    def sides(self):
        return self.programs.sides("ostrabel-cli")

    def whois(self, host, answers):
        self.world.whois(host, {k: self.files / v if isinstance(v, str) else v
                                for k, v in answers.items()})

    def route(self, host, path, status, body=None, *headers, silent=False):
        body = self.files / body if isinstance(body, str) else (body or b"")
        self.world.route(host, path, Response(status, body, headers, silent=silent))

    def start(self):
        """Every RDAP host listens, with the test authority's certificate
        (or the rogue one's); routes and WHOIS servers may follow."""
        if not self.started:
            for host in RDAP_HOSTS:
                self.world.https(host, self.internet.cert(host, "rogue-ca" if host == self.rogue_host
                                                           else "ca"))
            for host in WHOIS_HOSTS:
                self.world.hosts.address(host)
            self.started = True

    def cache_dir(self, side: str) -> Path:
        if side == "native":
            return self.internet.work / "xdg-cache" / "ostrabel" / "rdap"
        return self.wine_local() / "Ostrabel" / "rdap"

    def wine_local(self) -> Path:
        if not hasattr(self.internet, "local_app_data"):
            self.internet.local_app_data = self.internet.wine.unix_path("LOCALAPPDATA")
        return self.internet.local_app_data

    def prepare_cache(self, side: str) -> None:
        folder = self.cache_dir(side)
        if self.cache == "keep":
            return
        shutil.rmtree(folder, ignore_errors=True)
        if self.cache == "seeded":
            folder.mkdir(parents=True)
            for name in BOOTSTRAP:
                shutil.copy(self.files / "snapshot" / f"{name}.json", folder)

    def lookup(self, name: str, want: int, *args: str) -> bytes:
        """ostrabel-cli ARGS on every side: exit status WANT, RDAP requests
        with the RDAP Accept header, nothing on native stderr (but with
        --verbose), the same bytes everywhere. Returns the native output."""
        self.start()
        for side in self.sides():
            self.prepare_cache(side)
            w, h = len(self.world.whois_log), len(self.world.https_log)
            env = {"XDG_CACHE_HOME": str(self.internet.work / "xdg-cache")} if side == "native" \
                else {"LC_ALL": "C.UTF-8"}
            result = self.programs.run(side, "ostrabel-cli", list(args), env=env)
            self.runs[(name, side)] = Side(records(result.out), result.err, result.ms,
                                           self.world.asked_whois(w), self.world.asked_https(h))
            assert result.status == want, (name, side, result.err)
            wrong = [r for r in self.world.https_log[h:]
                     if r.host != "data.iana.org" and r.accept != RDAP_JSON]
            assert not wrong, f"{name} ({side}): RDAP requests without the RDAP Accept: {wrong}"
        native = self.runs[(name, "native")]
        if "--verbose" not in args:
            assert native.err == b"", name
        if "wine" in self.sides():
            assert self.runs[(name, "wine")].out == native.out, f"{name}: Windows differs"
        return native.out

    def asked(self, name, whois=None, https=None):
        """Exactly these WHOIS requests ("HOST<TAB>REQUEST", in order) and
        HTTPS requests ("HOST PATH", any order), on every side."""
        for side in self.sides():
            run = self.runs[(name, side)]
            if whois is not None:
                assert run.whois == whois, (name, side)
            if https is not None:
                assert run.https == sorted(https), (name, side)


@pytest.fixture
def rdap(world, internet, programs, files):
    return Rdap(world, internet, programs, files)


def text(out: bytes) -> str:
    return out.decode("utf-8", "replace")


def first_line(out: bytes) -> str:
    return text(out).split("\n")[0].rstrip("\r")


def has(out: bytes, *pieces: str) -> None:
    for piece in pieces:
        assert piece in text(out), piece


def dev_world(r: Rdap) -> None:
    """IANA names no WHOIS server for .dev; the registry and the registrar
    answer RDAP."""
    r.whois("whois.iana.org", {"dev": iana_no_whois("DEV")})
    r.route("pubapi.registry.google", "/rdap/domain/example.dev", 200, "domain_registry.json",
            "Content-Type: application/rdap+json")
    r.route("rdap.registrar.example", "/domain/example.dev", 200, "domain_registrar.json")


def ripe_world(r: Rdap) -> None:
    """An address whose WHOIS is unreachable (nothing on ARIN's port 43):
    ARIN's RDAP redirects to RIPE's."""
    r.route("rdap.arin.net", "/registry/ip/130.66.76.222", 302, None,
            "Location: https://rdap.db.ripe.net/ip/130.66.76.222")
    r.route("rdap.db.ripe.net", "/ip/130.66.76.222", 200, "ip_ripe.json")


DEV_HTTPS = ["pubapi.registry.google /rdap/domain/example.dev",
             "rdap.registrar.example /domain/example.dev"]


def test_rdap_only_tld(rdap):
    """The registry's record, then the registrar's; --classic asks nothing
    of RDAP; --rdap asks no WHOIS server; a failing registry keeps the
    classic result byte for byte, and --verbose says why."""
    dev_world(rdap)
    out = rdap.lookup("dev", 0, "--raw", "example.dev")
    assert first_line(out) == f"RDAP: {DEV_REGISTRY}"
    has(out, "Example Registrar, LLC", "Anna Müller", "Hauptstraße 5",
        "ns-cloud-a1.googledomains.com", f"RDAP: {DEV_REGISTRAR}")
    assert "By querying our database" not in text(out)
    rdap.asked("dev", [], DEV_HTTPS)  # RDAP first: a server is known for .dev
    lines = out.split(b"\n")[:-1]
    registrar_at = next(i for i, l in enumerate(lines) if l.startswith(f"RDAP: {DEV_REGISTRAR}".encode()))
    assert registrar_at + 1 > 3, "the registrar's record does not follow the registry's"
    assert all(l.endswith(b"\r") for l in lines), "a line does not end in CR LF"

    classic = rdap.lookup("dev-classic", 1, "--classic", "example.dev")
    rdap.asked("dev-classic", [], [])
    assert "RDAP:" not in text(classic)

    rdap.whois("whois.verisign-grs.com", {"*": "whois-dev.txt"})
    out = rdap.lookup("dev-rdap", 0, "--rdap", "--rdap-notices", "example.dev")
    assert first_line(out) == f"RDAP: {DEV_REGISTRY}"
    has(out, "By querying our database", "Anna Müller")
    rdap.asked("dev-rdap", [], DEV_HTTPS)


def test_registry_error_keeps_classic(rdap):
    rdap.whois("whois.iana.org", {"dev": iana_no_whois("DEV")})
    classic = rdap.lookup("dev-classic", 1, "--classic", "example.dev")
    rdap.route("pubapi.registry.google", "/rdap/domain/example.dev", 500, b"internal error")
    out = rdap.lookup("dev-500", 1, "--verbose", "example.dev")
    assert out == classic
    rdap.asked("dev-500", https=["pubapi.registry.google /rdap/domain/example.dev"])
    for side in rdap.sides():
        err = text(rdap.runs[("dev-500", side)].err)
        assert re.search(r"^ostrabel-cli: rdap: pubapi.registry.google: .*500", err, re.M), (side, err)


def test_unknown_name(rdap):
    """The registry knows no such name: one line naming the server and the query."""
    rdap.whois("whois.iana.org", {"dev": iana_no_whois("DEV")})
    out = rdap.lookup("dev-404", 1, "nosuch.dev")  # printed, but no record
    assert len([l for l in text(out).split("\n") if l]) == 1, out
    has(out, "No match", "nosuch.dev", "pubapi.registry.google")
    rdap.asked("dev-404", https=["pubapi.registry.google /rdap/domain/nosuch.dev"])


def test_silent_whois_registry(rdap):
    """A registry whose port 43 takes the question and closes without a
    word: RDAP first, so port 43 is not asked at all."""
    rdap.whois("whois.verisign-grs.com", {"domain other.com": "whois-dev.txt"})
    rdap.route("rdap.verisign.com", "/com/v1/domain/example.com", 200, "domain_com.json")
    out = rdap.lookup("com", 0, "example.com")
    assert first_line(out) == "RDAP: https://rdap.verisign.com/com/v1/domain/example.com"
    has(out, "EXAMPLE.COM", "Anna Müller")
    rdap.asked("com", [], ["rdap.verisign.com /com/v1/domain/example.com"])


# Registries and registrars that have left port 43. Each world: the default
# mode finds the owner over RDAP, the classic chain shows what port 43 says.
def info_world(r: Rdap) -> None:
    """.info's port 43 answers only "TLD is not supported."."""
    r.whois("whois.nic.info", {"example.info": "whois-unsupported.txt"})
    r.route("rdap.identitydigital.services", "/rdap/domain/example.info", 200, "domain_info.json")


def thin_com_world(r: Rdap) -> None:
    """The registry's thin record names a registrar whose port 43 is closed."""
    r.whois("whois.verisign-grs.com", {"domain example.com": "whois-thin-com.txt"})
    r.route("rdap.verisign.com", "/com/v1/domain/example.com", 200, "registry_com.json")
    r.route("rdap.registrar.example", "/domain/example.com", 200, "domain_com.json")


def ch_world(r: Rdap) -> None:
    """.ch: an RDAP server only the built-in extra list knows."""
    r.route("rdap.nic.ch", "/domain/example.ch", 200, "domain_ch.json")


def int_world(r: Rdap) -> None:
    """.int: RDAP fails, IANA names itself as the WHOIS server."""
    r.whois("whois.iana.org", {"int": "iana-int.txt", "nato.int": "iana-nato.txt"})
    r.route("rdap.iana.org", "/domain/nato.int", 503, b"down for maintenance")


def tv_world(r: Rdap) -> None:
    """.tv: RDAP fails; a thin registry names the registrar's port 43."""
    r.whois("whois.iana.org", {"tv": "iana-tv.txt"})
    r.whois("tvwhois.verisign-grs.com", {"example.tv": "whois-thin-tv.txt"})
    r.whois("whois.registrar.example", {"example.tv": "whois-registrar-tv.txt"})
    r.route("rdap.nic.tv", "/domain/example.tv", 503, b"down for maintenance")


def test_registry_left_port_43(rdap):
    info_world(rdap)
    out = rdap.lookup("info", 0, "example.info")
    assert first_line(out) == "RDAP: https://rdap.identitydigital.services/rdap/domain/example.info"
    has(out, "EXAMPLE.INFO", "Anna Müller")
    rdap.asked("info", whois=[])
    out = rdap.lookup("info-classic", 0, "--classic", "--no-convert-to-ip", "example.info")
    assert first_line(out) == "TLD is not supported."
    rdap.asked("info-classic", ["whois.nic.info\texample.info"], [])


def test_thin_registry_closed_registrar(rdap):
    thin_com_world(rdap)
    out = rdap.lookup("thin-com", 0, "example.com")
    assert first_line(out) == "RDAP: https://rdap.verisign.com/com/v1/domain/example.com"
    has(out, "Anna Müller", "RDAP: https://rdap.registrar.example/domain/example.com")
    rdap.asked("thin-com", [], ["rdap.verisign.com /com/v1/domain/example.com",
                                "rdap.registrar.example /domain/example.com"])
    out = rdap.lookup("thin-com-classic", 0, "--classic", "--no-convert-to-ip", "example.com")
    assert first_line(out) == "Domain Name: EXAMPLE.COM"
    assert "Anna" not in text(out)
    rdap.asked("thin-com-classic", ["whois.verisign-grs.com\tdomain example.com"])


def test_extra_list_server(rdap):
    ch_world(rdap)
    out = rdap.lookup("ch", 0, "example.ch")
    assert first_line(out) == "RDAP: https://rdap.nic.ch/domain/example.ch"
    has(out, "EXAMPLE.CH", "Anna Müller")
    rdap.asked("ch", https=["rdap.nic.ch /domain/example.ch"])
    assert rdap.lookup("ch-rdap", 0, "--rdap", "example.ch") == out


def test_iana_names_itself(rdap):
    int_world(rdap)
    out = rdap.lookup("int", 0, "nato.int")
    has(out, "North Atlantic Treaty Organization")
    rdap.asked("int", ["whois.iana.org\tint", "whois.iana.org\tnato.int"],
               ["rdap.iana.org /domain/nato.int"])


def test_rdap_fails_thin_registry(rdap):
    tv_world(rdap)
    out = rdap.lookup("tv", 0, "--verbose", "example.tv")
    assert first_line(out) == "Domain Name: EXAMPLE.TV"
    has(out, "Registrant Name: Anna Mueller")
    rdap.asked("tv", ["whois.iana.org\ttv", "tvwhois.verisign-grs.com\texample.tv",
                      "whois.registrar.example\texample.tv"], ["rdap.nic.tv /domain/example.tv"])
    for side in rdap.sides():
        err = text(rdap.runs[("tv", side)].err)
        assert re.search(r"^ostrabel-cli: rdap: rdap.nic.tv: HTTP status 503; asking WHOIS instead",
                         err, re.M), (side, err)
        assert re.search(r"^ostrabel-cli: answered by WHOIS whois.registrar.example:43", err, re.M), \
            (side, err)


def test_address_redirected(rdap):
    ripe_world(rdap)
    out = rdap.lookup("ipv4", 0, "130.66.76.222")
    assert first_line(out) == "RDAP: https://rdap.db.ripe.net/ip/130.66.76.222"
    has(out, "FR-BOUYGTEL-LEGACY", "130.66.0.0/16", "Bouygues Télécom SA",
        "abuse@bouyguestelecom.example")
    rdap.asked("ipv4", [], ["rdap.arin.net /registry/ip/130.66.76.222",
                            "rdap.db.ripe.net /ip/130.66.76.222"])
    classic = rdap.lookup("ipv4-classic", 1, "--classic", "130.66.76.222")
    rdap.asked("ipv4-classic", https=[])
    assert "RDAP:" not in text(classic)


def test_unknown_authority_keeps_classic(rdap):
    """A certificate from an authority the system does not know: never a
    request, the classic result byte for byte. (WinHTTP reports an unknown
    authority as a failed handshake.)"""
    rdap.rogue_host = "rdap.arin.net"
    ripe_world(rdap)
    classic = rdap.lookup("ipv4-classic", 1, "--classic", "130.66.76.222")
    out = rdap.lookup("ipv4-rogue", 1, "--verbose", "130.66.76.222")
    assert out == classic
    rdap.asked("ipv4-rogue", https=[])
    for side in rdap.sides():
        err = text(rdap.runs[("ipv4-rogue", side)].err)
        assert re.search(r"^ostrabel-cli: rdap: rdap.arin.net: TLS", err, re.M), (side, err)


def test_rdap_only_address(rdap):
    """--rdap for an address ARIN answers itself; ARIN's WHOIS listens, unasked."""
    rdap.whois("whois.arin.net", {"*": "whois-dev.txt"})
    rdap.route("rdap.arin.net", "/registry/ip/8.8.8.8", 200, "ip_arin.json")
    out = rdap.lookup("ipv4-rdap", 0, "--rdap", "8.8.8.8")
    assert first_line(out) == "RDAP: https://rdap.arin.net/registry/ip/8.8.8.8"
    has(out, "GOGL", "Google LLC", "network-abuse@google.com")
    rdap.asked("ipv4-rdap", whois=[])


def ipv6_asn_world(r: Rdap) -> None:
    r.route("rdap.db.ripe.net", "/ip/2001:67c:2e8:22::c100:68b", 200, "ip6_ripe.json")
    r.route("rdap.db.ripe.net", "/autnum/3333", 200, "autnum_ripe.json")


def test_ipv6_and_as_number(rdap):
    """An IPv6 address and an AS number (written in lower case), ARIN's port 43 closed."""
    ipv6_asn_world(rdap)
    out = rdap.lookup("ipv6", 0, "2001:67c:2e8:22::c100:68b")
    assert first_line(out) == "RDAP: https://rdap.db.ripe.net/ip/2001:67c:2e8:22::c100:68b"
    has(out, "2001:67c:2e8::/48", "RIPE-NCC", "NL")
    rdap.asked("ipv6", https=["rdap.db.ripe.net /ip/2001:67c:2e8:22::c100:68b"])
    out = rdap.lookup("asn", 0, "as3333")
    assert first_line(out) == "RDAP: https://rdap.db.ripe.net/autnum/3333"
    has(out, "RIPE-NCC-AS", "3333", "Reseaux IP Europeens")
    rdap.asked("asn", https=["rdap.db.ripe.net /autnum/3333"])
    classic = rdap.lookup("asn-classic", 1, "--classic", "as3333")
    rdap.asked("asn-classic", https=[])
    assert "RDAP:" not in text(classic)


def test_bootstrap_refresh(rdap):
    """The bootstrap cache missing: IANA's four files are fetched (the
    served dns.json knows .zz, the built-in one does not) and kept; the
    next run finds .zz's RDAP server in them."""
    rdap.whois("whois.iana.org", {"zz": iana_no_whois("ZZ")})
    for name in BOOTSTRAP:
        rdap.route("data.iana.org", f"/rdap/{name}.json", 200, f"iana/{name}.json")
    rdap.route("rdap.nic.zz", "/domain/example.zz", 200, "domain_zz.json")
    rdap.cache = "empty"
    out = rdap.lookup("refresh", 1, "example.zz")
    rdap.asked("refresh", https=[f"data.iana.org /rdap/{n}.json" for n in BOOTSTRAP])
    assert "RDAP:" not in text(out)
    for side in rdap.sides():
        for name in BOOTSTRAP:
            kept = rdap.cache_dir(side) / f"{name}.json"
            assert kept.read_bytes() == (rdap.files / "iana" / f"{name}.json").read_bytes(), \
                (side, kept)
    rdap.cache = "keep"
    out = rdap.lookup("refreshed", 0, "example.zz")
    assert first_line(out) == "RDAP: https://rdap.nic.zz/domain/example.zz"
    has(out, "Anna Müller")
    rdap.asked("refreshed", https=["rdap.nic.zz /domain/example.zz"])


def test_stalled_refresh(rdap):
    """A data.iana.org that takes the question and never answers: the
    command line waits a few seconds for the refresh, then exits, and the
    next run does not try again (not for a day)."""
    dev_world(rdap)
    rdap.route("data.iana.org", "/rdap/*", 200, silent=True)
    rdap.cache = "empty"
    rdap.lookup("stalled", 0, "--rdap", "example.dev")
    rdap.asked("stalled", https=[*DEV_HTTPS, "data.iana.org /rdap/dns.json"])
    rdap.cache = "keep"
    rdap.lookup("stalled-again", 0, "--rdap", "example.dev")
    rdap.asked("stalled-again", https=DEV_HTTPS)
    for side in rdap.sides():
        ms, again = rdap.runs[("stalled", side)].ms, rdap.runs[("stalled-again", side)].ms
        print(f"  stalled ({side}): {ms} ms, again {again} ms")
        assert 7900 <= ms <= 15000, f"stalled ({side}): {ms} ms, expected the refresh's bound (8 s)"
        assert again <= 4000, f"stalled-again ({side}): {again} ms, waited for a refresh again"


WINDOW_QUERIES = {"dev": ["--raw", "example.dev"], "ipv4": ["130.66.76.222"],
                  "ipv6": ["2001:67c:2e8:22::c100:68b"], "asn": ["as3333"],
                  "info": ["example.info"], "thin-com": ["example.com"], "ch": ["example.ch"],
                  "int": ["nato.int"], "tv": ["example.tv"]}


def test_window(rdap, screen, programs, internet):
    """The RDAP-only TLD, the address whose WHOIS is unreachable, the IPv6
    address, the AS number and the registries that left port 43 typed into
    the real window, one after another: each result box shows the same text as the command line (the
    first byte for byte as --raw prints it, the others but for CR)."""
    if not {"ostrabel.exe", "gui_probe.exe"} <= programs.windows.keys():
        pytest.skip("needs the Windows ostrabel.exe and gui_probe.exe")
    for make in (ripe_world, dev_world, ipv6_asn_world, info_world, thin_com_world, ch_world,
                 int_world, tv_world):
        make(rdap)
    rdap.start()
    wine = internet.wine
    wine.reg("delete", SETTINGS_KEY, "/f")  # no earlier settings
    rdap.prepare_cache("wine")
    probe = Probe(wine, programs)
    started = probe("start", probe.program)
    assert started.status == 0, "no window"
    shown = {}
    try:
        for name, args in WINDOW_QUERIES.items():
            result = probe("--utf8", "lookup", args[-1])
            assert result.status == 0, f"the lookup of {args[-1]} did not end"
            shown[name] = result.out
    finally:
        closed = probe("close")
    assert closed.status == 0, "the window did not close"
    print(f"  window: {started.text.strip()}")
    for name, args in WINDOW_QUERIES.items():
        rdap.prepare_cache("native")
        cli = records(programs.run("native", "ostrabel-cli", args,
                                   env={"XDG_CACHE_HOME": str(internet.work / "xdg-cache")}).out)
        if name == "dev":
            assert first_line(records(shown[name])) == f"RDAP: {DEV_REGISTRY}"
            has(shown[name], "Anna Müller", f"RDAP: {DEV_REGISTRAR}")
            assert records(shown[name]) == cli
        else:
            assert records(shown[name]).replace(b"\r", b"").rstrip(b"\n") == cli.rstrip(b"\n"), name
