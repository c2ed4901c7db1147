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
import socket
import struct
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

    @property
    def https_url(self):
        # The name the server certificate is issued to.
        return f"https://localhost:{self.https_port}"

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

    def safe(self, safe_name, owner="demo"):
        return next(s for s in self.state()["safes"] if s.get("safe_name") == safe_name and s.get("owner") == owner)

    def safe_objects(self, safe_name, owner="demo"):
        """The decrypted objects of a safe, by path."""
        return {o["path"]: o for o in self.safe(safe_name, owner).get("objects", [])}

    def put_file(self, safe_name, path, content, owner="demo"):
        """A file written at the service as another device of the user would."""
        self.control("object", safe_id=self.safe(safe_name, owner)["safe_id"], path=path, type="f",
                     content_b64=base64.b64encode(content).decode())

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


def window_pixels(wid):
    """The pixels of a window as the X server holds them (GetImage of the window itself), or None
    while it is not viewable. Not xwd: where windows of several colormaps meet (each of the
    client's windows has its own, a window manager's frames the default one) it puts a dump
    together from the windows it finds, and a dialog over a dialog it reads from the windows
    below, whose hidden part the server returns black."""
    display = os.environ["DISPLAY"].split(":")[1].split(".")[0]
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as x:
        x.settimeout(10)
        x.connect(f"/tmp/.X11-unix/X{display}")

        def read(n):
            data = b""
            while len(data) < n:
                chunk = x.recv(n - len(data))
                if not chunk:
                    raise AssertionError("the X server closed the connection")
                data += chunk
            return data
        x.sendall(struct.pack("<BxHHHHxx", 0x6C, 11, 0, 0, 0))  # no authorisation: a server of our own
        status, _, _, _, extra = struct.unpack("<BBHHH", read(8))
        read(extra * 4)
        if status != 1:
            raise AssertionError("the X server refused the connection")
        geometry = struct.pack("<BxHI", 14, 2, wid)  # GetGeometry
        x.sendall(geometry)
        reply = read(32)
        if reply[0] != 1:
            return None
        width, height = struct.unpack("<HH", reply[16:20])
        x.sendall(struct.pack("<BBHIhhHHI", 73, 2, 5, wid, 0, 0, width, height, 0xFFFFFFFF))  # GetImage
        reply = read(32)
        if reply[0] != 1:
            return None  # not viewable (yet)
        return read(struct.unpack("<I", reply[4:8])[0] * 4)


