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


    def test_a_send_lists_the_refused_recipient_and_the_server_holds_the_rest(self):
        import email
        import email.policy
        import json
        import subprocess
        import sys
        store = os.path.join(self.folder, "messages")
        os.mkdir(store)
        server = subprocess.Popen(
            ["/usr/bin/python3", os.path.join(ROOT, "tests", "mail", "smtp_test_server.py"),
             store, "60", "^pat@"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        try:
            port = server.stdout.readline().split()[1]
            self.open_sample_copy()
            self.choose_menu("Mail", "Options")
            options = self.find("dialog", "Mail Options")
            self.click(self.find("text", "SMTP Mail Server:", within=options))
            self.type_text("127.0.0.1:" + port)
            self.click(self.find("push button", "OK", within=options))

            self.choose_menu("Mail", "Send Mail")
            recipients = self.find("dialog", "Choose Recipients")
            self.click(self.find("push button", "Select All", within=recipients))
            self.click(self.find("push button", "Send Mail", within=recipients))
            box = self.find("label", None, timeout=30,
                            within=wait_for(lambda: self.find_alert(), "the closing message"))
            self.assertEqual(box.name.replace("\r\n", "\n").strip(),
                             "There was an error sending one or more messages to the following "
                             "addresses:\n\npat@example.org")
            files = sorted(os.listdir(store))
            self.assertEqual(len([f for f in files if f.endswith(".json")]), 11)
            for name in files:
                with open(os.path.join(store, name), encoding="utf-8") as stored:
                    summary = json.load(stored)
                self.assertNotIn("parse_error", summary)
                self.assertEqual(summary["subject"], "News from the club")
        finally:
            server.stdin.close()
            server.wait(timeout=10)

    def find_alert(self):
        for node in descendants(self.app):
            if node.getRoleName() in ("alert", "dialog") and node.name == "Mergix":
                return node
        return None

    def test_bad_input_gives_its_message_and_the_program_goes_on(self):
        with open(os.path.join(self.folder, "cut.mgx"), "wb") as cut:
            cut.write(b"\x0ccontacts.mdb\x05Em")  # ends inside the second string
        self.start(os.path.join(self.folder, "cut.mgx"))
        self.find("label", "Unexpected file format.")
        self.click(self.find("push button", "OK"))
        frame = self.find("frame", "Untitled - Mergix")
        # The next action works: Mail Options opens and closes.
        self.choose_menu("Mail", "Options")
        self.click(self.find("push button", "Cancel", within=self.find("dialog", "Mail Options")))
        self.assertIsNone(self.process.poll())
        self.assertIsNotNone(frame)


if __name__ == "__main__":
    unittest.main()
