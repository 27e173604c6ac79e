"""What the Wine end-to-end tests share: the one Wine prefix of a test run,
a wineserver per test, filmbar.exe started and read from outside (the
inspector program in the same prefix), xdotool input, screenshots read
pixel by pixel, and Wine's browser trace.

Standard library only, plus wine, xdotool, imagemagick and openssl.
"""

import atexit
import datetime
import fcntl
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
import e2e_support  # noqa: E402

WIN_EXE = pathlib.Path(os.environ.get("FILMBAR_WIN_EXE") or
                       e2e_support.SOURCE_DIR / "build" / "windows-x64" / "filmbar.exe")
INSPECTOR = WIN_EXE.with_name("filmbar_inspect.exe")
SERVICE1_HOST = os.environ.get("FILMBAR_SERVICE1_HOST", "127.0.0.1:18443")
SERVICE2_HOST = os.environ.get("FILMBAR_SERVICE2_HOST", "127.0.0.1:18080")
HTTPS_BASE = f"https://{SERVICE1_HOST}/webcloud/?v="
HTTP_BASE = f"http://{SERVICE2_HOST}/video.php?url="

MAIN_WINDOW = 0x52010001
SCREEN = (1280, 800)

# Window styles read back by the inspector.
WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x00C00000, 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_CLIPCHILDREN = 0x00020000, 0x00010000, 0x02000000
WS_TABSTOP, WS_VSCROLL, WS_VISIBLE = 0x00010000, 0x00200000, 0x10000000
WS_EX_CLIENTEDGE = 0x00000200
ES_AUTOHSCROLL, ES_MULTILINE = 0x0080, 0x0004
BS_TYPEMASK, BS_PUSHBUTTON, BS_CENTER, BS_VCENTER, BS_MULTILINE = 0x0F, 0x0, 0x0300, 0x0C00, 0x2000
CBS_TYPEMASK, CBS_DROPDOWNLIST = 0x3, 0x3
SS_TYPEMASK, SS_ICON = 0x1F, 0x3


def work_root():
    root = pathlib.Path(os.environ.get("FILMBAR_WORK") or "/tmp/filmbar-e2e-work")
    root.mkdir(parents=True, exist_ok=True)
    return root


def require_program():
    missing = [str(p) for p in (WIN_EXE, INSPECTOR) if not p.is_file()]
    if missing:
        raise RuntimeError("the Windows build is missing (build the windows-x64 preset first): "
                           + ", ".join(missing))


def run(args, env=None, timeout=60, check=True, **options):
    return subprocess.run([str(a) for a in args], env=env, timeout=timeout, check=check,
                          stdin=subprocess.DEVNULL, **options)


# ---------------------------------------------------------------- locales

