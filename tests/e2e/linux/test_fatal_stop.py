#!/usr/bin/env python3
"""A fatal stop of the Linux program: with a browser engine that hands out
no view (a test shim preloaded into the process), the main window cannot be
built; a modal error box with the error icon says so, the process waits
for it, and once it is closed the process ends with -1 (255).
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import linux_support as ls  # noqa: E402
from linux_support import check, e2e  # noqa: E402


def test(desktop):
    shim = os.environ.get("FILMBAR_NO_BROWSER_ENGINE", "")
    check(os.path.isfile(shim), f"FILMBAR_NO_BROWSER_ENGINE names no shim: {shim!r}")
    program = desktop.launch(preload=shim)
    program.window()

    boxes = e2e.wait_for(lambda: program.accessibles("alert"), 10.0)
    check(len(boxes) == 1, f"expected one error box, found {len(boxes)}")
    check(not program.accessibles("frame"), "the main window was shown")
    check(len(program.visible_windows()) == 1, "more than the error box is on the screen")
    labels = [node["name"] for node in program.accessibles("label")]
    check(any("Loading the start-up window failed" in label for label in labels),
          f"the error box says {labels}")
    check(program.accessibles("icon"), "the error box shows no icon")
    icon = program.accessibles("icon")[0]
    x, y, width, height = icon["extents"]

    def red_icon():
        image = desktop.screenshot(e2e.artifacts_dir() / "linux-fatal-stop.png")
        reds = [p for p in image.region(x, y, width, height)
                if p[0] > 150 and p[1] < 80 and p[2] < 80]
        return len(reds) > width * height // 4
    # Read again until the box's first paint is on the screen.
    check(e2e.wait_for(red_icon, 5.0, 0.25), "the error box's icon is not the red error icon")

    check(not e2e.wait_for(lambda: not program.running(), 1.0),
          "the process ended while the error box was up")
    program.click(*program.centre_of(program.accessible("push button", "OK")))
    code = program.wait_exit()
    check(code == 255, f"the fatal stop ended the process with {code}, not -1")


if __name__ == "__main__":
    sys.exit(ls.run_test(test))
