"""The private world of an acceptance run.

The client talks to the fixed local server entry (port 8080 on the loopback interface). So that
runs on a shared machine never meet each other there, the whole run lives in a network namespace of
its own (unshare: a user namespace mapping us to root, and a new network namespace with only the
loopback interface), with its own X server, D-Bus session and unlocked keyring. A mount namespace
lets the run give the machine's trust store one more authority, the service's test CA, as an
administrator would: the client's TLS library reads the system folder of certificates and nothing
else (SSL_CERT_FILE and SSL_CERT_DIR are not consulted).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))


def _start_xvfb():
    """An X server on a display number of its own: the number is ours only once the server's lock
    file names our server. Two runs started at the same moment (the bare one and the one under a
    window manager) may try the same number; the server that loses exits, and we try the next.
    (Xvfb's -displayfd would not do: each run's network namespace has its own abstract sockets, so
    both servers would take the first number.)"""
    number = 150
    while True:
        while os.path.exists(f"/tmp/.X11-unix/X{number}") or os.path.exists(f"/tmp/.X{number}-lock"):
            number += 1
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def ours():
            try:
                with open(f"/tmp/.X{number}-lock") as lock:
                    holder = int(lock.read().strip() or 0)
            except (OSError, ValueError):
                holder = 0
            return xvfb.poll() is not None or (holder == xvfb.pid and os.path.exists(f"/tmp/.X11-unix/X{number}"))
        _wait_for(ours, 10, "Xvfb")
        if xvfb.poll() is None:
            return number, xvfb
        number += 1


def _wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return
        time.sleep(0.05)
    raise RuntimeError(f"timed out waiting for {what}")


def enter_namespace(argv):
    """Re-runs this program inside a user and network namespace (stage 2)."""
    if shutil.which("unshare") is None:
        sys.exit("acceptance: unshare (util-linux) is required")
    env = dict(os.environ, TESSARVALE_ACCEPTANCE_STAGE="namespace")
    return subprocess.call(["unshare", "--user", "--map-root-user", "--net", "--mount", sys.executable] + argv, env=env)


def start_display_and_bus(argv):
    """Stage 2: loopback up, an X server of our own, then a D-Bus session (stage 3)."""
    subprocess.check_call(["ip", "link", "set", "lo", "up"])
    display, xvfb = _start_xvfb()
    try:
        env = dict(os.environ, DISPLAY=f":{display}", TESSARVALE_ACCEPTANCE_STAGE="bus")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        conf = os.path.join(SOURCE_DIR, "scripts", "test-session-bus.conf")
        return subprocess.call(["dbus-run-session", f"--config-file={conf}", "--", sys.executable] + argv, env=env)
    finally:
        xvfb.terminate()
        xvfb.wait()


def start_keyring():
    """Stage 3: the unlocked keyring the saved credentials go to. Returns the daemon."""
    # A home and runtime folder of its own: in the session of scripts/test another daemon owns the
    # control socket under the shared runtime folder, and ours would give way to it.
    root = tempfile.mkdtemp(prefix="tva-keyring.")
    env = dict(os.environ, HOME=root, XDG_RUNTIME_DIR=os.path.join(root, "run"),
               XDG_DATA_HOME=os.path.join(root, "data"), XDG_CONFIG_HOME=os.path.join(root, "config"))
    for folder in ("run", "data", "config"):
        os.makedirs(os.path.join(root, folder), mode=0o700)
    log = open(os.path.join(root, "keyring.log"), "wb")
    daemon = subprocess.Popen(["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets"],
                              stdin=subprocess.PIPE, stdout=log, stderr=log, env=env)
    daemon.keyring_root = root
    daemon.stdin.write(b"tessarvale-acceptance")
    daemon.stdin.close()

    def unlocked():
        out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                              "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                              "string:org.freedesktop.secrets"], capture_output=True, text=True).stdout
        if "boolean true" not in out:
            return False
        out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.secrets",
                              "/org/freedesktop/secrets/collection/login", "org.freedesktop.DBus.Properties.Get",
                              "string:org.freedesktop.Secret.Collection", "string:Locked"],
                             capture_output=True, text=True).stdout
        return "boolean false" in out

    _wait_for(unlocked, 10, "the keyring")
    return daemon


def start_window_manager(name, artefacts):
    """Stage 3: the window manager the run asks for, once it manages the screen (None for none).
    The harness learns of it through TESSARVALE_ACCEPTANCE_WM."""
    os.environ["TESSARVALE_ACCEPTANCE_WM"] = name
    if name == "none":
        return None
    if shutil.which(name) is None:
        sys.exit(f"acceptance: {name} is required (scripts/setup installs it)")
    os.makedirs(artefacts, exist_ok=True)
    log = open(os.path.join(artefacts, f"{name}.log"), "wb")
    # Debian's configuration less its Alt+mouse bindings (move and resize by Alt+drag): they would
    # take the five Alt+clicks that open the hidden debug settings, and the Alt key with them.
    with open("/etc/xdg/openbox/rc.xml", encoding="utf-8") as f:
        rc = f.read()
    rc = re.sub(r'<mousebind button="A-[^"]*"[^>]*>.*?</mousebind>', "", rc, flags=re.S)
    config = os.path.join(artefacts, f"{name}-rc.xml")
    with open(config, "w", encoding="utf-8") as out:
        out.write(rc)
    # Not openbox-session: no autostart programs of the machine come with it.
    wm = subprocess.Popen([name, "--sm-disable", "--config-file", config], stdout=log, stderr=log)

    def managing():
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout
        return "window id" in out
    _wait_for(managing, 10, name)
    return wm


SYSTEM_CERT_DIR = "/etc/ssl/certs"


def trust_ca(ca_path, store_root):
    """Puts the CA beside the machine's authorities in the system certificate folder, for this run's
    mount namespace only: a copy of the folder with the CA added and hashed is mounted over it."""
    store = os.path.join(store_root, "trust-store")
    shutil.rmtree(store, ignore_errors=True)
    shutil.copytree(SYSTEM_CERT_DIR, store, symlinks=True)
    shutil.copy(ca_path, os.path.join(store, "tessarvale-acceptance-ca.pem"))
    subprocess.run(["openssl", "rehash", store], check=True, capture_output=True)
    subprocess.check_call(["mount", "--bind", store, SYSTEM_CERT_DIR])
