"""The Windows program (x86_64 build) under Wine and Xvfb, driven only from
outside: xdotool for input, the project's inspector in the same prefix to
read windows, the local player service's log and Wine's browser trace to
see what was loaded.

    python3 test_wine.py Window|Input|Closing|FatalStop|Locales
"""

import os
import pathlib
import sys
import time
import unittest
import urllib.parse

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import wine_support as ws  # noqa: E402
from wine_support import e2e_support  # noqa: E402

ARTIFACTS = None

# The form's controls: class, text, place in the client area.
CAPTION_TEXT = "电影 地址："
CHOOSER_ENTRIES = [" 万能 接口", " 备用 接口", ""]
# Chinese addresses typed into the box (each test's keyboard gets keys for
# their characters before Wine starts).
CHINESE_FILM = "中文 影片"
CHINESE_WITH_QUERY = "电影 x&y"


def target_of(address):
    """The request target that loading an address asks its host for."""
    return "/" + address.split("/", 3)[3]


def setUpModule():
    global ARTIFACTS
    ws.require_program()
    ARTIFACTS = e2e_support.artifacts_dir()


class WineTest(unittest.TestCase):
    """Each test class: its own display, wineserver and (when it loads pages)
    player service, in the run's shared prefix."""

    locale = None
    needs_service = False

    @classmethod
    def setUpClass(cls):
        cls.display, cls.stop_display = e2e_support.start_xvfb(*ws.SCREEN)
        e2e_support.bind_keys(cls.display, CHINESE_FILM + CHINESE_WITH_QUERY)
        cls.wine = ws.Wine(cls.display, cls.locale or ws.english_locale())
        cls.work = e2e_support.work_dir("wine-" + cls.__name__.lower())
        cls.service = None
        if cls.needs_service:
            cert, key = ws.loopback_certificate()
            cls.wine.trust(cert)
            cls.service = e2e_support.start_service(
                e2e_support.port_of(ws.SERVICE1_HOST), e2e_support.port_of(ws.SERVICE2_HOST),
                cls.work / "service.log", cert=cert, key=key)

    @classmethod
    def tearDownClass(cls):
        if cls.service:
            cls.service.stop()
        cls.wine.stop_server()
        # A key left pressed would repeat into whatever reads this display
        # next; xdotool's key presses all come with their releases.
        ws.xdotool(cls.display, "keyup", "Escape", "Control_L", "Shift_L", "Alt_L", "F4", "Tab")
        held = e2e_support.held_keys(cls.display)
        cls.stop_display()
        if held:
            raise AssertionError(f"keys still held at the end: keycodes {held}")

    def launch(self, name, **extra_env):
        program = self.wine.launch(self.work / f"{name}.trace", **extra_env)
        self.addCleanup(program.stop)
        return program

    # -- what a user does with the bar

    def choose_entry(self, program, index):
        """Drops the chooser's list with a click and picks an entry with the
        arrow keys and Enter."""
        reading = program.snapshot()
        chooser = ws.control_by_class(reading, "ComboBox")
        steps = index - chooser["combo"]["selection"]
        program.click(ws.centre(chooser["rect"]))
        if steps:
            program.key(*(["Down"] if steps > 0 else ["Up"]) * abs(steps))
        program.key("Return")
        # The keys are on their way when xdotool returns; the program may
        # not have read them yet.
        def chosen():
            return ws.control_by_class(program.snapshot(), "ComboBox")["combo"]["selection"]
        e2e_support.wait_for(lambda: chosen() == index, 5)
        self.assertEqual(chosen(), index, "the chooser's selection after picking")

    def type_address(self, program, text):
        """Clicks into the address box, moves the pointer off it (onto the
        Play button) and types, so the text stays."""
        reading = program.snapshot()
        edit = ws.control_by_class(reading, "Edit")
        program.click(ws.centre(edit["rect"]))
        program.move_to(ws.centre(ws.control_by_class(reading, "Button")["rect"]))
        if text:
            program.type(text)

        def typed():
            return ws.control_by_class(program.snapshot(), "Edit")["text"]
        e2e_support.wait_for(lambda: typed() == text, 5)
        self.assertEqual(typed(), text, "the address box's text after typing")

    def press_play(self, program):
        program.click(ws.centre(ws.control_by_class(program.snapshot(), "Button")["rect"]))

    def page_requests(self):
        return [r for r in e2e_support.requests_for(self.service.log())
                if r["path"] in ("/webcloud/", "/video.php")]

    def wait_page_request(self, before):
        found = e2e_support.wait_for(lambda: self.page_requests()[before:], 10)
        self.assertTrue(found, "no page request reached the player service")
        return found[0]


