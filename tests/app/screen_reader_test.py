#!/usr/bin/python3
"""The window as a screen reader sees it, through a real assistive-technology client (pyatspi on
the AT-SPI bus): every page selected with its keys shows no control without a name, nor does any
dialog; then, with accessibility actions and keys alone, the operator connects to the program's
built-in virtual unit, uploads its program, sets HIGH band 1's gain through the Value interface and
the frame reaches the unit (the protocol journal shows it sent and answered).

Run by ctest under tests/support/x11_session.sh: python3 screen_reader_test.py PROGRAM."""
import os
import re
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402
import pyatspi  # noqa: E402

WAIT_S = 30
CONTROLS = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY,
    pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_SLIDER, pyatspi.ROLE_SCROLL_BAR, pyatspi.ROLE_LIST,
    pyatspi.ROLE_TABLE, pyatspi.ROLE_CHART, pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_MENU_ITEM,
}
CTRL = 1 << 2  # the X server's Control modifier
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def wait_for(find, what):
    end = time.monotonic() + WAIT_S
    while time.monotonic() < end:
        while GLib.MainContext.default().iteration(False):  # the events listened for
            pass
        try:
            found = find()
        except Exception:  # an object gone while it was read: look again
            found = None
        if found:
            return found
        time.sleep(0.1)
    check(False, "waited for " + what)
    sys.exit(1)


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def descendants(node, only_showing=True):
    out = []
    for child in node:
        if child is None or (only_showing and not showing(child)):
            continue
        out.append(child)
        out.extend(descendants(child, only_showing))
    return out


def find(root, role, name=None, only_showing=True):
    for node in descendants(root, only_showing):
        if node.getRole() == role and (name is None or node.name == name):
            return node
    return None


def unnamed_controls(root):
    return ["%s in %s" % (n.getRoleName(), n.parent.getRoleName() if n.parent else "?")
            for n in descendants(root) if n.getRole() in CONTROLS and not n.name.strip()]


def key(keysym, modifiers=0):
    if modifiers:
        Atspi.generate_keyboard_event(modifiers, None, Atspi.KeySynthType.LOCKMODIFIERS)
    Atspi.generate_keyboard_event(keysym, None, Atspi.KeySynthType.SYM)
    if modifiers:
        Atspi.generate_keyboard_event(modifiers, None, Atspi.KeySynthType.UNLOCKMODIFIERS)


def press(node, opens_modal=False):
    """Does the node's press action. An action that opens a modal dialog answers only once the
    dialog closes: the call then gives up waiting for the answer, not the action."""
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    index = next((names.index(n) for n in ("Press", "press", "click", "Toggle", "toggle")
                  if n in names), 0)
    if not opens_modal:
        action.doAction(index)
        return
    Atspi.set_timeout(1000, 15000)
    try:
        action.doAction(index)
    except GLib.GError:
        pass
    finally:
        Atspi.set_timeout(-1, 15000)


def menu_item(app, menu, item):
    bar = find(app, pyatspi.ROLE_MENU_BAR)
    top = find(bar, pyatspi.ROLE_MENU_ITEM, menu, only_showing=False)
    return wait_for(lambda: find(top, pyatspi.ROLE_MENU_ITEM, item, only_showing=False),
                    "menu item " + item)


def windows(app):
    return [w for w in app if w is not None and showing(w)]


def other_window(app, frame, what):
    return wait_for(lambda: next((w for w in windows(app) if w.name != frame.name), None), what)


def check_window(app, frame, menu, item, close):
    """Opens `item` of `menu` by its action, checks the window it shows, closes it with the button
    named `close` (or Escape when None)."""
    entry = menu_item(app, menu, item)
    # Greyed while an exchange with the unit still runs.
    wait_for(lambda: entry.getState().contains(pyatspi.STATE_ENABLED), item + " enabled")
    press(entry, opens_modal=True)
    window = other_window(app, frame, item)
    check(not unnamed_controls(window), "%s: every showing control has a name %s"
          % (item, unnamed_controls(window)))
    if close is None:
        key(0xff1b)  # Escape
    else:
        press(wait_for(lambda: find(window, pyatspi.ROLE_PUSH_BUTTON, close), close))
    wait_for(lambda: all(w.name == frame.name for w in windows(app)), item + " closed")


