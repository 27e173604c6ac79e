#!/usr/bin/env python3
"""The Linux program's window as it opens, its clock label, what a pointer
move over the address box does, the Tab order, and closing with Esc, Alt+F4
and the window manager's close, read from outside through X, the
accessibility bus and the screen.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import linux_support as ls  # noqa: E402
from linux_support import check  # noqa: E402

CAPTION = "电影 地址："
CHOOSER_ENTRIES = [" 万能 接口", " 备用 接口", ""]
RED = (255, 0, 0)
VIOLET = (144, 0, 255)  # 0x00FF0090: red 144, green 0, blue 255
BLACK = (0, 0, 0)
WHITE = (255, 255, 255)

# Each control's place in the client area (left, top, width, height).
ADDRESS_BOX = (80, 504, 296, 24)
CAPTION_LABEL = (16, 504, 72, 24)
CLOCK_LABEL = (512, 504, 160, 24)
PLAY_BUTTON = (672, 504, 144, 24)
CHOOSER = (384, 504, 120)
BROWSER_AREA = (0, 0, 856, 496)


def check_extents(program, node, place, what):
    left, top = program.client_origin()
    x, y, width, height = node["extents"]
    actual = (x - left, y - top, width, height)
    check(actual[:len(place)] == place, f"{what} is at {actual}, not at {place}")


def check_text_colour(image, program, place, colour, what):
    """Every pixel of the label is its colour laid over black at some
    coverage (no background of its own), the strokes' cores nearly fully
    covered."""
    x, y = program.client_point(place[0], place[1])
    pixels = image.region(x, y, place[2], place[3])
    lit = [p for p in pixels if p != BLACK]
    check(len(lit) > 20, f"{what} shows no text")
    brightest = max(lit, key=sum)
    check(max(brightest) >= 0.85 * max(colour), f"{what}: brightest pixel only {brightest}")
    for pixel in lit:
        coverage = max(pixel) / max(colour)
        expected = tuple(round(c * coverage) for c in colour)
        check(all(abs(a - b) <= 2 for a, b in zip(pixel, expected)),
              f"{what}: pixel {pixel} is not {colour} over black")


def check_icon(program):
    # _NET_WM_ICON: width, height, then ARGB pixels row by row.
    text = program.desktop.run("xprop", "-id", program.window(), "-notype", "32c",
                               "_NET_WM_ICON").split("=", 1)[1]
    values = [int(v) for v in text.replace("\n", ",").split(",") if v.strip()]
    width, height, pixels = values[0], values[1], values[2:]
    check((width, height) == (32, 32), f"the icon is {width} x {height}")
    check(len(pixels) >= 32 * 32, "the icon is incomplete")

    def at(x, y):
        return pixels[y * 32 + x]
    check(all(p >> 24 == 0xFF for p in pixels[:1024]), "the icon is not fully opaque")
    check(at(0, 0) == at(31, 31) == 0xFF000000, "the icon's square is not black")
    check(at(16, 16) == 0xFFFFFFFF, "no white triangle in the icon's middle")
    check(at(16, 3) == 0xFFFFFFFF and at(3, 16) == 0xFFFFFFFF, "no white ring in the icon")
    check(at(16, 7) == 0xFF000000, "the ring and the triangle run together")


def check_opening(desktop, program):
    window = program.window()
    print(f"start-up: window shown after {program.startup_seconds:.2f} s")
    left = (ls.SCREEN_WIDTH - ls.OUTER_WIDTH) // 2
    top = (ls.SCREEN_HEIGHT - ls.OUTER_HEIGHT) // 2
    check(program.geometry() == (left, top, ls.CLIENT_WIDTH, ls.CLIENT_HEIGHT),
          f"the window is at {program.geometry()}, not centred at {left}, {top} "
          f"with a {ls.CLIENT_WIDTH} x {ls.CLIENT_HEIGHT} client area")
    for name in ("WM_NAME", "_NET_WM_NAME"):
        line = program.property(name)
        check("=" in line and line.split("=", 1)[1].strip() in ("", '""'),
              f"the title is not empty: {line}")
    hints = program.property("WM_NORMAL_HINTS")
    size = f"{ls.CLIENT_WIDTH} by {ls.CLIENT_HEIGHT}"
    check(f"minimum size: {size}" in hints and f"maximum size: {size}" in hints,
          "the window can be resized: " + hints)
    check_icon(program)

    program.focus()
    frame = program.accessible("frame")
    check(frame["name"] == "", f"the frame is named {frame['name']!r}")
    check_extents(program, frame, (0, 0, ls.CLIENT_WIDTH, ls.CLIENT_HEIGHT), "the client area")

    address = program.accessible("text")
    check_extents(program, address, ADDRESS_BOX, "the address box")
    check(address["text"] == "", f"the address box holds {address['text']!r}")
    check(ls.e2e.wait_for(lambda: "focused" in program.accessible("text")["states"], 5.0),
          "the address box does not have the focus")

    caption = program.accessible("label", CAPTION)
    check_extents(program, caption, CAPTION_LABEL, "the caption label")
    play = program.accessible("push button", "播放")
    check_extents(program, play, PLAY_BUTTON, "the Play button")
    chooser = program.accessible("combo box")
    check(chooser["name"] == CHOOSER_ENTRIES[0], f"the chooser shows {chooser['name']!r}")
    check_extents(program, chooser, CHOOSER, "the chooser")
    check(chooser["extents"][3] <= 24, f"the closed chooser is {chooser['extents'][3]} tall")
    items = [node["name"] for node in program.accessibles("menu item")]
    check(items == CHOOSER_ENTRIES, f"the chooser's entries are {items}")
    browser = [node for node in program.accessibles("panel")
               if node["extents"][2:] == list(BROWSER_AREA[2:])]
    check(len(browser) == 1, "no browser area of 856 x 496")
    check_extents(program, browser[0], BROWSER_AREA, "the browser area")

    # Shown is not yet painted: the screen is read again until the first
    # paint is complete, and the last reading must pass.
    shot_path = ls.e2e.artifacts_dir() / "linux-window-opened.png"
    ls.e2e.wait_for(lambda: ls.passes(check_colours, desktop.screenshot(shot_path), program),
                    10.0, 0.25)
    check_colours(desktop.screenshot(shot_path), program)
    return window


def check_colours(image, program):
    for x, y in ((4, 500), (810, 500), (8, 526), (500, 499)):
        check(image.pixel(*program.client_point(x, y)) == BLACK,
              f"the client area is not black at {x}, {y}")
    check(image.pixel(*program.client_point(400, 250)) == WHITE, "the browser area is not white")
    check(image.pixel(*program.client_point(810, 250)) == WHITE,
          "the browser area does not reach the window's right edge")
    check(image.pixel(*program.client_point(ADDRESS_BOX[0] + 280, ADDRESS_BOX[1] + 12)) == WHITE,
          "the address box is not white")
    # The caption label's right end lies over the address box.
    caption_clear = (CAPTION_LABEL[0], CAPTION_LABEL[1], ADDRESS_BOX[0] - CAPTION_LABEL[0],
                     CAPTION_LABEL[3])
    check_text_colour(image, program, caption_clear, RED, "the caption label")
    check_text_colour(image, program, CLOCK_LABEL, VIOLET, "the clock label")


def check_pointer_moves(desktop, program):
    """Only a move over the address box empties it: also while it holds
    the pointer with a button down, wherever the pointer then is."""
    black = program.client_point(40, 500)
    desktop.move(*black)
    program.type("keep me")
    check(program.wait_address_text("keep me"), "typing did not reach the address box")
    elsewhere = [
        ("the caption label", (40, 516)),
        ("the clock label", (600, 516)),
        ("the Play button", (740, 516)),
        ("the chooser", (440, 512)),
        ("the browser area", (400, 250)),
        ("the black background", (300, 500)),
    ]
    for what, point in elsewhere:
        desktop.move(*program.client_point(*point))
        desktop.move(*program.client_point(point[0] + 3, point[1] + 1))
        check(program.address_text() == "keep me", f"a move over {what} emptied the address box")

    desktop.move(*program.client_point(200, 516))
    check(program.wait_address_text(""), "a move over the address box left its text")

    # With the left button held down in the box, the box keeps the pointer.
    desktop.xdotool("mousedown", 1)
    try:
        program.type("dragged")
        check(program.wait_address_text("dragged"), "typing with the button held went nowhere")
        desktop.move(*program.client_point(400, 250))
        check(program.wait_address_text(""),
              "a move outside the box while it held the pointer left its text")
    finally:
        desktop.xdotool("mouseup", 1)


def check_tab_order(desktop, program):
    """Tab goes address box, Play, browser area, chooser, address box."""
    desktop.move(*program.client_point(40, 500))
    program.key("shift+Tab", "Tab")  # the focus in the address box, whatever it had
    check(ls.e2e.wait_for(lambda: "focused" in program.accessible("text")["states"], 3.0),
          "Tab did not come back to the address box")
    program.key("Tab")
    check(ls.e2e.wait_for(lambda: "focused" in program.accessible("push button", "播放")["states"],
                          3.0), "Tab from the address box did not go to the Play button")
    program.key("Tab", "Tab", "Down")
    check(ls.e2e.wait_for(lambda: program.chooser_entry() == CHOOSER_ENTRIES[1], 3.0),
          "the third Tab did not reach the chooser")
    program.key("Down")
    check(ls.e2e.wait_for(lambda: program.chooser_entry() == CHOOSER_ENTRIES[2], 3.0),
          "the blank third entry cannot be chosen")
    program.key("Tab")
    program.type("x")
    check(program.wait_address_text("x"), "Tab from the chooser did not go to the address box")


def label_names(program):
    return [node["name"] for node in program.accessibles("label")]


def test(desktop):
    program = desktop.launch(faketime="2017-03-16 11:34:53")
    check_opening(desktop, program)
    check("2017年3月16日11时34分53秒" in label_names(program),
          f"the clock label shows {label_names(program)}")
    check_pointer_moves(desktop, program)
    check_tab_order(desktop, program)
    program.key("Escape")
    code = program.wait_exit()
    check(code == 0, f"Esc ended the program with {code}")

    midnight = desktop.launch(faketime="2017-03-16 00:00:00", log_name="midnight.log")
    midnight.window()
    midnight.focus()
    check(ls.e2e.wait_for(lambda: "2017年3月16日" in label_names(midnight), 5.0),
          f"at midnight the clock label shows {label_names(midnight)}")
    # Esc with a modifier does not close.
    midnight.key("ctrl+Escape")
    check(not ls.e2e.wait_for(lambda: not midnight.running(), 1.0), "Ctrl+Esc closed the window")
    midnight.key("alt+F4")
    code = midnight.wait_exit()
    check(code == 0, f"Alt+F4 ended the program with {code}")

    closed = desktop.launch(log_name="closed.log")
    closed.window()
    closed.close_as_window_manager()
    code = closed.wait_exit()
    check(code == 0, f"the window manager's close ended the program with {code}")


if __name__ == "__main__":
    sys.exit(ls.run_test(test))
