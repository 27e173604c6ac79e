#!/usr/bin/env python3
"""Play with each service: an address typed or pasted into the Linux
program's address box, a service picked in the chooser, Play pressed with
the mouse or with Space, reaches the local player service exactly, and the
film then plays; the blank entry sends nothing, and Enter does not press
Play. Ends with Esc.
"""

import os
import sys
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import linux_support as ls  # noqa: E402
from linux_support import check, e2e  # noqa: E402

FIRST, SECOND, BLANK = " 万能 接口", " 备用 接口", ""
TYPED = "https://film.example/watch/42.html?list=7&t=30"
PASTED = "http://视频.example/剧集/第1集.html?from=片库"
PAGES = ("/webcloud/", "/video.php")
QUIET_SECONDS = 1.5  # how long to watch for a request that must not come
PLAYED_SECONDS = 2.0

# What the browser engine sends of a typed address: non-ASCII as UTF-8
# percent escapes, the characters a query may hold as they are.
KEPT = "".join(chr(c) for c in range(0x21, 0x7F) if chr(c) not in '"#<>`{}|\\^')


def page_requests(service):
    return [r for r in e2e.requests_for(service.log()) if r["path"] in PAGES]


def pick(program, entry):
    """Drops the chooser's list with the mouse and picks `entry`."""
    program.click(*program.centre_of(program.accessible("combo box")))

    def shown_item():
        items = [node for node in program.accessibles("menu item", entry)
                 if "showing" in node["states"] and node["extents"][2] > 1]
        return items[0] if items else None
    item = e2e.wait_for(shown_item, 5.0)
    check(item, f"the chooser's list did not drop down with {entry!r}")
    time.sleep(0.6)  # GTK ignores a release that comes right after the list drops
    program.click(*program.centre_of(item))
    check(e2e.wait_for(lambda: program.chooser_entry() == entry, 5.0),
          f"picking {entry!r} left the chooser at {program.chooser_entry()!r}")


def press_play(program):
    program.click(*program.centre_of(program.accessible("push button", "播放")))


def wait_for_page(service, count_before, what):
    requests = e2e.wait_for(lambda: page_requests(service)[count_before:], 15.0)
    check(requests, f"{what}: no page request reached the service")
    check(len(requests) == 1, f"{what}: {len(requests)} page requests: {requests}")
    return requests[0]


def check_quiet(service, count_before, what):
    time.sleep(QUIET_SECONDS)
    extra = page_requests(service)[count_before:]
    check(not extra, f"{what} sent {extra}")


def check_playing(desktop, program, service, request, artifact):
    scheme, address = request["scheme"], request["address"]
    played = e2e.wait_for(
        lambda: e2e.played_seconds(service.log(), scheme, address) >= PLAYED_SECONDS, 30.0, 0.25)
    check(played, f"the film did not play {PLAYED_SECONDS} s over {scheme}: "
                  f"{e2e.played_seconds(service.log(), scheme, address)} s")
    image = desktop.screenshot(e2e.artifacts_dir() / artifact)
    left, top = program.client_point(0, 0)
    # The film's colour bars fill part of the browser area.
    colours = {tuple(c >> 6 for c in image.pixel(x, y))
               for y in range(top, top + 496, 8) for x in range(left, left + 816, 8)}
    check(len(colours) >= 6, f"the browser area shows no film ({len(colours)} colours): {artifact}")


def test(desktop):
    service1 = os.environ.get("FILMBAR_SERVICE1_HOST", "")
    service2 = os.environ.get("FILMBAR_SERVICE2_HOST", "")
    check(service1.startswith("127.0.0.1:") and service2.startswith("127.0.0.1:"),
          f"the build's services are not on loopback: {service1}, {service2}")
    service = e2e.start_service(e2e.port_of(service1), e2e.port_of(service2),
                                e2e.work_dir("linux-play") / "service.log")
    try:
        program = desktop.launch()
        program.window()
        program.focus()
        # The pointer rests on the black strip above the bar, off the box.
        desktop.move(*program.client_point(40, 500))
        program.type(TYPED)
        check(program.wait_address_text(TYPED), "the typed address is not in the address box")

        # The blank entry, picked with the keyboard: Play sends nothing.
        program.key("shift+Tab", "Down", "Down")
        check(e2e.wait_for(lambda: program.chooser_entry() == BLANK, 5.0),
              "Down did not reach the blank entry")
        before = len(page_requests(service))
        press_play(program)
        check_quiet(service, before, "Play with the blank entry")
        check(program.address_text() == TYPED, "the address box lost its text")

        # The first service, picked with the mouse, Play clicked.
        pick(program, FIRST)
        before = len(page_requests(service))
        press_play(program)
        request = wait_for_page(service, before, "Play with the first service")
        check(request["scheme"] == "https", f"the first service was reached over {request}")
        check(request["target"] == "/webcloud/?v=" + TYPED,
              f"the first service received {request['target']!r}")
        check_playing(desktop, program, service, request, "linux-playing-https.png")

        # The second service; the address pasted; Play pressed by Space.
        pick(program, SECOND)
        clipboard = desktop.start_clipboard(PASTED)
        try:
            program.key("Tab")  # the chooser's next is the address box
            program.key("ctrl+v")
            check(program.wait_address_text(PASTED),
                  f"pasting left {program.address_text()!r} in the address box")
        finally:
            e2e.stop_process(clipboard)
        program.key("Tab")  # to Play
        before = len(page_requests(service))
        program.key("Return")
        check_quiet(service, before, "Enter on the Play button")
        program.key("space")
        request = wait_for_page(service, before, "Space on the Play button")
        check(request["scheme"] == "http", f"the second service was reached over {request}")
        check(request["target"] == "/video.php?url=" + urllib.parse.quote(PASTED, safe=KEPT),
              f"the second service received {request['target']!r}")
        check(request["address"] == PASTED, f"the second service read {request['address']!r}")
        check_playing(desktop, program, service, request, "linux-playing-http.png")

        program.key("Escape")
        code = program.wait_exit()
        check(code == 0, f"Esc ended the program with {code}")
    finally:
        service.stop()


if __name__ == "__main__":
    sys.exit(ls.run_test(test))
