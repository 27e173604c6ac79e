"""Helpers of the Linux end-to-end tests: a private desktop session (Xvfb,
a D-Bus session bus and the accessibility bus on it), the program started
in it, what the accessibility bus and the screen show of it, and input with
xdotool. Everything started here is stopped by Desktop.close(), which also
checks that no process of the session is left behind.
"""

import ctypes
import ctypes.util
import json
import os
import pathlib
import signal
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))

import e2e_support as e2e  # noqa: E402

# pyatspi comes with the system's Python, whichever Python runs the tests.
SYSTEM_PYTHON = "/usr/bin/python3"
ATSPI_PROBE = HERE / "atspi_probe.py"
AT_SPI_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

SCREEN_WIDTH, SCREEN_HEIGHT = 1280, 800
# The form's outer size; the client area is what a fixed-frame Windows
# window with a caption bar keeps of it.
OUTER_WIDTH, OUTER_HEIGHT = 822, 554
CLIENT_WIDTH, CLIENT_HEIGHT = 816, 529
PARKED_POINTER = (0, 0)  # outside the window


def fail(message):
    raise AssertionError(message)


def check(condition, message):
    if not condition:
        fail(message)


def program_path():
    exe = os.environ.get("FILMBAR_LINUX_EXE")
    if not exe or not os.path.isfile(exe):
        fail(f"FILMBAR_LINUX_EXE does not name the built program: {exe!r}")
    return exe


def _kill_group(process, grace=3.0):
    """Ends a process started in a session of its own, with all of its
    group, and reaps it."""
    if process is None:
        return None
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        pass
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    return e2e.stop_process(process)


def _session_processes(display):
    """Processes other than this one whose environment names `display`."""
    marker = f"DISPLAY={display}\0".encode()
    found = []
    for entry in pathlib.Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            environ = (entry / "environ").read_bytes()
            if marker in environ:
                name = (entry / "comm").read_text().strip()
                found.append(f"{entry.name} {name}")
        except OSError:
            continue
    return found


class Image:
    """A screenshot as RGB bytes."""

    def __init__(self, path):
        self.path = pathlib.Path(path)
        size = subprocess.run(["identify", "-format", "%w %h", str(path)], check=True,
                              capture_output=True, text=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.data = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], check=True,
                                   capture_output=True).stdout

    def pixel(self, x, y):
        offset = (y * self.width + x) * 3
        return tuple(self.data[offset:offset + 3])

    def region(self, left, top, width, height):
        return [self.pixel(x, y) for y in range(top, top + height)
                for x in range(left, left + width)]


