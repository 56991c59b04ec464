"""A web server for the end-to-end tests of web media, on 127.0.0.1 only.

    with WebServer(root) as server:          # serves the files below root
        server.fault("/BLK.7zip", drop_after=1000, times=1)
        ... the engine downloads server.url + "BLK.7zip" ...
        server.count("/BLK.7zip")            # 2: the dropped one and the retry

GET and HEAD answer with Content-Length; "Range: bytes=N-" (or N-M) gets
206 with Content-Range, a start at or past the end 416. Faults, per path,
may be set and cleared at any time (see Fault). WebServer(proxy=True) is a
proxy as well: a request whose target is an absolute URL http://127.0.0.1:
PORT/path is forwarded there (or served by the proxy itself when PORT is
its own); any other host gets 502, as nothing but 127.0.0.1 is ever
contacted. proxy_auth="user:password" makes it ask for those credentials
(407) first.

Every request is recorded (Request): method, path, the target as sent,
Range, headers and the body bytes sent. Every socket has a timeout, every
wait ends when the server stops, and stop() (or leaving the with block)
closes the listening socket and every connection within a second or two.
"""

from __future__ import annotations

import base64
import dataclasses
import http.server
import re
import socket
import socketserver
import threading
import time
import urllib.parse
from pathlib import Path

HOST = "127.0.0.1"
SOCKET_TIMEOUT = 5.0  # an idle or stuck connection ends after this


@dataclasses.dataclass
class Fault:
    """What the server does instead of answering a path normally."""
    status: int | None = None  # answers with this status and a short text
    wrong_length: bool = False  # declares 1000 bytes more than it sends, then closes
    drop_after: int | None = None  # declares the full length, sends this many bytes, closes
    silent: bool = False  # reads the request and never answers, until stopped
    slow: int | None = None  # sends the body at this many bytes per second
    times: int | None = None  # only the next this many requests of the path; None: all
    # A proxy forwarding a request applies status and silent only; the
    # others act where the file is served.


@dataclasses.dataclass
class Request:
    method: str
    path: str  # the URL's path, decoded, without the query
    target: str  # the request target as sent: an absolute URL when proxied
    range: str | None
    headers: dict[str, str]  # by lower-case name
    sent: int = 0  # body bytes sent so far (by the proxy: all bytes relayed)


