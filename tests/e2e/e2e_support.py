"""Shared helpers of filmbar's end-to-end tests: a private X display, the local
player service, its log, waiting, screenshots.

Every process started here is tracked: it is stopped by its handle, by
stop_all() and at interpreter exit, and it is also asked by the kernel to
terminate if the test process dies without running its exit handlers (a
test killed on timeout, for instance).

Standard library only, plus system tools: Xvfb, import (imagemagick).
"""

import atexit
import ctypes
import json
import os
import pathlib
import select
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = pathlib.Path(__file__).resolve().parent
SOURCE_DIR = pathlib.Path(os.environ.get("FILMBAR_SOURCE_DIR") or HERE.parent.parent)
PLAYER_SERVICE = SOURCE_DIR / "tools" / "player_service" / "player_service.py"

LOOPBACK = "127.0.0.1"
XVFB_FIRST_DISPLAY = 20
XVFB_LAST_DISPLAY = 400

# ---------------------------------------------------------------- processes

_tracked = []
_tracked_lock = threading.Lock()
_PR_SET_PDEATHSIG = 1
try:
    _prctl = ctypes.CDLL(None, use_errno=True).prctl
except (OSError, AttributeError):
    _prctl = None


def _die_with_parent():
    # Runs in the child between fork and exec: nothing to load here.
    if _prctl is not None:
        _prctl(_PR_SET_PDEATHSIG, int(signal.SIGTERM), 0, 0, 0)


def _exit_on_sigterm():
    # A test stopped with SIGTERM should still run its atexit handlers, so
    # that nothing it started outlives it.
    if threading.current_thread() is threading.main_thread() and \
            signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
        signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(128 + signum))


def start_process(args, **popen_options):
    """subprocess.Popen that is stopped by stop_all() and at exit, and,
    when started from the main thread, dies with the calling process."""
    _exit_on_sigterm()
    # The kernel's parent-death signal follows the starting thread, so only
    # the main thread may ask for it.
    if threading.current_thread() is threading.main_thread():
        popen_options.setdefault("preexec_fn", _die_with_parent)
    process = subprocess.Popen([str(arg) for arg in args], **popen_options)
    with _tracked_lock:
        _tracked.append(process)
    return process


def stop_process(process, grace=5.0):
    """Terminate, then kill after `grace` seconds; returns the exit code."""
    if process.poll() is None:
        try:
            process.terminate()
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        except ProcessLookupError:
            pass
    with _tracked_lock:
        if process in _tracked:
            _tracked.remove(process)
    return process.returncode


def stop_all():
    with _tracked_lock:
        running = list(reversed(_tracked))
    for process in running:
        stop_process(process)


atexit.register(stop_all)

# ---------------------------------------------------------------- small things


def free_port():
    """A TCP port on 127.0.0.1 that was free a moment ago."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind((LOOPBACK, 0))
        return probe.getsockname()[1]


def wait_for(predicate, timeout, interval=0.1):
    """Calls predicate until it returns something true or timeout seconds
    pass; returns its last result (false on timeout)."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(interval)


def work_dir(name):
    """A fresh scratch folder under FILMBAR_WORK (or the system's temp)."""
    base = os.environ.get("FILMBAR_WORK")
    if base:
        pathlib.Path(base).mkdir(parents=True, exist_ok=True)
    return pathlib.Path(tempfile.mkdtemp(prefix=name + "-", dir=base or None))


def artifacts_dir():
    folder = pathlib.Path(os.environ.get("FILMBAR_ARTIFACTS") or work_dir("artifacts"))
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def port_of(host):
    """The port of a `host:port` text such as FILMBAR_SERVICE1_HOST."""
    _, _, port = host.rpartition(":")
    return int(port)

# ---------------------------------------------------------------- X display


def _display_taken(number):
    return os.path.exists(f"/tmp/.X{number}-lock") or \
        os.path.exists(f"/tmp/.X11-unix/X{number}")


