"""The German client, chosen through the environment's language as a German desktop would."""
import os

from harness import AcceptanceCase, ClientProfile

DEMO = ("demo", "Demo-Passw0rd")


class German(AcceptanceCase):
    def setUp(self):
        super().setUp()
        profile = self.profile
        # A German session: only the language variables differ from the other scenarios.
        profile.env = lambda: dict(ClientProfile.env(profile), LANG="de_DE.UTF-8", LANGUAGE="de")

    def test_synchronisation_history_in_german(self):
        client, wid = self.sign_in_first_time(*DEMO)
        self.assertIn("Translation test: Dieser Satz ist auf Deutsch.", self.profile.log())
        self.wait_log(r"R7Application::on_syncFinished: nDone:\d+ nFailed:0", timeout=60)
        private = os.path.join(self.profile.home, "Tessarvale", "Private")
        team = os.path.join(self.profile.home, "Tessarvale", "Team Alpha")
        self.make_local_file("Einkauf.txt", "Milch, Brot, Käse\n".encode(), root=private)
        self.service.put_file("Team Alpha", "/Protokoll.txt", b"from another device\n")
        self.make_local_file("Documents/notes.md", b"# edited here\n", root=private)
        self.service.put_file("Private", "/Documents/notes.md", b"# edited there\n")

        self.open_tab(wid, 1)  # "Datei-Safe": the activity with "Alle synchronisieren"
        mark = self.log_mark()
        self.click_from_bottom_right(wid, 58, 56)
        self.wait_log(r"R7Application::syncAll", since=mark)
        self.wait_log(r"R7Application::on_syncFinished: nTotal:\d+ nExecOk:\d+ nWarn:1 nErr:0", since=mark, timeout=60)
        self.step("activity in German")
        self.assertEqual(self.read_local_file("Protokoll.txt", root=team), b"from another device\n")
        self.assertEqual(self.remote_tree("Private")["/Einkauf.txt"], "Milch, Brot, Käse\n".encode())
        # The history rows carry the German names of their actions and states.
        history = self.profile.log()[mark:]
        for action, status, path in (("hochladen", "Ok", "Einkauf.txt"), ("herunterladen", "Ok", "Protokoll.txt"),
                                     ("sichern, dann herunterladen", "Aufgelöst", "Documents/notes.md")):
            self.assertRegex(history, rf"storeSyncHistoryObject: .* action:{action} status:{status} path: '{path}'")
        self.assertNotRegex(history, r"storeSyncHistoryObject: .* action:(upload|download|backup then download) ")
