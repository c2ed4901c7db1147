"""The product as a person meets it. Each test starts the real client in a fresh home."""
import os
import unittest

from harness import AcceptanceCase, wait_until

APP_TITLE = "^Tessarvale$"
FULL = os.environ.get("TESSARVALE_ACCEPTANCE_FULL") == "1"

DEMO = ("demo", "Demo-Passw0rd")
SMS = ("demo-sms", "Sms-Passw0rd", "2468")
# Every secret a run types or the service holds: none may appear in the client's log.
SECRETS = [DEMO[1], SMS[1], "correct horse battery staple", "S3cure!Bank#2026", "Küchentisch-42",
           "Acc-Secret-7f3b", "Acc-Changed-91qz", "Lock-Secret-5k"]


def secrets_in_logs(logs, cookies):
    """Passwords, and session cookies written out in full, found in the given log texts."""
    found = []
    text = "\n".join(logs)
    for secret in SECRETS:
        if secret in text:
            found.append(f"password {secret[:3]}…")
    for cookie in cookies:
        if cookie in text:
            found.append(f"session cookie {cookie[:4]}…")
    return found


def full_only(test):
    return unittest.skipUnless(FULL, "full run only (TESSARVALE_ACCEPTANCE_FULL=1)")(test)


class SignIn(AcceptanceCase):
    def test_first_start_signs_in_to_the_demo_account_over_https(self):
        client = self.start_client()
        _, mark = self.sign_in(client, *DEMO, https=True)
        self.wait_signed_in(since=mark)
        self.step("signed in")
        sessions = self.service.state()["sessions"]
        self.assertTrue(any(s.get("user") == "demo" for s in sessions), sessions)
        self.assert_all_https()

        # Quit from the menu while signed in: the service hears the sign-out (Ctrl+Q quits at once,
        # without signing out), and stopping the crash server is no crash.
        self.screen.settle_focus(self.current_window)
        self.screen.key("alt+f", "Up", "Return")  # the last entry, "Quit"
        self.assertEqual(client.wait_exit(), 0)
        sessions = self.service.state()["sessions"]
        self.assertFalse(any(s.get("user") == "demo" for s in sessions), sessions)
        self.assertNotIn("Breakpad process finished", self.profile.log())


class FirstStart(AcceptanceCase):
    def test_wizard_sets_up_autostart_and_the_first_synchronisation(self):
        client = self.start_client()
        wid, mark = self.sign_in(client, *DEMO, https=True)
        self.wait_signed_in(since=mark)
        self.assertFalse(os.path.exists(self.autostart_entry()))
        self.finish_first_run(since=mark)  # every page's defaults: all safes, start at login ticked
        entry = wait_until(lambda: os.path.exists(self.autostart_entry()) and self.autostart_entry(), 10,
                           "the autostart entry")
        self.wait_log(r"R7Application::on_syncFinished: nDone:\d+ nFailed:0", since=mark, timeout=60)
        self.step("first synchronisation")
        with open(entry, encoding="utf-8") as f:
            self.assertIn(f'Exec="{self.executable}"', f.read().splitlines())
        base = os.path.join(self.profile.home, "Tessarvale")
        self.assertEqual(sorted(os.listdir(base)), ["Inbox", "Mail-in", "Private", "Team Alpha"])
        for safe in ("Private", "Team Alpha", "Inbox", "Mail-in"):
            remote = self.remote_tree(safe)
            self.assertEqual(self.local_tree(os.path.join(base, safe)), remote, safe)
        self.assertIn("/Documents/Letters/landlord.txt", self.remote_tree("Private"))
        self.assert_all_https()