def colours(pixels, limit=2):
    """How many colours a 32-bit image holds, counted up to the limit."""
    seen = set()
    for value in struct.iter_unpack("<I", pixels[:len(pixels) // 4 * 4]):
        seen.add(value[0] & 0xFFFFFF)
        if len(seen) >= limit:
            break
    return len(seen)


class Screen:
    """The X display: windows by name, keyboard, mouse, clipboard, screenshots."""

    def __init__(self, shots_dir):
        self.shots_dir = shots_dir
        self.step = 0
        self.painted = set()
        os.makedirs(shots_dir, exist_ok=True)

    @staticmethod
    def xdotool(*args, check=True):
        try:
            result = subprocess.run(["xdotool"] + [str(a) for a in args], capture_output=True, text=True, timeout=30)
        except subprocess.TimeoutExpired:
            # An X server that stops answering ends the step, not the whole run.
            raise AssertionError(f"xdotool {' '.join(map(str, args))}: no answer within 30 s")
        if check and result.returncode != 0:
            raise AssertionError(f"xdotool {' '.join(map(str, args))}: {result.stderr.strip()}")
        return result.stdout

    def windows(self, name, pid=None):
        """Visible windows whose title matches the regular expression."""
        args = ["search", "--onlyvisible"]
        if pid:
            # Both conditions: by default xdotool takes a window that meets either, and then the
            # client's main window stood for a dialog that was not mapped yet.
            args += ["--all", "--pid", pid]
        out = self.xdotool(*args, "--name", name, check=False)
        return [int(w) for w in out.split()]

    def window(self, name, pid=None, timeout=DEFAULT_TIMEOUT):
        wid = wait_until(lambda: (self.windows(name, pid) or [None])[-1], timeout, f"a window named /{name}/")
        self.assert_painted(wid, name)
        return wid

    def assert_painted(self, wid, name):
        """Every window the run meets shows more than one colour once it has been painted: a window
        of one colour is blank, whatever its title says."""
        if wid in self.painted:
            return
        def painted():
            pixels = window_pixels(wid)
            return pixels is not None and colours(pixels) > 1
        try:
            wait_until(painted, 5, "its first paint", interval=0.1)
        except Timeout:
            raise AssertionError(f"window {wid} /{name}/ shows a single colour")
        self.painted.add(wid)

    def window_gone(self, wid, timeout=DEFAULT_TIMEOUT):
        def gone():
            return subprocess.run(["xdotool", "getwindowname", str(wid)], capture_output=True).returncode != 0 or \
                wid not in [int(w) for w in self.xdotool("search", "--onlyvisible", "--name", ".*", check=False).split()]
        wait_until(gone, timeout, f"window {wid} to close")

    def title(self, wid):
        return self.xdotool("getwindowname", wid).strip()

    def wm_state(self, wid):
        """The ICCCM state the window manager gives the window: "Normal", "Iconic" or None."""
        out = subprocess.run(["xprop", "-id", str(wid), "WM_STATE"], capture_output=True, text=True).stdout
        found = re.search(r"window state: (\w+)", out)
        return found.group(1) if found else None

    @property
    def window_manager(self):
        """A window manager places, decorates and focuses the windows; without one nobody does."""
        return os.environ.get("TESSARVALE_ACCEPTANCE_WM", "none")

    def focus(self, wid):
        if self.window_manager != "none":
            # Asked of the window manager, as a click on the window would.
            self.xdotool("windowactivate", wid, check=False)
        self.xdotool("windowraise", wid, check=False)
        self.xdotool("windowfocus", "--sync", wid)
        wait_until(lambda: self.xdotool("getwindowfocus", check=False).strip() == str(wid), 5, "the focus")

    def settle_focus(self, wid, timeout=DEFAULT_TIMEOUT):
        """Gives a window the focus and waits until it keeps it: without a window manager the window
        under a click that has just been handled may take the focus back a moment later."""
        def kept():
            self.focus(wid)
            time.sleep(0.3)
            return self.xdotool("getwindowfocus", check=False).strip() == str(wid)
        wait_until(kept, timeout, f"window {wid} to keep the focus")

    def dismiss(self, wid, timeout=DEFAULT_TIMEOUT):
        """Closes a notice with Escape, as often as it takes: on a loaded machine the key may reach
        the window that had the focus before the notice was mapped."""
        def closed():
            if wid not in self.windows(".*"):
                return True
            try:
                self.focus(wid)
            except (Timeout, AssertionError):
                return False
            self.key("Escape")
            time.sleep(0.3)
            return wid not in self.windows(".*")
        wait_until(closed, timeout, f"window {wid} to close")

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

    def image(self, wid):
        """The window's pixels as a dump (only compared, never decoded)."""
        return subprocess.run(["xwd", "-silent", "-id", str(wid)], capture_output=True).stdout

    def click_and_await_change(self, wid, x, y, timeout=DEFAULT_TIMEOUT):
        """Clicks a button and waits until the window shows something else: the pointer is moved
        there first and its hover effect allowed to settle, so only the click's effect counts."""
        self.xdotool("mousemove", "--window", wid, x, y)
        previous = [None]

        def settled():
            now = self.image(wid)
            same = now == previous[0]
            previous[0] = now
            return same
        wait_until(settled, timeout, "the window to settle", interval=0.1)
        before = previous[0]
        self.xdotool("click", 1)
        wait_until(lambda: self.image(wid) != before, timeout, "the click's effect on the window", interval=0.1)

    def clipboard(self):
        result = subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True, timeout=5)
        return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else ""

    def screenshot(self, label):
        self.step += 1
        base = os.path.join(self.shots_dir, f"{self.step:02d}-{re.sub(r'[^A-Za-z0-9_-]+', '-', label)}")
        # Dialogs may come out black in xwd's dumps (see window_pixels): the focused window is dumped
        # too, as a second view; the one-colour check does not rely on either.
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
        self.extra_env = {}  # what a scenario's desktop sets beyond ours (a font size, a language)
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
        env.update(self.extra_env)
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

    def set_settings_while_running(self, values):
        """Changes settings under the running client's feet as its own settings store would: holding
        the store's lock file (the client waits on it), then replacing the file in one rename."""
        lock = self.settings_path + ".lock"
        exe = os.path.basename(os.readlink("/proc/self/exe"))
        deadline = time.monotonic() + 10
        while True:
            try:
                fd = os.open(lock, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
                break
            except FileExistsError:
                if time.monotonic() > deadline:
                    raise Timeout("the client kept its settings locked")
                time.sleep(0.02)
        try:
            # What a lock of the client's own looks like: the holder is alive and is this program.
            os.write(fd, f"{os.getpid()}\n{exe}\n{os.uname().nodename}\n".encode())
            os.close(fd)
            parser = self._read_settings()
            for key, value in values.items():
                group, _, name = key.rpartition("/")
                group = group or "General"
                if not parser.has_section(group):
                    parser.add_section(group)
                parser.set(group, name, str(value))
            with open(self.settings_path + ".new", "w", encoding="utf-8") as out:
                parser.write(out, space_around_delimiters=False)
            os.replace(self.settings_path + ".new", self.settings_path)
        finally:
            os.remove(lock)

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

    def open_tab(self, wid, index):
        """One of the main view's tabs (0 passwords, 1 file safe, 2 settings). They take no keyboard
        focus; they stand one below the other down the left edge under the menu bar, 82 px high, and
        are clicked in their middle."""
        self.screen.click(wid, 100, self.MENU_BAR + 82 * index + 41)

    def open_sub_tab(self, wid, index):
        """A tab of the file-safe page (0 activity, 1 synchronised folders): their headers sit at
        the top of the page, right of the main tabs (the page starts 215 px in), 135 px wide."""
        self.screen.click(wid, 215 + 135 * index + 67, self.MENU_BAR + 27)

    MENU_BAR = 20

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

    def sign_in(self, client, user, password, auto_login=False, https=False):
        wid = self.main_window(client)
        self.wait_log(r"LoginView::evAutoLogin: no automatic login|LoginView::on_readyForLogin|serverConnectionConfirmed",
                      timeout=30)
        if https:
            self.choose_https_server(wid)
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

    def choose_https_server(self, wid):
        """Points the client at the service's HTTPS port through the debug settings' custom server.

        The status bar spans the window's whole bottom edge: five Alt+clicks in the middle of that
        edge, a few pixels above the window's border, open the hidden debug settings."""
        self.screen.focus(wid)
        g = self.screen.geometry(wid)
        self.screen.xdotool("mousemove", "--window", wid, g["WIDTH"] // 2, g["HEIGHT"] - 6)
        self.screen.xdotool("keydown", "alt")
        try:
            self.screen.xdotool("click", "--repeat", 5, "--delay", 120, 1)
        finally:
            self.screen.xdotool("keyup", "alt")
        dialog = self.screen.window("^Debug Settings$", pid=self.clients[-1].pid)
        self.screen.settle_focus(dialog)
        # Tab order of the form: the scroll area, application mode, log level, log file, log dialog,
        # traffic, server.
        self.screen.key(*["Tab"] * 7)
        self.screen.key("End")  # the last entry, "Custom", asks for the address
        ask = self.screen.window("^Set Custom Server URL$", pid=self.clients[-1].pid)
        self.screen.settle_focus(ask)
        self.screen.key("ctrl+a")
        self.screen.type(self.service.https_url)
        self.step("custom server")
        self.screen.key("Return")
        self.screen.window_gone(ask)
        self.screen.settle_focus(dialog)
        self.screen.key("Escape")
        self.screen.window_gone(dialog)
        self.assertEqual(self.profile.setting("net/server"), "CUSTOM")
        self.https_since = len(self.service.requests())
        self.screen.focus(wid)

    def assert_all_https(self):
        """Every request the client sent since the HTTPS server was chosen went over TLS."""
        requests = self.service.requests()[self.https_since:]
        self.assertTrue(requests, "the client sent nothing")
        plain = sorted({r["path"] for r in requests if r.get("scheme") != "https"})
        self.assertFalse(plain, f"sent over plain HTTP: {plain}")

    def wait_signed_in(self, since=0, timeout=30):
        self.wait_log(r"R7Application::on_loginFinished: ok: yes", timeout=timeout, since=since)

    def finish_first_run(self, since=0):
        """A first sign-in ends in the five set-up pages; their defaults, page after page, lead to the
        main view (all safes synchronised into the default folder, start at login ticked)."""
        self.wait_log(r"MainView::hideEvent: hide", since=since)
        self.step("setup first page")
        g = self.screen.geometry(self.current_window)
        for _ in range(4):
            self.screen.click_and_await_change(self.current_window, *self.wizard_forward(g))
        self.step("setup last page")
        mark = self.log_mark()
        self.screen.click(self.current_window, *self.wizard_forward(g))
        self.wait_log(r"MainView::showEvent: show", since=mark)

    @staticmethod
    def wizard_forward(g):
        """The set-up pages' forward button, "Next" and on the last page "Finish". The buttons take no
        keyboard focus, and from the second page on the arrow keys go to the safes' check boxes, so
        it is clicked: it ends the button row at the bottom right of the window's central area, just
        above the status bar (45 px in from the right edge, 49 px up from the bottom)."""
        return g["WIDTH"] - 45, g["HEIGHT"] - 49

    def autostart_entry(self):
        return os.path.join(self.profile.dirs["config"], "autostart", "tessarvale.desktop")

    def sign_in_first_time(self, user, password, https=False):
        """A fresh client signed in and past the setup pages, on the password page."""
        client = self.start_client()
        wid, mark = self.sign_in(client, user, password, https=https)
        self.wait_signed_in(since=mark)
        self.wait_log(r"PasswordsView::on_getPasswords: Loaded", since=mark)
        self.finish_first_run(since=mark)
        # The first synchronisation turns the main view to the file safe's activity; once it is over,
        # the passwords are chosen as a person would.
        self.wait_log(r"R7Application::on_syncFinished", since=mark, timeout=60)
        self.open_tab(wid, 0)
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

    def local_tree(self, root):
        """The files below a local folder: relative path ("/a/b.txt", as the service writes it) -> bytes."""
        files = {}
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    files["/" + os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
        return files

    def remote_tree(self, safe_name):
        """The files of a safe as the service keeps them, decrypted: path -> bytes."""
        return {path: base64.b64decode(o.get("content_b64") or "")
                for path, o in self.service.safe_objects(safe_name).items() if o.get("type") == "f"}

    def wait_history(self, fragment, timeout=60, since=0):
        """Waits for a synchronisation history row as the client logs it."""
        return self.wait_log(fragment, timeout=timeout, since=since)
