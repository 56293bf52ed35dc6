"""The fake Internet of the end-to-end tests.

The test process itself moves into a private network and mount namespace
(as `unshare --mount --net` would), brings loopback up and lays its own files
over /etc/hosts, /etc/resolv.conf (a name server that is not there) and the
system's CA bundle (a test authority made here with openssl). Every host a
test names gets an address 127.0.X.Y of its own in that hosts file; WHOIS and
HTTPS servers listen there on threads of this process, behave as the test's
data says and record every request they read.

Behaviour is data: an answer is bytes, a file, or a list of steps (send,
pause, reset, hold the connection in silence, an endless stream), and an
HTTPS route is a status, headers and such a body.
"""

from __future__ import annotations

import ctypes
import os
import random
import select
import shutil
import socket
import ssl
import subprocess
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

BUNDLE = Path("/etc/ssl/certs/ca-certificates.crt")

# ---------------------------------------------------------------- namespace


def namespace_missing() -> str | None:
    """Why a private network namespace cannot be made here, or None."""
    if os.geteuid() != 0:
        return "not root"
    for tool in ("unshare", "ip", "mount", "openssl"):
        if shutil.which(tool) is None:
            return f"'{tool}' is missing"
    if subprocess.run(["unshare", "--mount", "--net", "true"], capture_output=True).returncode:
        return "'unshare --mount --net' fails"
    return None


def _run(*argv: str) -> None:
    subprocess.run(argv, check=True, capture_output=True)


def enter_namespace(files: dict[str, Path]) -> None:
    """Moves this process into a new network and mount namespace, with
    loopback up and each file of FILES (target -> source) bind-mounted over
    its target. Mounts made here never reach the host."""
    libc = ctypes.CDLL(None, use_errno=True)
    clone_newns, clone_newnet = 0x00020000, 0x40000000
    if libc.unshare(clone_newns | clone_newnet) != 0:
        raise OSError(ctypes.get_errno(), "unshare")
    _run("mount", "--make-rprivate", "/")
    _run("ip", "link", "set", "lo", "up")
    for target, source in files.items():
        _run("mount", "--bind", str(source), target)


class Hosts:
    """The namespace's /etc/hosts: every name gets its own loopback address
    on first use; the file is rewritten in place (it is bind-mounted)."""

    def __init__(self, path: Path):
        self.path = path
        self.names: dict[str, str] = {}
        self.fixed: dict[str, str] = {}
        self._next = 0
        self._lock = threading.Lock()
        self._write()

    def address(self, name: str) -> str:
        with self._lock:
            if name not in self.names:
                self.names[name] = f"127.0.{self._next // 250}.{self._next % 250 + 2}"
                self._next += 1
                self._write()
            return self.names[name]

    def pin(self, name: str, address: str) -> None:
        """NAME resolves to ADDRESS, where no server of ours listens."""
        with self._lock:
            self.fixed[name] = address
            self._write()

    def _write(self) -> None:
        lines = ["127.0.0.1 localhost"]
        lines += [f"{a} {n}" for n, a in self.names.items()]
        lines += [f"{a} {n}" for n, a in self.fixed.items()]
        with open(self.path, "w") as f:  # in place: the mount holds this inode
            f.write("\n".join(lines) + "\n")


# ---------------------------------------------------------------- certificates


class Pki:
    """Test certificates made with openssl, valid for two days."""

    def __init__(self, folder: Path):
        self.dir = folder
        folder.mkdir(parents=True, exist_ok=True)

    def authority(self, name: str) -> Path:
        pem = self.dir / f"{name}.pem"
        _run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
             "-subj", f"/CN=Ostrabel test {name}",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign",
             "-keyout", str(self.dir / f"{name}.key"), "-out", str(pem))
        return pem

    def server(self, name: str, authority: str, *dns: str) -> tuple[Path, Path]:
        d = self.dir
        (d / f"{name}.ext").write_text(
            "subjectAltName=" + ",".join(f"DNS:{n}" for n in dns) +
            "\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n")
        _run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", f"/CN={dns[0]}",
             "-keyout", str(d / f"{name}.key"), "-out", str(d / f"{name}.csr"))
        _run("openssl", "x509", "-req", "-in", str(d / f"{name}.csr"),
             "-CA", str(d / f"{authority}.pem"), "-CAkey", str(d / f"{authority}.key"),
             "-CAcreateserial", "-days", "2", "-extfile", str(d / f"{name}.ext"),
             "-out", str(d / f"{name}.pem"))
        return d / f"{name}.pem", d / f"{name}.key"


# ---------------------------------------------------------------- behaviour


@dataclass
class Send:
    data: bytes
    times: int = 1  # the same bytes again and again: an endless-looking stream


@dataclass
class Pause:
    seconds: float


