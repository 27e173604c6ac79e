"""The local player service on its own: pages over their own schemes, the
address as received and as shown, the film with ranges, progress reports,
the log, the certificate, and a clean stop."""

import html
import http.client
import json
import os
import pathlib
import signal
import socket
import ssl
import subprocess
import sys
import time
import unittest
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
import e2e_support  # noqa: E402

REQUEST_KEYS = {"kind", "scheme", "method", "target", "path", "address", "time"}
PROGRESS_KEYS = {"kind", "scheme", "address", "current_time", "paused", "time"}
SCRIPT = "<script>alert(1)</script>"


WORK = CERT = KEY = FILM = None


def setUpModule():
    global WORK, CERT, KEY, FILM
    WORK = e2e_support.work_dir("service-test")
    CERT, KEY = e2e_support.make_cert(WORK / "cert")
    # Not made yet: the first service started makes it.
    FILM = WORK / "film.webm"


class PlayerServiceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.started_at = time.time()
        cls.cert, cls.key, cls.film = CERT, KEY, FILM
        cls.service = e2e_support.start_service(0, 0, WORK / "service.log",
                                                cert=cls.cert, key=cls.key, film=cls.film)
        cls.trusting = ssl.create_default_context(cafile=str(cls.cert))

    @classmethod
    def tearDownClass(cls):
        cls.service.stop()

    # -- helpers

    def connection(self, scheme, host="127.0.0.1"):
        if scheme == "https":
            return http.client.HTTPSConnection(host, self.service.https_port, timeout=10,
                                               context=self.trusting)
        return http.client.HTTPConnection(host, self.service.http_port, timeout=10)

    def get(self, scheme, target, headers=None):
        connection = self.connection(scheme)
        try:
            connection.request("GET", target, headers=headers or {})
            response = connection.getresponse()
            return response.status, response, response.read()
        finally:
            connection.close()

    def logged(self, scheme, target):
        return [r for r in self.service.log()
                if r["kind"] == "request" and r["scheme"] == scheme and r["target"] == target]

    # -- cases

    def test_pages_show_the_address_received_over_their_own_scheme(self):
        cases = [
            ("https", "/webcloud/?v=https://films.example/watch?id=42&t=5",
             "https://films.example/watch?id=42&t=5"),
            ("http", "/video.php?url=https://films.example/watch?id=42&t=5",
             "https://films.example/watch?id=42&t=5"),
            ("https", "/webcloud/?v=%E7%94%B5%E5%BD%B1%20one+two", "电影 one+two"),
            ("http", "/video.php?url=%3Cscript%3Ealert(1)%3C/script%3E", SCRIPT),
            ("https", "/webcloud/?v=" + SCRIPT, SCRIPT),
            ("http", "/video.php?url=", ""),
        ]
        for scheme, target, address in cases:
            with self.subTest(scheme=scheme, target=target):
                status, response, body = self.get(scheme, target)
                self.assertEqual(status, 200)
                self.assertEqual(response.getheader("Content-Type"), "text/html; charset=utf-8")
                page = body.decode("utf-8")
                self.assertIn(f'<span id="address">{html.escape(address)}</span>', page)
                self.assertNotIn(SCRIPT, page)
                self.assertIn('<video id="film" src="/film.webm" autoplay muted', page)
                records = self.logged(scheme, target)
                self.assertEqual(len(records), 1, records)
                record = records[0]
                self.assertEqual(set(record), REQUEST_KEYS)
                self.assertEqual((record["method"], record["path"], record["address"]),
                                 ("GET", target.partition("?")[0], address))
                self.assertGreaterEqual(record["time"], self.started_at)

    def test_a_media_address_is_played_itself(self):
        address = "http://127.0.0.1:9/clips/one.WebM?x=1&y=<2>"
        target = "/video.php?url=" + urllib.parse.quote(address, safe=":/?=&")
        status, _, body = self.get("http", target)
        self.assertEqual(status, 200)
        self.assertIn(f'<video id="film" src="{html.escape(address)}"', body.decode("utf-8"))

    def test_other_paths_and_the_other_scheme_are_not_found_but_logged(self):
        cases = [
            ("http", "/webcloud/?v=x", "x"),
            ("https", "/video.php?url=y", "y"),
            ("https", "/favicon.ico", None),
            ("http", "//two/slashes?url=z", "z"),
        ]
        for scheme, target, address in cases:
            with self.subTest(scheme=scheme, target=target):
                status, _, _ = self.get(scheme, target)
                self.assertEqual(status, 404)
                records = self.logged(scheme, target)
                self.assertEqual([r["address"] for r in records], [address])

    def test_film_is_served_whole_and_by_ranges(self):
        film = self.film.read_bytes()
        size = len(film)
        self.assertLess(size, 300 * 1024)
        self.assertEqual(film[:4], b"\x1a\x45\xdf\xa3")  # a Matroska/WebM file

        status, response, body = self.get("http", "/film.webm")
        self.assertEqual(status, 200)
        self.assertEqual(response.getheader("Content-Type"), "video/webm")
        self.assertEqual(response.getheader("Accept-Ranges"), "bytes")
        self.assertEqual(body, film)

        cases = [
            ("http", "bytes=100-199", 100, 199),
            ("https", "bytes=0-", 0, size - 1),
            ("http", f"bytes={size - 10}-{size + 500}", size - 10, size - 1),
            ("https", "bytes=-50", size - 50, size - 1),
        ]
        for scheme, wanted, first, last in cases:
            with self.subTest(scheme=scheme, range=wanted):
                status, response, body = self.get(scheme, "/film.webm", {"Range": wanted})
                self.assertEqual(status, 206)
                self.assertEqual(response.getheader("Content-Range"), f"bytes {first}-{last}/{size}")
                self.assertEqual(body, film[first:last + 1])

        status, response, _ = self.get("http", "/film.webm", {"Range": f"bytes={size}-"})
        self.assertEqual(status, 416)
        self.assertEqual(response.getheader("Content-Range"), f"bytes */{size}")

    def test_progress_reports_are_logged(self):
        address = "https://films.example/watch?id=42&t=<5>"
        cases = [
            ("https", "2.5", "0", 2.5, False),
            ("http", "7", "1", 7.0, True),
        ]
        for scheme, seconds, paused, current, is_paused in cases:
            with self.subTest(scheme=scheme):
                target = (f"/progress?t={seconds}&paused={paused}"
                          f"&a={urllib.parse.quote(address, safe='')}")
                status, _, _ = self.get(scheme, target)
                self.assertEqual(status, 204)
                self.assertEqual(len(self.logged(scheme, target)), 1)
                reports = [r for r in self.service.log() if r["kind"] == "progress"
                           and r["scheme"] == scheme and r["current_time"] == current]
                self.assertEqual(len(reports), 1, reports)
                self.assertEqual(set(reports[0]), PROGRESS_KEYS)
                self.assertEqual((reports[0]["address"], reports[0]["paused"]), (address, is_paused))

        before = [r for r in self.service.log() if r["kind"] == "progress"]
        status, _, _ = self.get("http", "/progress?t=NaN&paused=0&a=x")
        self.assertEqual(status, 400)
        self.assertEqual([r for r in self.service.log() if r["kind"] == "progress"], before)

    def test_certificate_is_for_loopback_only_and_trusted_only_with_its_file(self):
        names = subprocess.run(["openssl", "x509", "-in", str(self.cert), "-noout", "-ext",
                                "subjectAltName"], check=True, capture_output=True, text=True).stdout
        for name in ("IP Address:127.0.0.1", "IP Address:0:0:0:0:0:0:0:1", "DNS:localhost"):
            self.assertIn(name, names)

        connection = http.client.HTTPSConnection("localhost", self.service.https_port, timeout=10,
                                                 context=self.trusting)
        connection.request("GET", "/webcloud/?v=by-name")
        self.assertEqual(connection.getresponse().status, 200)
        connection.close()

        untrusting = http.client.HTTPSConnection("127.0.0.1", self.service.https_port, timeout=10,
                                                 context=ssl.create_default_context())
        with self.assertRaises(ssl.SSLCertVerificationError):
            untrusting.request("GET", "/webcloud/?v=untrusted")
        untrusting.close()

        # Made again: the pair is kept as it is.
        before = (self.cert.read_bytes(), self.key.read_bytes())
        e2e_support.make_cert(self.cert.parent)
        self.assertEqual((self.cert.read_bytes(), self.key.read_bytes()), before)

    def test_a_stalled_client_holds_up_nobody(self):
        stalled = [socket.create_connection(("127.0.0.1", port))
                   for port in (self.service.https_port, self.service.http_port)]
        try:
            for scheme in ("https", "http"):
                with self.subTest(scheme=scheme):
                    target = "/webcloud/?v=while-stalled" if scheme == "https" \
                        else "/video.php?url=while-stalled"
                    self.assertEqual(self.get(scheme, target)[0], 200)
        finally:
            for connection in stalled:
                connection.close()