class Passwords(AcceptanceCase):
    def entries(self, user="demo"):
        return {p["title"]: p for p in self.service.user(user)["passwords"]}

    def first_row(self, wid):
        """A click on the first row of the password table (sorted by title): the table starts right of
        the main tabs (215 px in) under the page's tool row; its first row's middle is 92 px down."""
        self.screen.click(wid, 300, self.MENU_BAR + 92)

    def test_create_view_edit_delete_over_https(self):
        # A desktop whose fonts are larger than the test session's: the windows must still fit.
        self.profile.extra_env["QT_FONT_DPI"] = "120"
        client, wid = self.sign_in_first_time(*DEMO, https=True)
        self.screen.focus(wid)
        self.screen.key("ctrl+n")
        dialog = self.screen.window("^Add password$", pid=client.pid)
        self.screen.focus(dialog)
        self.screen.type("Acceptance")
        self.screen.key("Tab")
        self.screen.type("acc-user")
        self.screen.key("Tab")
        self.screen.type("Acc-Secret-7f3b")
        self.step("add dialog filled in")
        self.screen.key("Return")  # saves
        created = wait_until(lambda: self.entries().get("Acceptance"), 15, "the new entry at the service")
        self.assertEqual((created["username"], created["password"]), ("acc-user", "Acc-Secret-7f3b"))
        self.screen.window_gone(dialog)
        self.step("created")

        # View: a double click opens the entry; Return switches it to edit mode.
        self.screen.focus(wid)
        self.first_row(wid)
        self.screen.xdotool("click", "--repeat", 2, 1)
        view = self.screen.window("^Password Entry$", pid=client.pid)
        self.screen.focus(view)
        self.step("entry viewed")
        self.screen.key("Return")
        wait_until(lambda: self.screen.title(view) == "Edit password", 10, "the dialog in edit mode")
        self.screen.key("Tab", "Tab", "ctrl+a")  # title, user name, password
        self.screen.type("Acc-Changed-91qz")
        self.step("entry edited")
        self.screen.key("Return")
        wait_until(lambda: self.entries()["Acceptance"]["password"] == "Acc-Changed-91qz", 15,
                   "the changed password at the service")
        self.assertEqual(self.entries()["Acceptance"]["username"], "acc-user")

        # Delete, after the question is answered Yes.
        self.screen.focus(wid)
        self.first_row(wid)
        self.screen.key("Delete")
        question = self.screen.window("^Delete$", pid=client.pid)
        self.step("delete asked")
        self.screen.focus(question)
        self.screen.key("alt+y")
        wait_until(lambda: "Acceptance" not in self.entries(), 15, "the entry deleted at the service")
        self.assertEqual(len(self.entries()), 4)
        self.step("deleted")
        self.assert_all_https()

    def test_copied_password_is_cleared_after_the_time_out(self):
        self.profile.set_settings({"password/timeoutSeconds": 2})
        client, wid = self.sign_in_first_time(*DEMO)
        self.first_row(wid)  # "Bank"
        self.screen.xdotool("click", "--repeat", 2, 1)
        view = self.screen.window("^Password Entry$", pid=client.pid)
        # The centre of the password's "Copy" face: its style gives it a margin, where a click misses it.
        self.screen.click(view, self.screen.geometry(view)["WIDTH"] - 60, 209)
        wait_until(lambda: self.screen.clipboard() == "S3cure!Bank#2026", 10, "the password in the clipboard")
        self.step("password copied")
        wait_until(lambda: self.screen.clipboard() != "S3cure!Bank#2026", 10, "the clipboard cleared")
        self.step("clipboard cleared")

    def test_lock_after_inactivity_and_unlock(self):
        # Whole minutes: showing the settings page writes the value back as the slider can show it.
        self.profile.set_settings({"password/lockSeconds": 60})
        client, wid = self.sign_in_first_time(*DEMO)
        wait_until(lambda: self.profile.setting("password/locked") == "true", 90, "the password safe locked",
                   interval=0.5)
        self.step("locked")
        self.screen.focus(wid)
        self.screen.type("wrong password")
        self.screen.key("Return")
        self.step("wrong password refused")
        self.assertEqual(self.profile.setting("password/locked"), "true")
        self.screen.key("ctrl+a")
        self.screen.type(DEMO[1])
        self.screen.key("Return")
        wait_until(lambda: self.profile.setting("password/locked") == "false", 15, "the password safe unlocked")
        self.step("unlocked")


    # Seconds, not minutes: long enough to open a window and type into it. Set once the main view
    # is built: its settings page writes the time back in whole minutes when it is made.
    LOCK_SECONDS = 15

    def wait_locked(self, locked, timeout=None):
        value = "true" if locked else "false"
        wait_until(lambda: self.profile.setting("password/locked") == value,
                   timeout or self.LOCK_SECONDS + 15, f"the password safe {'locked' if locked else 'unlocked'}",
                   interval=0.2)

    def assert_no_window_beyond(self, client, before):
        """Nothing of the client is on screen but the windows it showed before the last one opened
        (the main window, whose page the lock covers)."""
        def extra():
            return sorted(set(self.screen.windows(".*", pid=client.pid)) - before)
        wait_until(lambda: not extra(), 5, "the client's other windows to close")

    def unlock_by_typing(self):
        """The password typed as it comes, without first choosing a window: the unlock field must
        have the keyboard."""
        self.screen.type(DEMO[1])
        self.screen.key("Return")
        self.wait_locked(False, timeout=15)

    def locked_and_unlocked(self, client, before, what):
        """The lock time runs out with a window open: it goes, and the unlock field takes the keys."""
        self.wait_locked(True)
        self.assert_no_window_beyond(client, before)
        self.step(f"locked with {what} open")
        self.unlock_by_typing()

    def assert_unlock_password_stored_nowhere(self):
        for title, entry in self.entries().items():
            for field in ("title", "username", "password", "url", "comment"):
                self.assertNotIn(DEMO[1], entry.get(field) or "", f"the unlock password in {title}'s {field}")

    def test_lock_with_an_entry_dialog_and_a_message_box_open(self):
        client, wid = self.sign_in_first_time(*DEMO)
        self.profile.set_settings_while_running({"password/lockSeconds": self.LOCK_SECONDS})
        # The first synchronisation may outlast the lock time: then the page locks at once.
        self.wait_locked(True)
        self.step("locked")
        self.unlock_by_typing()

        # An entry being added when the lock time runs out.
        before = set(self.screen.windows(".*", pid=client.pid))
        self.screen.key("ctrl+n")
        dialog = self.screen.window("^Add password$", pid=client.pid)
        self.screen.focus(dialog)
        self.screen.type("Lock title")
        self.screen.key("Tab")
        self.screen.type("lock-user")
        self.screen.key("Tab")
        self.screen.type("Lock-Secret-5k")
        self.screen.key("Tab")
        self.screen.type("shop.example")  # the web address keeps the focus
        self.assertEqual(self.profile.setting("password/locked"), "false", "typing outlasted the lock time")
        self.step("entry typed")
        self.locked_and_unlocked(client, before, "the entry")

        # The entry comes back as it was typed, its title focused.
        dialog = self.screen.window("^Add password$", pid=client.pid)
        self.step("entry back after the unlock")

        # A suggestion asked for over the entry when the lock time runs out: a dialog over a dialog.
        self.screen.focus(dialog)
        self.screen.key("shift+Tab", "shift+Tab", "space")  # the title backwards: "Show", "Suggest"
        self.screen.window("^Generate Password$", pid=client.pid)
        self.step("suggestion over the entry")
        self.locked_and_unlocked(client, before, "the suggestion")

        # Saved, the entry holds what was typed and nothing of the unlock or the suggestion.
        dialog = self.screen.window("^Add password$", pid=client.pid)
        self.screen.focus(dialog)
        self.screen.key("Return")  # saves
        saved = wait_until(lambda: self.entries().get("Lock title"), 15, "the entry at the service")
        self.assertEqual((saved["username"], saved["password"], saved["url"]),
                         ("lock-user", "Lock-Secret-5k", "shop.example"))
        self.screen.window_gone(dialog)
        self.assert_unlock_password_stored_nowhere()

        # The delete question open when the lock time runs out: no answer comes from the keys.
        self.screen.focus(wid)
        before = set(self.screen.windows(".*", pid=client.pid))
        self.first_row(wid)  # "Bank"
        self.screen.key("Delete")
        question = self.screen.window("^Delete$", pid=client.pid)
        self.step("delete asked")
        self.locked_and_unlocked(client, before, "the question")
        self.step("unlocked")
        self.assertEqual(sorted(self.entries()), ["Bank", "Lock title", "Mail", "Shop", "Wi-Fi at home"])
        self.assert_unlock_password_stored_nowhere()

