"""The real program as a person uses it, through its accessibility tree."""

import os
import shutil
import sys
import time
import unittest

import pyatspi

from e2e_support import ROOT, ProgramTest, descendants, wait_for

sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from certificates import make_certificates  # noqa: E402


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
            unnamed.extend(self.unnamed_controls(window, where))

        check(self.find("frame", "sample.mgx - Mergix"), "main window")
        self.choose_menu("Mail", "Options")
        options = self.find("dialog", "Mail Options")
        check(options, "Mail Options")
        self.click(self.find("push button", "Cancel", within=options))
        self.choose_menu("Edit", "Replace")
        replace = self.find("dialog", "Replace")
        check(replace, "Replace")
        self.click(self.find("push button", "Close", within=replace))
        self.choose_menu("Edit", "Find")
        find = self.find("dialog", "Find")
        check(find, "Find")
        self.click(self.find("push button", "Close", within=find))

        self.choose_menu("Mail", "Insert IF")
        insert_if = self.find("dialog", "Insert If")
        check(insert_if, "Insert If")
        self.click(self.find("push button", "Cancel", within=insert_if))

        self.click(self.find("push button", "Attachments..."))
        attachments = self.find("dialog", "Attachments")
        check(attachments, "Attachments")
        self.click(self.find("push button", "Cancel", within=attachments))

        self.choose_menu("Mail", "Test Mail Merge")
        info = self.find("dialog", "Test Mail Merge Information")
        check(info, "Test Mail Merge Information")
        self.click(self.find("push button", "OK", within=info))
        recipients = self.find("dialog", "Choose Recipients")
        check(recipients, "Choose Recipients")
        self.click(self.find("push button", "Select by Rules", within=recipients))
        rules = self.find("dialog", "Select by Rules")
        check(rules, "Select by Rules")
        self.click(self.find("push button", "Save", within=rules))
        save = self.find("dialog", "Save Search Settings")
        check(save, "Save Search Settings")
        self.click(self.find("push button", "Cancel", within=save))
        self.click(self.find("push button", "Cancel", within=rules))
        self.click(self.find("push button", "Close", within=recipients))

        self.choose_menu("Help", "About Mergix...")
        about = self.find("dialog", "About Mergix")
        check(about, "About Mergix")
        self.click(self.find("push button", "OK", within=about))
        self.assertEqual(unnamed, [])


    def finish_wizard(self, wizard, subject):
        """The wizard's message page filled for the club, the To field "Email", then Finish."""
        for label, text in (("From:", "Club"), ("From e-mail address", "club@example.com"),
                            ("Reply-To:", "replies@example.com"), ("Subject:", subject)):
            self.click(self.find("text", label))
            self.type_text(text)
        self.choose_in_combo(0, "Email", wizard)
        self.click(self.find("push button", "Finish"))

    def start_helper_server(self, script, *arguments):
        """One of the test suite's servers (a script under tests/), stopped when the test ends by
        closing its input. Returns the port from its first line ("PORT <n>")."""
        import subprocess
        server = subprocess.Popen(["/usr/bin/python3", os.path.join(ROOT, "tests", script)]
                                  + list(arguments), stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, text=True)

        def stop():
            server.stdin.close()
            server.wait(timeout=30)
        self.addCleanup(stop)
        return server.stdout.readline().split()[1]

    def start_smtp_server(self, name, *options):
        """The test suite's SMTP server, storing into a folder of this test's; stopped when the
        test ends. Returns the folder and the port."""
        store = os.path.join(self.folder, name)
        os.mkdir(store)
        return store, self.start_helper_server(os.path.join("mail", "smtp_test_server.py"),
                                               store, "90", *options)

    def stored_messages(self, *stores):
        """The summaries of the messages the servers stored, in order."""
        import json
        summaries = []
        for store in stores:
            for name in sorted(f for f in os.listdir(store) if f.endswith(".json")):
                with open(os.path.join(store, name), encoding="utf-8") as stored:
                    summaries.append(json.load(stored))
        return summaries

    def set_smtp_server(self, port, fill=None):
        """Mail Options with the server on 127.0.0.1 at the port, and whatever fill types into
        the dialog besides."""
        self.choose_menu("Mail", "Options")
        options = self.find("dialog", "Mail Options")
        server = self.find("text", "SMTP Mail Server:", within=options)
        server.queryEditableText().setTextContents("")
        self.click(server)
        self.type_text("127.0.0.1:" + port)
        if fill:
            fill(options)
        self.click(self.find("push button", "OK", within=options))

    def send_to_all(self):
        """Select All and Send Mail in Choose Recipients."""
        recipients = self.find("dialog", "Choose Recipients")
        self.click(self.find("push button", "Select All", within=recipients))
        self.click(self.find("push button", "Send Mail", within=recipients))

    def test_a_send_lists_the_refused_recipient_and_the_server_holds_the_rest(self):
        store, port = self.start_smtp_server("messages", "^pat@")
        self.open_sample_copy()
        self.set_smtp_server(port)
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        box = self.find("label", None, timeout=30,
                        within=wait_for(lambda: self.find_alert(), "the closing message"))
        self.assertEqual(box.name.replace("\r\n", "\n").strip(),
                         "There was an error sending one or more messages to the following "
                         "addresses:\n\npat@example.org")
        summaries = self.stored_messages(store)
        self.assertEqual(len(summaries), 11)
        for summary in summaries:
            self.assertNotIn("parse_error", summary)
            self.assertEqual(summary["subject"], "News from the club")

    def test_a_provider_login_over_starttls_is_kept_in_the_keyring(self):
        ca, cert, key = make_certificates(self.folder)
        settings = os.path.join(self.folder, "config", "Corvane Software")
        os.makedirs(settings)
        with open(os.path.join(settings, "Mergix.conf"), "w") as conf:
            conf.write("[General]\nSMTPTrustedCAFile=%s\n" % ca)
        store, port = self.start_smtp_server("messages", "--tls", cert, key, "--mode",
                                             "starttls", "--auth", "ann:pa ss")

        def login(options):
            self.choose_in_combo(0, "STARTTLS", options)
            self.click(self.find("text", "User name:", within=options))
            self.type_text("ann")
            self.click(self.find("password text", "Password:", within=options))
            self.type_text("pa ss")

        self.open_sample_copy()
        self.set_smtp_server(port, login)
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        wait_for(lambda: len(self.stored_messages(store)) == 12 or None,
                 "12 messages on the server", 30)

        # The next run finds the password in the keyring: nothing asks for it.
        self.process.kill()
        self.process.wait(timeout=10)
        self.open_sample_copy()
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        # The same message to the same twelve again: the program asks first.
        question = wait_for(lambda: self.find_alert(), "the question about sending again", 30)
        label = self.find("label", None, within=question)
        self.assertTrue(label.name.startswith("This message was sent to all 12 recipients on "),
                        label.name)
        self.assertTrue(label.name.endswith(". Send it again?"), label.name)
        self.click(self.find("push button", "Yes", within=question))
        wait_for(lambda: len(self.stored_messages(store)) == 24 or None,
                 "24 messages on the server", 30)
        shown = [node.name for node in descendants(self.app)
                 if node.getRoleName() == "dialog" and node.name == "SMTP Password"]
        self.assertEqual(shown, [])
        for summary in self.stored_messages(store):
            self.assertTrue(summary["tls"])
            self.assertEqual(summary["auth_user"], "ann")

    def start_oauth_server(self):
        """The authorization server of the tests; stopped when the test ends. Returns its folder
        (with the tokens file the SMTP server reads) and its base address."""
        folder = os.path.join(self.folder, "oauth")
        port = self.start_helper_server(os.path.join("mail", "oauth_test_server.py"), folder, "90")
        return folder, "http://127.0.0.1:" + port

    def use_fake_browser(self):
        """A browser for the program to open: it follows the provider's redirect back to the
        program and keeps the page it was shown. Returns that page's file."""
        bin_folder = os.path.join(self.folder, "bin")
        os.mkdir(bin_folder)
        page = os.path.join(self.folder, "browser-page.html")
        script = os.path.join(bin_folder, "xdg-open")
        with open(script, "w") as out:
            out.write("#!/usr/bin/python3\nimport sys, urllib.request\n"
                      "body = urllib.request.urlopen(sys.argv[1], timeout=20).read()\n"
                      "open(%r, 'wb').write(body)\n" % page)
        os.chmod(script, 0o755)
        old_path = os.environ["PATH"]
        os.environ["PATH"] = bin_folder + ":" + old_path
        self.addCleanup(lambda: os.environ.__setitem__("PATH", old_path))
        return page

    def test_an_oauth_sign_in_in_mail_options_is_kept_in_the_keyring_and_sends(self):
        ca, cert, key = make_certificates(self.folder)
        oauth_folder, base = self.start_oauth_server()
        store, port = self.start_smtp_server(
            "messages", "--tls", cert, key, "--mode", "starttls", "--oauth-tokens",
            os.path.join(oauth_folder, "tokens"))
        # The organisation's app registration, stored from an earlier visit to Mail Options.
        settings = os.path.join(self.folder, "config", "Corvane Software")
        os.makedirs(settings)
        with open(os.path.join(settings, "Mergix.conf"), "w") as conf:
            conf.write("[General]\nSMTPTrustedCAFile=%s\nOAuthProvider=Custom\n"
                       "OAuthClientID=mergix-test\nOAuthAuthorizationURL=%s/authorize\n"
                       "OAuthTokenURL=%s/token\nOAuthScope=smtp offline_access\n"
                       % (ca, base, base))
        page = self.use_fake_browser()

        def sign_in(options):
            self.choose_in_combo(0, "STARTTLS", options)
            self.click(self.find("text", "User name:", within=options))
            self.type_text("club@example.com")
            self.choose_in_combo(1, "OAuth 2.0", options)
            self.click(self.find("push button", "Sign in...", within=options))
            wait_for(lambda: next((node for node in descendants(options)
                                   if node.getRoleName() == "label"
                                   and node.name.startswith("Signed in as club@example.com")),
                                  None), "the sign-in", 30)

        self.open_sample_copy()
        self.set_smtp_server(port, sign_in)
        with open(page, encoding="utf-8") as shown:
            self.assertIn("You may close this page", shown.read())
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        wait_for(lambda: len(self.stored_messages(store)) == 12 or None,
                 "12 messages on the server", 30)
        for summary in self.stored_messages(store):
            self.assertTrue(summary["tls"])
            self.assertEqual(summary["auth_user"], "club@example.com")
        # The login is stored; no token is.
        with open(os.path.join(settings, "Mergix.conf"), encoding="utf-8") as conf:
            stored = conf.read()
        self.assertIn("SMTPLogin=OAuth 2.0", stored)
        with open(os.path.join(oauth_folder, "tokens"), encoding="utf-8") as tokens:
            for token in tokens.read().split():
                self.assertNotIn(token, stored)

    def test_a_send_with_refusals_is_resumed_for_the_rest_only(self):
        first, first_port = self.start_smtp_server("first", "^(pat|zoe)")
        second, second_port = self.start_smtp_server("second", "^nobody$")

        def received():
            counts = {}
            for summary in self.stored_messages(first, second):
                address = summary["rcpt_tos"][0]
                counts[address] = counts.get(address, 0) + 1
            return counts

        self.open_sample_copy()
        self.set_smtp_server(first_port)
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        box = wait_for(lambda: self.find_alert(), "the closing message", 30)
        self.find("push button", "Save failed list...", within=box)
        self.click(self.find("push button", "OK", within=box))
        self.assertEqual(len(received()), 9)

        # Send Mail again asks; Yes sends only to the three not reached yet.
        self.set_smtp_server(second_port)
        self.choose_menu("Mail", "Send Mail")
        self.find("label", "The last send of this merge reached 9 of 12 recipients; "
                  "3 were refused. Send only the remaining 3?")
        self.click(self.find("push button", "Yes", within=self.find_alert()))
        # The three come selected: Send Mail as the list opens.
        recipients = self.find("dialog", "Choose Recipients")
        self.click(self.find("push button", "Send Mail", within=recipients))
        wait_for(lambda: len(received()) == 12 or None, "every recipient", 30)
        time.sleep(1)
        self.assertEqual(sorted(set(received().values())), [1])

    def choose_in_combo(self, index, item, within):
        """Chooses an item of the index-th combo box of the window. On Linux a combo box's
        accessible name is its current text (a screen reader names it by its label), so the
        combos are told apart by their order."""
        combos = [node for node in descendants(within) if node.getRoleName() == "combo box"]
        self.click(combos[index])
        # The items are the combo's own list's; a hidden list of another combo may also
        # report them as showing.
        popup = wait_for(lambda: next((node for node in descendants(combos[index])
                                       if node.getRoleName() == "list item" and node.name == item),
                                      None), "the item %r" % item)
        self.click(popup)

    def run_rules_test_merge(self, define_rules):
        """Test Mail Merge with the rules set up by the callback; the results dialog's text."""
        self.choose_menu("Mail", "Test Mail Merge")
        self.click(self.find("push button", "OK",
                             within=self.find("dialog", "Test Mail Merge Information")))
        recipients = self.find("dialog", "Choose Recipients")
        self.click(self.find("push button", "Select by Rules", within=recipients))
        rules = self.find("dialog", "Select by Rules")
        define_rules(rules)
        self.click(self.find("push button", "Select", within=rules))
        self.click(self.find("push button", "Test Merge", within=recipients))
        try:
            results = self.find("dialog", "Test Mail Merge Results")
        except AssertionError:
            shown = [(node.getRoleName(), node.name) for node in descendants(self.app)
                     if node.getRoleName() in ("label", "dialog", "alert")
                     and node.getState().contains(pyatspi.STATE_SHOWING)]
            raise AssertionError("no results; showing: %r" % shown)
        text = self.text_of(self.find("text", "Here are the results of the test mail merge:",
                                      within=results))
        self.click(self.find("push button", "Done", within=results))
        return text

    def test_a_saved_rule_set_gives_the_command_lines_test_merge_again(self):
        import subprocess
        expected = subprocess.run(
            [os.environ["MERGIX_EXE"], "--test-merge", os.path.join(ROOT, "examples", "sample.mgx"),
             "--where", "City", "Equals", "London", "--or", "City", "Equals", "Berlin"],
            capture_output=True, text=True,
            env=dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")).stdout
        self.assertIn("To: ", expected)

        def define(rules):
            self.choose_in_combo(1, "City", rules)  # row 1's field
            self.click(self.find("text", "Row 1 compare-to text", within=rules))
            self.type_text("London")
            self.click(self.find("check box", "Enable rule 2", within=rules))
            self.click(self.find("radio button", "Or (rule 2)", within=rules))
            self.choose_in_combo(3, "City", rules)  # row 2's field
            self.click(self.find("text", "Row 2 compare-to text", within=rules))
            self.type_text("Berlin")
            self.click(self.find("push button", "Save", within=rules))
            save = self.find("dialog", "Save Search Settings")
            self.click(self.find("text", "Save these search settings as:", within=save))
            self.type_text("towns")
            self.click(self.find("push button", "OK", within=save))

        self.open_sample_copy()
        first = self.run_rules_test_merge(define)
        self.assertEqual(first, expected.replace("\r\n", "\n"))

        # A new run: the saved set, chosen from the list, selects the same records.
        self.process.kill()
        self.process.wait(timeout=10)
        self.start(os.path.join(self.folder, "sample.mgx"))
        again = self.run_rules_test_merge(
            lambda rules: self.choose_in_combo(0, "towns", rules))  # the saved sets
        self.assertEqual(again, first)

    def test_a_new_merge_from_the_wizard_is_saved_and_comes_back_whole(self):
        database = os.path.join(self.folder, "club.mdb")
        shutil.copy(os.path.join(ROOT, "tests", "data", "contacts.mdb"), database)
        merge = os.path.join(self.folder, "club.mgx")
        self.start()
        startup = self.find("dialog", "Mergix")
        self.find("radio button", "Create a new e-mail merge", within=startup)
        unnamed = self.unnamed_controls(startup, "start-up choice")
        self.click(self.find("push button", "OK", within=startup))

        wizard = self.find("dialog", "New Merge")
        self.find("text", "Filename:")
        unnamed += self.unnamed_controls(wizard, "wizard page 1")
        self.click(self.find("text", "Filename:"))
        self.type_text(database)
        self.click(self.find("push button", "Next >"))
        self.find("list item", "Contacts")
        unnamed += self.unnamed_controls(wizard, "wizard page 2")
        self.click(self.find("push button", "Next >"))
        self.find("text", "Subject:")
        unnamed += self.unnamed_controls(wizard, "wizard page 3")
        self.assertEqual(unnamed, [])
        self.finish_wizard(wizard, "News")

        frame = self.find("frame", "Untitled - Mergix")
        editor = self.find("text", "Message")
        self.click(editor)
        self.type_text("Dear ")
        fields = self.open_popup(self.find("push button", "Insert Field", within=frame),
                                 "the field menu of Insert Field")
        self.click(self.find("menu item", "FirstName", within=fields))
        self.click(self.find("push button", "Insert {IF} Block", within=frame))
        insert_if = self.find("dialog", "Insert If")
        self.choose_in_combo(0, "City", insert_if)
        self.click(self.find("text", "Compare To:", within=insert_if))
        self.type_text("London")
        self.click(self.find("push button", "Insert", within=insert_if))
        body = self.text_of(editor)
        self.assertEqual(body, 'Dear <<FirstName>>{IF "<<City>>" "Equals" "London" THEN "" '
                               'ELSE "" "CASENO"}')

        self.choose_menu("File", "Save As...")
        save = self.find("dialog", "Save As")
        self.type_file_name(save, merge, "frame", "club.mgx - Mergix")
        self.choose_menu("File", "Exit")
        wait_for(lambda: self.process.poll() is not None, "the program to end")

        self.start(merge)
        self.find("frame", "club.mgx - Mergix")
        self.assertEqual(self.text_of(self.find("text", "From:")), "Club <club@example.com>")
        self.assertEqual(self.text_of(self.find("text", "Subject:")), "News")
        self.assertEqual(self.text_of(self.find("text", "Reply-To:")), "replies@example.com")
        self.find("combo box", "Email")  # the To field, named by what it shows
        self.assertEqual(self.text_of(self.find("text", "Message")), body)

    def test_a_merge_on_a_csv_file_is_made_with_the_wizard_and_sent(self):
        store, port = self.start_smtp_server("messages")
        members = os.path.join(self.folder, "members.csv")
        # As a spreadsheet program on Windows writes it: semicolons, Windows-1252, CR LF.
        with open(members, "wb") as out:
            out.write("Name;Email;Town;Fee\r\n"
                      "Zoë;zoe@example.org;Genève;12,50\r\n"
                      "Bob;bob@example.org;\"Leeds; West\";7\r\n".encode("cp1252"))
        self.start()
        startup = self.find("dialog", "Mergix")
        self.click(self.find("push button", "OK", within=startup))
        wizard = self.find("dialog", "New Merge")
        self.click(self.find("text", "Filename:"))
        self.type_text(members)
        self.click(self.find("push button", "Next >"))
        self.find("list item", "members", within=wizard)
        self.click(self.find("push button", "Next >"))
        self.find("text", "Subject:")
        self.finish_wizard(wizard, "Fees")

        self.find("frame", "Untitled - Mergix")
        editor = self.find("text", "Message")
        self.click(editor)
        self.type_text("Dear <<Name>> of <<Town>>, your fee is <<Fee>>.")
        self.set_smtp_server(port)
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        wait_for(lambda: len(self.stored_messages(store)) == 2, "two messages at the server",
                 timeout=30)
        bodies = sorted(summary["body"].strip() for summary in self.stored_messages(store))
        self.assertEqual(bodies, ["Dear Bob of Leeds; West, your fee is 7.",
                                  "Dear Zoë of Genève, your fee is 12.50."])

    def test_a_merge_on_a_postgresql_server_is_made_with_the_wizard_and_sent(self):
        database_port = self.start_helper_server(
            os.path.join("sources", "postgres_test_server.py"),
            os.path.join(ROOT, "tests", "data", "club_server.sql"))
        store, port = self.start_smtp_server("messages")
        self.start()
        startup = self.find("dialog", "Mergix")
        self.click(self.find("push button", "OK", within=startup))
        wizard = self.find("dialog", "New Merge")
        self.click(self.find("push button", "Connect to a database server...", within=wizard))
        server = self.find("dialog", "Connect to a Database Server")
        self.assertEqual(self.unnamed_controls(server, "server dialog"), [])
        for label, text in (("Host:", "127.0.0.1"), ("Database:", "club"), ("User:", "mergix")):
            self.click(self.find("text", label, within=server))
            self.type_text(text)
        self.find("spin button", "Port:", within=server).queryValue().currentValue = \
            float(database_port)
        self.click(self.find("password text", "Password:", within=server))
        self.type_text("s3cret pass")
        self.click(self.find("push button", "Test Connection", within=server))
        self.find("label", "Connected: 6 tables and views.", within=server, timeout=20)
        self.click(self.find("push button", "OK", within=server))
        self.click(self.find("push button", "Next >"))
        self.find("list item", "Contacts", within=wizard, timeout=20)
        self.click(self.find("push button", "Next >"))
        self.find("text", "Subject:")
        self.finish_wizard(wizard, "Fees")

        self.find("frame", "Untitled - Mergix")
        self.click(self.find("text", "Message"))
        self.type_text("Dear <<FirstName>> of <<City>>.")
        self.set_smtp_server(port)
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        wait_for(lambda: len(self.stored_messages(store)) == 3, "three messages at the server",
                 timeout=30)
        bodies = sorted(summary["body"].strip() for summary in self.stored_messages(store))
        self.assertEqual(bodies, ["Dear Ana of Sevilla.", "Dear Liam of .",
                                  "Dear Zoë of Genève."])

    def test_cc_and_two_attachments_are_set_in_the_window_saved_reopened_and_sent(self):
        self.open_sample_copy()
        merge = os.path.join(self.folder, "sample.mgx")
        price_list = os.path.join(self.folder, "price-list.pdf")
        with open(price_list, "wb") as out:
            out.write(b"%PDF-1.4\n")
        self.click(self.find("text", "Cc:"))
        self.type_text("office@example.com")

        self.click(self.find("push button", "Attachments..."))
        dialog = self.find("dialog", "Attachments")
        self.click(self.find("push button", "Add Files...", within=dialog))
        chooser = self.find("dialog", "Add Files")
        self.type_file_name(chooser, price_list, "list item", "price-list.pdf")
        self.click(self.find("text", "Type a path or template:", within=dialog))
        self.type_text("invoices/<<FirstName>>.pdf")
        self.click(self.find("push button", "Add Path", within=dialog))
        self.find("list item", "invoices/<<FirstName>>.pdf", within=dialog)
        # The new entry is selected and shows the file of the table's first record.
        preview = self.text_of(self.find("text", "Preview:", within=dialog))
        self.assertTrue(preview.startswith("For the table's first record: %s/invoices/"
                                           % self.folder), preview)
        self.assertTrue(preview.endswith(".pdf") and "<<" not in preview, preview)
        self.click(self.find("push button", "OK", within=dialog))
        button = self.find("push button", "Attachments...")
        wait_for(lambda: button.description == "2 files attached", "the count on the button")

        self.choose_menu("File", "Save")
        self.choose_menu("File", "Exit")
        wait_for(lambda: self.process.poll() is not None, "the program to end")

        self.start(merge)
        self.find("frame", "sample.mgx - Mergix")
        self.assertEqual(self.text_of(self.find("text", "Cc:")), "office@example.com")
        self.assertEqual(self.text_of(self.find("text", "Bcc:")), "")
        button = self.find("push button", "Attachments...")
        self.assertEqual(button.description, "2 files attached")
        self.click(button)
        dialog = self.find("dialog", "Attachments")
        entries = [node.name for node in descendants(dialog)
                   if node.getRoleName() == "list item"]
        self.assertEqual(entries, ["price-list.pdf", "invoices/<<FirstName>>.pdf"])
        self.click(self.find("push button", "Cancel", within=dialog))

        # Sent: each member gets the price list and an own invoice, the office a copy.
        import csv
        import io
        import subprocess
        export = subprocess.run(["mdb-export", os.path.join(self.folder, "contacts.mdb"),
                                 "Contacts"], check=True, capture_output=True).stdout
        # The Photo column is binary: only the names and addresses are of use here.
        members = list(csv.DictReader(io.StringIO(export.decode("utf-8", "replace"),
                                                  newline="")))
        os.mkdir(os.path.join(self.folder, "invoices"))
        for member in members:
            with open(os.path.join(self.folder, "invoices", member["FirstName"] + ".pdf"),
                      "wb") as out:
                out.write(("%%PDF-1.4 invoice of %s\n" % member["FirstName"]).encode("utf-8"))
        store, port = self.start_smtp_server("messages")
        self.set_smtp_server(port)
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        wait_for(lambda: len(self.stored_messages(store)) == len(members),
                 "a message for every member at the server", timeout=30)
        first_names = {member["Email"]: member["FirstName"] for member in members}
        for summary in self.stored_messages(store):
            self.assertEqual(summary["defects"], [])
            self.assertEqual(summary["cc"], "office@example.com")
            self.assertIn("office@example.com", summary["rcpt_tos"])
            names = [attachment["filename"] for attachment in summary["attachments"]]
            self.assertEqual(names, ["price-list.pdf", first_names[summary["to"]] + ".pdf"])

    def test_a_word_made_bold_is_previewed_and_arrives_as_html(self):
        frame = self.open_sample_copy()
        editor = self.find("text", "Message")
        self.click(editor)
        # "Dear" selected, as a screen reader selects text, and made bold with the Format menu.
        editor.queryText().setSelection(0, 0, 4)
        self.choose_menu("Format", "Bold")
        self.find("label", "Formatted message")
        # A field inserted after the greeting's line comes in whole.
        first_line = self.text_of(editor).split("\n")[0]
        editor.queryText().setCaretOffset(len(first_line))
        self.type_text(" from ")
        fields = self.open_popup(self.find("push button", "Insert Field", within=frame),
                                 "the field menu of Insert Field")
        self.click(self.find("menu item", "City", within=fields))
        self.assertTrue(self.text_of(editor).startswith(
            "Dear <<FirstName>> <<LastName>>, from <<City>>"), self.text_of(editor))

        self.choose_menu("View", "Preview")
        self.click(self.find("push button", "Next"))
        self.find("label", "Record 2 of 12")
        body = self.text_of(self.find("label", "Message as sent"))
        self.assertNotIn("<<", body)
        to = self.text_of(self.find("text", "To"))
        self.click(self.find("push button", "Close Preview"))
        self.find("text", "Message")

        store, port = self.start_smtp_server("messages")
        self.set_smtp_server(port)
        self.choose_menu("Mail", "Send Mail")
        self.send_to_all()
        wait_for(lambda: len(self.stored_messages(store)) == 12,
                 "a message for every member at the server", timeout=30)
        summaries = {summary["to"]: summary for summary in self.stored_messages(store)}
        previewed = summaries[to]
        self.assertEqual(previewed["defects"], [])
        self.assertEqual(previewed["structure"][:3],
                         ["multipart/alternative", "text/plain", "text/html"])
        # The previewed message is the one that arrived: the same words, Dear in bold.
        self.assertIn("font-weight:700;\">Dear</span>", previewed["html"])
        self.assertEqual(previewed["body"].split("\r\n")[0].split("\n")[0],
                         body.split("\n")[0])

    def find_alert(self):
        for node in descendants(self.app):
            if node.getRoleName() in ("alert", "dialog") and node.name == "Mergix":
                return node
        return None

    def test_a_missing_database_and_a_damaged_one_give_their_messages(self):
        shutil.copy(os.path.join(ROOT, "examples", "sample.mgx"), self.folder)  # no database
        self.start(os.path.join(self.folder, "sample.mgx"))
        self.find("label", 'The database file "%s" was not found.'
                  % os.path.join(self.folder, "contacts.mdb"))
        self.click(self.find("push button", "OK"))

        # File New then runs the wizard; a damaged database there gives its message too.
        damaged = os.path.join(self.folder, "damaged.mdb")
        with open(os.path.join(ROOT, "tests", "data", "contacts.mdb"), "rb") as source:
            data = source.read()
        with open(damaged, "wb") as out:
            out.write(data[:4096 * 3 + 100])
        self.choose_menu("File", "New")
        startup = self.find("dialog", "Mergix")
        self.click(self.find("push button", "OK", within=startup))
        self.click(self.find("text", "Filename:"))
        self.type_text(damaged)
        self.click(self.find("push button", "Next >"))
        self.find("label", 'The database "%s" is damaged and cannot be read.' % damaged)
        self.click(self.find("push button", "OK", within=self.find_alert()))
        self.click(self.find("push button", "Next >"))
        self.find("label", "Please select a table to use as the e-mail merge source")
        self.click(self.find("push button", "OK", within=self.find_alert()))
        self.click(self.find("push button", "Cancel"))
        self.find("frame", "Untitled - Mergix")  # the merge whose database is gone did not open
        self.assertIsNone(self.process.poll())

    def test_bad_input_gives_its_message_and_the_program_goes_on(self):
        with open(os.path.join(self.folder, "cut.mgx"), "wb") as cut:
            cut.write(b"\x0ccontacts.mdb\x05Em")  # ends inside the second string
        self.start(os.path.join(self.folder, "cut.mgx"))
        self.find("label", "Unexpected file format.")
        self.click(self.find("push button", "OK"))
        frame = self.find("frame", "Untitled - Mergix")
        # The same file through File Open gives the same message.
        self.choose_menu("File", "Open...")
        dialog = self.find("dialog", "Open")  # no question: the unread file changed nothing
        self.type_file_name(dialog, os.path.join(self.folder, "cut.mgx"), "label",
                            "Unexpected file format.")
        self.click(self.find("push button", "OK", within=self.find_alert()))
        # The next action works: Mail Options opens and closes.
        self.choose_menu("Mail", "Options")
        self.click(self.find("push button", "Cancel", within=self.find("dialog", "Mail Options")))
        self.assertIsNone(self.process.poll())
        self.assertIsNotNone(frame)


if __name__ == "__main__":
    unittest.main()
