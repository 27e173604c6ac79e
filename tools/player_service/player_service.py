#!/usr/bin/env python3
"""Local player service for filmbar's demo and end-to-end tests.

Two small web servers on loopback stand in for the program's two player
services:

  HTTPS  GET /webcloud/?v=<address>
  HTTP   GET /video.php?url=<address>

Each answers with a page that shows the address it received (as escaped
text), plays a short bundled film (or the address itself when that is a
playable media address) and reports playback progress back to its own origin
with GET /progress?t=<seconds>&paused=<0|1>&a=<address>. Every request and
every progress report goes to a JSON-lines log, so that a test can see exactly
what reached the service and that the film really played.

Usage:
  player_service.py --https-port P1 --http-port P2 --cert CERT --key KEY
                    --log LOGFILE [--film FILE] [--ready-file F]
  player_service.py --make-cert DIR

Port 0 picks a free port; the ports in use are announced as one JSON line
{"https_port": N, "http_port": M} on stdout (and in --ready-file) once both
servers listen. Python standard library only; the certificate is made with
the openssl CLI and the film with ffmpeg (make_film.sh).
"""

import argparse
import html
import http.server
import json
import math
import os
import pathlib
import signal
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

LISTEN_HOST = "127.0.0.1"
HERE = pathlib.Path(__file__).resolve().parent
MAKE_FILM = HERE / "make_film.sh"

# Which page each scheme serves, and the query parameter carrying the address.
PAGES = {
    "https": ("/webcloud/", "v"),
    "http": ("/video.php", "url"),
}
ADDRESS_PARAMS = ("v", "url")
MEDIA_SUFFIXES = (".webm", ".mp4", ".ogv")
PROGRESS_PATH = "/progress"
FILM_PATH = "/film.webm"

HANDSHAKE_TIMEOUT = 10.0
IDLE_CONNECTION_TIMEOUT = 60.0
FILM_CHUNK = 64 * 1024


# ---------------------------------------------------------------- the log

class EventLog:
    """JSON-lines log shared by both servers; each line is flushed at once."""

    def __init__(self, path):
        self._lock = threading.Lock()
        self._file = open(path, "a", encoding="utf-8")

    def write(self, record):
        line = json.dumps(record, ensure_ascii=False)
        with self._lock:
            if self._file.closed:
                return
            self._file.write(line + "\n")
            self._file.flush()

    def close(self):
        with self._lock:
            self._file.close()


# ---------------------------------------------------------------- addresses

def split_target(target):
    """Path and raw query of a request target (origin form)."""
    path, _, query = target.partition("?")
    return path, query


def address_of(query):
    """The address carried by `v=` or `url=`, percent-decoded as UTF-8.

    The program appends the typed text to the service's base address as it
    is, so an address may itself contain `&` and `=`: everything after the
    first `v=` / `url=` parameter is the address. None when neither is there.
    """
    pieces = query.split("&")
    for index, piece in enumerate(pieces):
        name, sep, value = piece.partition("=")
        if sep and name in ADDRESS_PARAMS:
            raw = "&".join([value] + pieces[index + 1:])
            return urllib.parse.unquote(raw, encoding="utf-8", errors="replace")
    return None


def is_media_address(address):
    if not address:
        return False
    try:
        parts = urllib.parse.urlsplit(address)
    except ValueError:
        return False
    if parts.scheme.lower() not in ("http", "https", ""):
        return False
    return parts.path.lower().endswith(MEDIA_SUFFIXES)


# ---------------------------------------------------------------- the page

PAGE_STYLE = """
html, body { margin: 0; background: #101418; color: #e8e8e8;
             font: 15px/1.4 sans-serif; }
main { padding: 10px 14px; }
p { margin: 0 0 8px 0; }
#address { color: #ffd75e; word-break: break-all; }
#film { display: block; width: 480px; height: 270px; background: #000; }
#clock { margin-top: 8px; font-size: 18px; }
"""

# Reads the address back from the page's own text, so it never has to be
# written into the script.
PAGE_SCRIPT = """
(function () {
  var film = document.getElementById('film');
  var seconds = document.getElementById('seconds');
  var state = document.getElementById('state');
  var address = document.getElementById('address').textContent;
  function show() {
    seconds.textContent = film.currentTime.toFixed(1);
    state.textContent = film.error ? 'failed (media error ' + film.error.code + ')'
                                   : film.paused ? 'paused' : 'playing';
  }
  function report() {
    show();
    if (film.paused && !film.ended && !film.error) {
      var started = film.play();
      if (started && started.catch) { started.catch(function () {}); }
    }
    var query = '?t=' + encodeURIComponent(film.currentTime) +
                '&paused=' + (film.paused ? 1 : 0) +
                '&a=' + encodeURIComponent(address);
    fetch('/progress' + query, {cache: 'no-store'}).catch(function () {});
  }
  film.addEventListener('timeupdate', show);
  setInterval(report, 500);
})();
"""


