"""What a person has at hand: the client's windows, keyboard and mouse (xdotool), the clipboard
(xclip), the screen (xwd), the client's log and folders, and the service's control endpoint."""
import base64
import configparser
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

from session import SOURCE_DIR

SERVICE_PORT = 8080  # the client's built-in local server entry
DEFAULT_TIMEOUT = 20.0


class Timeout(AssertionError):
    pass


def wait_until(predicate, timeout=DEFAULT_TIMEOUT, what="a condition", interval=0.05):
    """Polls until predicate() is truthy and returns its value; fails with what was awaited."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class DevService:
    """The development service on the loopback port of the local server entry."""

    def __init__(self, workdir):
        self.workdir = workdir
        script = os.path.join(SOURCE_DIR, "tools", "devservice", "devservice.py")
        self.log = open(os.path.join(workdir, "devservice.log"), "wb")
        self.process = subprocess.Popen(
            [sys.executable, script, "--http-port", str(SERVICE_PORT), "--https-port", "0", "--proxy-port", "-1",
             "--cert-dir", os.path.join(workdir, "certs"), "--exit-with-stdin"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.log, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("DEVSERVICE READY"):
            raise RuntimeError("development service did not start: " + line)
        fields = dict(f.split("=", 1) for f in line.split()[2:])
        self.https_port = int(fields["https_port"])
        self.ca = fields["ca"]

    def control(self, command, **args):
        request = urllib.request.Request(f"http://127.0.0.1:{SERVICE_PORT}/__control/{command}",
                                         data=json.dumps(args).encode(), method="POST",
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as reply:
            answer = json.loads(reply.read())
        if not answer.get("ok"):
            raise RuntimeError(f"control {command}: {answer}")
        return answer

    def reset(self):
        self.control("reset")

    def state(self):
        return self.control("state")

    def user(self, name):
        return next(u for u in self.state()["users"] if u["name"] == name)

    def requests(self, clear=False):
        return self.control("requests", clear=clear)["requests"]

    def fault(self, **rule):
        return self.control("fault", **rule)["fault_id"]

    def safe_objects(self, safe_name):
        """The decrypted objects of a safe, by path."""
        safe = next(s for s in self.state()["safes"] if s.get("safe_name") == safe_name)
        return {o["path"]: o for o in safe.get("objects", [])}

    def safe_file(self, safe_name, path):
        """A file's content as the service stores it (None when absent)."""
        found = self.safe_objects(safe_name).get(path)
        return None if found is None else base64.b64decode(found.get("content_b64") or "")

    def stop(self):
        self.process.stdin.close()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.log.close()


class Screen:
    """The X display: windows by name, keyboard, mouse, clipboard, screenshots."""

    def __init__(self, shots_dir):
        self.shots_dir = shots_dir
        self.step = 0
        os.makedirs(shots_dir, exist_ok=True)

    @staticmethod
    def xdotool(*args, check=True):
        result = subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True, text=True)
        if check and result.returncode != 0:
            raise AssertionError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout

    def windows(self, name, pid=None):
        """Visible windows whose title matches the regular expression."""
        args = ["search", "--onlyvisible"]
        if pid:
            args += ["--pid", pid]
        out = self.xdotool(*args, "--name", name, check=False)
        return [int(w) for w in out.split()]

    def window(self, name, pid=None, timeout=DEFAULT_TIMEOUT):
        return wait_until(lambda: (self.windows(name, pid) or [None])[-1], timeout, f"a window named /{name}/")

    def window_gone(self, wid, timeout=DEFAULT_TIMEOUT):
        def gone():
            return subprocess.run(["xdotool", "getwindowname", str(wid)], capture_output=True).returncode != 0 or \
                wid not in [int(w) for w in self.xdotool("search", "--onlyvisible", "--name", ".*", check=False).split()]
        wait_until(gone, timeout, f"window {wid} to close")

    def title(self, wid):
        return self.xdotool("getwindowname", wid).strip()

    def focus(self, wid):
        self.xdotool("windowraise", wid, check=False)
        self.xdotool("windowfocus", "--sync", wid)
        wait_until(lambda: self.xdotool("getwindowfocus", check=False).strip() == str(wid), 5, "the focus")

    def type(self, text):
        self.xdotool("type", "--delay", 15, "--", text)

    def key(self, *keys):
        self.xdotool("key", "--delay", 30, *keys)

    def geometry(self, wid):
        out = self.xdotool("getwindowgeometry", "--shell", wid)
        values = dict(line.split("=", 1) for line in out.split())
        return {k: int(v) for k, v in values.items() if k in ("X", "Y", "WIDTH", "HEIGHT")}

    def click(self, wid, x, y, button=1):
        """A click at a point of the window, relative to its top left corner."""
        self.xdotool("mousemove", "--window", wid, x, y)
        self.xdotool("click", button)

    def clipboard(self):
        result = subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True, timeout=5)
        return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else ""

    def screenshot(self, label):
        self.step += 1
        base = os.path.join(self.shots_dir, f"{self.step:02d}-{re.sub(r'[^A-Za-z0-9_-]+', '-', label)}")
        # Dialogs come out black in a dump of the root window here: the focused window is dumped too.
        focused = self.xdotool("getwindowfocus", check=False).strip()
        targets = [("-root", base + ".png")]
        if focused.isdigit() and int(focused) > 1:
            targets.append(("-id", base + "-focused.png"))
        for how, png in targets:
            xwd = png[:-4] + ".xwd"
            args = ["xwd", "-silent", "-out", xwd] + (["-root"] if how == "-root" else ["-id", focused])
            if subprocess.run(args, stderr=subprocess.DEVNULL).returncode == 0:
                subprocess.run([sys.executable, os.path.join(SOURCE_DIR, "scripts", "xwd2png.py"), xwd, png])
                os.remove(xwd)
        return base + ".png"