def ensure_locale(name, source, charmap="UTF-8"):
    """The name of a usable locale: `name` (made with localedef when it is
    missing and we may), else None."""
    def present():
        listed = run(["locale", "-a"], capture_output=True, text=True).stdout.split()
        wanted = name.lower().replace("utf-8", "utf8")
        return any(entry.lower() == wanted for entry in listed)
    if present():
        return name
    run(["localedef", "-i", source, "-f", charmap, name], check=False,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    return name if present() else None


def english_locale():
    return ensure_locale("en_US.UTF-8", "en_US") or "C.UTF-8"


def chinese_locale():
    found = ensure_locale("zh_CN.UTF-8", "zh_CN")
    if found is None:
        raise RuntimeError("no zh_CN.UTF-8 locale and localedef could not make it "
                           "(apt package `locales`)")
    return found


# ---------------------------------------------------------------- the prefix

class Wine:
    """The run's Wine prefix (made once, reused by every Wine test of the
    run) with a wineserver of this test's own on a display of its own."""

    def __init__(self, display, lang):
        self.display = display
        self.lang = lang
        self.prefix = work_root() / "wine-prefix"
        self.base_env = dict(os.environ, WINEPREFIX=str(self.prefix), DISPLAY=display,
                             WINEDEBUG="-all", LANG=lang, LC_ALL=lang)
        self.base_env.pop("WINEDLLOVERRIDES", None)
        self._make_prefix()
        self.start_server()
        atexit.register(self.stop_server)

    def env(self, **extra):
        env = dict(self.base_env)
        env.update(extra)
        return env

    def _make_prefix(self):
        lock_path = self.prefix.with_name("wine-prefix.lock")
        with open(lock_path, "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            ready = self.prefix / ".filmbar-ready"
            if ready.exists():
                return
            # No Mono or Gecko installer: the program needs neither.
            env = self.env(WINEDLLOVERRIDES="mscoree,mshtml=")
            run(["wineboot", "-i"], env=env, timeout=180,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            # Without a window manager Wine draws the frames itself, so the
            # X window has the full outer size.
            run(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed",
                 "/d", "N", "/f"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            run(["wineserver", "-w"], env=env, timeout=120)
            ready.touch()

    def start_server(self, timeout=30):
        # The previous test's server may still be on its way out after
        # `wineserver -w` returned: a new one starts only once it is gone.
        def started():
            # Into a file, not a pipe: the server it starts keeps its output.
            with tempfile.TemporaryFile() as errors:
                result = run(["wineserver", "-p"], env=self.base_env, timeout=30, check=False,
                             stdout=subprocess.DEVNULL, stderr=errors)
                errors.seek(0)
                self.server_error = errors.read().decode(errors="replace").strip()
            return result.returncode == 0
        if not e2e_support.wait_for(started, timeout, 0.2):
            raise RuntimeError(f"no wineserver of our own within {timeout} s "
                               f"(another one still runs for the prefix?): {self.server_error}")
        self._link_chinese_font()

    def _link_chinese_font(self):
        """Lets the stock fonts fall back to a CJK font for Chinese text.
        Wine rewrites these links for the system code page when the first
        program of a new locale starts, so a program runs first and the
        links are written after it."""
        self.inspect("boxes")
        faces = ("Tahoma", "Microsoft Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2", "SimSun")
        link = "wqy-microhei.ttc,WenQuanYi Micro Hei"
        # REGEDIT4: a list's characters in the file's own 8-bit text.
        data = (link + "\0\0").encode("ascii").hex(",")
        lines = ["REGEDIT4", "",
                 "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion"
                 "\\FontLink\\SystemLink]"]
        lines += [f'"{face}"=hex(7):{data}' for face in faces]
        reg = work_root() / "wine-font-link.reg"
        reg.write_text("\r\n".join(lines) + "\r\n", encoding="ascii")
        run(["wine", "reg", "import", to_windows_path(reg)], env=self.base_env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop_server(self):
        run(["wineserver", "-k"], env=self.base_env, check=False, timeout=30,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        run(["wineserver", "-w"], env=self.base_env, check=False, timeout=60)

    def restart(self, lang):
        """Another locale needs another wineserver (and desktop process)."""
        self.stop_server()
        self.lang = lang
        self.base_env.update(LANG=lang, LC_ALL=lang)
        self.start_server()

    def inspect(self, *args):
        # Into a file, not a pipe: Wine's own processes, started by the
        # first program of a wineserver, inherit the output and keep a pipe
        # open long after the inspector has ended.
        with tempfile.TemporaryFile() as output:
            run(["wine", INSPECTOR, *args], env=self.base_env, stdout=output,
                stderr=subprocess.DEVNULL, timeout=60, check=False)
            output.seek(0)
            return json.loads(output.read().decode("utf-8"))

    def trust(self, cert):
        answer = self.inspect("trust", to_windows_path(cert))
        if not answer.get("trusted"):
            raise RuntimeError(f"could not add {cert} to the prefix's trusted roots")

    def launch(self, trace_path, **extra_env):
        return Program(self, trace_path, extra_env)


def to_windows_path(path):
    """Wine maps the Unix root to drive Z:."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def loopback_certificate():
    """A certificate for 127.0.0.1 that Wine accepts: Wine's TLS checks match
    the host against the subject's common name, not an IP address entry,
    so this one names the address as its common name and has no other."""
    folder = work_root() / "wine-cert"
    cert, key = folder / "cert.pem", folder / "key.pem"
    if not (cert.is_file() and key.is_file()):
        folder.mkdir(parents=True, exist_ok=True)
        run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30",
             "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


# ---------------------------------------------------------------- the program

class Program:
    """filmbar.exe started in the prefix; its stderr (Wine's trace) kept."""

    def __init__(self, wine, trace_path, extra_env):
        self.wine = wine
        self.trace_path = pathlib.Path(trace_path)
        self.trace_path.parent.mkdir(parents=True, exist_ok=True)
        env = wine.env(WINEDEBUG="-all,+ieframe", **extra_env)
        # A window mapped under the pointer gets a move at once.
        xdotool(wine.display, "mousemove", 0, 0)
        self.started_at = time.time()
        with open(self.trace_path, "wb") as trace:
            self.process = e2e_support.start_process(
                ["wine", WIN_EXE], env=env, cwd=WIN_EXE.parent, stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=trace)

    def running(self):
        return self.process.poll() is None

    def snapshot(self):
        return self.wine.inspect("window")

    def wait_shown(self, timeout=40):
        """The inspector's reading once the main window is on screen and the
        program has gone idle in its message loop: a window just made
        visible may not have its focus yet."""
        def shown():
            if not self.running():
                raise AssertionError(f"filmbar.exe ended early with {self.process.returncode}")
            reading = self.snapshot()
            if reading.get("found") and reading["window"]["visible"] and reading["idle"]:
                return reading
            return None
        reading = e2e_support.wait_for(shown, timeout, 0.3)
        if not reading:
            raise AssertionError("the main window did not appear (or the program never went "
                                 "idle)")
        self.shown_at = time.time()
        self.x_window = x_window_at(self.wine.display, reading["window"]["rect"])
        return reading

    def wait_exit(self, timeout=15):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.running():
            e2e_support.stop_process(self.process)

    def navigations(self):
        """The addresses that the browser control was told to load, from
        Wine's trace, in order."""
        text = self.trace_path.read_text(encoding="utf-8", errors="replace")
        return [decode_wine_string(m) for m in re.findall(r'navigating to L"((?:[^"\\]|\\.)*)"', text)]

    # -- input, as a user gives it

    def focus_keyboard(self):
        xdotool(self.wine.display, "windowfocus", "--sync", self.x_window)

    def key(self, *keys):
        self.focus_keyboard()
        xdotool(self.wine.display, "key", "--delay", 60, *keys)

    def type(self, text):
        # xdotool would remap a key for each of these while the program may
        # still be reading the last one, and the program can lose it; the
        # test binds them before the program starts (e2e_support.bind_keys).
        missing = e2e_support.unbound_characters(self.wine.display, text)
        if missing:
            raise RuntimeError(f"no key types {missing!r}: bind them when the display starts")
        self.focus_keyboard()
        xdotool(self.wine.display, "type", "--delay", 40, text)

    def move_to(self, point):
        xdotool(self.wine.display, "mousemove", *point)

    def click(self, point):
        xdotool(self.wine.display, "mousemove", *point, "click", 1)


def xdotool(display, *args):
    run(["xdotool", *args], env=dict(os.environ, DISPLAY=display), timeout=30,
        stdout=subprocess.DEVNULL)


def x_window_at(display, rect):
    """The X window of the top-level window with the given screen rectangle."""
    env = dict(os.environ, DISPLAY=display)
    found = run(["xdotool", "search", "--classname", "filmbar.exe"], env=env,
                capture_output=True, text=True, check=False).stdout.split()
    for window in found:
        shell = run(["xdotool", "getwindowgeometry", "--shell", window], env=env,
                    capture_output=True, text=True, check=False).stdout
        values = dict(line.split("=", 1) for line in shell.split() if "=" in line)
        if [int(values.get(k, -1)) for k in ("X", "Y", "WIDTH", "HEIGHT")] == \
                [rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]]:
            return window
    raise AssertionError(f"no X window at {rect}")


def decode_wine_string(escaped):
    """Undoes the escaping of Wine's debug strings: \\xxxx (four hex
    digits) for characters outside printable ASCII, and \\\\, \\", \\n, \\r, \\t."""
    simple = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t"}
    out, i = [], 0
    while i < len(escaped):
        c = escaped[i]
        if c == "\\" and i + 1 < len(escaped):
            following = escaped[i + 1]
            if following in simple:
                out.append(simple[following])
                i += 2
                continue
            out.append(chr(int(escaped[i + 1:i + 5], 16)))
            i += 5
            continue
        out.append(c)
        i += 1
    return "".join(out)


# ---------------------------------------------------------------- reading it

def control_by_class(reading, class_name, text=None):
    for child in reading["window"]["children"]:
        if child["class"].lower() == class_name.lower() and (text is None or child["text"] == text):
            return child
    raise AssertionError(f"no {class_name} child" + (f" with text {text!r}" if text else ""))


def window_handles(unit):
    """The handles of a window and of every window inside it."""
    return [unit["hwnd"]] + [h for child in unit["children"] for h in window_handles(child)]


def client_place(reading, rect):
    """A screen rectangle as (left, top, width, height) in the main window's
    client coordinates."""
    origin = reading["client_rect"]
    return (rect[0] - origin[0], rect[1] - origin[1], rect[2] - rect[0], rect[3] - rect[1])


def centre(rect):
    return ((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)


def clock_texts(start, end):
    """Every clock label text that a launch between the two times may show:
    the date, then the time of day down to its last non-zero part."""
    texts = set()
    for second in range(int(start) - 1, int(end) + 2):
        t = datetime.datetime.fromtimestamp(second)
        text = f"{t.year}年{t.month}月{t.day}日"
        if t.second:
            text += f"{t.hour}时{t.minute}分{t.second}秒"
        elif t.minute:
            text += f"{t.hour}时{t.minute}分"
        elif t.hour:
            text += f"{t.hour}时"
        texts.add(text)
    return texts


class Screenshot:
    """A screenshot read as RGB pixels (via imagemagick's PPM output)."""

    def __init__(self, display, path):
        self.path = e2e_support.screenshot(display, path)
        ppm = run(["convert", self.path, "ppm:-"], capture_output=True).stdout
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", ppm)
        self.width, self.height = int(header.group(1)), int(header.group(2))
        self.pixels = ppm[header.end():]

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, rect, predicate):
        left, top, right, bottom = rect
        return sum(1 for y in range(top, bottom) for x in range(left, right)
                   if predicate(self.pixel(x, y)))


def near(colour, wanted, tolerance=60):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))
