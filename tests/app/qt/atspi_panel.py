#!/usr/bin/python3
"""The panel as a screen reader reads it, over the accessibility bus.

usage: atspi_panel.py dump PROGRAM [ARGS...]   print the window's tree (and with
                                               --open, the history window's)
       atspi_panel.py check PROGRAM            the checks below; exit 1 on a failure

Runs PROGRAM (the demo) with the toolkit's accessibility on, finds its window
on the bus, and either prints it or checks that every control speaks for
itself: distinct names, Tab through every control, the soft-active toggle
following the board, read-outs announcing real changes only, and the
readings history named as well. Needs a display and a session bus of its own
(see accessibility_test.sh). Debian's python3: pyatspi is a system package.
"""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

TITLE = "Quorvane-V20221210-2.5W"

# What Tab visits from the open button, in order, before it wraps: the
# settings in the window's creation order, then the read-outs top to bottom.
TAB_ORDER = [
    "Open port", "Set pump current", "Serial port", "Pump current set-point, mA",
    "Pump current slider, mA", "Step pump current down", "Step pump current up",
    "Set repetition frequency", "Repetition frequency set-point, kHz", "Set pulse duration",
    "Pulse duration set-point, steps", "Soft-active", "Measured current, mA",
    "Seed temperature, °C", "Pump temperature, °C",
]
READOUTS = TAB_ORDER[-3:]

failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text, file=sys.stderr)


def pump(seconds, until=lambda: False):
    """Dispatches bus events for up to seconds; True once until() holds."""
    context = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        if until():
            return True
        time.sleep(0.02)
    return until()


def find_window(title, seconds):
    found = []

    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            for window in app or []:
                if window is not None and window.name == title:
                    found.append(window)
                    return True
        return False

    pump(seconds, look)
    return found[0] if found else None


def states(obj):
    return obj.getState()


def spoken(obj):
    """The name a screen reader says: a drop-down list's own name is the item
    it shows, and what it is comes from the label that names it."""
    if obj.getRoleName() == "combo box":
        for relation in obj.getRelationSet():
            if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
                return relation.getTarget(0).name
        return ""
    return obj.name


def value_of(obj):
    try:
        return obj.queryValue().currentValue
    except NotImplementedError:
        return None


def describe(obj, depth=0):
    parts = [obj.getRoleName(), repr(obj.name)]
    if spoken(obj) != obj.name:
        parts.append(f"labelled-by={spoken(obj)!r}")
    s = states(obj)
    for flag, word in ((pyatspi.STATE_FOCUSABLE, "focusable"), (pyatspi.STATE_CHECKABLE, "checkable"),
                       (pyatspi.STATE_CHECKED, "checked")):
        if s.contains(flag):
            parts.append(word)
    if obj.getRoleName() != "combo box":
        value = value_of(obj)
        if value is not None:
            try:
                v = obj.queryValue()
                parts.append(f"value={v.currentValue:g} [{v.minimumValue:g}..{v.maximumValue:g}]")
            except Exception:  # noqa: BLE001 - printed as far as it can be read
                parts.append(f"value={value}")
    if obj.description:
        parts.append(f"desc={obj.description!r}")
    print("  " * depth + " ".join(parts))
    if obj.getRoleName() not in ("combo box", "list"):
        for child in obj:
            if child is not None:
                describe(child, depth + 1)


def controls(window):
    return [c for c in window if c is not None and states(c).contains(pyatspi.STATE_FOCUSABLE)]


def by_name(window, name):
    for child in window:
        if child is not None and spoken(child) == name:
            return child
    return None


def focused(window):
    for child in window:
        if child is not None and states(child).contains(pyatspi.STATE_FOCUSED):
            return spoken(child)
    return None


def press_key(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)


def check_names(window, where):
    names = [spoken(c) for c in controls(window)]
    if not names:
        fail(f"{where}: no focusable controls")
    for name in names:
        if not name.strip():
            fail(f"{where}: a focusable control without a name (all: {names})")
        elif names.count(name) > 1:
            fail(f"{where}: name {name!r} used {names.count(name)} times")


def check_tab_order(window):
    if not pump(10, lambda: focused(window) == TAB_ORDER[0]):
        fail(f"focus starts on {focused(window)!r}, expected {TAB_ORDER[0]!r}")
        return
    visited = []
    for i in range(1, len(TAB_ORDER) + 1):
        want = TAB_ORDER[i % len(TAB_ORDER)]
        press_key(0xFF09)  # Tab
        pump(5, lambda: focused(window) == want)
        visited.append(focused(window))
    expected = TAB_ORDER[1:] + TAB_ORDER[:1]
    if visited != expected:
        fail(f"Tab visits {visited}, expected {expected}")