@dataclass
class Hold:
    """Silence: the connection stays open until the client goes or SECONDS pass."""
    seconds: float = 30


@dataclass
class Reset:
    """The connection is reset (RST), not closed."""


Steps = list  # of Send, Pause, Hold, Reset; a normal close follows


def as_steps(answer) -> Steps:
    if isinstance(answer, (bytes, str)):
        return [Send(answer.encode() if isinstance(answer, str) else answer)]
    if isinstance(answer, Path):
        return [Send(answer.read_bytes())]
    return list(answer)


def silent(seconds: float = 30) -> Steps:
    return [Hold(seconds)]


def slow(count: int, then_silent: bool = False) -> Steps:
    """COUNT bytes ('a', 'b', ...) one a second; then a close or silence."""
    steps: Steps = []
    for i in range(count):
        steps += [Send(bytes([ord("a") + i % 26])), Pause(1)]
    return steps + ([Hold(120)] if then_silent else [])


def reset_after(data: bytes, count: int) -> Steps:
    return [Send(data[:count]), Pause(0.3), Reset()]


def big(mib: int) -> Steps:
    """MIB mebibytes of record-like lines, numbered so no two are alike."""
    block, i = [], 0
    size = 0
    while size < 1 << 20:
        line = f"Comment:        filler line {i} of an answer that does not stop\n".encode()
        block.append(line)
        size += len(line)
        i += 1
    return [Send(b"".join(block)[: 1 << 20], times=mib)]


def garbage(size: int, nonul: bool = False) -> bytes:
    """SIZE fixed pseudo-random bytes, the same on every run; with NONUL,
    NUL and ':' are replaced (so no server-list key appears by chance)."""
    data = bytearray(random.Random(12345).randbytes(size))
    if nonul:
        data = data.replace(b"\0", b";").replace(b":", b";")
    return bytes(data)


@dataclass
class Response:
    """An HTTPS answer: status, headers as written, and a body (bytes, a
    file, FILLER bytes of 'x', or SILENT: read the request, say nothing)."""
    status: int = 200
    body: bytes | Path = b""
    headers: tuple[str, ...] = ()
    filler: int = 0
    silent: bool = False


REASONS = {200: "OK", 301: "Moved Permanently", 302: "Found", 307: "Temporary Redirect",
           308: "Permanent Redirect", 404: "Not Found", 429: "Too Many Requests",
           500: "Internal Server Error"}


# ---------------------------------------------------------------- servers


class _Listener:
    """A listening socket whose connections are served on threads."""

    def __init__(self, world: "World", address: str, port: int, serve):
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((address, port))
        self.sock.listen(64)
        self.world, self.serve = world, serve
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self) -> None:
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return  # closed
            self.world._connections.append(conn)
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn: socket.socket) -> None:
        try:
            self.serve(conn)
        except OSError:
            pass  # the client went, or the world closed
        except Exception as e:  # a fault of the test's own data: shown as the world closes
            self.world.faults.append(repr(e))
        finally:
            try:
                conn.close()
            except OSError:
                pass


@dataclass
class WhoisRequest:
    server: str  # "host" or "host:port"
    request: str
    at: float = field(default_factory=time.monotonic)  # when it was read


@dataclass
class InTurn:
    """Answers given in turn to the same request: the first to the first
    connection, and so on; the last one again to every later connection."""
    answers: list


_TURN_LOCK = threading.Lock()


@dataclass
class HttpsRequest:
    host: str
    path: str
    accept: str