def main():
    program = sys.argv[1]
    work = tempfile.mkdtemp()
    journal = os.path.join(work, "journal.log")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               XDG_CONFIG_HOME=work, HOME=work)
    try:
        desktop = pyatspi.Registry.getDesktop(0)
        desktop.childCount  # reaches the registry on the accessibility bus
    except Exception as error:
        print("SKIP: the accessibility bus could not start here: %s" % error)
        return 77
    unit = subprocess.Popen([program, "--demo", "--log", journal], env=env)
    try:
        app = wait_for(lambda: next((a for a in pyatspi.Registry.getDesktop(0)
                                     if a is not None and a.name == "corvella"), None),
                       "the program on the accessibility bus")
        frame = wait_for(lambda: find(app, pyatspi.ROLE_FRAME), "the main window")

        # Every page by its keys: Ctrl+1 ... Ctrl+9, Ctrl+0, Ctrl+-.
        pages = [("1", "Q-Factor(Bandwidth)"), ("2", "Level (dB)"), ("3", "HPF Frequency"),
                 ("4", "Band 6"), ("5", "Inverse"), ("6", "Delay Time ms"),
                 ("7", "HPF Frequency"), ("8", "Band 6"), ("9", "Inverse"),
                 ("0", "Delay Time ms"), ("minus", "Threshold")]
        for keyname, mark in pages:
            key(ord("-") if keyname == "minus" else ord(keyname), CTRL)
            wait_for(lambda: any(n.name == mark for n in descendants(frame)), "page Ctrl+" + keyname)
            check(not unnamed_controls(frame),
                  "page Ctrl+%s: every showing control has a name %s" % (keyname, unnamed_controls(frame)))
            chart = find(frame, pyatspi.ROLE_CHART)
            if chart is not None:
                # The graph is drawn, and described, a moment after its page shows.
                wait_for(lambda: "dB" in chart.description, "the graph's description")
                check(True, "its response graph says what it shows: %r" % chart.description)

        # The dialogs and windows that open without a unit.
        check_window(app, frame, "Program", "Edit Current Program Name", "Cancel")
        check_window(app, frame, "Tools", "System Response...", None)
        check_window(app, frame, "Tools", "Units On All Ports...", "Close")
        check_window(app, frame, "Help", "About ", "OK")

        # Connect to the virtual unit: Communications > Enable Communications, then Connect.
        press(menu_item(app, "Communications", "Enable Communications"), opens_modal=True)
        search = wait_for(lambda: find(frame, pyatspi.ROLE_PROGRESS_BAR, "Search progress"),
                          "the search panel")
        check(not unnamed_controls(frame), "searching: every showing control has a name %s"
              % unnamed_controls(frame))
        connect = wait_for(lambda: next((find(w, pyatspi.ROLE_PUSH_BUTTON, "Connect")
                                         for w in windows(app) if w.getRole() == pyatspi.ROLE_DIALOG), None),
                           "the Select dialog's Connect")
        dialog = connect.parent
        check(not unnamed_controls(dialog), "Select dialog: every control has a name %s"
              % unnamed_controls(dialog))
        press(connect, opens_modal=True)
        status = wait_for(lambda: find(frame, pyatspi.ROLE_TEXT, "Status"), "the status line")
        wait_for(lambda: "Transfered OK" in status.queryText().getText(0, -1), "the upload's end")

        # The status line tells a screen reader when its text changes.
        announced = []

        def on_text(event):
            if event.source is not None and event.source.name == "Status":
                announced.append(event.any_data)
        listener = Atspi.EventListener.new(on_text)
        listener.register("object:text-changed:insert")

        # HIGH band 1's gain through the Value interface.
        key(ord("4"), CTRL)
        gain = wait_for(lambda: find(frame, pyatspi.ROLE_SPIN_BUTTON, "Level"), "the gain spinner")
        # The pages take edits again once the upload's closing exchange is over.
        wait_for(lambda: gain.getState().contains(pyatspi.STATE_ENABLED), "the pages editable")
        value = gain.queryValue()
        wanted = int(value.currentValue) + 3 if value.currentValue + 3 <= value.maximumValue \
            else int(value.currentValue) - 3
        value.currentValue = wanted
        sent = r"TX \(01\$0471\d\d%03d\)" % wanted
        answered = r"RX \(01\$047\)"

        def in_journal():
            with open(journal, encoding="latin-1") as log:
                text = log.read()
            at = re.search(sent, text)
            return at is not None and re.search(answered, text[at.end():]) is not None
        wait_for(in_journal, "the gain frame sent and answered in the journal")
        check(True, "the gain frame reached the unit and was answered")
        check(int(value.currentValue) == wanted, "the spinner holds the new value")
        wait_for(lambda: status.queryText().getText(0, -1) == "-> Response Ok", "-> Response Ok")
        wait_for(lambda: "-> Response Ok" in announced, "the status line's change announced")
        listener.deregister("object:text-changed:insert")

        # The dialogs that need a unit.
        check_window(app, frame, "Program", "Save As Current  Program  In Device", "Cancel")
        check_window(app, frame, "Program", "List Program & Recall", None)
        check_window(app, frame, "Tools", "Compare With Device...", "Close")
        check_window(app, frame, "Tools", "Protocol Journal", None)
    finally:
        unit.terminate()
        try:
            unit.wait(10)
        except subprocess.TimeoutExpired:
            unit.kill()
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
