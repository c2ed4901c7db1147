#!/usr/bin/env python3
"""Development service: the storage service's side of the client protocol, on 127.0.0.1 only.

Serves plain HTTP and HTTPS from one process, with a control endpoint (/__control/<command>) through
which tests reset the data, inject faults and read what the client really did. See README.md.
"""

import argparse
import base64
import binascii
import datetime
import hashlib
import json
import os
import re
import secrets
import select
import shutil
import signal
import socket
import ssl
import sys
import tempfile
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo  # noqa: E402
import srp  # noqa: E402
import tlsca  # noqa: E402

ST_BAD_REQUEST = 10400
ST_DENIED = 10403
ST_EXISTS = 10409
ST_GONE = 10904
ST_QUOTA = 10907
ST_NO_MODULE = 10910
ST_NO_DESTINATION = 10911
ST_NOT_LOGGED_IN = 10401

LOGIN_STATES = ("INITIAL", "IDENTIFIED", "PRE_AUTHENTICATED", "PRE_AUTHENTICATED_SMS", "LOGGED_IN",
                "EXPIRED", "INHERITANCE_EXECUTED", "LOCKED")

PW_BASES = ("/rest/loggedin/2/passwords", "/api/sync/1/passwords")
FS_BASES = ("/rest/loggedin/3/filesafe/", "/api/sync/1/files/")

# Bodies up to this size are kept in the request log and file contents up to it in the state dump;
# larger uploads are decrypted straight to disk so that big transfers stay cheap.
INLINE_LIMIT = 1 << 20
CHUNK = 1 << 20

# Upper bounds of the control commands that make many things at once: past them a slip of a test
# would hold the service (and its lock) for minutes or fill the disk.
SEED_MAX_FILES = 1000000
SEED_MAX_BYTES = 1 << 30
SEED_PASSWORDS_MAX = 100000


def now_text():
    return datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S +0000")


def clean_path(path):
    parts = [p for p in path.split("/") if p]
    return "/" + "/".join(parts)


def parent_of(path):
    parts = [p for p in path.split("/") if p]
    return "/" + "/".join(parts[:-1])


def case_twin(path):
    """The path with its last name in the other case, when that is another name of the same length
    that differs only in case ("ß" and "SS" are not twins); else None."""
    head, _, name = path.rpartition("/")
    twin = name.swapcase()
    return head + "/" + twin if twin != name and len(twin) == len(name) and twin.lower() == name.lower() else None


def version_tuple(text):
    out = []
    for part in text.split("."):
        m = re.match(r"\d+", part)
        out.append(int(m.group(0)) if m else 0)
    while out and out[-1] == 0:
        out.pop()
    return tuple(out)


class ServiceError(Exception):
    """A refusal answered as the JSON envelope with a non-zero status (HTTP 200)."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status
        self.message = message


class BadCommand(ValueError):
    """A control command whose arguments do not fit: answered 400 with the message, nothing changed."""


def shown(value):
    text = json.dumps(value)
    return text if len(text) <= 40 else text[:37] + "..."


class Args:
    """The arguments of one control command, each read with its type checked before anything
    changes. A missing or null argument gives the default."""

    def __init__(self, doc):
        self.doc = doc

    def given(self, key):
        return self.doc.get(key) is not None

    def _value(self, key, required):
        value = self.doc.get(key)
        if value is None and required:
            raise BadCommand("%s is required" % key)
        return value

    def text(self, key, default=None, required=False, choices=None):
        value = self._value(key, required)
        if value is None:
            return default
        if not isinstance(value, str):
            raise BadCommand("%s: a text is expected, not %s" % (key, shown(value)))
        if choices is not None and value not in choices:
            raise BadCommand("%s: one of %s, not %s" % (key, ", ".join(json.dumps(c) for c in choices), shown(value)))
        return value

    def number(self, key, default=None, required=False, low=None, high=None):
        value = self._value(key, required)
        if value is None:
            return default
        if isinstance(value, float) and value.is_integer():
            value = int(value)
        if isinstance(value, bool) or not isinstance(value, int):
            raise BadCommand("%s: a whole number is expected, not %s" % (key, shown(value)))
        if (low is not None and value < low) or (high is not None and value > high):
            raise BadCommand("%s: %d is not within %s to %s" % (key, value, "-" if low is None else low,
                                                                "-" if high is None else high))
        return value

    def flag(self, key, default=False):
        value = self._value(key, False)
        if value is None:
            return default
        if not isinstance(value, bool):
            raise BadCommand("%s: true or false, not %s" % (key, shown(value)))
        return value

    def table(self, key, check):
        """An object each of whose values passes check(value), which says why not."""
        value = self._value(key, False)
        if value is None:
            return {}
        if not isinstance(value, dict):
            raise BadCommand("%s: an object is expected, not %s" % (key, shown(value)))
        for k, v in value.items():
            why = check(v)
            if why:
                raise BadCommand("%s: %s: %s" % (key, k, why))
        return value


def device_fault(device):
    """Why a remembered device given to the user command does not fit; None when it does."""
    if not isinstance(device, dict) or not isinstance(device.get("value"), str) \
            or not isinstance(device.get("name", ""), str):
        return "{value, name} texts are expected, not %s" % shown(device)
    try:
        bytes.fromhex(device["value"])
    except ValueError:
        return "the value is not hexadecimal: %s" % shown(device["value"])
    return None


def edit_value_fault(value):
    """Why the new value of a reply's key does not fit; None when it does."""
    if value is None or isinstance(value, str) or (isinstance(value, int) and not isinstance(value, bool)):
        return None
    return "a text, a number or null is expected, not %s" % shown(value)


def decimal_digits_below(n):
    """How many decimal digits the numbers 0 to n - 1 have together."""
    total, width, start = 0, 1, 0
    while start < n:
        end = min(n, 10 ** width)
        total += (end - start) * width
        start, width = end, width + 1
    return total


class Reply:
    def __init__(self, code=200, body=b"", content_type="application/json", headers=None):
        self.code = code
        self.body = body
        self.content_type = content_type
        self.headers = headers or []
        self.stream = None  # (length, chunk iterator) instead of body

    def length(self):
        return self.stream[0] if self.stream else len(self.body)

    def chunks(self):
        return self.stream[1] if self.stream else iter([self.body])


def encrypted_chunks(key, iv, path):
    """AES-256-CBC with PKCS#7 of a file, chunk by chunk."""
    pad = padding.PKCS7(128).padder()
    enc = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    with open(path, "rb") as f:
        while True:
            data = f.read(CHUNK)
            if not data:
                break
            yield enc.update(pad.update(data))
    yield enc.update(pad.finalize()) + enc.finalize()


def envelope(data=None, status=0, message=""):
    doc = {"status": status, "message": message}
    if data is not None:
        doc["data"] = data
    return Reply(200, json.dumps(doc).encode("utf-8"))