class WebServer:
    def __init__(self, root: Path | None = None, *, proxy: bool = False,
                 proxy_auth: str | None = None) -> None:
        self.root = Path(root).resolve() if root is not None else None
        self.proxy = proxy
        self.proxy_auth = proxy_auth
        self._lock = threading.Lock()
        self._requests: list[Request] = []
        self._faults: dict[str, Fault] = {}
        self._connections: set[socket.socket] = set()
        self._stopping = threading.Event()
        self._server = _Server((HOST, 0), _Handler)
        self._server.owner = self
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever,
                                        kwargs={"poll_interval": 0.1}, daemon=True)
        self._thread.start()

    @property
    def url(self) -> str:
        return f"http://{HOST}:{self.port}/"

    def __enter__(self) -> WebServer:
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def stop(self) -> None:
        if self._stopping.is_set():
            return
        self._stopping.set()
        self._server.shutdown()
        self._server.server_close()
        with self._lock:
            connections = list(self._connections)
        for connection in connections:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            connection.close()
        self._thread.join(2)

    # ---- Faults ----

    def fault(self, path: str, **settings) -> None:
        """Sets the fault of a path (see Fault for the settings)."""
        with self._lock:
            self._faults[path] = Fault(**settings)

    def clear(self, path: str | None = None) -> None:
        """Clears the fault of a path, or every fault."""
        with self._lock:
            if path is None:
                self._faults.clear()
            else:
                self._faults.pop(path, None)

    def _take_fault(self, path: str) -> Fault | None:
        with self._lock:
            fault = self._faults.get(path)
            if fault is None or fault.times is None:
                return fault
            fault.times -= 1
            if fault.times <= 0:
                del self._faults[path]
            return fault

    # ---- What was asked ----

    def requests(self, path: str | None = None) -> list[Request]:
        with self._lock:
            return [r for r in self._requests if path is None or r.path == path]

    def count(self, path: str | None = None, method: str | None = None) -> int:
        return sum(1 for r in self.requests(path) if method is None or r.method == method)

    def wait_for(self, count: int, path: str | None = None, timeout: float = 20) -> bool:
        """Waits until at least count requests (of the path) have come."""
        end = time.monotonic() + timeout
        while self.count(path) < count and time.monotonic() < end:
            if self._stopping.wait(0.05):
                break
        return self.count(path) >= count

    def _record(self, request: Request) -> None:
        with self._lock:
            self._requests.append(request)

    def _track(self, connection: socket.socket, add: bool) -> None:
        with self._lock:
            if add:
                self._connections.add(connection)
            else:
                self._connections.discard(connection)


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False
    owner: WebServer

    def server_bind(self) -> None:
        # Without HTTPServer's name look-up of the address.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = HOST, self.server_address[1]


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = SOCKET_TIMEOUT
    server: _Server

    def setup(self) -> None:
        super().setup()
        self.server.owner._track(self.connection, True)

    def finish(self) -> None:
        try:
            super().finish()
        except OSError:
            pass
        self.server.owner._track(self.connection, False)

    def log_message(self, *args) -> None:
        pass

    def parse_request(self) -> bool:
        if not super().parse_request():
            return False
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path or "/")
        self.request_record = Request(self.command, path, self.path, self.headers.get("Range"),
                                      {k.lower(): v for k, v in self.headers.items()})
        self.server.owner._record(self.request_record)
        return True

    def do_GET(self) -> None:
        self.answer(head=False)

    def do_HEAD(self) -> None:
        self.answer(head=True)

    def answer(self, head: bool) -> None:
        owner = self.server.owner
        try:
            if owner.proxy and not self.authorised():
                self.plain(407, "proxy credentials needed",
                           {"Proxy-Authenticate": 'Basic realm="tavrel tests"'})
                return
            fault = owner._take_fault(self.request_record.path)
            if fault is not None and fault.silent:
                owner._stopping.wait()
                self.close_connection = True
                return
            if fault is not None and fault.status is not None:
                self.plain(fault.status, f"status {fault.status} on purpose")
                return
            if self.absolute() and owner.proxy:
                self.forward(head, fault)
            elif self.path.startswith("/"):
                self.serve(head, fault)
            else:
                self.plain(400, "bad request target")
        except OSError:
            # The client went away or stopped reading (the socket timed out).
            self.close_connection = True

    def absolute(self) -> bool:
        return self.path[:7].lower() == "http://"

    def authorised(self) -> bool:
        auth = self.server.owner.proxy_auth
        if auth is None or not self.absolute():
            return True
        expected = "Basic " + base64.b64encode(auth.encode()).decode()
        return self.headers.get("Proxy-Authorization") == expected

    def plain(self, status: int, text: str, extra: dict[str, str] | None = None) -> None:
        body = text.encode() + b"\r\n"
        self.send_response(status)
        for name, value in {"Content-Type": "text/plain", "Content-Length": str(len(body)),
                            **(extra or {})}.items():
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def serve(self, head: bool, fault: Fault | None) -> None:
        owner = self.server.owner
        file = (owner.root / self.request_record.path.lstrip("/")).resolve() if owner.root else None
        if file is None or not file.is_relative_to(owner.root) or not file.is_file():
            self.plain(404, "not found")
            return
        data = file.read_bytes()
        start, end = 0, len(data)
        wanted = re.fullmatch(r"\s*bytes=(\d+)-(\d*)\s*", self.request_record.range or "")
        if wanted:
            start = int(wanted[1])
            end = min(end, int(wanted[2]) + 1) if wanted[2] else end
            if start >= len(data) or start >= end:
                self.plain(416, "range not satisfiable", {"Content-Range": f"bytes */{len(data)}"})
                return
        body = data[start:end]
        self.send_response(206 if wanted else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        wrong = fault is not None and fault.wrong_length
        self.send_header("Content-Length", str(len(body) + (1000 if wrong else 0)))
        if wanted:
            self.send_header("Content-Range", f"bytes {start}-{end - 1}/{len(data)}")
        self.end_headers()
        if head:
            return
        if fault is not None and fault.drop_after is not None:
            body = body[:fault.drop_after]
        self.send_body(body, fault.slow if fault is not None else None)
        if fault is not None and (wrong or fault.drop_after is not None):
            self.close_connection = True

    def send_body(self, body: bytes, rate: int | None) -> None:
        """Sends the body, at rate bytes per second when given (in tenths
        of a second, ending early when the server stops)."""
        step = max(1, rate // 10) if rate else len(body) or 1
        for offset in range(0, len(body), step):
            if rate and offset and self.server.owner._stopping.wait(step / rate):
                self.close_connection = True
                return
            self.wfile.write(body[offset:offset + step])
            self.request_record.sent += len(body[offset:offset + step])

    def forward(self, head: bool, fault: Fault | None) -> None:
        """Relays the request to its 127.0.0.1 origin and the answer back as
        it comes, byte for byte; then the connection closes."""
        owner = self.server.owner
        target = urllib.parse.urlsplit(self.path)
        try:
            port = target.port
        except ValueError:
            port = None
        if target.hostname != HOST or port is None:
            self.plain(502, f"this proxy reaches {HOST}:PORT only")
            return
        if port == owner.port:
            self.serve(head, fault)
            return
        skip = {"proxy-authorization", "proxy-connection", "connection", "keep-alive"}
        lines = [f"{self.command} {target.path or '/'}"
                 f"{'?' + target.query if target.query else ''} HTTP/1.1"]
        lines += [f"{k}: {v}" for k, v in self.headers.items() if k.lower() not in skip]
        lines += ["Connection: close", "", ""]
        self.close_connection = True
        try:
            upstream = socket.create_connection((HOST, port), timeout=SOCKET_TIMEOUT)
        except OSError:
            self.plain(502, f"{HOST}:{port} does not answer")
            return
        owner._track(upstream, True)
        try:
            upstream.sendall("\r\n".join(lines).encode("latin-1"))
            while not owner._stopping.is_set():
                chunk = upstream.recv(65536)
                if not chunk:
                    break
                self.wfile.write(chunk)
                self.request_record.sent += len(chunk)
        finally:
            owner._track(upstream, False)
            upstream.close()