@dataclass
class World:
    """One test's Internet: the servers it starts and what they were asked.
    Closing it ends every server and connection."""
    hosts: Hosts
    stop: threading.Event = field(default_factory=threading.Event)
    whois_log: list = field(default_factory=list)
    https_log: list = field(default_factory=list)
    routes: list = field(default_factory=list)  # (host or "*", path or prefix*, Response)
    faults: list = field(default_factory=list)
    _listeners: list = field(default_factory=list)
    _whois: dict = field(default_factory=dict)  # "host[:port]" -> its answers
    _connections: list = field(default_factory=list)

    # ---- WHOIS on port 43 (or another)
    def whois(self, host: str, answers: dict, port: int = 43) -> None:
        """A WHOIS server for HOST: ANSWERS maps a request line (or "*", any
        other) to an answer; a request without one is closed unanswered."""
        name = host if port == 43 else f"{host}:{port}"
        table = {k: v if isinstance(v, InTurn) else as_steps(v) for k, v in answers.items()}
        if name in self._whois:  # more answers for a server already listening
            self._whois[name].update(table)
            return
        self._whois[name] = table

        def serve(conn: socket.socket) -> None:
            conn.settimeout(10)
            data = b""
            while b"\r\n" not in data and len(data) < 1 << 20:
                try:
                    chunk = conn.recv(4096)
                except socket.timeout:
                    break
                if not chunk:
                    break
                data += chunk
            request = data.split(b"\r\n")[0].decode("utf-8", "surrogateescape")
            self.whois_log.append(WhoisRequest(name, request))
            steps = table.get(request, table.get("*"))
            if isinstance(steps, InTurn):
                with _TURN_LOCK:
                    steps = as_steps(steps.answers[0] if len(steps.answers) == 1
                                     else steps.answers.pop(0))
            if steps is not None:
                self._play(conn, steps)

        self._listeners.append(_Listener(self, self.hosts.address(host), port, serve))

    def _play(self, conn: socket.socket, steps: Steps) -> None:
        conn.settimeout(30)
        for step in steps:
            if isinstance(step, Send):
                for _ in range(step.times):
                    conn.sendall(step.data)
            elif isinstance(step, Pause):
                if self.stop.wait(step.seconds):
                    return
            elif isinstance(step, Hold):
                self._hold(conn, step.seconds)
            elif isinstance(step, Reset):
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\1\0\0\0\0\0\0\0")
                return

    def _hold(self, conn, seconds: float) -> None:
        end = time.monotonic() + seconds
        while not self.stop.is_set() and time.monotonic() < end:
            ready, _, _ = select.select([conn], [], [], 0.1)
            if ready and not conn.recv(4096):
                return  # the client went

    # ---- HTTPS
    def https(self, host: str, cert: tuple[Path, Path], port: int = 443) -> None:
        """An HTTPS server for HOST showing CERT (pem, key); it answers by the
        world's routes."""
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.minimum_version = ssl.TLSVersion.TLSv1_2
        context.load_cert_chain(*cert)

        def serve(conn: socket.socket) -> None:
            conn.settimeout(30)
            tls = context.wrap_socket(conn, server_side=True)
            head = b""
            while b"\r\n\r\n" not in head and len(head) < 65536:
                chunk = tls.recv(4096)
                if not chunk:
                    return
                head += chunk
            lines = head.decode("latin-1").split("\r\n")
            parts = lines[0].split(" ")
            if len(parts) < 2:
                return
            fields = {}
            for line in lines[1:]:
                if ":" in line:
                    k, v = line.split(":", 1)
                    fields.setdefault(k.strip().lower(), v.strip())
            asked = fields.get("host", "").rsplit(":", 1)[0] if ":" in fields.get("host", "") \
                else fields.get("host", "")
            path = parts[1]
            self.https_log.append(HttpsRequest(asked, path, fields.get("accept", "")))
            self._answer(tls, asked, path)
            try:
                tls.unwrap()
            except (OSError, ValueError):
                pass

        self._listeners.append(_Listener(self, self.hosts.address(host), port, serve))

    def silent_listener(self, host: str, port: int = 443) -> None:
        """Accepts connections and never says a word (not even TLS)."""
        self._listeners.append(
            _Listener(self, self.hosts.address(host), port, lambda c: self._hold(c, 120)))

    def route(self, host: str, path: str, response: Response) -> None:
        """HOST ("*": any) and PATH (exact, or a prefix ending in "*")."""
        self.routes.append((host, path, response))

    def _answer(self, tls, host: str, path: str) -> None:
        response = Response(404)
        for h, p, r in self.routes:
            matches = path.startswith(p[:-1]) if p.endswith("*") else path == p
            if h in ("*", host) and matches:
                response = r
                break
        if response.silent:
            self.stop.wait(120)
            return
        body = response.body.read_bytes() if isinstance(response.body, Path) else response.body
        length = response.filler or len(body)
        head = f"HTTP/1.1 {response.status} {REASONS.get(response.status, 'Status')}\r\n" \
               f"Content-Length: {length}\r\nConnection: close\r\n"
        head += "".join(h + "\r\n" for h in response.headers) + "\r\n"
        tls.sendall(head.encode() + body)
        chunk = b"x" * 65536
        left = response.filler
        while left > 0:
            tls.sendall(chunk[: min(left, len(chunk))])
            left -= min(left, len(chunk))

    # ---- the log, as the tests compare it
    def asked_whois(self, since: int = 0) -> list[str]:
        """The WHOIS requests since index SINCE, as "HOST<TAB>REQUEST"."""
        return [f"{r.server}\t{r.request}" for r in self.whois_log[since:]]

    def asked_https(self, since: int = 0) -> list[str]:
        """The HTTPS requests since index SINCE, as "HOST PATH", sorted."""
        return sorted(f"{r.host} {r.path}" for r in self.https_log[since:])

    def close(self) -> None:
        self.stop.set()
        for listener in self._listeners:
            try:  # wakes the thread waiting in accept, which close alone does not
                listener.sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            listener.sock.close()
        for conn in self._connections:
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        self._listeners.clear()
        self._connections.clear()