def start_xvfb(width=1280, height=800, depth=24, timeout=15.0):
    """Starts Xvfb on a free display number and waits until it accepts
    clients. Returns (display text such as ":21", stop function)."""
    for number in range(XVFB_FIRST_DISPLAY, XVFB_LAST_DISPLAY):
        if _display_taken(number):
            continue
        ready_read, ready_write = os.pipe()
        try:
            process = start_process(
                ["Xvfb", f":{number}", "-screen", "0", f"{width}x{height}x{depth}",
                 "-nolisten", "tcp", "-noreset", "-displayfd", str(ready_write)],
                pass_fds=(ready_write,), stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        finally:
            os.close(ready_write)
        try:
            # Xvfb writes its display number to the pipe once it is ready,
            # or exits when the number is taken after all.
            announced = b""
            deadline = time.monotonic() + timeout
            while not announced.endswith(b"\n") and time.monotonic() < deadline:
                readable, _, _ = select.select([ready_read], [], [], 0.2)
                if readable:
                    chunk = os.read(ready_read, 64)
                    if not chunk:
                        break
                    announced += chunk
                elif process.poll() is not None:
                    break
        finally:
            os.close(ready_read)
        socket_path = f"/tmp/.X11-unix/X{number}"
        if announced.strip() == str(number).encode() and wait_for(
                lambda: os.path.exists(socket_path), 5.0, 0.05):
            display = f":{number}"

            def stop(process=process):
                stop_process(process)
            return display, stop
        stop_process(process)
    raise RuntimeError("no free X display number for Xvfb")


class _Xlib:
    """The few libX11 calls the tests need, through ctypes."""

    def __init__(self):
        import ctypes.util
        lib = ctypes.CDLL(ctypes.util.find_library("X11"))
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        lib.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                         ctypes.POINTER(ctypes.c_int)]
        lib.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        lib.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                            ctypes.POINTER(ctypes.c_int)]
        lib.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                               ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
        lib.XFree.argtypes = [ctypes.c_void_p]
        lib.XQueryKeymap.argtypes = [ctypes.c_void_p, ctypes.c_char * 32]
        self.lib = lib

    def open(self, display):
        connection = self.lib.XOpenDisplay(display.encode())
        if not connection:
            raise RuntimeError(f"cannot open display {display}")
        return connection


_xlib = None


def _x():
    global _xlib
    if _xlib is None:
        _xlib = _Xlib()
    return _xlib


def _keysym_of(character):
    code = ord(character)
    # Latin-1 characters are their own keysyms; the rest of Unicode is
    # offset by 0x01000000.
    return code if 0x20 <= code <= 0x7E or 0xA0 <= code <= 0xFF else 0x01000000 + code


def _keyboard_rows(xlib, connection):
    """(lowest keycode, one tuple of keysyms per keycode)."""
    low, high = ctypes.c_int(), ctypes.c_int()
    xlib.lib.XDisplayKeycodes(connection, ctypes.byref(low), ctypes.byref(high))
    count = high.value - low.value + 1
    per_code = ctypes.c_int()
    table = xlib.lib.XGetKeyboardMapping(connection, low.value, count, ctypes.byref(per_code))
    try:
        return low.value, [tuple(table[i * per_code.value + j] for j in range(per_code.value))
                           for i in range(count)]
    finally:
        xlib.lib.XFree(table)


def unbound_characters(display, text):
    """The characters of `text` that no key of the display's keyboard types."""
    xlib = _x()
    connection = xlib.open(display)
    try:
        _, rows = _keyboard_rows(xlib, connection)
    finally:
        xlib.lib.XCloseDisplay(connection)
    present = {keysym for row in rows for keysym in row}
    return "".join(sorted({c for c in text if _keysym_of(c) not in present}))


def bind_keys(display, text):
    """Gives every character of `text` that the display's keyboard cannot
    type a keycode of its own, for the display's lifetime. Do it before a
    client starts: a client reads the keyboard map at its start, and Wine's
    programs do not all pick up a later change.

    xdotool types characters the keyboard lacks by binding a spare keycode
    just for the key press and unbinding it right after; a client that
    reads the map late (a busy one) then sees the key unbound and loses the
    character. With the keys bound beforehand, typing changes no map."""
    xlib = _x()
    connection = xlib.open(display)
    try:
        low, rows = _keyboard_rows(xlib, connection)
        present = {keysym for row in rows for keysym in row}
        # Keycode 8 is left alone: some clients never read it.
        spare = [low + i for i, row in enumerate(rows) if low + i > 8 and not any(row)]
        wanted = []
        for character in text:
            keysym = _keysym_of(character)
            if keysym not in present and keysym not in wanted:
                wanted.append(keysym)
        if len(wanted) > len(spare):
            raise RuntimeError(f"{len(wanted)} characters to bind, {len(spare)} spare keycodes")
        for keycode, keysym in zip(spare, wanted):
            # The same keysym with and without Shift.
            pair = (ctypes.c_ulong * 2)(keysym, keysym)
            xlib.lib.XChangeKeyboardMapping(connection, keycode, 2, pair, 1)
        xlib.lib.XSync(connection, 0)
    finally:
        xlib.lib.XCloseDisplay(connection)


