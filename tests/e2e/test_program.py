"""The real program as a person uses it, through its accessibility tree."""

import os
import shutil
import time
import unittest

import pyatspi

from e2e_support import ROOT, ProgramTest, descendants, wait_for


class ProgramTests(ProgramTest):

    def open_sample_copy(self):
        for name in ("sample.mgx", "contacts.mdb"):
            shutil.copy(os.path.join(ROOT, "examples", name), self.folder)
        self.start(os.path.join(self.folder, "sample.mgx"))
        return self.find("frame", "sample.mgx - Mergix")

    def choose_menu(self, menu, item):
        self.click(self.find("menu item", menu))
        self.click(self.find("menu item", item))

    def test_typing_then_closing_asks_to_save_and_cancel_keeps_the_text(self):
        self.open_sample_copy()
        editor = self.find("text", "Message")
        self.click(editor)
        self.type_text("PS")
        wait_for(lambda: "PS" in self.text_of(editor), "the typed text in the editor")

        self.choose_menu("File", "Exit")
        question = self.find("label", "Save changes to sample.mgx?")
        self.assertIsNotNone(question)
        self.click(self.find("push button", "Cancel"))
        time.sleep(0.5)
        self.assertIsNone(self.process.poll(), "the program ended after Cancel")
        self.assertIn("PS", self.text_of(self.find("text", "Message")))

        self.choose_menu("File", "Exit")
        self.find("label", "Save changes to sample.mgx?")
        self.click(self.find("push button", "No"))
        wait_for(lambda: self.process.poll() is not None, "the program to end after No")

    def test_every_control_a_user_reaches_has_a_name(self):
        self.open_sample_copy()
        unnamed = []

        def check(window, where):
            for node in descendants(window):
                states = node.getState()
                if states.contains(pyatspi.STATE_FOCUSABLE) and \
                        states.contains(pyatspi.STATE_SHOWING) and not node.name.strip():
                    unnamed.append("%s: %s" % (where, node.getRoleName()))

        check(self.find("frame", "sample.mgx - Mergix"), "main window")
        self.choose_menu("Mail", "Options")
        options = self.find("dialog", "Mail Options")
        check(options, "Mail Options")
        self.click(self.find("push button", "Cancel", within=options))
        self.choose_menu("Edit", "Replace")
        replace = self.find("dialog", "Replace")
        check(replace, "Replace")
        self.assertEqual(unnamed, [])


if __name__ == "__main__":
    unittest.main()