def page_html(address):
    shown = html.escape(address or "", quote=True)
    source = html.escape(address, quote=True) if is_media_address(address) else FILM_PATH
    return (
        "<!DOCTYPE html>\n"
        "<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>filmbar player</title>"
        f"<style>{PAGE_STYLE}</style></head>\n"
        "<body><main>\n"
        f"<p>Address: <span id=\"address\">{shown}</span></p>\n"
        f"<video id=\"film\" src=\"{source}\" autoplay muted playsinline loop></video>\n"
        "<p id=\"clock\">Film <span id=\"state\">loading</span> at "
        "<span id=\"seconds\">0.0</span> s</p>\n"
        "</main>\n"
        f"<script>{PAGE_SCRIPT}</script>\n"
        "</body></html>\n"
    ).encode("utf-8")


# ---------------------------------------------------------------- ranges

def parse_range(header, size):
    """(start, end) inclusive for a single `bytes=` range, None for the whole
    file, or "unsatisfiable"."""
    if not header:
        return None
    unit, _, ranges = header.strip().partition("=")
    if unit.strip().lower() != "bytes":
        return None
    # Several ranges at once are answered with the first one only.
    first = ranges.split(",")[0].strip()
    start_text, dash, end_text = first.partition("-")
    if not dash:
        return None
    try:
        if start_text == "":
            suffix = int(end_text)
            if suffix <= 0:
                return "unsatisfiable"
            return (max(0, size - suffix), size - 1)
        start = int(start_text)
        end = int(end_text) if end_text else size - 1
    except ValueError:
        return None
    if start >= size:
        return "unsatisfiable"
    if end < start:
        return None
    return (start, min(end, size - 1))


# ---------------------------------------------------------------- handler

class PlayerHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "filmbar-player/1.0"
    timeout = IDLE_CONNECTION_TIMEOUT

    # Set per server class.
    scheme = "http"
    event_log = None
    film_path = None

    def log_message(self, format, *args):  # noqa: A002 (signature of the base)
        # Requests go to the JSON log; nothing on stderr per request.
        pass

    def raw_target(self):
        words = self.requestline.split()
        return words[1] if len(words) >= 2 else ""

    def log_request_event(self):
        target = self.raw_target()
        path, query = split_target(target)
        self.event_log.write({
            "kind": "request",
            "scheme": self.scheme,
            "method": self.command or "",
            "target": target,
            "path": path,
            "address": address_of(query),
            "time": time.time(),
        })
        return path, query

    def parse_request(self):
        ok = super().parse_request()
        if not ok and self.requestline:
            # Malformed requests are answered 400 by the base class; they
            # still belong in the log.
            self.log_request_event()
        return ok

    # -- dispatch

    def do_GET(self):
        self.dispatch(send_body=True)

    def do_HEAD(self):
        self.dispatch(send_body=False)

    def do_other(self):
        self.log_request_event()
        self.send_plain(405, "method not allowed\n", send_body=True, extra={"Allow": "GET, HEAD"})

    do_POST = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_other

    def dispatch(self, send_body):
        path, query = self.log_request_event()
        page_path, _ = PAGES[self.scheme]
        if path == page_path:
            self.send_page(address_of(query), send_body)
        elif path == FILM_PATH:
            self.send_film(send_body)
        elif path == PROGRESS_PATH:
            self.take_progress(query)
        else:
            self.send_plain(404, "not found\n", send_body)

    # -- answers

    def send_plain(self, status, text, send_body, extra=None):
        body = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def send_page(self, address, send_body):
        body = page_html(address)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def send_film(self, send_body):
        size = os.path.getsize(self.film_path)
        wanted = parse_range(self.headers.get("Range"), size)
        if wanted == "unsatisfiable":
            self.send_response(416)
            self.send_header("Content-Range", f"bytes */{size}")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if wanted is None:
            start, end, status = 0, size - 1, 200
        else:
            (start, end), status = wanted, 206
        length = end - start + 1 if size else 0
        self.send_response(status)
        self.send_header("Content-Type", "video/webm")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(length))
        if status == 206:
            self.send_header("Content-Range", f"bytes {start}-{end}/{size}")
        self.end_headers()
        if not send_body:
            return
        with open(self.film_path, "rb") as film:
            film.seek(start)
            left = length
            while left > 0:
                chunk = film.read(min(FILM_CHUNK, left))
                if not chunk:
                    break
                self.wfile.write(chunk)
                left -= len(chunk)

    def take_progress(self, query):
        fields = urllib.parse.parse_qs(query, keep_blank_values=True, errors="replace")
        try:
            current = float(fields.get("t", [""])[0])
        except ValueError:
            current = math.nan
        if not math.isfinite(current):
            self.send_plain(400, "t must be a number of seconds\n", send_body=True)
            return
        self.event_log.write({
            "kind": "progress",
            "scheme": self.scheme,
            "address": fields["a"][0] if "a" in fields else None,
            "current_time": current,
            "paused": fields.get("paused", ["0"])[0] not in ("0", "", "false"),
            "time": time.time(),
        })
        self.send_response(204)
        self.send_header("Cache-Control", "no-store")
        self.send_header("Content-Length", "0")
        self.end_headers()


# ---------------------------------------------------------------- servers

class PlainServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    # A browser opens several connections at once (page, film, progress).
    request_queue_size = 64


