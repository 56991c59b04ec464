"""The end-to-end tests' web server (tests/e2e/web_server.py): answers,
faults, the proxy, and a stop that does not wait for stuck connections."""

from __future__ import annotations

import base64
import http.client
import socket
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "e2e"))
from web_server import WebServer  # noqa: E402

DATA = bytes(range(256)) * 40  # 10,240 bytes


def get(port: int, target: str, headers: dict[str, str] | None = None, method: str = "GET",
        timeout: float = 3) -> tuple[int, dict[str, str], bytes, bool]:
    """Status, headers, the body bytes that came and whether they were all
    that was declared."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request(method, target, headers=headers or {})
        response = connection.getresponse()
        try:
            body, complete = response.read(), True
        except http.client.IncompleteRead as error:
            body, complete = error.partial, False
        return response.status, {k.lower(): v for k, v in response.getheaders()}, body, complete
    finally:
        connection.close()


class WebServerTest(unittest.TestCase):
    def setUp(self) -> None:
        self.tmp = tempfile.TemporaryDirectory()
        self.root = Path(self.tmp.name)
        (self.root / "BLK.7zip").write_bytes(DATA)
        (self.root / "secret.txt").write_bytes(b"outside")
        (self.root / "www").mkdir()
        (self.root / "www" / "a.bin").write_bytes(DATA)
        self.server = WebServer(self.root / "www")
        self.addCleanup(self.tmp.cleanup)
        self.addCleanup(self.server.stop)

    def test_answers_and_faults(self) -> None:
        n = len(DATA)
        # (case, fault, method, Range, status, body, all of it, Content-Length, Content-Range)
        cases = [
            ("whole file", None, "GET", None, 200, DATA, True, n, None),
            ("head", None, "HEAD", None, 200, b"", True, n, None),
            ("rest of the file", None, "GET", "bytes=10000-", 206, DATA[10000:], True, n - 10000,
             f"bytes 10000-{n - 1}/{n}"),
            ("last byte", None, "GET", f"bytes={n - 1}-", 206, DATA[-1:], True, 1,
             f"bytes {n - 1}-{n - 1}/{n}"),
            ("start at the end", None, "GET", f"bytes={n}-", 416, None, True, None,
             f"bytes */{n}"),
            ("start past the end", None, "GET", "bytes=99999-", 416, None, True, None,
             f"bytes */{n}"),
            ("status", {"status": 500}, "GET", None, 500, None, True, None, None),
            ("wrong length", {"wrong_length": True}, "GET", None, 200, DATA, False, n + 1000, None),
            ("dropped", {"drop_after": 700}, "GET", None, 200, DATA[:700], False, n, None),
            ("dropped range", {"drop_after": 5}, "GET", "bytes=100-", 206, DATA[100:105], False,
             n - 100, f"bytes 100-{n - 1}/{n}"),
        ]
        for case, fault, method, wanted, status, body, whole, length, content_range in cases:
            with self.subTest(case):
                if fault:
                    self.server.fault("/a.bin", **fault)
                got = get(self.server.port, "/a.bin", {"Range": wanted} if wanted else {}, method)
                self.server.clear()
                self.assertEqual(got[0], status)
                if body is not None:
                    self.assertEqual((got[2], got[3]), (body, whole))
                if length is not None:
                    self.assertEqual(got[1]["content-length"], str(length))
                self.assertEqual(got[1].get("content-range"), content_range)
                self.assertEqual(self.server.requests()[-1].range, wanted)
        for target in ("/missing", "/../secret.txt", "/%2e%2e/secret.txt", "/"):
            with self.subTest(target):
                self.assertEqual(get(self.server.port, target)[0], 404)
        self.assertEqual(self.server.count("/a.bin"), len(cases))
        self.assertEqual(self.server.count("/a.bin", "HEAD"), 1)

    def test_a_fault_for_the_first_requests_only_lets_the_retry_through(self) -> None:
        self.server.fault("/a.bin", drop_after=100, times=2)
        results = [get(self.server.port, "/a.bin")[2:] for _ in range(3)]
        self.assertEqual(results, [(DATA[:100], False), (DATA[:100], False), (DATA, True)])

    def test_slow_and_silent_answers_end_when_the_server_stops(self) -> None:
        self.server.fault("/a.bin", slow=4000)
        started = time.monotonic()
        self.assertEqual(get(self.server.port, "/a.bin", {"Range": "bytes=8240-"})[2], DATA[8240:])
        self.assertGreater(time.monotonic() - started, 0.35)  # 2,000 bytes at 4,000 a second

        self.server.fault("/a.bin", silent=True)
        with self.assertRaises(TimeoutError):
            get(self.server.port, "/a.bin", timeout=0.5)
        # A connection kept open after an answer, and one in a download
        # that would take 17 minutes.
        self.server.clear()
        idle = socket.create_connection(("127.0.0.1", self.server.port), timeout=10)
        idle.sendall(b"HEAD /a.bin HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertIn(b"200 OK", idle.recv(4096))
        self.server.fault("/a.bin", slow=10)
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10)
        connection.request("GET", "/a.bin")
        response = connection.getresponse()
        self.assertTrue(self.server.wait_for(4, "/a.bin"))
        started = time.monotonic()
        self.server.stop()
        with self.assertRaises(http.client.IncompleteRead):
            response.read()
        self.assertEqual(idle.recv(4096), b"")
        connection.close()
        idle.close()
        self.assertLess(time.monotonic() - started, 2)

    def test_proxy_forwards_to_the_origin_and_asks_for_credentials(self) -> None:
        origin = f"http://127.0.0.1:{self.server.port}/a.bin"
        good = "Basic " + base64.b64encode(b"tester:s3cret").decode()
        with WebServer(proxy=True, proxy_auth="tester:s3cret") as proxy:
            cases = [
                ("no credentials", {}, origin, 407, b"", 0),
                ("wrong credentials", {"Proxy-Authorization": "Basic eDp5"}, origin, 407, b"", 0),
                ("forwarded range", {"Proxy-Authorization": good, "Range": "bytes=10-"}, origin,
                 206, DATA[10:], 1),
                ("other host", {"Proxy-Authorization": good}, "http://192.0.2.1:80/a.bin", 502,
                 b"", 0),
                ("closed port", {"Proxy-Authorization": good}, "http://127.0.0.1:1/a.bin", 502,
                 b"", 0),
            ]
            for case, headers, target, status, body, reached in cases:
                with self.subTest(case):
                    before = self.server.count("/a.bin")
                    got = get(proxy.port, target, headers)
                    self.assertEqual(got[0], status)
                    if body:
                        self.assertEqual(got[2], body)
                    self.assertEqual(self.server.count("/a.bin") - before, reached)
                    seen = proxy.requests()[-1]
                    self.assertEqual((seen.target, seen.path), (target, "/a.bin"))
                    self.assertEqual(seen.headers.get("proxy-authorization"),
                                     headers.get("Proxy-Authorization"))
            # The origin sees an ordinary request, without the credentials.
            seen = self.server.requests("/a.bin")[-1]
            self.assertEqual((seen.target, seen.range), ("/a.bin", "bytes=10-"))
            self.assertNotIn("proxy-authorization", seen.headers)


if __name__ == "__main__":
    unittest.main()
