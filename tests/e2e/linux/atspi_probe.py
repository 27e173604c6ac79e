#!/usr/bin/python3
"""Prints what the accessibility bus shows of one running program, as one
JSON document: every accessible of its windows with role, name, text,
screen extents and states, children in order. Run with the system's Python
(python3-pyatspi) inside the program's D-Bus session.

  atspi_probe.py PID
"""

import json
import sys

import pyatspi

# Web content has an accessible tree of its own, as large as the page; the
# tests read the program's own widgets only.
SKIPPED_ROLES = {"document web", "document frame"}


def describe(accessible, depth=0):
    role = accessible.getRoleName()
    entry = {"role": role, "name": accessible.name or ""}
    try:
        extents = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        entry["extents"] = [extents.x, extents.y, extents.width, extents.height]
    except NotImplementedError:
        pass
    try:
        text = accessible.queryText()
        entry["text"] = text.getText(0, -1)
    except NotImplementedError:
        pass
    states = accessible.getState()
    entry["states"] = sorted(pyatspi.stateToString(s) for s in states.getStates())
    children = []
    if role not in SKIPPED_ROLES and depth < 30:
        for index in range(accessible.childCount):
            child = accessible.getChildAtIndex(index)
            if child is not None:
                children.append(describe(child, depth + 1))
    entry["children"] = children
    return entry


def main():
    pid = int(sys.argv[1])
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is None:
            continue
        try:
            if app.get_process_id() != pid:
                continue
        except Exception:
            continue
        print(json.dumps(describe(app), ensure_ascii=False))
        return 0
    print("null")
    return 0


if __name__ == "__main__":
    sys.exit(main())