class World:
    """All data of the service; every access holds the lock."""

    def __init__(self):
        self.lock = threading.RLock()
        self.release = threading.Event()
        self.log = []
        self.base_dir = tempfile.mkdtemp(prefix="devservice-data-")
        self.data_dir = ""
        # Safes' change markers count on from this start's time in microseconds, through resets too:
        # an event takes longer than that, so no marker a client kept from an earlier start (or from
        # before a reset) comes again, and a client never takes the old data for unchanged.
        self.event_seq = time.time_ns() // 1000
        self.reset()

    def close(self):
        shutil.rmtree(self.base_dir, ignore_errors=True)

    # ----- data -----

    def reset(self):
        with self.lock:
            self.release.set()
            self.release = threading.Event()
            self.log = []
            if self.data_dir:
                shutil.rmtree(self.data_dir, ignore_errors=True)
            self.data_dir = tempfile.mkdtemp(dir=self.base_dir)
            self.faults = []
            self.fault_seq = 0
            self.sessions = {}
            self.version = {"name": "sync", "version_compatible": "2.0.0", "version_latest": "2.2.4",
                            "step0": ""}
            self.config = {"unauthenticated": "http401", "xsrf_required": True}
            self.proxy = {"user": "proxyuser", "password": "proxypass", "required": True}
            self.tls = "valid"
            self.tls_min = "1.2"
            self.users = {}
            self.safes = {}
            self.objects = {}
            # Per safe: its objects by path, and the sum of their sizes, kept up to date by every change.
            self.by_path = {}
            self.used_bytes = {}
            self.seq = 1000
            for acc in demo.ACCOUNTS:
                self.put_user(dict(acc))
            for name, entries in demo.PASSWORDS.items():
                for e in entries:
                    self.add_password(self.users[name], e)
            for name, safes in demo.SAFES.items():
                for (stype, sname, access, trash, quota, content) in safes:
                    safe = self.add_safe(name, {"safe_type": stype, "safe_name": sname, "access": access,
                                                "has_trash": trash, "storage_quota": quota})
                    for path in sorted(content):
                        text = content[path]
                        self.put_object(safe, path, None if text is None else text.encode("utf-8"))

    def next_id(self, prefix=""):
        self.seq += 1
        return "%s%d" % (prefix, self.seq)

    def put_user(self, fields):
        name = fields["name"].lower()
        user = self.users.get(name)
        if user is None:
            user = {"name": name, "password": "", "salt": secrets.token_hex(16), "second_factor": "none",
                    "sms_code": demo.SMS_CODE, "sms_policy": "unknown_device", "devicekey_refusal": "new_sms",
                    "step2_state": "", "step3_state": "", "devices": {}, "passwords_max": 100,
                    "passwords": {}, "sms_sent": [], "sms_version": 0, "srp_b": ""}
            self.users[name] = user
            if name not in demo.SAFES and not fields.get("no_safe"):
                self.add_safe(name, {"safe_type": "PRIVATE", "safe_name": "Private"})
        for key in ("password", "salt", "second_factor", "sms_code", "sms_policy", "devicekey_refusal",
                    "step2_state", "step3_state", "passwords_max", "srp_b"):
            if key in fields and fields[key] is not None:
                user[key] = fields[key]
        if "devices" in fields:
            user["devices"] = dict(fields["devices"] or {})
        # The service keeps the verifier and the derived key, never uses the password itself.
        salt = srp.from_hex(user["salt"])
        user["verifier"] = srp.verifier(name, user["password"], salt)
        user["derived_key"] = srp.derived_key(user["password"], salt)
        return user

    def add_password(self, user, entry):
        pid = self.next_id()
        user["passwords"][pid] = {"id": pid, "title": entry.get("title", ""), "username": entry.get("username", ""),
                                  "url": entry.get("url", ""), "comment": entry.get("comment", ""),
                                  "password": entry.get("password", "")}
        return user["passwords"][pid]

    def add_safe(self, owner, fields):
        sid = self.next_id("safe-")
        root = self.next_id("obj-")
        safe = {"safe_id": sid, "owner": owner, "safe_type": "PRIVATE", "safe_name": "Private", "access": "rcud",
                "storage_quota": 1 << 30, "expiry_date": "2099-12-31 23:59:59 +0000", "has_trash": True,
                "root_folder_id": root, "role_type": 1, "last_event": self.next_event(), "last_mod": now_text(),
                "module": True, "gone": False, "trash": []}
        safe.update({k: v for k, v in fields.items() if k in safe and k not in ("safe_id", "root_folder_id", "trash")})
        self.safes[sid] = safe
        self.by_path[sid] = {}
        self.used_bytes[sid] = 0
        self.add_object({"object_id": root, "safe_id": sid, "path": "/", "type": "d", "file": None, "size": 0,
                         "sha256": "", "mtime": now_text(), "versions": 0})
        return safe

    def add_object(self, obj):
        self.objects[obj["object_id"]] = obj
        self.by_path[obj["safe_id"]][obj["path"]] = obj
        self.used_bytes[obj["safe_id"]] += obj["size"]

    def remove_tree(self, safe, obj):
        """Removes the object and everything below it; returns what was removed, in path order."""
        index = self.by_path[safe["safe_id"]]
        if obj["type"] == "f":
            removed = [obj]
        else:
            prefix = obj["path"] + "/"
            removed = sorted((o for p, o in index.items() if o is obj or p.startswith(prefix)),
                             key=lambda o: o["path"])
        for o in removed:
            del self.objects[o["object_id"]]
            del index[o["path"]]
            self.used_bytes[safe["safe_id"]] -= o["size"]
        return removed

    def safe_objects(self, safe):
        return sorted(self.by_path[safe["safe_id"]].values(), key=lambda o: o["path"])

    def find_path(self, safe, path):
        return self.by_path[safe["safe_id"]].get(path)

    def used(self, safe):
        return self.used_bytes[safe["safe_id"]]

    def next_event(self):
        self.event_seq += 1
        return "ev-%d" % self.event_seq

    def touch(self, safe):
        safe["last_event"] = self.next_event()
        safe["last_mod"] = now_text()

    def store_bytes(self, data):
        return self.store_chunks(iter([data]))

    def store_chunks(self, chunks):
        """Writes chunks to a new file of the data folder: (path, size, sha256 hex). Safe without the lock."""
        fd, path = tempfile.mkstemp(dir=self.data_dir)
        digest = hashlib.sha256()
        size = 0
        try:
            with os.fdopen(fd, "wb") as f:
                for data in chunks:
                    f.write(data)
                    digest.update(data)
                    size += len(data)
        except BaseException:
            os.unlink(path)
            raise
        return path, size, digest.hexdigest()

    @staticmethod
    def read_content(obj):
        with open(obj["file"], "rb") as f:
            return f.read()

    def put_object(self, safe, path, content, object_id=None, stored=None):
        """Creates missing parent folders; content None (and nothing stored) makes a folder."""
        path = clean_path(path)
        parts = [p for p in path.split("/") if p]
        for i in range(1, len(parts)):
            folder = "/" + "/".join(parts[:i])
            if self.find_path(safe, folder) is None:
                self.add_object({"object_id": self.next_id("obj-"), "safe_id": safe["safe_id"], "path": folder,
                                 "type": "d", "file": None, "size": 0, "sha256": "", "mtime": now_text(),
                                 "versions": 0})
        obj = self.objects.get(object_id) if object_id else self.find_path(safe, path)
        if obj is None:
            obj = {"object_id": self.next_id("obj-"), "safe_id": safe["safe_id"], "path": path, "size": 0,
                   "versions": 0}
            self.add_object(obj)
        if stored is None and content is not None:
            stored = self.store_bytes(content)
        old_size = obj["size"]
        obj["type"] = "d" if stored is None else "f"
        obj["file"], obj["size"], obj["sha256"] = stored if stored else (None, 0, "")
        self.used_bytes[obj["safe_id"]] += obj["size"] - old_size
        obj["mtime"] = now_text()
        obj["versions"] += 1
        self.touch(safe)
        return obj

    def object_json(self, obj, safe, path=None):
        return {"object_id": obj["object_id"], "path": path if path is not None else obj["path"],
                "size": obj["size"], "mtime": obj["mtime"], "access": safe["access"], "type": obj["type"],
                "checksum": ("sha256:" + obj["sha256"]) if obj["type"] == "f" else ""}

    def safe_json(self, safe):
        out = {k: safe[k] for k in ("safe_id", "safe_type", "safe_name", "access", "storage_quota")}
        out["storage_used"] = self.used(safe)
        for k in ("expiry_date", "has_trash", "root_folder_id", "role_type", "last_event", "last_mod"):
            out[k] = safe[k]
        return out

    def dump(self):
        users = []
        for u in self.users.values():
            users.append({k: u[k] for k in ("name", "password", "salt", "second_factor", "sms_code", "sms_policy",
                                            "devicekey_refusal", "step2_state", "step3_state", "devices",
                                            "passwords_max", "sms_sent")})
            users[-1]["passwords"] = sorted(u["passwords"].values(), key=lambda p: int(p["id"]))
        safes = []
        for s in self.safes.values():
            d = self.safe_json(s)
            d.update({"owner": s["owner"], "module": s["module"], "gone": s["gone"]})
            d["objects"] = []
            for o in self.safe_objects(s):
                j = self.object_json(o, s)
                j["versions"] = o["versions"]
                if o["type"] == "f" and o["size"] <= INLINE_LIMIT:
                    j["content_b64"] = base64.b64encode(self.read_content(o)).decode("ascii")
                d["objects"].append(j)
            d["trash"] = s["trash"]
            safes.append(d)
        sessions = [{"sid": s["sid"], "user": s["user"], "logged_in": s["logged_in"], "stage": s["stage"],
                     "xsrf": s["xsrf"], "transport_key": s["K"].hex() if s.get("K") else ""}
                    for s in self.sessions.values()]
        return {"users": users, "safes": safes, "sessions": sessions, "faults": self.faults,
                "version": self.version, "config": self.config, "proxy": self.proxy, "tls": self.tls,
                "tls_min": self.tls_min}

    # ----- faults -----

    def take_fault(self, method, path, login_step=None):
        with self.lock:
            for f in self.faults:
                if f["remaining"] == 0:
                    continue
                if f.get("method") and f["method"].upper() != method:
                    continue
                if f.get("step") is not None and str(f["step"]) != login_step:
                    continue
                if not re.search(f["path"], path):
                    continue
                if f["remaining"] > 0:
                    f["remaining"] -= 1
                return dict(f)
        return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TessarvaleDev/1"
    world = None  # set by main
    verbose = False

    def log_message(self, fmt, *args):
        if self.verbose:
            sys.stderr.write("devservice: %s %s\n" % (self.address_string(), fmt % args))

    def do_GET(self):
        self.handle_any("GET")

    def do_POST(self):
        self.handle_any("POST")

    def do_PUT(self):
        self.handle_any("PUT")

    def do_DELETE(self):
        self.handle_any("DELETE")

    def do_CONNECT(self):
        """Tunnels to this service's own ports only; never anywhere else."""
        self.body_left = 0
        host, _, port = self.path.rpartition(":")
        entry = self.proxy_entry("CONNECT", self.path)
        with self.world.lock:
            self.world.log.append(entry)
        if not self.proxy_authorised(entry):
            return
        target = int(port) if port.isdigit() else -1
        if not getattr(self.server, "is_proxy", False) or host not in ("127.0.0.1", "localhost") \
                or target not in self.server.own_ports:
            entry["status"] = 502
            self.send(Reply(502, b"only this service is reachable"), close=True)
            return
        try:
            upstream = socket.create_connection(("127.0.0.1", target), timeout=10)
        except OSError:
            entry["status"] = 502
            self.send(Reply(502, b"connection failed"), close=True)
            return
        entry["status"] = 200
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        self.wfile.flush()
        self.close_connection = True
        upstream.settimeout(None)
        pair = {self.connection: upstream, upstream: self.connection}
        try:
            while True:
                ready, _, _ = select.select(list(pair), [], [], 120)
                if not ready:
                    break
                for sock in ready:
                    data = sock.recv(65536)
                    if not data:
                        return
                    pair[sock].sendall(data)
        except OSError:
            pass
        finally:
            upstream.close()

    def proxy_entry(self, method, path):
        entry = {"method": method, "path": path, "query": {}, "headers": {k: v for k, v in self.headers.items()},
                 "body": "", "body_b64": "", "body_size": 0, "scheme": "http", "status": None, "fault": None,
                 "proxy": True}
        return entry

    def proxy_authorised(self, entry):
        """False after answering 407 when the proxy wants credentials that did not come."""
        conf = self.world.proxy
        if not conf["required"]:
            return True
        kind, _, value = (self.headers.get("Proxy-Authorization") or "").partition(" ")
        try:
            user, _, password = base64.b64decode(value.strip(), validate=True).decode("utf-8").partition(":")
        except (ValueError, binascii.Error, UnicodeDecodeError):
            user = password = None
        if kind.lower() == "basic" and user == conf["user"] and password == conf["password"]:
            return True
        try:
            while self.body_left > 0:
                self.read_body(CHUNK)
        except ValueError:
            return False
        if entry["method"] != "CONNECT":
            with self.world.lock:
                self.world.log.append(entry)
        entry["status"] = 407
        self.send(Reply(407, b"proxy authentication required", "text/plain",
                        [("Proxy-Authenticate", 'Basic realm="devservice"')]), close=True)
        return False

    # ----- plumbing -----

    def handle_any(self, method):
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        self.body_left = int(self.headers.get("Content-Length") or 0)
        try:
            if getattr(self.server, "is_proxy", False):
                # Absolute targets of this service's plain port are served here; nothing is forwarded.
                entry = self.proxy_entry(method, self.path)
                if not self.proxy_authorised(entry):
                    return
                if url.hostname not in ("127.0.0.1", "localhost") or url.port != self.server.own_ports[0]:
                    entry["status"] = 502
                    with self.world.lock:
                        self.world.log.append(entry)
                    self.send(Reply(502, b"only this service is reachable"), close=True)
                    return
            self.serve(method, path, query)
        finally:
            if self.body_left > 0:  # an unread body would be taken for the next request
                self.close_connection = True

    def read_body(self, limit=None):
        n = self.body_left if limit is None else min(limit, self.body_left)
        data = self.rfile.read(n) if n > 0 else b""
        self.body_left -= len(data)
        if len(data) < n:
            self.body_left = 0
            self.close_connection = True
            raise ValueError("connection closed inside the body")
        return data

    def body_chunks(self):
        while self.body_left > 0:
            yield self.read_body(CHUNK)

    @staticmethod
    def is_upload(method, path):
        return method == "POST" and any(path == b + "file" or path.startswith(b + "file/") for b in FS_BASES)

    def serve(self, method, path, query):
        size = self.body_left
        body = None
        if not (self.is_upload(method, path) and size > INLINE_LIMIT):
            try:
                body = self.read_body()
            except ValueError:
                return
        if path.startswith("/__control/"):
            self.send(self.control(path[len("/__control/"):], body))
            return
        w = self.world
        entry = {"method": method, "path": path, "query": query, "headers": {k: v for k, v in self.headers.items()},
                 "body": body.decode("utf-8", "replace") if body is not None else "",
                 "body_b64": base64.b64encode(body).decode("ascii") if body is not None else "",
                 "body_size": size, "scheme": "https" if isinstance(self.connection, ssl.SSLSocket) else "http",
                 "status": None, "fault": None, "proxy": getattr(self.server, "is_proxy", False)}
        with w.lock:
            w.log.append(entry)
            release = w.release
        login_step = None
        if path == "/login" and body is not None:
            login_step = dict(urllib.parse.parse_qsl(body.decode("utf-8", "replace"))).get("step", "")
        fault = w.take_fault(method, path, login_step)
        if fault:
            entry["fault"] = fault["id"]
            if fault.get("delay_ms"):
                time.sleep(fault["delay_ms"] / 1000.0)
            if fault.get("stall"):
                release.wait(fault.get("stall_ms", 60000) / 1000.0)
                entry["status"] = "stalled"
                self.close_connection = True
                return
            reply = self.injected(fault)
            if reply is not None:
                entry["status"] = reply.code
                self.send(reply)
                return
        try:
            reply = self.route(method, path, query, body, fault or {})
        except ServiceError as e:
            reply = envelope(status=e.status, message=e.message)
        except Exception as e:  # a fault of the service itself: say so loudly instead of hanging up
            sys.stderr.write("devservice: internal error on %s %s: %r\n" % (method, path, e))
            reply = Reply(500, json.dumps({"status": 500, "message": "Internal error: %r" % (e,)}).encode())
        if fault and fault.get("form") and reply.content_type.startswith("text/plain"):
            reply.body = self.edit_form(reply.body, fault["form"])
        if fault and fault.get("objects") and reply.code == 200 and reply.stream is None:
            reply.body = self.edit_objects(reply.body, fault["objects"])
        entry["status"] = reply.code
        self.send(reply, cut_after=(fault or {}).get("cut_after"))

    @staticmethod
    def edit_form(body, edits):
        """Replaces keys of a sign-in reply in place; null removes a key, new keys go to the end."""
        pairs = [p.partition("=")[::2] for p in body.decode("utf-8").split(";") if p]
        out = []
        for k, v in pairs:
            if k in edits:
                if edits[k] is None:
                    continue
                v = str(edits[k])
            out.append((k, v))
        seen = {k for k, _ in pairs}
        out += [(k, str(v)) for k, v in edits.items() if k not in seen and v is not None]
        return ";".join("%s=%s" % kv for kv in out).encode("utf-8")

    @staticmethod
    def edit_objects(body, edits):
        """Sets keys of every object a file-safe reply describes; the request itself took effect."""
        doc = json.loads(body.decode("utf-8"))
        for obj in (doc.get("data") or {}).get("filesafe_objects", []):
            obj.update(edits)
        return json.dumps(doc).encode("utf-8")

    def injected(self, fault):
        body_kind = fault.get("body")
        if fault.get("http_status"):
            code = int(fault["http_status"])
            headers = [("Location", "/moved")] if 300 <= code < 400 else []
            body = json.dumps({"status": code, "message": fault.get("message", "Injected")}).encode()
            if body_kind is not None:
                body = self.fault_body(body_kind)
            return Reply(code, body, headers=headers)
        if fault.get("envelope_status") is not None:
            return envelope(status=int(fault["envelope_status"]), message=fault.get("message", "Injected"))
        if body_kind is not None:
            return Reply(200, self.fault_body(body_kind))
        return None

    @staticmethod
    def fault_body(kind):
        if kind == "empty":
            return b""
        if kind == "malformed":
            return b"{\"status\": 0, \"data\": "
        return kind.encode("utf-8")

    def send(self, reply, cut_after=None, close=False):
        self.send_response(reply.code)
        if reply.body or reply.code != 204:
            self.send_header("Content-Type", reply.content_type)
        self.send_header("Content-Length", str(reply.length()))
        for k, v in reply.headers:
            self.send_header(k, v)
        if cut_after is not None or close:
            self.send_header("Connection", "close")
            self.close_connection = True
        # The head goes out together with the body, one write per reply up to a chunk's size: a
        # reply in pieces would wait for the client's delayed acknowledgement between them.
        self._headers_buffer.append(b"\r\n")
        pending = [b"".join(self._headers_buffer)]
        self._headers_buffer = []
        pending_size = len(pending[0])
        left = reply.length() if cut_after is None else int(cut_after)
        try:
            for data in reply.chunks():
                if left <= 0:
                    break
                pending.append(data[:left])
                pending_size += len(pending[-1])
                left -= len(data)
                if pending_size >= CHUNK:
                    self.wfile.write(b"".join(pending))
                    pending, pending_size = [], 0
            if pending:
                self.wfile.write(b"".join(pending))
            self.wfile.flush()
        except OSError:
            self.close_connection = True
        if cut_after is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    # ----- control -----

    def control_refusal(self):
        """(status, why) when a control request may come from a web page: a page may post to loopback,
        but it cannot send JSON without asking first, nor leave out where it comes from."""
        if self.headers.get("Origin") is not None:
            return 403, "control requests from a web page (Origin: %s) are refused" % self.headers.get("Origin")
        kind = (self.headers.get("Content-Type") or "").partition(";")[0].strip().lower()
        if kind != "application/json":
            return 415, "control requests are application/json, not %s" % json.dumps(kind)
        return None

    def control(self, command, body):
        def failure(code, error):
            return Reply(code, json.dumps({"ok": False, "error": error}).encode())

        w = self.world
        refusal = self.control_refusal()
        if refusal:
            return failure(*refusal)
        try:
            args = json.loads(body.decode("utf-8")) if body.strip() else {}
        except ValueError as e:
            return failure(400, "bad JSON: %s" % e)
        if not isinstance(args, dict):
            return failure(400, "%s: the arguments are a JSON object, not %s" % (command, shown(args)))
        try:
            with w.lock:
                result = self.run_control(command, args)
        except BadCommand as e:
            return failure(400, "%s: %s" % (command, e))
        except (KeyError, ValueError, TypeError, re.error) as e:
            return failure(400, "%s: %r" % (command, e))
        except Exception as e:  # a fault of the service itself: say so instead of hanging up
            sys.stderr.write("devservice: internal error in control %s: %r\n" % (command, e))
            return failure(500, "%s: internal error: %r" % (command, e))
        if result is None:
            return failure(404, "unknown command: " + command)
        result["ok"] = True
        return Reply(200, json.dumps(result).encode("utf-8"))

    def run_control(self, command, args):
        """Each command reads all its arguments before it changes anything."""
        w = self.world
        a = Args(args)
        if command == "reset":
            w.reset()
            return {}
        if command == "requests":
            out = {"requests": list(w.log)}
            if a.flag("clear"):
                w.log = []
            return out
        if command == "state":
            return w.dump()
        if command == "user":
            user = w.put_user(self.user_fields(a))
            return {"user": user["name"]}
        if command == "seed_passwords":
            user = self.known_user(a.text("user", required=True))
            count = a.number("count", required=True, low=0, high=SEED_PASSWORDS_MAX)
            shared = a.text("password")
            if a.flag("replace"):
                user["passwords"] = {}
            first = len(user["passwords"])
            for i in range(first, first + count):
                w.add_password(user, {"title": "Entry %05d" % (i + 1), "username": "user%d" % (i + 1),
                                      "url": "https://site%d.example.org" % (i + 1),
                                      "comment": "seeded entry %d" % (i + 1),
                                      "password": shared if shared is not None else "Seed-%d-Passw0rd" % (i + 1)})
            # Room for the seeded entries, so that the quota does not refuse the next one added.
            user["passwords_max"] = max(user["passwords_max"], len(user["passwords"]) + 1)
            return {"passwords": len(user["passwords"])}
        if command == "fault":
            if a.flag("clear"):
                w.faults = []
                w.release.set()
                w.release = threading.Event()
                return {}
            f = self.fault_rule(a)
            w.fault_seq += 1
            f["id"] = w.fault_seq
            w.faults.append(f)
            return {"fault_id": f["id"]}
        if command == "version":
            changes = {k: a.text(k) for k in ("name", "version_compatible", "version_latest", "step0")}
            w.version.update({k: v for k, v in changes.items() if v is not None})
            return {"version": w.version}
        if command == "config":
            changes = {"unauthenticated": a.text("unauthenticated", choices=("http401", "envelope")),
                       "xsrf_required": a.flag("xsrf_required", None)}
            w.config.update({k: v for k, v in changes.items() if v is not None})
            return {"config": w.config}
        if command == "tls":
            certificate = a.text("certificate", w.tls, choices=tuple(tlsca.SERVER_CERTS))
            least = a.text("min_version", w.tls_min, choices=tuple(TLS_MIN_VERSIONS))
            if not a.given("certificate") and not a.given("min_version"):
                raise BadCommand("certificate and/or min_version")
            w.tls, w.tls_min = certificate, least
            return {"certificate": w.tls, "min_version": w.tls_min}
        if command == "proxy":
            changes = {"user": a.text("user"), "password": a.text("password"), "required": a.flag("required", None)}
            w.proxy.update({k: v for k, v in changes.items() if v is not None})
            return {"proxy": w.proxy}
        if command == "drop_session":
            name = a.text("user")
            for sid in [s for s, v in w.sessions.items() if not name or v["user"] == name]:
                del w.sessions[sid]
            return {}
        if command == "safe":
            safe_id = a.text("safe_id")
            fields = self.safe_fields(a)
            owner = a.text("owner", required=not safe_id)
            if owner is not None:
                fields["owner"] = self.known_user(owner)["name"]
            if safe_id:
                safe = self.known_safe(safe_id)
                safe.update(fields)
                w.touch(safe)
            else:
                safe = w.add_safe(fields["owner"], fields)
            return {"safe": w.safe_json(safe)}
        if command == "seed":
            return self.seed(a)
        if command == "object":
            return self.put_or_delete(a)
        return None

    def known_user(self, name):
        user = self.world.users.get(name.lower())
        if user is None:
            raise BadCommand("no such user: %s" % shown(name))
        return user

    def known_safe(self, safe_id):
        safe = self.world.safes.get(safe_id)
        if safe is None:
            raise BadCommand("no such safe: %s" % shown(safe_id))
        return safe

    @staticmethod
    def user_fields(a):
        fields = {"name": a.text("name", required=True), "no_safe": a.flag("no_safe"),
                  "second_factor": a.text("second_factor", choices=("none", "sms")),
                  "sms_policy": a.text("sms_policy", choices=("unknown_device", "always")),
                  "devicekey_refusal": a.text("devicekey_refusal", choices=("new_sms", "empty_state")),
                  "step2_state": a.text("step2_state", choices=("", "LOCKED", "INHERITANCE_EXECUTED")),
                  "step3_state": a.text("step3_state", choices=("", "EXPIRED", "INHERITANCE_EXECUTED")),
                  "passwords_max": a.number("passwords_max", low=0)}
        for key in ("password", "salt", "sms_code", "srp_b"):
            fields[key] = a.text(key)
        if not fields["name"]:
            raise BadCommand("name: not empty")
        if "devices" in a.doc:
            fields["devices"] = {k: {"value": d["value"], "name": d.get("name", "")}
                                 for k, d in a.table("devices", device_fault).items()}
        return fields

    # How each fault knob is read; knobs not named here are kept as they are given.
    FAULT_KNOBS = {
        "method": lambda a, k: a.text(k),
        "step": lambda a, k: a.number(k, low=0, high=3),
        "http_status": lambda a, k: a.number(k, low=100, high=599),
        "envelope_status": lambda a, k: a.number(k),
        "message": lambda a, k: a.text(k),
        "body": lambda a, k: a.text(k),
        "delay_ms": lambda a, k: a.number(k, low=0),
        "stall": lambda a, k: a.flag(k),
        "stall_ms": lambda a, k: a.number(k, low=0),
        "cut_after": lambda a, k: a.number(k, low=0),
        "iv": lambda a, k: a.text(k, choices=("missing", "malformed", "wrong")),
        "form": lambda a, k: a.table(k, edit_value_fault),
        "objects": lambda a, k: a.table(k, edit_value_fault),
        "listing": lambda a, k: a.text(k, choices=("dotdot", "path", "case_twin")),
        "listing_path": lambda a, k: a.text(k),
    }

    def fault_rule(self, a):
        rule = dict(a.doc)
        rule["path"] = a.text("path", required=True)
        try:
            re.compile(rule["path"])
        except re.error as e:
            raise BadCommand("path: %s" % e)
        rule["remaining"] = a.number("count", 1, low=-1)
        for key, read in self.FAULT_KNOBS.items():
            if key in rule:
                rule[key] = read(a, key)
        return rule

    @staticmethod
    def safe_fields(a):
        fields = {k: a.text(k) for k in ("safe_name", "safe_type", "access", "expiry_date", "last_event", "last_mod")}
        fields.update({k: a.flag(k, None) for k in ("has_trash", "module", "gone")})
        fields["storage_quota"] = a.number("storage_quota", low=0)
        fields["role_type"] = a.number("role_type")
        return {k: v for k, v in fields.items() if v is not None}

    @staticmethod
    def object_path(a):
        path = a.text("path", required=True)
        names = [p for p in path.split("/") if p]
        if not names:
            raise BadCommand("path: the top folder is not changed this way")
        if any(n in (".", "..") or "\0" in n for n in names):
            raise BadCommand("path: %s has a name no file system takes" % shown(path))
        return "/" + "/".join(names)

    def put_or_delete(self, a):
        """Changes a safe behind the client's back, as another device would."""
        w = self.world
        safe = self.known_safe(a.text("safe_id", required=True))
        path = self.object_path(a)
        existing = w.find_path(safe, path)
        if a.text("op", "put", choices=("put", "delete")) == "delete":
            if existing is None:
                raise BadCommand("path: nothing at %s" % shown(path))
            w.remove_tree(safe, existing)
            w.touch(safe)
            return {}
        kind = a.text("type", "f", choices=("f", "d"))
        try:
            content = base64.b64decode(a.text("content_b64", ""), validate=True)
        except binascii.Error as e:
            raise BadCommand("content_b64: %s" % e)
        size = a.number("size", 0, low=0)
        parts = path.split("/")
        for i in range(2, len(parts)):
            above = w.find_path(safe, "/".join(parts[:i]))
            if above is not None and above["type"] != "d":
                raise BadCommand("path: %s is a file" % shown(above["path"]))
        if existing is not None and existing["type"] != kind:
            # Replaced by one of the other kind: the old one goes with everything below it.
            w.remove_tree(safe, existing)
        if kind == "d":
            obj = w.put_object(safe, path, None)
        elif size:  # a big file of zero bytes without sending it
            stored = w.store_chunks(bytes(min(CHUNK, size - i)) for i in range(0, size, CHUNK))
            obj = w.put_object(safe, path, None, stored=stored)
        else:
            obj = w.put_object(safe, path, content)
        return {"object": w.object_json(obj, safe)}

    def seed(self, a):
        """A whole tree in one go: folder "d<n>" (four digits) holds files n*per_folder onwards, file i is
        "f<i>.txt" holding the decimal text of i repeated `repeat` times. Refuses to replace anything."""
        w = self.world
        safe = self.known_safe(a.text("safe_id", required=True))
        files = a.number("files", required=True, low=0, high=SEED_MAX_FILES)
        per_folder = a.number("per_folder", 100, low=1)
        repeat = a.number("repeat", 40, low=1)
        total = decimal_digits_below(files) * repeat
        if total > SEED_MAX_BYTES:
            raise BadCommand("files and repeat: %d bytes, more than %d" % (total, SEED_MAX_BYTES))
        paths = ["/d%04d/f%d.txt" % (i // per_folder, i) for i in range(files)]
        if any(w.find_path(safe, p) is not None or w.find_path(safe, parent_of(p)) is not None for p in paths):
            raise BadCommand("the safe already holds a path of the tree")
        for i, path in enumerate(paths):
            w.put_object(safe, path, str(i).encode("ascii") * repeat)
        return {"files": files, "folders": (files + per_folder - 1) // per_folder, "bytes": total,
                "storage_used": w.used(safe), "last_event": safe["last_event"]}

    # ----- routing -----

    def route(self, method, path, query, body, fault):
        if path == "/login" and method == "POST":
            return self.login(body)
        if method == "GET" and path in ("/rest/public/1/version/sync", "/api/sync/1/public/version"):
            v = self.world.version
            return envelope({"name": v["name"], "version_compatible": v["version_compatible"],
                             "version_latest": v["version_latest"]})
        session = self.session()
        if session is None or not session["logged_in"]:
            if self.world.config["unauthenticated"] == "envelope":
                return envelope(status=ST_NOT_LOGGED_IN, message="Not logged in")
            return Reply(401, json.dumps({"status": 401, "message": "Not logged in"}).encode())
        if path.startswith("/api/") and method != "GET" and self.world.config["xsrf_required"]:
            token = self.headers.get("X-XSRF-TOKEN", "")
            if not session["xsrf"] or not secrets.compare_digest(token, session["xsrf"]):
                return Reply(403, json.dumps({"status": 403, "message": "Invalid XSRF token"}).encode())
        if method == "GET" and path in ("/rest/loggedin/1/clientvalidation/loggedin",
                                        "/api/sync/1/account/clientvalidation"):
            return envelope({})
        if method == "GET" and path == "/api/sync/1/account/xsrfToken":
            with self.world.lock:
                session["xsrf"] = secrets.token_hex(16)
            return envelope({}, message=session["xsrf"])
        if method == "POST" and path in ("/rest/loggedin/logout", "/api/sync/1/account/logout"):
            with self.world.lock:
                self.world.sessions.pop(session["sid"], None)
            return envelope({"success": True, "message": "Logged out"})
        for base in PW_BASES:
            if path == base or path.startswith(base + "/"):
                return self.passwords(method, path[len(base):], body, session)
        for base in FS_BASES:
            if path.startswith(base):
                return self.files(method, path[len(base):], query, body, session, fault)
        return Reply(404, json.dumps({"status": 404, "message": "No such resource"}).encode())

    def session(self):
        cookie = self.headers.get("Cookie", "")
        for part in cookie.split(";"):
            k, _, v = part.strip().partition("=")
            if k == "JSESSIONID":
                with self.world.lock:
                    s = self.world.sessions.get(v)
                if s is not None:
                    return s
        return None

    # ----- sign-in -----

    @staticmethod
    def form_reply(pairs, cookie=None):
        body = ";".join("%s=%s" % (k, v) for k, v in pairs).encode("utf-8")
        headers = [("Set-Cookie", "JSESSIONID=%s; Path=/; HttpOnly" % cookie)] if cookie else []
        return Reply(200, body, "text/plain; charset=UTF-8", headers)

    def login(self, body):
        form = dict(urllib.parse.parse_qsl(body.decode("utf-8", "replace"), keep_blank_values=True))
        step = form.get("step", "")
        w = self.world
        with w.lock:
            if step == "0":
                return self.login_step0(form)
            s = self.session()
            if s is None or s["logged_in"] or s["stage"] != int(step or -1):
                if s is not None:
                    s["stage"] = -1
                return self.form_reply([("success", "false")])
            return {"1": self.login_step1, "2": self.login_step2, "3": self.login_step3}[step](form, s)

    def login_step0(self, form):
        w = self.world
        sid = secrets.token_hex(16)
        w.sessions[sid] = {"sid": sid, "user": "", "stage": -1, "logged_in": False, "xsrf": "", "K": b""}
        v = w.version
        if v.get("step0"):
            answer = v["step0"]
        elif form.get("client") != "SYNC":
            answer = "unsupportedClient"
        elif version_tuple(form.get("version", "")) < version_tuple(v["version_compatible"]):
            answer = "unsupportedVersion"
        elif version_tuple(form.get("version", "")) < version_tuple(v["version_latest"]):
            answer = "supportedNotLatestVersion"
        else:
            answer = "true"
        if answer in ("true", "supportedNotLatestVersion"):
            w.sessions[sid]["stage"] = 1
        return self.form_reply([("success", answer)], cookie=sid)

    def login_step1(self, form, s):
        user = self.world.users.get(form.get("username", "").lower())
        A = srp.from_hex(form.get("A", ""))
        if user is None or A % srp.N == 0:
            s["stage"] = -1
            return self.form_reply([("success", "false")])
        while True:
            b = srp.from_hex(user["srp_b"]) if user["srp_b"] else secrets.randbits(256)
            B = srp.server_public(user["verifier"], b)
            if srp.compute_u(A, B) != 0 or user["srp_b"]:
                break
        s.update({"user": user["name"], "stage": 2, "A": A, "A_text": srp.to_hex(A), "b": b, "B": B})
        return self.form_reply([("success", "true"), ("loginState", "IDENTIFIED"), ("B", srp.to_hex(B)),
                                ("salt", user["salt"])])

    def issue_sms(self, user, s):
        user["sms_version"] += 1
        version = str(user["sms_version"])
        user["sms_sent"].append({"version": version, "code": user["sms_code"]})
        s["sms_issued"] = True
        return version

    def login_step2(self, form, s):
        user = self.world.users[s["user"]]
        salt = srp.from_hex(user["salt"])
        A, B = s["A"], s["B"]
        u = srp.compute_u(A, B)
        K = srp.session_key(srp.server_premaster(A, user["verifier"], u, s["b"]))
        M1 = srp.compute_m1(user["name"], salt, A, B, K)
        if srp.from_hex(form.get("M1", "")) != M1:
            s["stage"] = -1
            return self.form_reply([("success", "false")])
        s["K"] = K
        s["M1"] = M1
        if user["step2_state"] in ("LOCKED", "INHERITANCE_EXECUTED"):
            s["stage"] = -1
            return self.form_reply([("success", "true"), ("loginState", user["step2_state"])])
        M2 = srp.to_hex(srp.compute_m2(A, M1, K))
        s["stage"] = 3
        s["sms_issued"] = False
        if user["second_factor"] != "sms":
            return self.form_reply([("success", "true"), ("loginState", "PRE_AUTHENTICATED"), ("M2", M2)])
        version = ""
        if user["sms_policy"] == "always" or not user["devices"]:
            version = self.issue_sms(user, s)
        return self.form_reply([("success", "true"), ("loginState", "PRE_AUTHENTICATED_SMS"),
                                ("smsTanVersion", version), ("M2", M2)])

    def decrypt_field(self, s, form, key, iv):
        try:
            return srp.aes_decrypt(s["K"], iv, bytes.fromhex(form.get(key, ""))).decode("utf-8")
        except (ValueError, UnicodeDecodeError):
            return None

    def login_step3(self, form, s):
        user = self.world.users[s["user"]]
        tan_iv, key_iv, device_iv = srp.iv_slices(s["A_text"])
        expected = srp.aes_encrypt(s["K"], key_iv, user["derived_key"]).hex()
        if form.get("userkey", "").lower() != expected:
            return self.form_reply([("success", "false")])
        if user["second_factor"] == "sms":
            refusal = self.second_factor(user, s, form, tan_iv, device_iv)
            if refusal is not None:
                return refusal
        state = user["step3_state"] or "LOGGED_IN"
        if state == "LOGGED_IN":
            s["logged_in"] = True
            s["stage"] = 4
        else:
            s["stage"] = -1
        return self.form_reply([("success", "true"), ("loginState", state)])

    def second_factor(self, user, s, form, tan_iv, device_iv):
        """None when the factor holds, else the refusal to send."""
        value = self.decrypt_field(s, form, "tanVal", tan_iv) if form.get("tanVal") else None
        device = form.get("deviceIdentifier")
        if value is None and not device:
            return self.form_reply([("success", "false"), ("loginState", "PRE_AUTHENTICATED_SMS"),
                                    ("smsTanVersion", self.issue_sms(user, s))])
        if device:
            value = (value or "").lower()
            good = []
            if s.get("sms_issued"):
                good.append(srp.next_device_value(s["K"], user["sms_code"].upper().encode("latin-1")))
            known = user["devices"].get(device)
            if known:
                good.append(srp.next_device_value(s["K"], bytes.fromhex(known["value"])))
            if value and value in good:
                name = self.decrypt_field(s, form, "deviceName", device_iv)
                user["devices"][device] = {"value": value, "name": name if name is not None else ""}
                return None
            if user["devicekey_refusal"] == "empty_state":
                self.issue_sms(user, s)
                return self.form_reply([("success", "false")])
            return self.form_reply([("success", "false"), ("loginState", "PRE_AUTHENTICATED_SMS"),
                                    ("smsTanVersion", self.issue_sms(user, s))])
        if value is not None and value.upper() == user["sms_code"].upper():
            return None
        return self.form_reply([("success", "false"), ("loginState", "PRE_AUTHENTICATED_SMS")])

    # ----- passwords -----

    def json_body(self, body):
        try:
            doc = json.loads(body.decode("utf-8"))
        except ValueError:
            raise ServiceError(ST_BAD_REQUEST, "Bad JSON")
        if not isinstance(doc, dict):
            raise ServiceError(ST_BAD_REQUEST, "Bad JSON")
        return doc

    def decrypt_secret(self, s, doc):
        try:
            iv = doc.get("transportIv", "")
            if len(iv) != 32:
                raise ValueError("iv")
            return srp.aes_decrypt(s["K"], bytes.fromhex(iv), bytes.fromhex(doc.get("password", ""))).decode("utf-8")
        except (ValueError, UnicodeDecodeError):
            raise ServiceError(ST_BAD_REQUEST, "Unable to decrypt password")

    @staticmethod
    def entry_json(p):
        return {k: p[k] for k in ("id", "title", "username", "url", "comment")}

    def passwords(self, method, tail, body, s):
        w = self.world
        with w.lock:
            user = w.users[s["user"]]
            entries = user["passwords"]
            if tail in ("", "/") and method == "GET":
                return envelope({"passwordsMax": user["passwords_max"],
                                 "passwords": [self.entry_json(p) for p in entries.values()]})
            if tail == "" and method == "POST":
                doc = self.json_body(body)
                secret = self.decrypt_secret(s, doc)
                if len(entries) >= user["passwords_max"]:
                    raise ServiceError(ST_QUOTA, "Password quota exceeded")
                doc["password"] = secret
                return envelope(self.entry_json(w.add_password(user, doc)))
            if tail == "/breached" and method == "POST":
                secret = self.decrypt_secret(s, self.json_body(body))
                return envelope({"password-ids": [int(p["id"]) for p in entries.values() if p["password"] == secret]})
            pid = tail[1:]
            entry = entries.get(pid)
            if entry is None:
                raise ServiceError(ST_GONE, "No such password entry: '%s'" % pid)
            if method == "GET":
                iv = secrets.token_bytes(16)
                ct = srp.aes_encrypt(s["K"], iv, entry["password"].encode("utf-8"))
                return envelope({"id": pid, "password": ct.hex(), "transportIv": iv.hex()})
            if method == "PUT":
                doc = self.json_body(body)
                secret = self.decrypt_secret(s, doc)
                for k in ("title", "username", "url", "comment"):
                    if k in doc:
                        entry[k] = str(doc[k])
                entry["password"] = secret
                return envelope(self.entry_json(entry))
            if method == "DELETE":
                del entries[pid]
                return envelope({})
        return Reply(405, json.dumps({"status": 405, "message": "Method not allowed"}).encode())

    # ----- file safes -----

    def user_safe(self, s, safe_id):
        safe = self.world.safes.get(safe_id)
        if safe is None or safe["gone"] or safe["owner"] != s["user"]:
            raise ServiceError(ST_GONE, "File safe not found")
        if not safe["module"]:
            raise ServiceError(ST_NO_MODULE, "No file module for this safe")
        return safe

    def user_object(self, s, oid):
        obj = self.world.objects.get(oid)
        if obj is None:
            raise ServiceError(ST_GONE, "Object not found")
        return obj, self.user_safe(s, obj["safe_id"])

    def destination(self, s, oid):
        obj = self.world.objects.get(oid)
        if obj is None or obj["type"] != "d":
            raise ServiceError(ST_NO_DESTINATION, "Destination folder not found")
        return obj, self.user_safe(s, obj["safe_id"])

    @staticmethod
    def header_text(value):
        return urllib.parse.unquote(value or "", encoding="utf-8", errors="replace")

    def files(self, method, tail, query, body, s, fault):
        w = self.world
        m = re.fullmatch(r"file(?:/(.+))?", tail)
        if method == "POST" and m:
            return self.upload(s, m.group(1), body)
        with w.lock:
            if method == "GET" and tail == "info":
                safes = [w.safe_json(x) for x in w.safes.values() if x["owner"] == s["user"] and not x["gone"]]
                return envelope({"filesafes": safes})
            if method == "GET" and tail.startswith("info/"):
                return self.listing(self.user_safe(s, tail[5:]), query, fault)
            if method == "POST" and tail == "folder":
                return self.create_folder(s)
            m = re.fullmatch(r"(folder|file)/(.+)", tail)
            if method == "DELETE" and m:
                return self.delete(s, m.group(1), m.group(2), query.get("mode", ""))
            if method == "GET" and m and m.group(1) == "file":
                return self.download(s, m.group(2), fault)
        return Reply(404, json.dumps({"status": 404, "message": "No such resource"}).encode())

    def listing(self, safe, query, fault):
        w = self.world
        base_path = clean_path(self.header_text(self.headers.get("X-Object-Path", "/")))
        base = w.find_path(safe, base_path)
        if base is None or base["type"] != "d":
            raise ServiceError(ST_GONE, "Folder not found: '%s'" % base_path)
        try:
            depth = int(query.get("depth", "0"))
        except ValueError:
            raise ServiceError(ST_BAD_REQUEST, "Bad depth")
        kind = query.get("type", "any")
        base_parts = len([p for p in base_path.split("/") if p])
        out = []
        for o in w.safe_objects(safe):
            parts = [p for p in o["path"].split("/") if p]
            below = o is base or (len(parts) > base_parts and
                                  (base_path == "/" or o["path"].startswith(base_path + "/")))
            if not below:
                continue
            if depth > 0 and len(parts) - base_parts > depth:
                continue
            if kind in ("d", "f") and o["type"] != kind:
                continue
            out.append(w.object_json(o, safe))
        if fault.get("listing") == "dotdot":
            out.append({"object_id": w.next_id("obj-"), "path": base_path.rstrip("/") + "/../outside.txt",
                        "size": 1, "mtime": now_text(), "access": safe["access"], "type": "f",
                        "checksum": "sha256:" + hashlib.sha256(b"x").hexdigest()})
        elif fault.get("listing") == "path":
            out.append({"object_id": w.next_id("obj-"), "path": fault.get("listing_path", ""),
                        "size": 1, "mtime": now_text(), "access": safe["access"], "type": "f",
                        "checksum": "sha256:" + hashlib.sha256(b"x").hexdigest()})
        elif fault.get("listing") == "case_twin":
            # The first file whose name has a twin in another case (a name without letters has none).
            files = [o for o in out if o["type"] == "f" and case_twin(o["path"]) is not None]
            if files:
                twin = dict(files[0])
                twin["path"] = case_twin(twin["path"])
                twin["object_id"] = w.next_id("obj-")
                out.append(twin)
            else:
                for name in ("Twin.txt", "twin.txt"):
                    out.append({"object_id": w.next_id("obj-"), "path": base_path.rstrip("/") + "/" + name,
                                "size": 0, "mtime": now_text(), "access": safe["access"], "type": "f",
                                "checksum": "sha256:" + hashlib.sha256(b"").hexdigest()})
        return envelope({"filesafe_objects": out})

    def check_name(self, name):
        if not name or "/" in name or name in (".", ".."):
            raise ServiceError(ST_BAD_REQUEST, "Invalid name: '%s'" % name)

    def create_folder(self, s):
        w = self.world
        parent, safe = self.destination(s, self.headers.get("X-Destination", ""))
        if "c" not in safe["access"]:
            raise ServiceError(ST_DENIED, "Create denied")
        name = self.header_text(self.headers.get("X-Foldername"))
        self.check_name(name)
        path = clean_path(parent["path"] + "/" + name)
        if w.find_path(safe, path) is not None:
            raise ServiceError(ST_EXISTS, "Object exists: '%s'" % path)
        obj = w.put_object(safe, path, None)
        return envelope({"filesafe_objects": [w.object_json(obj, safe)]})

    def delete(self, s, kind, oid, mode):
        w = self.world
        obj, safe = self.user_object(s, oid)
        if obj["type"] != ("d" if kind == "folder" else "f"):
            raise ServiceError(ST_GONE, "No such %s" % kind)
        if obj["path"] == "/":
            raise ServiceError(ST_DENIED, "The top folder cannot be deleted")
        if "d" not in safe["access"]:
            raise ServiceError(ST_DENIED, "Delete denied")
        if mode == "trash":
            if not safe["has_trash"]:
                raise ServiceError(ST_BAD_REQUEST, "This safe has no trash")
            bin_safe = safe
        elif mode == "trashToPrivate":
            privates = [x for x in w.safes.values() if x["owner"] == s["user"] and x["safe_type"] == "PRIVATE"]
            bin_safe = privates[0] if privates else safe
        else:
            raise ServiceError(ST_BAD_REQUEST, "Unknown delete mode: '%s'" % mode)
        removed = w.remove_tree(safe, obj)
        bin_safe["trash"].append({"from_safe": safe["safe_id"], "mode": mode, "path": obj["path"],
                                  "type": obj["type"], "objects": [o["path"] for o in removed]})
        w.touch(safe)
        if bin_safe is not safe:
            w.touch(bin_safe)
        return envelope({})

    def download(self, s, oid, fault):
        obj, _ = self.user_object(s, oid)
        if obj["type"] != "f":
            raise ServiceError(ST_GONE, "Not a file")
        iv = secrets.token_bytes(16)
        headers = [("X-Transport-Iv", iv.hex())]
        if fault.get("iv") == "missing":
            headers = []
        elif fault.get("iv") == "malformed":
            headers = [("X-Transport-Iv", iv.hex()[:31])]
        elif fault.get("iv") == "wrong":
            headers = [("X-Transport-Iv", secrets.token_bytes(16).hex())]
        reply = Reply(200, b"", "application/octet-stream", headers)
        reply.stream = ((obj["size"] // 16 + 1) * 16, encrypted_chunks(s["K"], iv, obj["file"]))
        return reply

    def upload(self, s, oid, body):
        w = self.world
        try:
            with w.lock:
                self.upload_target(s, oid)
                key = s["K"]
        except ServiceError:
            for _ in self.body_chunks():  # read to the end so the client sees the answer
                pass
            raise
        iv = self.headers.get("X-Transport-Iv", "")
        # Decrypted straight to disk without the lock: a big upload holds up no one else.
        try:
            if len(iv) != 32:
                raise ValueError("iv")
            stored = w.store_chunks(decrypted_chunks(key, bytes.fromhex(iv), [body] if body is not None
                                                     else self.body_chunks()))
        except ValueError:
            raise ServiceError(ST_BAD_REQUEST, "Unable to decrypt upload")
        with w.lock:
            try:
                safe, path, old = self.upload_target(s, oid)
                if w.used(safe) - old + stored[1] > safe["storage_quota"]:
                    raise ServiceError(ST_QUOTA, "Storage quota exceeded")
            except ServiceError:
                os.unlink(stored[0])
                raise
            obj = w.put_object(safe, path, None, object_id=oid, stored=stored)
            return envelope({"filesafe_objects": [w.object_json(obj, safe)]})

    def upload_target(self, s, oid):
        """(safe, path, size of the version replaced) of an upload, or the refusal."""
        w = self.world
        parent, safe = self.destination(s, self.header_text(self.headers.get("X-Destination")))
        if oid is None:
            if "c" not in safe["access"]:
                raise ServiceError(ST_DENIED, "Upload denied")
            name = self.header_text(self.headers.get("X-Filename"))
            self.check_name(name)
            path = clean_path(parent["path"] + "/" + name)
            if w.find_path(safe, path) is not None:
                raise ServiceError(ST_EXISTS, "Object exists: '%s'" % path)
            return safe, path, 0
        obj, osafe = self.user_object(s, oid)
        if obj["type"] != "f":
            raise ServiceError(ST_GONE, "Not a file")
        if "u" not in osafe["access"]:
            raise ServiceError(ST_DENIED, "Update denied")
        return osafe, obj["path"], obj["size"]


def decrypted_chunks(key, iv, chunks):
    """Plain chunks of an AES-256-CBC/PKCS#7 body; ValueError on a bad length or padding at the end."""
    dec = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    unpad = padding.PKCS7(128).unpadder()
    for data in chunks:
        yield unpad.update(dec.update(data))
    yield unpad.update(dec.finalize()) + unpad.finalize()


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    is_proxy = False
    own_ports = ()

    def get_request(self):
        # Without Nagle: what the service writes goes out at once. It never sets TCP_QUICKACK, which
        # would hide a client that sends a request in pieces behind the service's quick answers.
        conn, address = super().get_request()
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return conn, address

    def handle_error(self, request, client_address):
        # Clients that hang up (aborts, time-outs, cut tests) are part of the job, not faults.
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError, TimeoutError)):
            return
        super().handle_error(request, client_address)


TLS_MIN_VERSIONS = {"1.2": ssl.TLSVersion.TLSv1_2, "1.3": ssl.TLSVersion.TLSv1_3}


class TlsServer(Server):
    """Hands each connection to its thread before the handshake, so a slow client blocks no one.
    The certificate comes from the world's "tls" setting at each new connection."""

    def __init__(self, address, handler, contexts):
        self.contexts = contexts
        super().__init__(address, handler)

    def finish_request(self, request, client_address):
        try:
            conn = self.contexts[(Handler.world.tls, Handler.world.tls_min)].wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return
        try:
            super().finish_request(conn, client_address)
        finally:
            try:
                conn.close()
            except OSError:
                pass


def main():
    ap = argparse.ArgumentParser(description="Tessarvale development service (loopback only)")
    ap.add_argument("--http-port", type=int, default=0, help="plain HTTP port (0: any free port)")
    ap.add_argument("--https-port", type=int, default=0, help="HTTPS port (0: any free port; -1: none)")
    ap.add_argument("--proxy-port", type=int, default=0, help="authenticating HTTP proxy in front of this "
                                                                 "service (0: any free port; -1: none)")
    ap.add_argument("--cert-dir", default="", help="folder for the test CA and server certificate "
                                                   "(default: a temporary folder removed at exit)")
    ap.add_argument("--exit-with-stdin", action="store_true", help="exit when standard input closes")
    ap.add_argument("--verbose", action="store_true", help="log every request to standard error")
    args = ap.parse_args()

    temp_dir = None
    cert_dir = args.cert_dir
    if not cert_dir:
        temp_dir = tempfile.mkdtemp(prefix="devservice-")
        cert_dir = temp_dir
    certs = tlsca.ensure_certificates(cert_dir)
    ca_path = certs["ca"]

    Handler.world = World()
    Handler.verbose = args.verbose
    servers = [Server(("127.0.0.1", args.http_port), Handler)]
    https_port = -1
    if args.https_port >= 0:
        contexts = {}
        for kind in tlsca.SERVER_CERTS:
            for least, version in TLS_MIN_VERSIONS.items():
                ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                ctx.minimum_version = version
                ctx.load_cert_chain(*certs[kind])
                contexts[(kind, least)] = ctx
        servers.append(TlsServer(("127.0.0.1", args.https_port), Handler, contexts))
        https_port = servers[1].server_address[1]
    proxy_port = -1
    if args.proxy_port >= 0:
        proxy = Server(("127.0.0.1", args.proxy_port), Handler)
        proxy.is_proxy = True
        proxy.own_ports = tuple(srv.server_address[1] for srv in servers)
        proxy_port = proxy.server_address[1]
        servers.append(proxy)
    for srv in servers:
        threading.Thread(target=srv.serve_forever, daemon=True).start()

    print("DEVSERVICE READY http_port=%d https_port=%d proxy_port=%d ca=%s"
          % (servers[0].server_address[1], https_port, proxy_port, os.path.abspath(ca_path)), flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        if args.exit_with_stdin:
            while sys.stdin.buffer.read(4096):
                pass
        else:
            threading.Event().wait()
    except (KeyboardInterrupt, SystemExit):
        pass
    finally:
        Handler.world.release.set()
        for srv in servers:
            srv.shutdown()
            srv.server_close()
        Handler.world.close()
        if temp_dir:
            shutil.rmtree(temp_dir, ignore_errors=True)


if __name__ == "__main__":
    main()
