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
SECRETS = [DEMO[1], SMS[1], "correct horse battery staple", "Acc-Secret-7f3b", "Acc-Changed-91qz"]


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
