"""The product as a person meets it. Each test starts the real client in a fresh home."""
import base64
import os
import re
import unittest

from harness import AcceptanceCase, wait_until

APP_TITLE = "^Tessarvale$"
FULL = os.environ.get("TESSARVALE_ACCEPTANCE_FULL") == "1"

DEMO = ("demo", "Demo-Passw0rd")
SMS = ("demo-sms", "Sms-Passw0rd", "123456")
# Every secret a run types or the service holds: none may appear in the client's log.
SECRETS = [DEMO[1], SMS[1], "correct horse battery staple", "S3cure!Bank#2026", "Küchentisch-42",
           "Acc-Secret-7f3b", "Acc-Changed-91qz"]


def secrets_in_logs(logs):
    """Passwords, and session cookies written out in full, found in the given log texts."""
    found = []
    text = "\n".join(logs)
    for secret in SECRETS:
        if secret in text:
            found.append(f"password {secret[:3]}…")
    for cookie in re.findall(r"JSESSIONID=([0-9A-Za-z._-]{16,})", text):
        found.append(f"session cookie {cookie[:4]}…")
    return found


def full_only(test):
    return unittest.skipUnless(FULL, "full run only (TESSARVALE_ACCEPTANCE_FULL=1)")(test)


class SignIn(AcceptanceCase):
    def test_first_start_signs_in_to_the_demo_account(self):
        client = self.start_client()
        _, mark = self.sign_in(client, *DEMO)
        self.wait_signed_in(since=mark)
        self.step("signed in")
        sessions = self.service.state()["sessions"]
        self.assertTrue(any(s.get("user") == "demo" for s in sessions), sessions)


class Passwords(AcceptanceCase):
    def entries(self, user="demo"):
        return {p["title"]: p for p in self.service.user(user)["passwords"]}

    def first_row(self, wid):
        """A click on the first row of the password table (sorted by title)."""
        self.screen.click(wid, 200, 104)

    def save_dialog(self, dialog):
        self.click_from_bottom_right(dialog, 44, 26)  # "Save"

    def test_create_view_edit_delete(self):
        client, wid = self.sign_in_first_time(*DEMO)
        self.screen.key("ctrl+n")
        dialog = self.screen.window("^Add password$", pid=client.pid)
        self.screen.focus(dialog)
        self.screen.type("Acceptance")
        self.screen.key("Tab")
        self.screen.type("acc-user")
        self.screen.key("Tab")
        self.screen.type("Acc-Secret-7f3b")
        self.step("add dialog filled in")
        self.save_dialog(dialog)
        created = wait_until(lambda: self.entries().get("Acceptance"), 15, "the new entry at the service")
        self.assertEqual((created["username"], created["password"]), ("acc-user", "Acc-Secret-7f3b"))
        self.screen.window_gone(dialog)
        self.step("created")

        # View: a double click opens the entry; Edit makes it editable.
        self.screen.focus(wid)
        self.first_row(wid)
        self.screen.xdotool("click", "--repeat", 2, 1)
        view = self.screen.window("^Password Entry$", pid=client.pid)
        self.step("entry viewed")
        self.screen.click(view, 40, self.screen.geometry(view)["HEIGHT"] - 26)  # "Edit", bottom left
        wait_until(lambda: self.screen.title(view) == "Edit password", 10, "the dialog in edit mode")
        self.screen.click(view, 195, 175)  # the password field
        self.screen.key("ctrl+a")
        self.screen.type("Acc-Changed-91qz")
        self.step("entry edited")
        self.save_dialog(view)
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