class Window(WineTest):
    """The window as it opens: frame, place, controls, chooser, clock,
    colours, focus; and the program file itself."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        program = cls.wine.launch(cls.work / "window.trace")
        try:
            cls.reading = program.wait_shown()
            cls.launched = (program.started_at, program.shown_at)
            # Shown is not yet painted: the screen is read again until the
            # first paint is there (or the time is up, and the test fails).
            cls.shot = None

            def painted():
                cls.shot = ws.Screenshot(cls.display, ARTIFACTS / "wine-window.png")
                return cls.painted(cls.shot, cls.reading)
            e2e_support.wait_for(painted, 10, 0.2)
        finally:
            program.stop()

    RED, VIOLET, BLACK, WHITE = (255, 0, 0), (144, 0, 255), (0, 0, 0), (255, 255, 255)

    @classmethod
    def painted(cls, shot, reading):
        """Whether every part that test_colours_on_screen reads is drawn."""
        client = reading["client_rect"]
        children = reading["window"]["children"]
        return (ws.near(shot.pixel(client[0] + 4, client[3] - 4), cls.BLACK, 8)
                and ws.near(shot.pixel(*ws.centre(children[3]["rect"])), cls.WHITE, 8)
                and shot.count(children[5]["rect"], lambda p: ws.near(p, cls.RED)) > 20
                and shot.count(children[1]["rect"], lambda p: ws.near(p, cls.VIOLET)) > 20)

    def test_frame_is_fixed_and_centred_with_an_empty_title(self):
        window = self.reading["window"]
        left, top, right, bottom = window["rect"]
        self.assertEqual((right - left, bottom - top), (822, 554), "outer size")
        width, height = self.reading["screen"]
        self.assertEqual((left, top), ((width - 822) // 2, (height - 554) // 2), "centred")
        style = window["style"]
        self.assertEqual(style & ws.WS_CAPTION, ws.WS_CAPTION, "caption bar")
        for bit, name in ((ws.WS_SYSMENU, "system menu"), (ws.WS_MINIMIZEBOX, "minimise box"),
                          (ws.WS_CLIPCHILDREN, "clips its children")):
            self.assertTrue(style & bit, name)
        self.assertFalse(style & ws.WS_THICKFRAME, "no sizing frame")
        self.assertFalse(style & ws.WS_MAXIMIZEBOX, "no maximise box")
        self.assertEqual(window["text"], "", "title")

    def test_controls_have_the_forms_classes_texts_and_places(self):
        reading = self.reading
        children = reading["window"]["children"]
        # Front to back in form order: timer, clock, chooser, browser area,
        # Play, caption, address box.
        rows = [
            ("FilmbarTimer", None, (640, 512, 16, 16), False),
            ("FilmbarTransLabel", None, (512, 504, 160, 24), True),
            ("ComboBox", CHOOSER_ENTRIES[0], None, True),
            ("FilmbarBrowserHost", "", (0, 0, 856, 496), True),
            ("Button", "播放", (672, 504, 144, 24), True),
            ("FilmbarTransLabel", CAPTION_TEXT, (16, 504, 72, 24), True),
            ("Edit", "", (80, 504, 296, 24), True),
        ]
        self.assertEqual([c["class"] for c in children], [r[0] for r in rows], "stacking order")
        for child, (class_name, text, place, visible) in zip(children, rows):
            with self.subTest(control=class_name, place=place):
                if text is not None:
                    self.assertEqual(child["text"], text)
                if place is not None:
                    self.assertEqual(ws.client_place(reading, child["rect"]), place)
                self.assertEqual(child["visible"], visible)
                self.assertTrue(child["enabled"])
        chooser = ws.client_place(reading, children[2]["rect"])
        self.assertEqual(chooser[:3], (384, 504, 120), "chooser's place and width")
        self.assertGreater(chooser[3], 12, "the closed chooser's height is the system's")

    def test_control_styles(self):
        children = {c["class"]: c for c in self.reading["window"]["children"]}
        edit = children["Edit"]
        self.assertTrue(edit["style"] & ws.ES_AUTOHSCROLL, "edit scrolls horizontally")
        self.assertFalse(edit["style"] & ws.ES_MULTILINE, "edit has one line")
        self.assertTrue(edit["exstyle"] & ws.WS_EX_CLIENTEDGE, "edit has a sunken edge")
        button = children["Button"]["style"]
        self.assertEqual(button & ws.BS_TYPEMASK, ws.BS_PUSHBUTTON, "a plain push button")
        for bit, name in ((ws.BS_CENTER, "centred"), (ws.BS_VCENTER, "vertically centred"),
                          (ws.BS_MULTILINE, "wraps")):
            self.assertEqual(button & bit, bit, name)
        combo = children["ComboBox"]
        self.assertEqual(combo["style"] & ws.CBS_TYPEMASK, ws.CBS_DROPDOWNLIST, "drop-down list")
        tab_stops = {c["class"]: bool(c["style"] & ws.WS_TABSTOP)
                     for c in self.reading["window"]["children"]}
        self.assertEqual(tab_stops, {"FilmbarTimer": False, "FilmbarTransLabel": False,
                                     "ComboBox": True, "FilmbarBrowserHost": True,
                                     "Button": True, "Edit": True})

    def test_chooser_has_three_entries_with_the_first_selected(self):
        combo = ws.control_by_class(self.reading, "ComboBox")["combo"]
        self.assertEqual(combo["items"], CHOOSER_ENTRIES)
        self.assertEqual((combo["count"], combo["selection"]), (3, 0))

    def test_browser_control_fills_its_host(self):
        host = ws.control_by_class(self.reading, "FilmbarBrowserHost")
        self.assertEqual(len(host["children"]), 1, "the control's own window")
        self.assertEqual(host["children"][0]["rect"], host["rect"])
        self.assertTrue(host["children"][0]["visible"])

    def test_clock_shows_the_time_of_launch(self):
        clock = self.reading["window"]["children"][1]
        self.assertIn(clock["text"], ws.clock_texts(*self.launched))

    def test_address_box_has_the_focus(self):
        self.assertEqual(self.reading["focus"]["class"], "Edit")

    def test_colours_on_screen(self):
        shot, reading = self.shot, self.reading
        client = reading["client_rect"]
        children = reading["window"]["children"]
        clock, caption = children[1]["rect"], children[5]["rect"]
        red, violet, black = self.RED, self.VIOLET, self.BLACK
        self.assertTrue(ws.near(shot.pixel(client[0] + 4, client[3] - 4), black, 8),
                        "black client area")
        browser = ws.centre(children[3]["rect"])
        self.assertTrue(ws.near(shot.pixel(*browser), (255, 255, 255), 8), "white browser area")
        for name, rect, colour in (("caption", caption, red), ("clock", clock, violet)):
            with self.subTest(label=name):
                area = (rect[2] - rect[0]) * (rect[3] - rect[1])
                self.assertGreater(shot.count(rect, lambda p: ws.near(p, colour)), 20,
                                   f"{name} text in its colour")
                # Transparent: the window's black shows around the letters.
                self.assertGreater(shot.count(rect, lambda p: ws.near(p, black, 8)), area // 2)

    def test_program_file(self):
        """Only system DLLs imported; the icon and the manifest built in."""
        data = ws.WIN_EXE.read_bytes()
        objdump = ws.run(["x86_64-w64-mingw32-objdump", "-p", ws.WIN_EXE],
                         capture_output=True, text=True).stdout
        dlls = {line.split(":", 1)[1].strip().lower() for line in objdump.splitlines()
                if "DLL Name:" in line}
        system = {"kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll",
                  "comctl32.dll", "msvcrt.dll", "advapi32.dll", "shell32.dll"}
        self.assertTrue(dlls and dlls <= system, f"imports {sorted(dlls)}")
        start, end = data.find(b"<assembly"), data.find(b"</assembly>")
        self.assertTrue(0 <= start < end, "embedded manifest")
        manifest = data[start:end].decode("utf-8")
        self.assertIn('name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
                      " ".join(manifest.split()))
        self.assertIn('processorArchitecture="*"', manifest)

    def test_icon_is_a_white_play_symbol_in_a_ring_on_black(self):
        icon = self.wine.inspect("icon", ws.to_windows_path(ws.WIN_EXE))["icon"]
        self.assertEqual((icon["width"], icon["height"], icon["bits"]), (32, 32, 32))
        rows = icon["rows"]
        self.assertEqual(rows[0], "." * 32, "black corners and edge")
        middle = rows[16]
        # Across the middle: ring, black, triangle, black, ring.
        runs = [middle[0]]
        for c in middle[1:]:
            if c != runs[-1][-1]:
                runs.append(c)
            else:
                runs[-1] += c
        shape = "".join(r[0] for r in runs if r[0] != "+")
        self.assertEqual(shape, ".#.#.#.", f"middle row {middle}")
        # The triangle points right: it narrows from its left edge to its tip.
        column_heights = [sum(row[x] == "#" for row in rows[8:25]) for x in range(12, 23)]
        self.assertEqual(column_heights, sorted(column_heights, reverse=True))


class Input(WineTest):
    """Typing, the pointer over the address box, and Play with each entry."""

    needs_service = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.program = cls.wine.launch(cls.work / "input.trace")
        cls.reading = cls.program.wait_shown()

    @classmethod
    def tearDownClass(cls):
        cls.program.stop()
        super().tearDownClass()

    def test_clock_keeps_the_time_of_launch(self):
        # The timer ticks every second, but no routine is bound to its tick.
        at_launch = self.reading["window"]["children"][1]["text"]
        time.sleep(max(0.0, self.program.shown_at + 2.5 - time.time()))
        now = self.program.snapshot()["window"]["children"][1]
        self.assertEqual((now["class"], now["text"]), ("FilmbarTransLabel", at_launch))

    def test_pointer_over_the_address_box_empties_it(self):
        program = self.program
        self.type_address(program, "film page")
        # Over another control, and over the window's background, nothing.
        program.move_to(ws.centre(ws.control_by_class(self.reading, "ComboBox")["rect"]))
        client = self.reading["client_rect"]
        program.move_to((client[0] + 2, client[3] - 2))
        time.sleep(0.5)
        self.assertEqual(ws.control_by_class(program.snapshot(), "Edit")["text"], "film page")
        program.move_to(ws.centre(ws.control_by_class(self.reading, "Edit")["rect"]))
        emptied = e2e_support.wait_for(
            lambda: ws.control_by_class(program.snapshot(), "Edit")["text"] == "", 5)
        self.assertTrue(emptied, "the address box kept its text under the pointer")

    def test_play_loads_base_address_and_typed_address(self):
        # entry, typed address, base address, page path of the service
        rows = [
            (0, "https://films.example/watch?v=Ab_12&t=30", ws.HTTPS_BASE, "/webcloud/"),
            (1, "films.example/v/9 x&y=1", ws.HTTP_BASE, "/video.php"),
            (1, "", ws.HTTP_BASE, "/video.php"),
            (0, "", ws.HTTPS_BASE, "/webcloud/"),
        ]
        program = self.program
        for entry, address, base, path in rows:
            with self.subTest(entry=entry, address=address):
                before_requests = len(self.page_requests())
                before_loads = len(program.navigations())
                self.choose_entry(program, entry)
                self.type_address(program, address)
                self.press_play(program)
                request = self.wait_page_request(before_requests)
                expected = base + address
                self.assertEqual(program.navigations()[before_loads:], [expected])
                self.assertEqual(request["path"], path)
                received = urllib.parse.unquote_to_bytes(request["target"])
                self.assertEqual(received, target_of(expected).encode("ascii"))

    def test_chinese_address_is_handed_to_the_browser_control_unchanged(self):
        # Under an English locale the browser control itself can send only
        # the system code page's characters, so the text is checked where
        # the program hands it over: the address the control is told to load.
        program = self.program
        before, before_requests = len(program.navigations()), len(self.page_requests())
        self.choose_entry(program, 0)
        self.type_address(program, CHINESE_FILM)
        self.press_play(program)
        loaded = e2e_support.wait_for(lambda: program.navigations()[before:], 10)
        self.assertEqual(loaded, [ws.HTTPS_BASE + CHINESE_FILM])
        self.wait_page_request(before_requests)  # so that it is not taken for a later one

    def test_blank_entry_loads_nothing(self):
        program = self.program
        self.choose_entry(program, 2)
        self.type_address(program, "ignored")
        before_requests, before_loads = len(self.page_requests()), len(program.navigations())
        self.press_play(program)
        time.sleep(2)
        self.assertEqual(program.navigations()[before_loads:], [])
        self.assertEqual(self.page_requests()[before_requests:], [])


class Closing(WineTest):
    """Esc (wherever the focus is), Alt+F4 and the close button end the
    program with 0; Esc with Ctrl or Shift does nothing."""

    def closes_with_zero(self, name, prepare, close):
        program = self.launch(name)
        program.wait_shown()
        prepare(program)
        close(program)
        self.assertEqual(program.wait_exit(), 0, "exit code")

    def test_ways_to_close(self):
        def tab(times, control_class):
            def prepare(program):
                program.key(*["Tab"] * times)

                def focus_in_control():
                    reading = program.snapshot()
                    control = ws.control_by_class(reading, control_class)
                    return reading["focus"] is not None and \
                        reading["focus"]["hwnd"] in ws.window_handles(control)
                self.assertTrue(e2e_support.wait_for(focus_in_control, 5),
                                f"focus after Tab is not in the {control_class}")
            return prepare

        def drop_chooser(program):
            chooser = ws.control_by_class(program.snapshot(), "ComboBox")
            program.click(ws.centre(chooser["rect"]))
            dropped = e2e_support.wait_for(
                lambda: ws.control_by_class(program.snapshot(), "ComboBox")["combo"]["dropped"], 5)
            self.assertTrue(dropped, "the chooser's list did not drop down")

        def close_button(program):
            point = program.wine.inspect("closebox")["close"]
            self.assertIsNotNone(point, "close button found")
            program.click(point)

        nothing = lambda program: None  # noqa: E731
        escape = lambda program: program.key("Escape")  # noqa: E731
        rows = [
            ("esc-in-address-box", nothing, escape),
            ("esc-on-play-button", tab(1, "Button"), escape),
            ("esc-in-browser-area", tab(2, "FilmbarBrowserHost"), escape),
            ("esc-in-dropped-chooser", drop_chooser, escape),
            ("alt-f4", nothing, lambda program: program.key("alt+F4")),
            ("close-button", nothing, close_button),
        ]
        for name, prepare, close in rows:
            with self.subTest(name):
                self.closes_with_zero(name, prepare, close)

    def test_escape_with_ctrl_or_shift_keeps_the_window(self):
        program = self.launch("escape-with-modifiers")
        program.wait_shown()
        for keys in ("ctrl+Escape", "shift+Escape"):
            with self.subTest(keys):
                program.key(keys)
                time.sleep(1.0)
                self.assertTrue(program.running(), f"{keys} ended the program")
                self.assertTrue(program.snapshot()["found"])
        program.key("Escape")
        self.assertEqual(program.wait_exit(), 0)


class FatalStop(WineTest):
    """Without the browser control the window cannot be loaded: the error
    box, with no owner and the error icon, stays up until it is closed,
    and the process then ends with -1 (255)."""

    def test_error_box_then_exit_code_255(self):
        program = self.launch("fatal-stop", WINEDLLOVERRIDES="ieframe=d")

        def error_box():
            if not program.running():
                raise AssertionError(f"ended with {program.process.returncode} before the box")
            boxes = program.wine.inspect("boxes")["boxes"]
            return boxes[0] if boxes else None
        found = e2e_support.wait_for(error_box, 40, 0.3)
        self.assertTrue(found, "no error box")
        self.assertEqual(found["owner"], 0, "the box has no owner window")
        box = found["box"]
        texts = [c["text"] for c in box["children"] if c["class"] == "Static"]
        self.assertTrue(any("Loading the start-up window failed" in t for t in texts), texts)
        icon = [c for c in box["children"]
                if c["class"] == "Static" and c["style"] & ws.SS_TYPEMASK == ws.SS_ICON]
        self.assertEqual(len(icon), 1, "the box shows an icon")
        red_counts = []

        def icon_painted():
            # Read again until the box's first paint is on the screen.
            shot = ws.Screenshot(self.display, ARTIFACTS / "wine-fatal-stop.png")
            red_counts.append(shot.count(icon[0]["rect"], lambda p: p[0] > 150 and p[1] < 90))
            return red_counts[-1] > 40
        e2e_support.wait_for(icon_painted, 5, 0.2)
        self.assertGreater(red_counts[-1], 40, "the error icon is red")
        self.assertFalse(program.wine.inspect("window")["found"], "no main window")

        time.sleep(2)
        self.assertTrue(program.running(), "the box must stay up")
        self.assertEqual(len(program.wine.inspect("boxes")["boxes"]), 1)

        ok = [c for c in box["children"] if c["class"] == "Button"]
        program.click(ws.centre(ok[0]["rect"]))
        self.assertEqual(program.wait_exit(), 255)


class Locales(WineTest):
    """An English and a Chinese system locale show the same window, since
    the program converts its texts with code page 936 itself; under the
    Chinese one the browser control sends the Chinese text of an address
    as code page 936 bytes, which the service receives byte for byte."""

    needs_service = True

    def read_back(self, locale):
        self.wine.restart(locale)
        program = self.launch(f"locale-{locale}")
        reading = program.wait_shown()
        time.sleep(0.5)
        name = locale.split(".")[0]
        ws.Screenshot(self.display, ARTIFACTS / f"wine-{name}.png")
        return program, reading

    def comparable(self, program, reading):
        """What must not depend on the locale: classes, texts, places and
        styles. The chooser's closed height and item height are the
        system's for the locale's stock font, so they are left out. The
        clock shows each launch's own time (its length changes with the
        time of day), so it is checked against that time and then left out."""
        clock = reading["window"]["children"][1]
        self.assertIn(clock["text"], ws.clock_texts(program.started_at, program.shown_at),
                      f"the clock under {reading['acp']}")

        def unit(u):
            text, rect = u["text"], list(u["rect"])
            if u is clock:
                text = "<clock>"
            combo = u.get("combo")
            if combo:
                rect[3] = rect[1]
                combo = (combo["count"], combo["selection"], tuple(combo["items"]))
            return (u["class"], text, tuple(rect), u["style"], u["exstyle"], combo,
                    tuple(unit(c) for c in u["children"]))
        return unit(reading["window"])

    def test_same_texts_under_english_and_chinese_locales(self):
        english, english_reading = self.read_back(ws.english_locale())
        english.stop()
        chinese, chinese_reading = self.read_back(ws.chinese_locale())
        self.assertEqual((english_reading["acp"], chinese_reading["acp"]), (1252, 936),
                         "the two runs' system code pages")
        self.assertEqual(self.comparable(chinese, chinese_reading),
                         self.comparable(english, english_reading))
        self.assertEqual(ws.control_by_class(chinese_reading, "FilmbarTransLabel",
                                             CAPTION_TEXT)["text"], CAPTION_TEXT)

        for entry, address, base in ((0, CHINESE_FILM, ws.HTTPS_BASE),
                                     (1, CHINESE_WITH_QUERY, ws.HTTP_BASE)):
            with self.subTest(entry=entry, address=address):
                before = len(self.page_requests())
                self.choose_entry(chinese, entry)
                self.type_address(chinese, address)
                self.press_play(chinese)
                request = self.wait_page_request(before)
                # The request line's bytes, with the browser's escapes undone.
                received = urllib.parse.unquote_to_bytes(request["target"].encode("latin-1"))
                self.assertEqual(received, target_of(base + address).encode("cp936"))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v", *sys.argv[1:]])
