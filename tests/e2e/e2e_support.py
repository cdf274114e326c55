"""Starts the real mergix program under the X server and accessibility bus of the test run and
finds its windows and controls through the accessibility tree, as a screen reader does. Every
wait is bounded; the program is always ended."""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

import pyatspi

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MERGIX = os.environ.get("MERGIX_EXE", os.path.join(ROOT, "build", "mergix"))
WAIT = 30.0  # seconds for anything to appear, on a busy machine too


def still_showing(node):
    """Whether an accessible window is still on screen; one that went away may not answer."""
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:  # noqa: BLE001 - a closed window's accessible raises whatever it raises
        return False


def wait_for(find, what, timeout=WAIT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    raise AssertionError("did not appear within %.0f s: %s" % (timeout, what))


def descendants(node, depth=0):
    if node is None or depth > 30:
        return
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:  # a window that went away while we looked
            continue
        if child is None:
            continue
        yield child
        yield from descendants(child, depth + 1)


class ProgramTest(unittest.TestCase):
    """One program run per test, with its own settings folder."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="mergix-e2e-")
        self.process = None

    def tearDown(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=10)
        shutil.rmtree(self.folder, ignore_errors=True)

    def start(self, *args):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
                   XDG_CONFIG_HOME=os.path.join(self.folder, "config"),
                   LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
        self.process = subprocess.Popen([MERGIX] + list(args), env=env,
                                        stderr=subprocess.DEVNULL)
        self.app = wait_for(self.find_app, "the Mergix application on the accessibility bus")

    def find_app(self):
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.get_process_id() == self.process.pid:
                return app
        return None

    def find(self, role, name=None, within=None, timeout=WAIT):
        """The first showing control of the role (and name), waiting for it."""
        def look():
            for node in descendants(within or self.app):
                if node.getRoleName() == role and (name is None or node.name == name) \
                        and node.getState().contains(pyatspi.STATE_SHOWING):
                    return node
            return None
        return wait_for(look, "%s %r" % (role, name), timeout)

    def click(self, node):
        """A real mouse click in the middle of the control."""
        extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(extents.x + extents.width // 2,
                                            extents.y + extents.height // 2, "b1c")
        time.sleep(0.2)

    def type_text(self, text):
        for char in text:
            pyatspi.Registry.generateKeyboardEvent(ord(char), None, pyatspi.KEY_SYM)
        time.sleep(0.3)

    def open_popup(self, opener, what):
        """Clicks a control that opens a pop-up menu and returns the menu. Qt leaves pop-ups out
        of the application's children, so the menu is caught by the event that shows it."""
        from gi.repository import GLib
        shown = []

        def on_event(event):
            if event.source is not None and event.source.getRoleName() == "popup menu" \
                    and event.detail1 == 1:
                shown.append(event.source)

        pyatspi.Registry.registerEventListener(on_event, "object:state-changed:showing")
        try:
            self.click(opener)
            context = GLib.MainContext.default()
            end = time.monotonic() + WAIT
            while not shown and time.monotonic() < end:
                while context.iteration(False):
                    pass
                time.sleep(0.05)
        finally:
            pyatspi.Registry.deregisterEventListener(on_event, "object:state-changed:showing")
        if not shown:
            raise AssertionError("did not appear within %.0f s: %s" % (WAIT, what))
        return shown[-1]

    def unnamed_controls(self, window, where):
        """The focusable, showing controls of a window without a name. A table cell is named by
        its value, and an empty value is read as blank."""
        unnamed = []
        for node in descendants(window):
            states = node.getState()
            if states.contains(pyatspi.STATE_FOCUSABLE) and \
                    states.contains(pyatspi.STATE_SHOWING) and not node.name.strip() \
                    and node.getRoleName() != "table cell":
                unnamed.append("%s: %s" % (where, node.getRoleName()))
        return unnamed

    def type_file_name(self, dialog, path, expected_role, expected_name):
        """Puts a path into a file dialog's name field and presses Return until the window or
        message it leads to appears: a completion list the dialog may have opened takes a first
        Return."""
        field = self.find("text", "File name:", within=dialog)
        self.click(field)
        # Set as a screen reader sets it: typed, the name opens the dialog's completion list,
        # which on a busy machine may still be filling when Return comes and take it.
        try:
            field.queryEditableText().setTextContents(path)
        except NotImplementedError:
            self.type_text(path)
        for _ in range(3):
            pyatspi.Registry.generateKeyboardEvent(0xFF0D, None, pyatspi.KEY_SYM)
            try:
                return self.find(expected_role, expected_name, timeout=5)
            except AssertionError:
                # Once the dialog has taken the name, another Return would answer the message
                # it leads to, on a slow machine, before it is found.
                if not still_showing(dialog):
                    break
        return self.find(expected_role, expected_name)

    def press_return(self):
        pyatspi.Registry.generateKeyboardEvent(0xFF0D, None, pyatspi.KEY_SYM)
        time.sleep(0.3)

    def text_of(self, node):
        text = node.queryText()
        return text.getText(0, text.characterCount)