def check_panel(window):
    check_names(window, "panel")
    check_tab_order(window)
    readouts = {name: by_name(window, name) for name in READOUTS}
    toggle = by_name(window, "Soft-active")
    if None in readouts.values() or toggle is None:
        fail("read-outs or soft-active toggle not found by name")
        return
    events = []  # (read-out name, value when told)
    checks = []

    def on_value(event):
        if event.source is not None and event.source.name in READOUTS:
            events.append((event.source.name, value_of(event.source)))

    def on_checked(event):
        if event.source is not None and event.source.name == "Soft-active":
            checks.append(event.detail1)

    pyatspi.Registry.registerEventListener(on_value, "object:property-change:accessible-value")
    pyatspi.Registry.registerEventListener(on_checked, "object:state-changed:checked")
    pump(0.5)

    def told(name):
        return [v for n, v in events if n == name]

    def checked():
        return states(toggle).contains(pyatspi.STATE_CHECKED)

    def press(obj):
        obj.queryAction().doAction(0)

    press(by_name(window, "Open port"))
    if not pump(20, lambda: all(told(n) for n in READOUTS)):
        fail(f"not every read-out told its first reading: {events}")
        return
    # Qt 6.4 tells a toggle by its role; later versions add the state too.
    if toggle.getRoleName() not in ("check box", "toggle button") and not states(
            toggle).contains(pyatspi.STATE_CHECKABLE):
        fail(f"soft-active is not a toggle: {toggle.getRoleName()}")
    # The demo's board may start with the laser on: off first, so the
    # current's whole ramp up can be heard.
    initially = checked()
    if initially:
        press(toggle)
        if not pump(10, lambda: not checked()):
            fail("soft-active stayed checked after the board turned it off")
    current = "Measured current, mA"
    if not pump(10, lambda: value_of(readouts[current]) == 0):
        fail(f"measured current did not fall to 0: {told(current)}")
    mark = len(told(current))
    press(toggle)
    if not pump(10, checked):
        fail("soft-active did not become checked once the board turned it on")
    if not pump(10, lambda: len(told(current)) - mark >= 3):
        fail(f"measured current did not tell its ramp: {told(current)[mark:]}")
    ramp = told(current)[mark:]
    if ramp != sorted(set(ramp)):
        fail(f"measured current's ramp up was not told value by value, once each: {ramp}")
    press(toggle)
    if not pump(10, lambda: not checked()):
        fail("soft-active stayed checked after the board turned it off")
    expected = [1, 0, 1, 0] if initially else [1, 0]
    if checks != expected:
        fail(f"checked-state events {checks}, expected {expected}")
    # The board keeps the seed within 0.04 degrees of 25.0: one text all
    # along, told once, however often the panel polls.
    seed = told("Seed temperature, °C")
    if len(seed) != 1:
        fail(f"the steady seed temperature was told {len(seed)} times: {seed}")


def check_history():
    press_key(0xFFBF)  # F2
    window = find_window("Readings history", 10)
    if window is None:
        fail("F2 did not bring up the readings history")
        return
    check_names(window, "history")
    chart = [None]

    def chart_told():
        stack = [window]
        while stack:
            obj = stack.pop()
            if obj is None:
                continue
            if obj.name == "Readings chart":
                chart[0] = obj
                return "Newest reading" in obj.description
            stack.extend(obj)
        return False

    if not pump(10, chart_told):
        fail("the chart has no text alternative: "
             f"{chart[0].description if chart[0] else 'no chart named'}")


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("dump", "check"):
        print(__doc__, file=sys.stderr)
        return 2
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QPA_PLATFORM", None)  # the real display, not offscreen
    program = subprocess.Popen(sys.argv[2:], env=env)
    try:
        window = find_window(TITLE, 60)
        if window is None:
            fail("the panel's window did not appear on the accessibility bus")
        elif sys.argv[1] == "dump":
            pump(4 if "--open" in sys.argv else 1)  # the first readings, once opened
            describe(window)
            if "--open" in sys.argv:
                press_key(0xFFBF)
                history = find_window("Readings history", 10)
                if history is not None:
                    pump(1)
                    describe(history)
        else:
            check_panel(window)
            check_history()
    finally:
        program.terminate()
        try:
            program.wait(20)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
    if program.returncode not in (0, -15) and sys.argv[1] == "check":
        fail(f"the program ended with status {program.returncode}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
