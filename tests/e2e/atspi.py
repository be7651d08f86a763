#!/usr/bin/python3
"""The program's windows as a screen reader gets them, from the desktop's
accessibility bus (AT-SPI).

  atspi.py windows      one line a showing window: role | name | description
  atspi.py controls     one line a showing control of the showing windows:
                        window name | role | name
  atspi.py focused      the control that has the keyboard: role | name
"""
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

CONTROLS = {"push button", "check box", "text", "password text", "entry", "label", "list", "list item"}


def app():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        a = desktop.get_child_at_index(i)
        if a is not None and a.get_name() == "KelvoMonitor":
            return a
    return None


def showing(node):
    try:
        return node.get_state_set().contains(Atspi.StateType.SHOWING)
    except Exception:  # gone meanwhile
        return False


def walk(node, depth=0):
    if node is None or depth > 12:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(i), depth + 1)


def windows():
    a = app()
    if a is None:
        return []
    return [w for w in (a.get_child_at_index(i) for i in range(a.get_child_count())) if w and showing(w)]


def name(node):
    return (node.get_name() or "").replace("\n", " / ")


def main():
    what = sys.argv[1]
    for w in windows():
        if what == "windows":
            print(f"{w.get_role_name()} | {name(w)} | {w.get_description()}")
            continue
        for n in walk(w):
            role = n.get_role_name()
            if n is w or role not in CONTROLS or not showing(n):
                continue
            if what == "controls":
                print(f"{w.get_name()} | {role} | {name(n)}")
            elif what == "focused" and n.get_state_set().contains(Atspi.StateType.FOCUSED):
                print(f"{role} | {name(n)}")


main()