class Desktop:
    """Xvfb with a session bus and the accessibility bus on it."""

    def __init__(self):
        self._processes = []
        self.display, self._stop_xvfb = e2e.start_xvfb(SCREEN_WIDTH, SCREEN_HEIGHT)
        try:
            # A runtime folder of the session's own keeps the accessibility
            # sockets out of the user's home.
            runtime = e2e.work_dir("linux-runtime")
            os.chmod(runtime, 0o700)
            self.env = dict(os.environ, DISPLAY=self.display, GIO_USE_VFS="local",
                            XDG_RUNTIME_DIR=str(runtime))
            for name in ("DBUS_SESSION_BUS_ADDRESS", "NO_AT_BRIDGE", "AT_SPI_BUS_ADDRESS"):
                self.env.pop(name, None)
            bus = self._start(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                               "--print-address=1"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
            address = bus.stdout.readline().decode().strip()
            check(address, "the session bus did not start")
            self.env["DBUS_SESSION_BUS_ADDRESS"] = address
            self._start([AT_SPI_BUS_LAUNCHER, "--launch-immediately"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            check(e2e.wait_for(self._accessibility_bus_up, 10.0, 0.1),
                  "the accessibility bus did not start")
        except BaseException:
            self.close(check_leftovers=False)
            raise

    def _start(self, args, **options):
        options.setdefault("stdin", subprocess.DEVNULL)
        process = e2e.start_process(args, env=self.env, start_new_session=True, **options)
        self._processes.append(process)
        return process

    def _accessibility_bus_up(self):
        result = subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True, timeout=5)
        return result.returncode == 0

    def run(self, *args, timeout=15):
        return subprocess.run([str(a) for a in args], env=self.env, check=True,
                              capture_output=True, text=True, timeout=timeout).stdout

    def xdotool(self, *args):
        return self.run("xdotool", *args)

    def pointer(self):
        where = dict(item.split(":") for item in self.xdotool("getmouselocation").split())
        return int(where["x"]), int(where["y"])

    def move(self, x, y):
        # xdotool's --sync waits for a move, so none is asked for in place.
        if self.pointer() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def screenshot(self, path):
        return Image(e2e.screenshot(self.display, path))

    def start_clipboard(self, text):
        """Owns the clipboard with `text` until the returned process ends;
        returns once the clipboard hands out the text."""
        owner = self._start(["xclip", "-selection", "clipboard", "-i", "-quiet"],
                            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
        owner.stdin.write(text.encode("utf-8"))
        owner.stdin.close()

        # xclip takes the selection only after reading all of its input.
        def offered():
            result = subprocess.run(["xclip", "-selection", "clipboard", "-o"], env=self.env,
                                    capture_output=True, timeout=5)
            return result.returncode == 0 and result.stdout == text.encode("utf-8")
        check(e2e.wait_for(offered, 5.0, 0.05), "xclip did not take the clipboard")
        return owner

    def close(self, check_leftovers=True):
        # Keys held by a window that closed could repeat into the next test.
        held = []
        try:
            for key in ("Escape", "Alt_L", "F4", "Tab", "Shift_L", "Control_L", "space",
                        "Return"):
                self.xdotool("keyup", key)
            held = e2e.held_keys(self.display)
        except Exception:
            pass
        for process in reversed(self._processes):
            _kill_group(process)
        self._processes.clear()
        leftovers = e2e.wait_for(lambda: not _session_processes(self.display), 5.0, 0.1)
        remaining = [] if leftovers else _session_processes(self.display)
        self._stop_xvfb()
        if check_leftovers:
            check(not remaining, f"processes left running: {remaining}")
            check(not held, f"keys still held at the end: keycodes {held}")

    def launch(self, faketime=None, preload=None, log_name="filmbar.log"):
        return Program(self, faketime=faketime, preload=preload, log_name=log_name)


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


def ask_window_to_close(display, window):
    """What a window manager's close button does: a WM_DELETE_WINDOW
    message to the window (libX11 through ctypes; no window manager runs)."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.POINTER(_XEvent)]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = xlib.XOpenDisplay(display.encode())
    check(connection, f"cannot open display {display}")
    try:
        event = _XEvent()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = xlib.XInternAtom(connection, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = xlib.XInternAtom(connection, b"WM_DELETE_WINDOW", 0)
        event.client.data[1] = 0  # CurrentTime
        check(xlib.XSendEvent(connection, window, 0, 0, ctypes.byref(event)),
              "the close message could not be sent")
        xlib.XFlush(connection)
    finally:
        xlib.XCloseDisplay(connection)


class Program:
    """The built program running on the desktop."""

    def __init__(self, desktop, faketime=None, preload=None, log_name="filmbar.log"):
        self.desktop = desktop
        desktop.move(*PARKED_POINTER)
        env = dict(desktop.env, GTK_MODULES="gail:atk-bridge")
        args = [program_path()]
        if faketime:
            # A stopped clock, so that the time shown is the one given; the
            # monotonic clock keeps running for the toolkit's timers.
            args = ["faketime", "-f", faketime] + args
            env["DONT_FAKE_MONOTONIC"] = "1"
        if preload:
            env["LD_PRELOAD"] = str(preload)
        self.log_path = e2e.work_dir("linux") / log_name
        self._log = open(self.log_path, "wb")
        self.started = time.monotonic()
        self.process = e2e.start_process(args, env=env, stdin=subprocess.DEVNULL,
                                         stdout=self._log, stderr=subprocess.STDOUT,
                                         start_new_session=True)
        desktop._processes.append(self.process)
        self._pid = None if faketime else self.process.pid
        self._window = None
        self.startup_seconds = None

    # ---- the process

    @property
    def pid(self):
        """The program's own process (faketime runs it as its child)."""
        if self._pid is None:
            def child():
                try:
                    text = pathlib.Path(
                        f"/proc/{self.process.pid}/task/{self.process.pid}/children").read_text()
                except OSError:
                    return None
                return int(text.split()[0]) if text.split() else None
            self._pid = e2e.wait_for(child, 10.0, 0.02)
            check(self._pid, "the program did not start under faketime")
        return self._pid

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=10.0):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            fail(f"the program did not end within {timeout} s")

    def output(self):
        self._log.flush()
        return self.log_path.read_text(errors="replace")

    # ---- its windows

    def visible_windows(self):
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.pid)],
                                env=self.desktop.env, capture_output=True, text=True)
        return [int(w) for w in result.stdout.split()]

    def window(self, timeout=20.0):
        """The X window of the main window, once it is shown."""
        if self._window is None:
            windows = e2e.wait_for(self.visible_windows, timeout, 0.02)
            check(windows, "the program showed no window\n" + self.output())
            self.startup_seconds = time.monotonic() - self.started
            self._window = windows[0]
        return self._window

    def geometry(self, window=None):
        info = self.desktop.run("xwininfo", "-id", window or self.window())
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def property(self, name, window=None):
        return self.desktop.run("xprop", "-id", window or self.window(), name)

    def focus(self):
        self.desktop.xdotool("windowfocus", "--sync", self.window())

    def close_as_window_manager(self):
        ask_window_to_close(self.desktop.display, self.window())

    def key(self, *keys):
        for key in keys:
            self.desktop.xdotool("key", "--clearmodifiers", key)

    def type(self, text):
        self.desktop.xdotool("type", "--delay", "30", text)

    def click(self, x, y, button=1):
        self.desktop.move(x, y)
        self.desktop.xdotool("click", button)

    # ---- what the accessibility bus shows

    def accessible_tree(self):
        out = subprocess.run([SYSTEM_PYTHON, str(ATSPI_PROBE), str(self.pid)],
                             env=self.desktop.env, capture_output=True, text=True, timeout=30)
        check(out.returncode == 0, "the accessibility probe failed: " + out.stderr)
        return json.loads(out.stdout)

    def accessibles(self, role=None, name=None):
        """Every accessible of the program (depth first), only of `role` /
        with `name` when given."""
        found = []

        def walk(node):
            if node is None:
                return
            if (role is None or node["role"] == role) and (name is None or node["name"] == name):
                found.append(node)
            for child in node["children"]:
                walk(child)
        walk(self.accessible_tree())
        return found

    def accessible(self, role, name=None, timeout=5.0):
        """The one accessible of `role` (named `name`). The toolkit hands
        its widgets to the accessibility bus some time after the window
        shows, so an empty answer is asked again until `timeout`."""
        matches = e2e.wait_for(lambda: self.accessibles(role, name), timeout, 0.1)
        check(len(matches) == 1,
              f"expected one {role!r} named {name!r}, found {len(matches)}")
        return matches[0]

    def address_text(self):
        return self.accessible("text")["text"]

    def wait_address_text(self, expected, timeout=5.0):
        return e2e.wait_for(lambda: self.address_text() == expected, timeout, 0.1)

    def chooser_entry(self):
        return self.accessible("combo box")["name"]

    def client_origin(self):
        x, y, _, _ = self.geometry()
        return x, y

    def client_point(self, x, y):
        """Screen coordinates of a point of the window's client area."""
        left, top = self.client_origin()
        return left + x, top + y

    def centre_of(self, node):
        x, y, width, height = node["extents"]
        return x + width // 2, y + height // 2


def passes(check_function, *args):
    """Whether check_function(*args) raises no AssertionError."""
    try:
        check_function(*args)
    except AssertionError:
        return False
    return True


def run_test(test):
    """Runs one test function with a fresh desktop; exit code 0 on success."""
    desktop = Desktop()
    ok = False
    try:
        test(desktop)
        ok = True
    finally:
        desktop.close(check_leftovers=ok)
    print("ok")
    return 0
