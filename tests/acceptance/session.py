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
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.dirname(os.path.dirname(HERE))


def _free_display():
    n = 150
    while os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
        n += 1
    return n


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
    display = _free_display()
    xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        _wait_for(lambda: os.path.exists(f"/tmp/.X11-unix/X{display}"), 10, "Xvfb")
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