def held_keys(display):
    """The keycodes that the X server has down at the moment."""
    xlib = _x()
    connection = xlib.open(display)
    try:
        state = (ctypes.c_char * 32)()
        xlib.lib.XQueryKeymap(connection, state)
        return [byte * 8 + bit for byte in range(32) for bit in range(8)
                if state.raw[byte] >> bit & 1]
    finally:
        xlib.lib.XCloseDisplay(connection)


def screenshot(display, path):
    """Saves the whole screen of `display` as an image file (PNG by name)."""
    path = pathlib.Path(path)
    path.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["import", "-display", display, "-window", "root", str(path)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                   timeout=30)
    return path

# ---------------------------------------------------------------- player service


def make_cert(directory):
    """Loopback certificate pair made by the service: (cert.pem, key.pem)."""
    subprocess.run([sys.executable, str(PLAYER_SERVICE), "--make-cert", str(directory)],
                   check=True, timeout=60)
    directory = pathlib.Path(directory)
    return directory / "cert.pem", directory / "key.pem"


class ServiceHandle:
    """A running player service: .https_port, .http_port, .log_path,
    .process; .stop() ends it (and is safe to call twice)."""

    def __init__(self, process, https_port, http_port, log_path, cert, key):
        self.process = process
        self.https_port = https_port
        self.http_port = http_port
        self.log_path = pathlib.Path(log_path)
        self.cert = pathlib.Path(cert)
        self.key = pathlib.Path(key)

    def https_base(self):
        return f"https://{LOOPBACK}:{self.https_port}"

    def http_base(self):
        return f"http://{LOOPBACK}:{self.http_port}"

    def log(self):
        return read_log(self.log_path)

    def stop(self):
        code = stop_process(self.process)
        if self.process.stdout:
            self.process.stdout.close()
        return code

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()


def start_service(https_port, http_port, log_path, cert=None, key=None, film=None,
                  timeout=60.0):
    """Starts the player service on 127.0.0.1 (port 0: a free one) and waits
    for its ready line. cert/key default to FILMBAR_CERT/FILMBAR_KEY, or a
    pair made in a scratch folder."""
    cert = cert or os.environ.get("FILMBAR_CERT")
    key = key or os.environ.get("FILMBAR_KEY")
    if not cert or not key:
        cert, key = make_cert(work_dir("service-cert"))
    elif not (os.path.isfile(cert) and os.path.isfile(key)) and \
            pathlib.Path(cert).parent == pathlib.Path(key).parent and \
            (pathlib.Path(cert).name, pathlib.Path(key).name) == ("cert.pem", "key.pem"):
        # The folder that the build was told to trust, not made yet.
        make_cert(pathlib.Path(cert).parent)
    log_path = pathlib.Path(log_path)
    log_path.parent.mkdir(parents=True, exist_ok=True)
    args = [sys.executable, PLAYER_SERVICE, "--https-port", https_port,
            "--http-port", http_port, "--cert", cert, "--key", key, "--log", log_path]
    if film:
        args += ["--film", film]
    process = start_process(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)

    # The first line on stdout says which ports it listens on.
    line = b""
    deadline = time.monotonic() + timeout
    while not line.endswith(b"\n") and time.monotonic() < deadline:
        readable, _, _ = select.select([process.stdout], [], [], 0.2)
        if readable:
            chunk = os.read(process.stdout.fileno(), 256)
            if not chunk:
                break
            line += chunk
        elif process.poll() is not None:
            break
    if not line.endswith(b"\n"):
        stop_process(process)
        raise RuntimeError(f"player service did not start (exit code {process.returncode}); "
                           f"ports asked: {https_port}, {http_port}")
    ports = json.loads(line)
    return ServiceHandle(process, ports["https_port"], ports["http_port"], log_path, cert, key)


def read_log(log_path):
    """The service's log as a list of dicts (an unfinished last line is
    left out)."""
    try:
        text = pathlib.Path(log_path).read_text(encoding="utf-8")
    except FileNotFoundError:
        return []
    records = []
    for line in text.splitlines(keepends=True):
        if line.endswith("\n") and line.strip():
            records.append(json.loads(line))
    return records


def requests_for(records, path=None):
    """The request records, only those for `path` when given."""
    return [r for r in records if r.get("kind") == "request" and (path is None or r["path"] == path)]


def played_seconds(records, scheme=None, address=None):
    """The furthest playback position reported (0.0 when none), only over
    `scheme` / for `address` when given."""
    times = [r["current_time"] for r in records
             if r.get("kind") == "progress"
             and (scheme is None or r["scheme"] == scheme)
             and (address is None or r["address"] == address)]
    return max(times, default=0.0)