class ClientProfile:
    """A home of the client: its folders, settings file and log."""

    ORGANISATION = "Varnel"
    APPLICATION = "tessarvale"

    def __init__(self, root):
        self.root = root
        self.home = os.path.join(root, "home")
        self.dirs = {name: os.path.join(root, name) for name in ("config", "cache", "data", "state", "runtime")}
        for path in [self.home] + list(self.dirs.values()):
            os.makedirs(path, exist_ok=True)
        os.chmod(self.dirs["runtime"], 0o700)

    @property
    def settings_path(self):
        return os.path.join(self.dirs["config"], self.ORGANISATION, self.APPLICATION + ".conf")

    def env(self):
        env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=self.dirs["config"],
                   XDG_CACHE_HOME=self.dirs["cache"], XDG_DATA_HOME=self.dirs["data"],
                   XDG_STATE_HOME=self.dirs["state"], XDG_RUNTIME_DIR=self.dirs["runtime"])
        for proxy in ("http_proxy", "https_proxy", "all_proxy", "no_proxy"):
            env.pop(proxy, None)
            env.pop(proxy.upper(), None)
        env.pop("QT_QPA_PLATFORM", None)
        return env

    def _read_settings(self):
        parser = configparser.RawConfigParser(strict=False, interpolation=None)
        parser.optionxform = str
        if os.path.exists(self.settings_path):
            parser.read(self.settings_path, encoding="utf-8")
        return parser

    def setting(self, key, default=None):
        group, _, name = key.rpartition("/")
        parser = self._read_settings()
        group = group or "General"
        return parser.get(group, name, fallback=default)

    def set_settings(self, values):
        """Writes settings before a start, as the settings store would keep them."""
        parser = self._read_settings()
        for key, value in values.items():
            group, _, name = key.rpartition("/")
            group = group or "General"
            if not parser.has_section(group):
                parser.add_section(group)
            parser.set(group, name, "true" if value is True else "false" if value is False else str(value))
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        with open(self.settings_path, "w", encoding="utf-8") as out:
            parser.write(out, space_around_delimiters=False)

    def log_path(self):
        found = glob.glob(os.path.join(self.dirs["cache"], "**", "*.log"), recursive=True)
        found = [p for p in found if os.path.basename(p) != "breakpad.log"]
        return found[0] if found else None

    def log(self):
        path = self.log_path()
        if not path:
            return ""
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()


class Client:
    """One process of the real executable."""

    def __init__(self, executable, profile, artefacts):
        self.profile = profile
        self.output = open(os.path.join(artefacts, "client-output.txt"), "ab")
        self.process = subprocess.Popen([executable], env=profile.env(), stdout=self.output,
                                        stderr=subprocess.STDOUT, cwd=profile.home)
        self.pid = self.process.pid

    def alive(self):
        return self.process.poll() is None

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Timeout(f"client {self.pid} did not exit within {timeout:.0f} s")

    def terminate(self, timeout=DEFAULT_TIMEOUT):
        if self.alive():
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output.close()