class Account(AcceptanceCase):
    def sign_out(self, wid):
        self.screen.focus(wid)
        mark = self.log_mark()
        self.screen.key("alt+f")
        self.step("file menu")
        self.screen.key("Return")  # a menu opened by its key starts on its first entry: "Logout" when signed in
        self.wait_log(r"R7Application::on_logoutFinished: ok: yes", since=mark)

    def saved_password_not_undone(self, wid):
        """The sign-in page after a sign-out (open while the password safe is locked): the saved
        password, emptied with Show Password on, does not come back through Undo; the field holds
        only what is typed afterwards, copied out as it is shown in clear."""
        # The password's icon sits 29 px in from the left edge, 39 px below the middle of the window;
        # its context menu opens at the pointer with "Show Password" first.
        g = self.screen.geometry(wid)
        row = g["HEIGHT"] // 2 + 39
        self.screen.focus(wid)
        self.screen.click(wid, 29, row, button=3)
        self.step("password context menu")
        self.screen.click(wid, 29 + 40, row + 12)
        self.screen.click(wid, g["WIDTH"] // 2, row)  # into the field
        self.screen.key("ctrl+a", "BackSpace", "ctrl+z")
        self.step("emptied and undone")
        self.screen.key("End")
        self.screen.type("x")
        self.screen.key("ctrl+a", "ctrl+c")
        self.assertEqual(wait_until(self.screen.clipboard, 5, "the field's text on the clipboard"), "x")

    def test_sms_code_then_remembered_device(self):
        client = self.start_client()
        _, mark = self.sign_in(client, SMS[0], SMS[1])
        self.wait_log(r"LoginView::setUiState: \w+ -> EnterMtan", since=mark)
        self.assertEqual(len(self.service.user(SMS[0])["sms_sent"]), 1)
        self.step("SMS code asked")
        self.screen.type(SMS[2])
        self.screen.key("Return")
        self.wait_signed_in(since=mark)
        self.finish_first_run(since=mark)
        self.assertTrue(self.service.user(SMS[0])["devices"], "no device remembered")

        self.sign_out(self.current_window)
        self.step("signed out")
        _, mark = self.sign_in(client, SMS[0], SMS[1])
        self.wait_signed_in(since=mark)
        self.assertNotRegex(self.profile.log()[mark:], r"-> EnterMtan")
        self.assertEqual(len(self.service.user(SMS[0])["sms_sent"]), 1, "a second SMS was sent")
        self.step("signed in without a code")

    def test_saved_account_signs_in_by_itself_and_a_second_start_wakes_the_first(self):
        client = self.start_client()
        wid, mark = self.sign_in(client, *DEMO, auto_login=True)
        self.wait_signed_in(since=mark)
        self.finish_first_run(since=mark)
        self.assertEqual(self.profile.setting("app/auto_login"), "true")
        self.sign_out(wid)
        self.saved_password_not_undone(wid)
        # Quit from the menu: Ctrl+Q is claimed by two shortcuts and does nothing.
        self.screen.focus(wid)
        self.screen.key("alt+f", "Up", "Return")  # the last entry, "Quit"
        self.assertEqual(client.wait_exit(), 0)

        mark = self.log_mark()
        client = self.start_client()
        self.main_window(client)
        self.wait_log(r"LoginView::evAutoLogin: automatic login", since=mark, timeout=30)
        self.wait_signed_in(since=mark)
        self.step("signed in by itself")
        self.assertTrue(any(s.get("user") == "demo" for s in self.service.state()["sessions"]))

        mark = self.log_mark()
        second = self.start_client()
        self.assertEqual(second.wait_exit(), 0)
        self.wait_log(rf" {second.pid} WARN  main: Tessarvale runs already", since=mark)
        self.wait_log(rf" {client.pid} DBG  R7Application::raiseApplication", since=mark)
        self.assertTrue(client.alive())
        self.assertEqual(len(self.screen.windows(self.app_title)), 1)
        self.step("woken by a second start")


class Desktop(AcceptanceCase):
    """The client on a desktop without a tray host."""

    def test_closed_without_a_tray_host_it_is_iconified_and_a_second_start_shows_it(self):
        if self.screen.window_manager == "none":
            self.skipTest("closing and iconifying are the window manager's")
        client = self.start_client()
        wid = self.main_window(client)
        self.step("login page")
        self.screen.settle_focus(wid)
        self.screen.key("alt+F4")  # the window manager's close
        wait_until(lambda: self.screen.wm_state(wid) == "Iconic", 10, "the window iconified")
        self.assertTrue(client.alive())
        self.step("closed")

        second = self.start_client()
        self.assertEqual(second.wait_exit(), 0)
        wait_until(lambda: self.screen.wm_state(wid) == "Normal", 10, "the window shown again")
        self.assertIn(wid, self.screen.windows(self.app_title, pid=client.pid))
        self.step("shown by a second start")


class Failures(AcceptanceCase):
    def test_session_time_out_is_shown(self):
        client, wid = self.sign_in_first_time(*DEMO)
        self.service.control("drop_session", user="demo")
        mark = self.log_mark()
        self.screen.focus(wid)
        self.screen.key("F5")  # refresh the passwords: the service no longer knows the session
        notice = self.screen.window("^Not Online$", pid=client.pid, timeout=30)
        self.wait_log(r"R7Application::on_sessionTimeout", since=mark)
        self.step("session terminated")
        self.wait_log(r"R7Application::on_logoutFinished", since=mark)  # back on the login page

    def test_failed_service_is_shown(self):
        client, wid = self.sign_in_first_time(*DEMO)
        self.service.fault(path="/passwords$", http_status=503)
        mark = self.log_mark()
        self.screen.focus(wid)
        self.screen.key("F5")
        self.wait_log(r"PasswordsView::on_getPasswords: Failed to retrieve passwords", since=mark)
        self.step("passwords not retrieved")
        self.assertTrue(any(r["status"] == 503 for r in self.service.requests()))

    def test_failed_sign_in_is_shown(self):
        self.service.fault(path="^/login$", step=0, http_status=503)
        client = self.start_client()
        _, mark = self.sign_in(client, *DEMO)
        self.wait_log(r"R7Application: emit: loginFailed", since=mark)
        self.wait_log(r"LoginView::setUiState: \w+ -> LoginFailed", since=mark)
        self.step("sign-in failed")
        self.assertFalse(self.service.state()["sessions"])



class Synchronisation(AcceptanceCase):
    """Both sides change after the first synchronisation; a new team space is added as a folder."""

    def files_named(self, tree, folder, stem):
        """Contents of the files in a folder whose names start with the stem (a file and its conflict copies)."""
        return sorted(content for path, content in tree.items()
                      if path.startswith(folder + "/") and path[len(folder) + 1:].startswith(stem))

    def test_changes_on_both_sides_a_conflict_and_an_added_folder(self):
        client, wid = self.sign_in_first_time(*DEMO, https=True)
        self.wait_log(r"R7Application::on_syncFinished: nDone:\d+ nFailed:0", timeout=60)
        base = os.path.join(self.profile.home, "Tessarvale")
        private, team = os.path.join(base, "Private"), os.path.join(base, "Team Alpha")
        # Here: a changed and a new file. There: a changed file. Both: the same file changed differently.
        self.make_local_file("todo.txt", b"milk, bread, acceptance\n", root=private)
        self.make_local_file("Photos/new here.txt", "neu hier, Grüße\n".encode(), root=private)
        self.service.put_file("Team Alpha", "/Shared notes.txt", b"changed on another device\n")
        self.make_local_file("Documents/notes.md", b"# notes, edited here\n", root=private)
        self.service.put_file("Private", "/Documents/notes.md", b"# notes, edited there\n")
        # A team space shared with the user meanwhile.
        self.service.control("safe", owner="demo", safe_name="Archive", safe_type="TEAMSAFE", access="rcud",
                             has_trash=False)
        self.service.put_file("Archive", "/2025/report.txt", b"archived report\n")

        self.open_tab(wid, 1)  # "File Safe": the activity history with "Sync All"
        self.step("activity")
        mark = self.log_mark()
        self.click_from_bottom_right(wid, 58, 56)  # "Sync All"
        self.wait_log(r"R7Application::syncAll", since=mark)
        notice = self.screen.window("^New File Space$", pid=client.pid, timeout=30)
        self.step("new space announced")
        self.screen.dismiss(notice)
        # The conflict is resolved by keeping the local side as a copy: one warning, no error.
        self.wait_log(r"R7Application::on_syncFinished: nTotal:\d+ nExecOk:\d+ nWarn:1 nErr:0", since=mark, timeout=60)
        self.step("synchronised")

        remote, local = self.remote_tree("Private"), self.local_tree(private)
        self.assertEqual(remote["/todo.txt"], b"milk, bread, acceptance\n")
        self.assertEqual(remote["/Photos/new here.txt"], "neu hier, Grüße\n".encode())
        self.assertEqual(self.read_local_file("Shared notes.txt", root=team), b"changed on another device\n")
        both = [b"# notes, edited here\n", b"# notes, edited there\n"]
        self.assertEqual(self.files_named(local, "/Documents", "notes"), both, "a conflict lost a side")
        self.assertEqual(remote["/Documents/notes.md"], b"# notes, edited there\n")
        history = self.profile.log()[mark:]
        for action, status, path in (("upload", "Ok", "todo.txt"), ("upload", "Ok", "Photos/new here.txt"),
                                     ("download", "Ok", "Shared notes.txt"),
                                     ("backup then download", "Resolved", "Documents/notes.md")):
            self.assertRegex(history, rf"storeSyncHistoryObject: .* action:{action} status:{status} path: '{path}'")

        # The new space through the add dialog: its first row (by name), the proposed folder, Save.
        self.open_sub_tab(wid, 1)  # "Synchronized Folders"
        self.step("synchronised folders")
        mark = self.log_mark()
        g = self.screen.geometry(wid)
        self.screen.click(wid, 267, g["HEIGHT"] - 138)  # "+"
        dialog = self.screen.window("^Add New Setting$", pid=client.pid)
        self.wait_log(r"FileSafeDao::syncFileSafes: Received filesafe list", since=mark)
        self.screen.settle_focus(dialog)
        self.step("add dialog")
        # The safes fill the table by name, one 58 px row each from the top of the list, under the two
        # lines of explanation: "Archive" comes first. "Next" and then "Save" end the button row at
        # the dialog's bottom right.
        self.screen.click(dialog, 100, 88)
        self.screen.click_and_await_change(dialog, *self.dialog_forward(dialog))
        self.step("new setting")
        mark = self.log_mark()
        self.screen.click(dialog, *self.dialog_forward(dialog))
        question = self.screen.window("^Info$", pid=client.pid)  # the proposed folder does not exist yet
        self.screen.settle_focus(question)
        self.step("create the folder?")
        self.screen.key("alt+y")
        self.screen.window_gone(dialog)
        archive = os.path.join(base, "Archive")
        self.assertTrue(os.path.isdir(archive))
        self.step("folder added")

        self.click_from_bottom_right(wid, 72, 69)  # "Sync All" under the folders
        self.wait_log(r"R7Application::on_syncFinished: nTotal:\d+ nExecOk:\d+ nWarn:0 nErr:0", since=mark, timeout=60)
        self.step("synchronised again")
        self.assertEqual(self.local_tree(archive), {"/2025/report.txt": b"archived report\n"})
        # The conflict copy stays on this computer: the exclusion list keeps conflict copies out of the safe.
        remote, local = self.remote_tree("Private"), self.local_tree(private)
        copies = [p for p in local if "conflicted copy" in p]
        self.assertEqual(len(copies), 1, copies)
        self.assertEqual(local.pop(copies[0]), b"# notes, edited here\n")
        self.assertEqual(local, remote)
        self.assertEqual(self.local_tree(team), self.remote_tree("Team Alpha"))
        self.assertRegex(self.profile.log()[mark:],
                         r"storeSyncHistoryObject: .* action:download status:Ok path: '2025/report.txt'")
        self.assert_all_https()

    @staticmethod
    def dialog_forward_offset():
        return 52, 35

    def dialog_forward(self, dialog):
        g = self.screen.geometry(dialog)
        dx, dy = self.dialog_forward_offset()
        return g["WIDTH"] - dx, g["HEIGHT"] - dy


# The German client has a module of its own.
from scenarios_german import German  # noqa: E402,F401