class StartAndStopTest(unittest.TestCase):
    def test_ready_line_on_stdout_and_in_file_then_clean_stop(self):
        ready_file = WORK / "ready.json"
        https_port = e2e_support.free_port()
        process = e2e_support.start_process(
            [sys.executable, e2e_support.PLAYER_SERVICE, "--https-port", https_port,
             "--http-port", 0, "--cert", CERT, "--key", KEY, "--log", WORK / "stop.log",
             "--film", FILM, "--ready-file", ready_file],
            stdout=subprocess.PIPE, text=True)
        try:
            ports = json.loads(process.stdout.readline())
            self.assertEqual(set(ports), {"https_port", "http_port"})
            self.assertEqual(ports["https_port"], https_port)
            self.assertNotEqual(ports["http_port"], 0)
            self.assertEqual(json.loads(ready_file.read_text()), ports)

            process.send_signal(signal.SIGTERM)
            self.assertEqual(process.wait(10), 0)
            for port in ports.values():
                with self.assertRaises(ConnectionRefusedError):
                    socket.create_connection(("127.0.0.1", port), timeout=5).close()
        finally:
            e2e_support.stop_process(process)
            process.stdout.close()

    def test_missing_options_are_refused(self):
        result = subprocess.run([sys.executable, str(e2e_support.PLAYER_SERVICE),
                                 "--https-port", "0"], capture_output=True, text=True, timeout=30)
        self.assertEqual(result.returncode, 2)
        self.assertIn("--http-port", result.stderr)


if __name__ == "__main__":
    os.environ.setdefault("PYTHONUNBUFFERED", "1")
    unittest.main(verbosity=2)