class AcceptanceCase(unittest.TestCase):
    """A fresh client home per test, the shared service reset to its demo data."""

    executable = None
    service = None
    artefacts = None
    app_title = None

    def setUp(self):
        self.service.reset()
        name = self.id().split(".")[-1]
        self.case_dir = os.path.join(self.artefacts, name)
        shutil.rmtree(self.case_dir, ignore_errors=True)
        os.makedirs(self.case_dir)
        # Short: the single-instance socket lives in its runtime folder, and socket paths are short.
        self.profile = ClientProfile(tempfile.mkdtemp(prefix="tva."))
        self.profile.set_settings({"net/server": "LOCALDEV", "app/log_level": "INFO"})
        self.screen = Screen(self.case_dir)
        self.clients = []
        self.log_offsets = {}

    def tearDown(self):
        self.step("end")
        for client in self.clients:
            client.terminate()
        requests = self.service.requests()
        with open(os.path.join(self.case_dir, "service-requests.json"), "w", encoding="utf-8") as out:
            json.dump(requests, out, indent=1)
        for request in requests:
            for cookie in re.findall(r"JSESSIONID=([^;\s]+)", (request.get("headers") or {}).get("Cookie", "")):
                AcceptanceCase.session_cookies.add(cookie)
        log = self.profile.log()
        with open(os.path.join(self.case_dir, "client.log"), "w", encoding="utf-8") as out:
            out.write(log)
        AcceptanceCase.all_logs.append(log)
        # The profile (database, keyring-free settings) is not an artefact; the log and shots are.
        shutil.rmtree(self.profile.root, ignore_errors=True)

    all_logs = []
    session_cookies = set()  # every full session cookie the client sent in this run

    # -- the client

    def start_client(self, settings=None):
        if settings:
            self.profile.set_settings(settings)
        client = Client(self.executable, self.profile, self.case_dir)
        self.clients.append(client)
        return client

    def main_window(self, client, timeout=DEFAULT_TIMEOUT):
        wid = self.screen.window(self.app_title, pid=client.pid, timeout=timeout)
        self.screen.focus(wid)
        self.current_window = wid
        return wid

    def click_from_bottom_right(self, wid, dx, dy):
        g = self.screen.geometry(wid)
        self.screen.click(wid, g["WIDTH"] - dx, g["HEIGHT"] - dy)

    def wait_log(self, fragment, timeout=DEFAULT_TIMEOUT, since=0, count=1):
        """Waits for a line (regular expression) in the client log, written after offset `since`."""
        pattern = re.compile(fragment)
        return wait_until(lambda: len(pattern.findall(self.profile.log()[since:])) >= count, timeout,
                          f"the log line /{fragment}/")

    def log_mark(self):
        return len(self.profile.log())

    def step(self, label):
        # A window mapped a moment ago may not be painted yet; the shot is only a record.
        time.sleep(0.3)
        self.screen.screenshot(label)

    # -- people's actions

    def sign_in(self, client, user, password, auto_login=False):
        wid = self.main_window(client)
        self.wait_log(r"LoginView::evAutoLogin: no automatic login|LoginView::on_readyForLogin|serverConnectionConfirmed",
                      timeout=30)
        self.step("login page")
        self.screen.key("ctrl+a")
        self.screen.type(user)
        self.screen.key("Tab")
        self.screen.type(password)
        if auto_login:
            self.screen.key("Tab", "space", "shift+Tab")
        mark = self.log_mark()
        self.screen.key("Return")
        return wid, mark

    def wait_signed_in(self, since=0, timeout=30):
        self.wait_log(r"R7Application::on_loginFinished: ok: yes", timeout=timeout, since=since)

    def finish_first_run(self, since=0):
        """A first sign-in ends in the setup pages; their defaults, page after page, lead to the main view."""
        self.wait_log(r"MainView::hideEvent: hide", since=since)
        self.step("setup first page")
        mark = self.log_mark()
        # The defaults of every page: "Next" until the last page's "Finish", at the same place.
        for _ in range(6):
            self.click_from_bottom_right(self.current_window, 45, 49)
            try:
                self.wait_log(r"MainView::showEvent: show", since=mark, timeout=3)
                return
            except Timeout:
                self.step("setup page")
        self.wait_log(r"MainView::showEvent: show", since=mark)

    def sign_in_first_time(self, user, password):
        """A fresh client signed in and past the setup pages, on the password page."""
        client = self.start_client()
        wid, mark = self.sign_in(client, user, password)
        self.wait_signed_in(since=mark)
        self.wait_log(r"PasswordsView::on_getPasswords: Loaded", since=mark)
        self.finish_first_run(since=mark)
        self.step("main view")
        return client, wid

    # -- local folders, for the synchronisation scenarios

    def make_local_file(self, relative, content=b"", root=None):
        path = os.path.join(root or self.profile.home, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(content)
        return path

    def read_local_file(self, relative, root=None):
        with open(os.path.join(root or self.profile.home, relative), "rb") as f:
            return f.read()

    def wait_history(self, fragment, timeout=60, since=0):
        """Waits for a synchronisation history row as the client logs it."""
        return self.wait_log(fragment, timeout=timeout, since=since)