class TlsServer(PlainServer):
    """Does the TLS handshake in the connection's own thread, so a client
    that stalls or rejects the certificate never holds up the others."""

    def __init__(self, address, handler, context):
        self.tls_context = context
        super().__init__(address, handler)

    def finish_request(self, request, client_address):
        request.settimeout(HANDSHAKE_TIMEOUT)
        try:
            tls = self.tls_context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return
        try:
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            try:
                tls.close()
            except OSError:
                pass


def handler_for(scheme, event_log, film_path):
    return type(f"{scheme.capitalize()}PlayerHandler", (PlayerHandler,), {
        "scheme": scheme,
        "event_log": event_log,
        "film_path": film_path,
    })


# ---------------------------------------------------------------- cert and film

def make_cert(directory):
    directory = pathlib.Path(directory)
    cert, key = directory / "cert.pem", directory / "key.pem"
    if cert.is_file() and key.is_file():
        return cert, key
    directory.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=directory) as scratch:
        new_cert = pathlib.Path(scratch) / "cert.pem"
        new_key = pathlib.Path(scratch) / "key.pem"
        subprocess.run([
            "openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
            "-days", "3650",
            "-subj", "/CN=127.0.0.1",
            "-addext", "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost",
            "-addext", "extendedKeyUsage=serverAuth",
            "-keyout", str(new_key), "-out", str(new_cert),
        ], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        os.chmod(new_key, 0o600)
        # The key first: a cert.pem next to a missing key.pem never passes
        # for a finished pair.
        os.replace(new_key, key)
        os.replace(new_cert, cert)
    return cert, key


def default_film_path():
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return pathlib.Path(cache) / "filmbar" / "film.webm"


def ensure_film(path):
    path = pathlib.Path(path)
    if not path.is_file() or path.stat().st_size == 0:
        subprocess.run(["bash", str(MAKE_FILM), str(path)], check=True)
    return path


# ---------------------------------------------------------------- main

def announce(ports, ready_file):
    line = json.dumps(ports)
    sys.stdout.write(line + "\n")
    sys.stdout.flush()
    if ready_file:
        ready = pathlib.Path(ready_file)
        partial = ready.with_name(ready.name + ".part")
        partial.write_text(line + "\n", encoding="utf-8")
        os.replace(partial, ready)


def serve(args):
    film = ensure_film(args.film or default_film_path())
    event_log = EventLog(args.log)

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)

    https_server = TlsServer((LISTEN_HOST, args.https_port),
                             handler_for("https", event_log, str(film)), context)
    http_server = PlainServer((LISTEN_HOST, args.http_port),
                              handler_for("http", event_log, str(film)))
    servers = (https_server, http_server)

    stop = threading.Event()
    for signum in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signum, lambda *_: stop.set())

    threads = [threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2},
                                daemon=True) for server in servers]
    for thread in threads:
        thread.start()

    announce({"https_port": https_server.server_address[1],
              "http_port": http_server.server_address[1]}, args.ready_file)

    while not stop.wait(0.5):
        pass
    for server in servers:
        server.shutdown()
        server.server_close()
    event_log.close()
    return 0


def parse_args(argv):
    parser = argparse.ArgumentParser(description="Local player service for filmbar.")
    parser.add_argument("--make-cert", metavar="DIR",
                        help="write DIR/cert.pem and DIR/key.pem for loopback (kept if present) and exit")
    parser.add_argument("--https-port", type=int, metavar="P1", help="HTTPS port, 0 picks a free one")
    parser.add_argument("--http-port", type=int, metavar="P2", help="HTTP port, 0 picks a free one")
    parser.add_argument("--cert", metavar="CERT", help="PEM certificate of the HTTPS server")
    parser.add_argument("--key", metavar="KEY", help="PEM private key of the HTTPS server")
    parser.add_argument("--log", metavar="LOGFILE", help="JSON-lines log of requests and progress")
    parser.add_argument("--film", metavar="FILE",
                        help="film served as /film.webm (made there when missing; "
                             "default: the user's cache folder)")
    parser.add_argument("--ready-file", metavar="F", help="also write the ports line to F")
    args = parser.parse_args(argv)
    if args.make_cert is None:
        missing = [flag for flag, value in (("--https-port", args.https_port),
                                            ("--http-port", args.http_port),
                                            ("--cert", args.cert), ("--key", args.key),
                                            ("--log", args.log)) if value is None]
        if missing:
            parser.error("missing " + ", ".join(missing))
        for flag, port in (("--https-port", args.https_port), ("--http-port", args.http_port)):
            if not 0 <= port <= 65535:
                parser.error(f"{flag} must be 0..65535")
    return args


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    if args.make_cert is not None:
        try:
            make_cert(args.make_cert)
        except subprocess.CalledProcessError as failure:
            sys.stderr.write(failure.stderr.decode(errors="replace"))
            return 1
        return 0
    try:
        return serve(args)
    except (OSError, ssl.SSLError, subprocess.CalledProcessError) as failure:
        sys.stderr.write(f"player_service: {failure}\n")
        return 1


if __name__ == "__main__":
    sys.exit(main())
