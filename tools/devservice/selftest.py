#!/usr/bin/env python3
"""Checks the development service with a small client of its own.

The client side of the sign-in is written here again, apart from the service's srp.py, so that a
slip in one of them shows up against the worked example below instead of cancelling out.
"""

import base64
import hashlib
import hmac
import http.client
import json
import os
import re
import secrets
import socket
import ssl
import subprocess
import sys
import time
import unittest
import urllib.parse

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HERE = os.path.dirname(os.path.abspath(__file__))

# The 1024-bit group of RFC 5054, Appendix A.
N = int("EEAF0AB9ADB38DD69C33F80AFA8FC5E86072618775FF3C0B9EA2314C9C256576D674DF7496EA81D3383B4813D692C6E0E0D5D8E2"
        "50B98BE48E495C1D6089DAD15DC7D7B46154D6B6CE8EF4AD69B15D4982559B297BCF1885C529F566660E57EC68EDBC3C05726CC0"
        "2FD4CBF4976EAA9AFD5138FE8376435B9FC61D2FC0EB06E3", 16)

# Worked example: inputs of RFC 5054 Appendix B with user alice, k = 3, SHA-256.
VEC_SALT = "beb25379d1a8581eb5a727673a2441ee"
VEC_A_SECRET = "60975527035cf2ad1989806f0407210bc81edc04e2762a56afd529ddda2d4393"
VEC_B_SECRET = "e487cb59d31ac550471e81f00f6928e01dda08e974a004f49e61f5d105284d20"
VEC_B_SECRET_SHORT_K = "e487cb59d31ac550471e81f00f6928e01dda08e974a004f49e61f5d105284f5d"
VEC = {
    "x": "65ac38dff8bc34ae0f259e91fbd0f4ca2fa43081c9050cec7cac20d015f303",
    "A": "61d5e490f6f1b79547b0704c436f523dd0e560f0c64115bb72557ec44352e8903211c04692272d8b2d1a5358a2cf1b6e0bfcf99f"
         "921530ec8e39356179eae45e42ba92aeaced825171e1e8b9af6d9c03e1327f44be087ef06530e69f66615261eef54073ca11cf58"
         "58f0edfdfe15efeab349ef5d76988a3672fac47b0769447b",
    "u": "9daeb4e909fa37eee5690e2749ffefac05f9b79ccdf5a6cb132890e0018f798d",
    "K": "d5fe93e45774b3b870f9194b6c95632bffdd7590a59bc0ba62043a248e8a9be9",
    "M1": "e67e990564ce3fa65579cb78bcb6bef4e528734ea70f3972b403bf404de334a6",
    "M2": "548aea79799e5d14c3f87e83a4823368e8ed7d526d0b7462cdf6810b68635326",
    "pbkdf2": "a81e7405c07f6161fc022bb1465ecf97623a2115249d1590e584c7970131125f",
    "userkey": "f6cf1f0da09e69f76864b0d91b18b82d3f7c186faabe23f24bcbafb52360a464e1b9394e9a71c5adc5830907f95428df",
    "K_short": "35587e9e4befa454d26047c81edb5abcb9b2e309d401d2eb5c5accc016062b",
    "userkey_short": "902c60cf9540b044ade237396b6444fd6f3e00f48047010f4ca629a993abe8c4f8aa4b1105aa10cfc5b42f19574bb61c",
}

DEMO = ("demo", "Demo-Passw0rd")
SMS = ("demo-sms", "Sms-Passw0rd", "2468")


# ----- the client's side, written for this test only -----

def nbytes(n):
    return n.to_bytes((n.bit_length() + 7) // 8, "big")


def nhex(n):
    return nbytes(n).hex()


def sha(*parts):
    h = hashlib.sha256()
    for p in parts:
        h.update(nbytes(p) if isinstance(p, int) else p.encode() if isinstance(p, str) else p)
    return h.digest()


def shan(*parts):
    return int.from_bytes(sha(*parts), "big")


def enc(key, iv, data):
    pad = padding.PKCS7(128).padder()
    e = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return e.update(pad.update(data) + pad.finalize()) + e.finalize()


def dec(key, iv, data):
    d = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    un = padding.PKCS7(128).unpadder()
    return un.update(d.update(data) + d.finalize()) + un.finalize()


class SrpClient:
    def __init__(self, user, password, a=None):
        self.user = user.lower()
        self.password = password
        self.a = a if a is not None else int.from_bytes(secrets.token_bytes(32), "big")
        self.A = pow(2, self.a, N)

    def finish(self, B_text, salt_text):
        self.B = int(B_text, 16)
        self.s = int(salt_text, 16)
        self.x = shan(self.s, sha(self.user + ":" + self.password))
        self.u = shan(self.A, self.B)
        t = (self.B - 3 * pow(2, self.x, N)) % N
        S = pow(t, (self.a + self.u * self.x) % N, N)
        self.K32 = sha(S)  # the AES key keeps leading zero bytes
        self.K = int.from_bytes(self.K32, "big")
        hng = bytes(p ^ q for p, q in zip(sha(N), sha(bytes([2]))))
        self.M1 = shan(hng, sha(self.user), self.s, self.A, self.B, self.K)
        self.M2 = shan(self.A, self.M1, self.K)

    def iv(self, i):
        return bytes.fromhex(nhex(self.A)[32 * i:32 * (i + 1)])

    def pbkdf2(self):
        return hashlib.pbkdf2_hmac("sha256", self.password.encode(), nbytes(self.s), 500, 32)

    def userkey(self):
        return enc(self.K32, self.iv(1), self.pbkdf2())

    def tan(self, text):
        return enc(self.K32, self.iv(0), text.encode()).hex()

    def device_name(self, text):
        return enc(self.K32, self.iv(2), text.encode()).hex()

    def next_device_value(self, message):
        return hmac.new(bytes.fromhex(nhex(self.K)), message, hashlib.sha256).hexdigest()


# ----- service process and HTTP -----

class Service:
    def __init__(self):
        self.proc = subprocess.Popen([sys.executable, os.path.join(HERE, "devservice.py"), "--exit-with-stdin"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        line = self.proc.stdout.readline().decode()
        fields = dict(f.split("=", 1) for f in line.split()[2:])
        self.http_port = int(fields["http_port"])
        self.https_port = int(fields["https_port"])
        self.proxy_port = int(fields["proxy_port"])
        self.ca = fields["ca"]

    def stop(self):
        self.proc.stdin.close()
        self.proc.wait(10)
        self.proc.stdout.close()

    def control(self, command, **args):
        return self.post_control(command, json.dumps(args))[1]

    def post_control(self, command, body, headers=None):
        """(HTTP status, decoded reply) of a control request as it is given."""
        c = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=10)
        c.request("POST", "/__control/" + command, body,
                  {"Content-Type": "application/json"} if headers is None else headers)
        r = c.getresponse()
        answer = (r.status, json.loads(r.read()))
        c.close()
        return answer


SVC = None


class Answer:
    def __init__(self, status, headers, body, error=None):
        self.status, self.headers, self.body, self.error = status, headers, body, error

    def json(self):
        return json.loads(self.body)

    def form(self):
        return dict(p.split("=", 1) if "=" in p else (p, "") for p in self.body.decode().split(";") if p)


class Client:
    def __init__(self, tls=False, generation=1):
        self.tls = tls
        self.gen = generation
        self.cookie = ""
        self.xsrf = ""
        self.key = b""

    def request(self, method, path, body=b"", headers=None, query=None, timeout=10):
        if self.tls:
            ctx = ssl.create_default_context(cafile=SVC.ca)
            c = http.client.HTTPSConnection("localhost", SVC.https_port, timeout=timeout, context=ctx)
        else:
            c = http.client.HTTPConnection("127.0.0.1", SVC.http_port, timeout=timeout)
        h = {"Accept": "application/json"}
        if self.cookie:
            h["Cookie"] = "JSESSIONID=" + self.cookie
        if self.xsrf:
            h["X-XSRF-TOKEN"] = self.xsrf
        h.update(headers or {})
        if query:
            path += "?" + urllib.parse.urlencode(sorted(query.items()))
        if isinstance(body, str):
            body = body.encode()
        try:
            c.request(method, path, body if body or method in ("POST", "PUT") else None, h)
            r = c.getresponse()
            data = r.read()
            for k, v in r.getheaders():
                if k.lower() == "set-cookie" and v.startswith("JSESSIONID="):
                    self.cookie = v.split(";")[0].split("=", 1)[1]
            return Answer(r.status, dict(r.getheaders()), data)
        except (OSError, http.client.HTTPException) as e:
            return Answer(None, {}, b"", e)
        finally:
            c.close()

    def form_post(self, path, fields):
        body = "&".join("%s=%s" % (k, urllib.parse.quote(v, safe="-._~%")) for k, v in fields)
        return self.request("POST", path, body, {"Content-Type": "application/x-www-form-urlencoded"})

    def step(self, *fields):
        return self.form_post("/login", list(fields)).form()

    def srp_until_step2(self, user, password, a=None):
        """Steps 0 to 2; returns (client, step-2 reply)."""
        r0 = self.step(("step", "0"), ("client", "SYNC"), ("version", "2.2.4"), ("ostype", "win32"))
        assert r0["success"] in ("true", "supportedNotLatestVersion"), r0
        cl = SrpClient(user, password, a)
        r1 = self.step(("step", "1"), ("username", urllib.parse.quote(user.lower(), safe="-._~")),
                       ("A", nhex(cl.A)))
        if r1.get("success") != "true":
            return cl, r1
        assert r1["loginState"].upper() == "IDENTIFIED"
        cl.finish(r1["B"], r1["salt"])
        self.key = cl.K32
        return cl, self.step(("step", "2"), ("M1", nhex(cl.M1)))

    def sign_in(self, user=DEMO[0], password=DEMO[1]):
        cl, r2 = self.srp_until_step2(user, password)
        assert r2["loginState"] == "PRE_AUTHENTICATED", r2
        r3 = self.step(("step", "3"), ("userkey", cl.userkey().hex()))
        assert r3 == {"success": "true", "loginState": "LOGGED_IN"}, r3
        if self.gen == 0:
            self.xsrf = self.request("GET", "/api/sync/1/account/xsrfToken").json()["message"]
        return cl

    # paths of the two generations
    def pw(self, tail=""):
        return ("/rest/loggedin/2/passwords" if self.gen == 1 else "/api/sync/1/passwords") + tail

    def fs(self, tail):
        return ("/rest/loggedin/3/filesafe/" if self.gen == 1 else "/api/sync/1/files/") + tail

    def data(self, answer):
        assert answer.status == 200, (answer.status, answer.body)
        doc = answer.json()
        assert doc["status"] == 0, doc
        return doc.get("data", {})

    def seal(self, text):
        iv = secrets.token_bytes(16)
        return {"password": enc(self.key, iv, text.encode()).hex(), "transportIv": iv.hex()}


def upload(c, dest_id, name, content, oid=None):
    iv = secrets.token_bytes(16)
    return c.request("POST", c.fs("file" + ("/" + oid if oid else "")), enc(c.key, iv, content),
                     headers={"Content-Type": "application/octet-stream",
                              "X-Filename": urllib.parse.quote(name, safe=""),
                              "X-Transport-Iv": iv.hex(),
                              "X-Destination": urllib.parse.quote(dest_id, safe="")})


def status_of(answer):
    return answer.json()["status"]


# ----- the checks -----

class WorkedExample(unittest.TestCase):
    def vector(self, b_secret):
        cl = SrpClient("Alice", "password123", int(VEC_A_SECRET, 16))
        b = int(b_secret, 16)
        s = int(VEC_SALT, 16)
        x = shan(s, sha("alice:password123"))
        v = pow(2, x, N)
        B = (3 * v + pow(2, b, N)) % N
        cl.finish(nhex(B), VEC_SALT)
        return cl

    def test_values(self):
        cl = self.vector(VEC_B_SECRET)
        self.assertEqual(nhex(cl.x), VEC["x"])
        self.assertEqual(len(nbytes(cl.x)), 31)
        self.assertEqual(nhex(cl.A), VEC["A"])
        self.assertEqual(nhex(cl.u), VEC["u"])
        self.assertEqual(nhex(cl.K), VEC["K"])
        self.assertEqual(nhex(cl.M1), VEC["M1"])
        self.assertEqual(nhex(cl.M2), VEC["M2"])
        self.assertEqual(cl.pbkdf2().hex(), VEC["pbkdf2"])
        self.assertEqual(cl.userkey().hex(), VEC["userkey"])

    def test_second_factor_values(self):
        cl = self.vector(VEC_B_SECRET)
        self.assertEqual(cl.tan("ab12"), "2446288a6ee3cc517cae218efd27d0ff")
        first = cl.next_device_value("ab12".upper().encode("latin-1"))
        self.assertEqual(first, "181f7af0430752c3b3258705bbf96c09fda387bd8dcd1572fcb113b1a01d9b07")
        self.assertEqual(cl.next_device_value(bytes.fromhex(first)),
                         "69f1ba6e31d3e16a95b0d32c7f3185b1c675b33db8236338ec822f7d6d8f9dfd")
        self.assertEqual(cl.device_name("Test-PC"), "2cb5c7ba60d406e94e584517a33c50dc")

    def test_short_k(self):
        cl = self.vector(VEC_B_SECRET_SHORT_K)
        self.assertEqual(nhex(cl.K), VEC["K_short"])
        self.assertEqual(len(VEC["K_short"]), 62)
        self.assertEqual(cl.K32[0], 0)
        self.assertEqual(cl.userkey().hex(), VEC["userkey_short"])

    def test_service_reproduces_the_example(self):
        for b_secret, k_text in ((VEC_B_SECRET, VEC["K"]), (VEC_B_SECRET_SHORT_K, VEC["K_short"])):
            SVC.control("reset")
            SVC.control("user", name="alice", srp_b=b_secret)
            c = Client()
            cl, r2 = c.srp_until_step2("alice", "password123", int(VEC_A_SECRET, 16))
            self.assertEqual(nhex(cl.K), k_text)
            self.assertEqual(r2["loginState"], "PRE_AUTHENTICATED")
            self.assertEqual(r2["M2"], nhex(cl.M2))
            if k_text == VEC["K"]:
                self.assertEqual(r2["M2"], VEC["M2"])
            r3 = c.step(("step", "3"), ("userkey", cl.userkey().hex()))
            self.assertEqual(r3, {"success": "true", "loginState": "LOGGED_IN"})
            # Secrets on the wire use the full 32-byte K, also when its top byte is zero.
            created = c.data(c.request("POST", c.pw(), json.dumps(dict(title="t", username="", url="", comment="",
                                                                       **c.seal("sesame")))))
            alice = [u for u in SVC.control("state")["users"] if u["name"] == "alice"][0]
            self.assertEqual([p["password"] for p in alice["passwords"]], ["sesame"])
            got = c.data(c.request("GET", c.pw("/" + created["id"])))
            self.assertEqual(dec(cl.K32, bytes.fromhex(got["transportIv"]), bytes.fromhex(got["password"])), b"sesame")

    def test_device_value_with_short_k(self):
        # The chain's HMAC is keyed with the bytes of K's wire text: 31 bytes for this K.
        SVC.control("reset")
        SVC.control("user", name="alice", srp_b=VEC_B_SECRET_SHORT_K, second_factor="sms", sms_code="ab12")
        c = Client()
        cl, r2 = c.srp_until_step2("alice", "password123", int(VEC_A_SECRET, 16))
        self.assertEqual((r2["loginState"], r2["smsTanVersion"]), ("PRE_AUTHENTICATED_SMS", "1"))
        value = hmac.new(bytes.fromhex(VEC["K_short"]), b"AB12", hashlib.sha256).hexdigest()
        self.assertNotEqual(value, hmac.new(cl.K32, b"AB12", hashlib.sha256).hexdigest())
        r3 = c.step(("step", "3"), ("userkey", VEC["userkey_short"]), ("tanVal", cl.tan(value)),
                    ("deviceName", cl.device_name("PC")), ("deviceIdentifier", "d1"))
        self.assertEqual(r3, {"success": "true", "loginState": "LOGGED_IN"})


class SignIn(unittest.TestCase):
    def setUp(self):
        SVC.control("reset")

    def test_step0_versions_and_client(self):
        c = Client()
        cases = [({"client": "SYNC", "version": "2.2.4"}, "true"),
                 ({"client": "SYNC", "version": "2.1.0"}, "supportedNotLatestVersion"),
                 ({"client": "SYNC", "version": "1.9"}, "unsupportedVersion"),
                 ({"client": "WEB", "version": "2.2.4"}, "unsupportedClient")]
        for fields, expected in cases:
            r = c.step(("step", "0"), ("client", fields["client"]), ("version", fields["version"]), ("ostype", "win32"))
            self.assertEqual(r, {"success": expected}, fields)
        SVC.control("version", version_latest="3.0", version_compatible="2.2.5")
        self.assertEqual(c.step(("step", "0"), ("client", "SYNC"), ("version", "2.2.4"))["success"],
                         "unsupportedVersion")
        v = c.data(c.request("GET", "/rest/public/1/version/sync"))
        self.assertEqual((v["version_compatible"], v["version_latest"]), ("2.2.5", "3.0"))

    def test_both_schemes_and_generations(self):
        for tls in (False, True):
            for gen in (1, 0):
                c = Client(tls=tls, generation=gen)
                c.sign_in()
                self.assertEqual(len(c.data(c.request("GET", c.pw()))["passwords"]), 4)
                validation = "/rest/loggedin/1/clientvalidation/loggedin" if gen == 1 else \
                    "/api/sync/1/account/clientvalidation"
                c.data(c.request("GET", validation))
                logout = "/rest/loggedin/logout" if gen == 1 else "/api/sync/1/account/logout"
                self.assertEqual(c.data(c.form_post(logout, [])), {"success": True, "message": "Logged out"})
                self.assertEqual(c.request("GET", validation).status, 401)

    def test_xsrf_token_is_checked_on_the_newer_paths(self):
        c = Client(generation=0)
        c.sign_in()
        token = c.xsrf
        self.assertEqual(len(token), 32)
        c.xsrf = ""
        self.assertEqual(c.request("POST", c.pw(), json.dumps(dict(title="t", username="", url="", comment="",
                                                                    **c.seal("x")))).status, 403)
        c.xsrf = token[::-1]
        self.assertEqual(c.request("DELETE", c.pw("/1001")).status, 403)
        c.xsrf = token
        c.data(c.request("POST", c.pw(), json.dumps(dict(title="t", username="", url="", comment="",
                                                          **c.seal("x")))))
        # The older paths carry no token.
        c1 = Client()
        c1.sign_in()
        c1.data(c1.request("POST", c1.pw(), json.dumps(dict(title="u", username="", url="", comment="",
                                                             **c1.seal("y")))))

    def test_refusals(self):
        c = Client()
        _, r2 = c.srp_until_step2(DEMO[0], "wrong password")
        self.assertEqual(r2, {"success": "false"})
        _, r1 = c.srp_until_step2("nobody", "x")
        self.assertEqual(r1, {"success": "false"})
        # A step out of order ends the sign-in.
        c = Client()
        c.step(("step", "0"), ("client", "SYNC"), ("version", "2.2.4"))
        self.assertEqual(c.step(("step", "2"), ("M1", "00")), {"success": "false"})
        # Wrong user key in step 3.
        cl, r2 = Client().srp_until_step2(*DEMO)
        c = Client()
        cl, r2 = c.srp_until_step2(*DEMO)
        bad = bytearray(cl.userkey())
        bad[0] ^= 1
        self.assertEqual(c.step(("step", "3"), ("userkey", bad.hex())), {"success": "false"})
        self.assertEqual(c.request("GET", c.pw()).status, 401)

    def test_account_states(self):
        cases = [("step2_state", "LOCKED", 2), ("step2_state", "INHERITANCE_EXECUTED", 2),
                 ("step3_state", "EXPIRED", 3), ("step3_state", "INHERITANCE_EXECUTED", 3)]
        for key, state, step in cases:
            SVC.control("reset")
            SVC.control("user", name=DEMO[0], **{key: state})
            c = Client()
            cl, r2 = c.srp_until_step2(*DEMO)
            if step == 2:
                self.assertEqual(r2, {"success": "true", "loginState": state})
                continue
            self.assertEqual(c.step(("step", "3"), ("userkey", cl.userkey().hex())),
                             {"success": "true", "loginState": state})
            self.assertEqual(c.request("GET", c.pw()).status, 401)

    def test_sms_only(self):
        c = Client()
        cl, r2 = c.srp_until_step2(SMS[0], SMS[1])
        self.assertEqual(r2["loginState"], "PRE_AUTHENTICATED_SMS")
        self.assertEqual(r2["smsTanVersion"], "1")
        self.assertEqual(r2["M2"], nhex(cl.M2))
        wrong = c.step(("step", "3"), ("userkey", cl.userkey().hex()), ("tanVal", cl.tan("000000")))
        self.assertEqual(wrong, {"success": "false", "loginState": "PRE_AUTHENTICATED_SMS"})
        ok = c.step(("step", "3"), ("userkey", cl.userkey().hex()), ("tanVal", cl.tan(SMS[2])))
        self.assertEqual(ok, {"success": "true", "loginState": "LOGGED_IN"})
        # Without any factor the service sends a new code.
        c = Client()
        cl, r2 = c.srp_until_step2(SMS[0], SMS[1])
        r3 = c.step(("step", "3"), ("userkey", cl.userkey().hex()))
        self.assertEqual((r3["success"], r3["loginState"], r3["smsTanVersion"]), ("false", "PRE_AUTHENTICATED_SMS", "3"))

    def device_step3(self, c, cl, value, device="dev-7"):
        return c.step(("step", "3"), ("userkey", cl.userkey().hex()), ("tanVal", cl.tan(value)),
                      ("deviceName", cl.device_name("Test PC")), ("deviceIdentifier", device))

    def test_remembered_device_chain(self):
        # First sign-in: the SMS code starts the chain (typed in lower case: "abc1" -> "ABC1").
        SVC.control("user", name=SMS[0], sms_code="abc1")
        c = Client()
        cl, r2 = c.srp_until_step2(SMS[0], SMS[1])
        self.assertEqual(r2["smsTanVersion"], "1")
        first = cl.next_device_value("abc1".upper().encode("latin-1"))
        self.assertEqual(self.device_step3(c, cl, first), {"success": "true", "loginState": "LOGGED_IN"})
        dev = [u for u in SVC.control("state")["users"] if u["name"] == SMS[0]][0]["devices"]
        self.assertEqual(dev, {"dev-7": {"value": first, "name": "Test PC"}})
        # Later sign-ins: the device is known, no SMS; the next value chains from the stored one.
        prev = first
        for _ in range(2):
            c = Client()
            cl, r2 = c.srp_until_step2(SMS[0], SMS[1])
            self.assertEqual((r2["loginState"], r2["smsTanVersion"]), ("PRE_AUTHENTICATED_SMS", ""))
            nxt = cl.next_device_value(bytes.fromhex(prev))
            self.assertEqual(self.device_step3(c, cl, nxt), {"success": "true", "loginState": "LOGGED_IN"})
            prev = nxt
        # A stale value is refused with a fresh SMS; the code then restarts the chain.
        c = Client()
        cl, r2 = c.srp_until_step2(SMS[0], SMS[1])
        r3 = self.device_step3(c, cl, cl.next_device_value(bytes.fromhex(first)))
        self.assertEqual((r3["success"], r3["loginState"], r3["smsTanVersion"]), ("false", "PRE_AUTHENTICATED_SMS", "2"))
        r3 = self.device_step3(c, cl, cl.next_device_value(b"ABC1"))
        self.assertEqual(r3, {"success": "true", "loginState": "LOGGED_IN"})
        # The other refusal form: no login state at all.
        SVC.control("user", name=SMS[0], devicekey_refusal="empty_state")
        c = Client()
        cl, _ = c.srp_until_step2(SMS[0], SMS[1])
        self.assertEqual(self.device_step3(c, cl, "00" * 32), {"success": "false"})

    def test_dropped_session_fails_validation(self):
        c = Client()
        c.sign_in()
        c.data(c.request("GET", "/rest/loggedin/1/clientvalidation/loggedin"))
        SVC.control("drop_session", user=DEMO[0])
        self.assertEqual(c.request("GET", "/rest/loggedin/1/clientvalidation/loggedin").status, 401)
        SVC.control("config", unauthenticated="envelope")
        a = c.request("GET", c.pw())
        self.assertEqual((a.status, status_of(a)), (200, 10401))


class Passwords(unittest.TestCase):
    def setUp(self):
        SVC.control("reset")
        self.c = Client()
        self.c.sign_in()

    def test_list_get_create_update_delete(self):
        c = self.c
        lst = c.data(c.request("GET", c.pw()))
        self.assertEqual(lst["passwordsMax"], 100)
        by_title = {p["title"]: p for p in lst["passwords"]}
        self.assertEqual(set(by_title["Mail"]), {"id", "title", "username", "url", "comment"})
        self.assertIsInstance(by_title["Mail"]["id"], str)
        one = c.data(c.request("GET", c.pw("/" + by_title["Wi-Fi at home"]["id"])))
        self.assertEqual(len(one["transportIv"]), 32)
        plain = dec(c.key, bytes.fromhex(one["transportIv"]), bytes.fromhex(one["password"])).decode()
        self.assertEqual(plain, "Küchentisch-42")
        created = c.data(c.request("POST", c.pw(), json.dumps(dict(title="New", username="me", url="u", comment="",
                                                                   **c.seal("geheim ö")))))
        self.assertEqual(created["title"], "New")
        stored = self.stored(created["id"])
        self.assertEqual(stored["password"], "geheim ö")
        c.data(c.request("PUT", c.pw("/" + created["id"]), json.dumps(dict(title="Renamed", username="me", url="u",
                                                                           comment="c", **c.seal("neu")))))
        stored = self.stored(created["id"])
        self.assertEqual((stored["title"], stored["password"], stored["comment"]), ("Renamed", "neu", "c"))
        c.data(c.request("DELETE", c.pw("/" + created["id"])))
        self.assertIsNone(self.stored(created["id"]))
        self.assertEqual(status_of(c.request("DELETE", c.pw("/" + created["id"]))), 10904)
        self.assertEqual(status_of(c.request("GET", c.pw("/999999"))), 10904)

    def stored(self, pid):
        for u in SVC.control("state")["users"]:
            if u["name"] == DEMO[0]:
                return next((p for p in u["passwords"] if p["id"] == pid), None)

    def test_secret_under_another_key_is_refused(self):
        c = self.c
        iv = secrets.token_bytes(16)
        body = dict(title="x", username="", url="", comment="", password=enc(b"k" * 32, iv, b"abc").hex(),
                    transportIv=iv.hex())
        a = c.request("POST", c.pw(), json.dumps(body))
        # A wrong key almost always breaks the padding; if not, the text is not UTF-8 or not "abc".
        if status_of(a) == 0:
            self.assertNotEqual(self.stored(a.json()["data"]["id"])["password"], "abc")
        else:
            self.assertEqual(status_of(a), 10400)
        body["transportIv"] = iv.hex()[:30]
        self.assertEqual(status_of(c.request("POST", c.pw(), json.dumps(body))), 10400)

    def test_seeded_entries(self):
        c = self.c
        self.assertEqual(SVC.control("seed_passwords", user=DEMO[0], count=3, password="shared one")["passwords"], 7)
        self.assertEqual(SVC.control("seed_passwords", user=DEMO[0], count=2)["passwords"], 9)
        lst = c.data(c.request("GET", c.pw()))
        self.assertGreater(lst["passwordsMax"], 9)
        titles = {p["id"]: p["title"] for p in lst["passwords"]}
        self.assertEqual(sorted(t for t in titles.values() if t.startswith("Entry ")),
                         ["Entry 00005", "Entry 00006", "Entry 00007", "Entry 00008", "Entry 00009"])
        ids = c.data(c.request("POST", c.pw("/breached"), json.dumps(c.seal("shared one"))))["password-ids"]
        self.assertEqual(sorted(titles[str(i)] for i in ids), ["Entry 00005", "Entry 00006", "Entry 00007"])
        self.assertFalse(SVC.control("seed_passwords", user=DEMO[0], count=-1)["ok"])
        self.assertEqual(SVC.control("seed_passwords", user=DEMO[0], count=2, replace=True)["passwords"], 2)
        self.assertEqual(sorted(p["title"] for p in c.data(c.request("GET", c.pw()))["passwords"]),
                         ["Entry 00001", "Entry 00002"])

    def test_breached_and_quota(self):
        c = self.c
        ids = c.data(c.request("POST", c.pw("/breached"), json.dumps(c.seal("correct horse battery staple"))))
        titles = {p["id"]: p["title"] for p in c.data(c.request("GET", c.pw()))["passwords"]}
        self.assertEqual(sorted(titles[str(i)] for i in ids["password-ids"]), ["Mail", "Shop"])
        self.assertEqual(c.data(c.request("POST", c.pw("/breached"), json.dumps(c.seal("unique"))))["password-ids"], [])
        SVC.control("user", name=DEMO[0], passwords_max=4)
        a = c.request("POST", c.pw(), json.dumps(dict(title="5th", username="", url="", comment="", **c.seal("p"))))
        self.assertEqual(status_of(a), 10907)


class FileSafes(unittest.TestCase):
    def setUp(self):
        SVC.control("reset")
        self.c = Client(tls=True)
        self.c.sign_in()
        self.safes = {s["safe_name"]: s for s in self.c.data(self.c.request("GET", self.c.fs("info")))["filesafes"]}

    def listing(self, safe, path="/", depth=0, kind="any"):
        return self.c.data(self.c.request("GET", self.c.fs("info/" + safe["safe_id"]), query={"depth": str(depth),
                                          "type": kind}, headers={"X-Object-Path": urllib.parse.quote(path, safe="")}))[
            "filesafe_objects"]

    def marker(self, name):
        return {s["safe_name"]: s for s in self.c.data(self.c.request("GET", self.c.fs("info")))["filesafes"]}[name][
            "last_event"]

    def upload(self, dest_id, name, content, oid=None):
        return upload(self.c, dest_id, name, content, oid)

    def test_safe_list(self):
        self.assertEqual({s["safe_type"] for s in self.safes.values()}, {"PRIVATE", "TEAMSAFE", "INBOX", "MAIL_IN"})
        keys = ["safe_id", "safe_type", "safe_name", "access", "storage_quota", "storage_used", "expiry_date",
                "has_trash", "root_folder_id", "role_type", "last_event", "last_mod"]
        for s in self.safes.values():
            self.assertEqual(sorted(s), sorted(keys))
            self.assertIsInstance(s["has_trash"], bool)
        self.assertGreater(self.safes["Private"]["storage_used"], 0)

    def test_listing_depth_and_type(self):
        private = self.safes["Private"]
        everything = self.listing(private)
        paths = [o["path"] for o in everything]
        self.assertEqual(paths[0], "/")
        self.assertEqual(everything[0]["object_id"], private["root_folder_id"])
        self.assertIn("/Documents/Letters/landlord.txt", paths)
        top = [o["path"] for o in self.listing(private, depth=1)]
        self.assertEqual(top, ["/", "/Documents", "/Photos", "/todo.txt"])
        folders = [o["path"] for o in self.listing(private, "/Documents", kind="d")]
        self.assertEqual(folders, ["/Documents", "/Documents/Letters"])
        files = self.listing(private, "/Documents", kind="f")
        self.assertEqual([o["path"] for o in files], ["/Documents/Letters/landlord.txt", "/Documents/notes.md"])
        text = b"# Notes\n\n- buy milk\n- renew passport\n"
        self.assertEqual(files[1]["size"], len(text))
        self.assertEqual(files[1]["checksum"], "sha256:" + hashlib.sha256(text).hexdigest())
        self.assertRegex(files[1]["mtime"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \+0000$")
        self.assertEqual(status_of(self.c.request("GET", self.c.fs("info/" + private["safe_id"]),
                                                  headers={"X-Object-Path": "%2Fnone"})), 10904)

    def test_create_folder_upload_download_versions(self):
        private = self.safes["Private"]
        before = self.marker("Private")
        made = self.c.data(self.c.request("POST", self.c.fs("folder"), b"", headers={
            "Content-Type": "text/plain; charset=UTF-8", "X-Foldername": urllib.parse.quote("Neuer Ordner ä", safe=""),
            "X-Destination": private["root_folder_id"]}))["filesafe_objects"]
        self.assertEqual((made[0]["path"], made[0]["type"]), ("/Neuer Ordner ä", "d"))
        self.assertNotEqual(self.marker("Private"), before)
        self.assertEqual(status_of(self.c.request("POST", self.c.fs("folder"), b"", headers={
            "X-Foldername": "x", "X-Destination": "obj-nope"})), 10911)
        for size in (0, 15, 16, 100000):
            content = secrets.token_bytes(size)
            obj = self.c.data(self.upload(made[0]["object_id"], "f%d.bin" % size, content))["filesafe_objects"]
            self.assertEqual(len(obj), 1)
            self.assertEqual((obj[0]["size"], obj[0]["path"]), (size, "/Neuer Ordner ä/f%d.bin" % size))
            got = self.c.request("GET", self.c.fs("file/" + obj[0]["object_id"]))
            self.assertEqual(len(got.body), (size // 16 + 1) * 16)
            self.assertEqual(dec(self.c.key, bytes.fromhex(got.headers["X-Transport-Iv"]), got.body), content)
        # A new version keeps the object id and changes the marker.
        oid = obj[0]["object_id"]
        before = self.marker("Private")
        again = self.c.data(self.upload(made[0]["object_id"], "f100000.bin", b"v2", oid=oid))["filesafe_objects"]
        self.assertEqual((again[0]["object_id"], again[0]["size"]), (oid, 2))
        self.assertNotEqual(self.marker("Private"), before)
        stored = [o for s in SVC.control("state")["safes"] for o in s["objects"] if o["object_id"] == oid][0]
        self.assertEqual((base64.b64decode(stored["content_b64"]), stored["versions"]), (b"v2", 2))
        self.assertEqual(status_of(self.upload(made[0]["object_id"], "f15.bin", b"dup")), 10409)
        self.assertEqual(status_of(self.upload("obj-nope", "n.txt", b"x")), 10911)

    def test_big_files_stream(self):
        private = self.safes["Private"]
        content = secrets.token_bytes(3 * (1 << 20) + 5)
        obj = self.c.data(self.upload(private["root_folder_id"], "big.bin", content))["filesafe_objects"][0]
        self.assertEqual((obj["size"], obj["checksum"]), (len(content), "sha256:" + hashlib.sha256(content).hexdigest()))
        got = self.c.request("GET", self.c.fs("file/" + obj["object_id"]))
        self.assertEqual(dec(self.c.key, bytes.fromhex(got.headers["X-Transport-Iv"]), got.body), content)
        stored = [o for s in SVC.control("state")["safes"] for o in s["objects"] if o["object_id"] == obj["object_id"]]
        self.assertNotIn("content_b64", stored[0])  # too big for the dump; the checksum tells
        log = SVC.control("requests")["requests"]
        upload = [e for e in log if e["method"] == "POST" and e["path"].endswith("/file")][-1]
        self.assertEqual((upload["body_size"], upload["body_b64"]), ((len(content) // 16 + 1) * 16, ""))
        # Refused before the body is read: the answer still arrives.
        self.assertEqual(status_of(self.upload("obj-nope", "n.bin", content)), 10911)
        # A big remote file made through the control endpoint.
        made = SVC.control("object", safe_id=private["safe_id"], path="/zeros.bin", size=2 * (1 << 20) + 1)["object"]
        got = self.c.request("GET", self.c.fs("file/" + made["object_id"]))
        self.assertEqual(dec(self.c.key, bytes.fromhex(got.headers["X-Transport-Iv"]), got.body), bytes(2 * (1 << 20) + 1))

    def test_delete_with_trash_modes(self):
        team, private = self.safes["Team Alpha"], self.safes["Private"]
        objs = {o["path"]: o for o in self.listing(team)}
        before = self.marker("Team Alpha")
        self.assertEqual(status_of(self.c.request("DELETE", self.c.fs("file/" + objs["/Shared notes.txt"]["object_id"]),
                                                  query={"mode": "trash"})), 10400)  # no trash in this safe
        self.c.data(self.c.request("DELETE", self.c.fs("folder/" + objs["/Projects"]["object_id"]),
                                   query={"mode": "trashToPrivate"}))
        self.assertEqual([o["path"] for o in self.listing(team)], ["/", "/Shared notes.txt"])
        self.assertNotEqual(self.marker("Team Alpha"), before)
        state = {s["safe_name"]: s for s in SVC.control("state")["safes"] if s["owner"] == DEMO[0]}
        self.assertEqual(state["Private"]["trash"][0]["path"], "/Projects")
        self.assertEqual(len(state["Private"]["trash"][0]["objects"]), 4)
        pobjs = {o["path"]: o for o in self.listing(private)}
        self.c.data(self.c.request("DELETE", self.c.fs("file/" + pobjs["/todo.txt"]["object_id"]),
                                   query={"mode": "trash"}))
        self.assertEqual(status_of(self.c.request("DELETE", self.c.fs("file/" + pobjs["/todo.txt"]["object_id"]),
                                                  query={"mode": "trash"})), 10904)
        # A folder id on the file path is refused.
        self.assertEqual(status_of(self.c.request("DELETE", self.c.fs("file/" + pobjs["/Photos"]["object_id"]),
                                                  query={"mode": "trash"})), 10904)

    def test_status_codes(self):
        private, team = self.safes["Private"], self.safes["Team Alpha"]
        SVC.control("safe", safe_id=team["safe_id"], storage_quota=10)
        self.assertEqual(status_of(self.upload(team["root_folder_id"], "big.bin", b"x" * 11)), 10907)
        SVC.control("safe", safe_id=team["safe_id"], module=False)
        self.assertEqual(status_of(self.upload(team["root_folder_id"], "a.bin", b"x")), 10910)
        SVC.control("safe", safe_id=private["safe_id"], gone=True)
        self.assertEqual(status_of(self.c.request("GET", self.c.fs("info/" + private["safe_id"]))), 10904)
        self.assertNotIn("Private", [s["safe_name"] for s in self.c.data(self.c.request("GET", self.c.fs("info")))[
            "filesafes"]])
        inbox = self.safes["Inbox"]
        self.assertEqual(status_of(self.upload(inbox["root_folder_id"], "a.bin", b"x")), 10403)


class Faults(unittest.TestCase):
    def setUp(self):
        SVC.control("reset")
        self.c = Client()
        self.c.sign_in()

    def test_http_and_envelope_status_for_n_requests(self):
        SVC.control("fault", path="/passwords$", http_status=404, count=2)
        self.assertEqual([self.c.request("GET", self.c.pw()).status for _ in range(3)], [404, 404, 200])
        SVC.control("fault", path="/passwords$", http_status=302)
        a = self.c.request("GET", self.c.pw())
        self.assertEqual((a.status, a.headers.get("Location")), (302, "/moved"))
        SVC.control("fault", path="/passwords$", envelope_status=10911, message="gone away")
        a = self.c.request("GET", self.c.pw())
        self.assertEqual((a.status, a.json()), (200, {"status": 10911, "message": "gone away"}))
        SVC.control("fault", path="/passwords$", method="POST", envelope_status=1)
        self.assertEqual(status_of(self.c.request("GET", self.c.pw())), 0)  # method does not match

    def test_bodies(self):
        SVC.control("fault", path="/passwords$", body="empty")
        self.assertEqual(self.c.request("GET", self.c.pw()).body, b"")
        SVC.control("fault", path="/passwords$", body="malformed")
        with self.assertRaises(ValueError):
            self.c.request("GET", self.c.pw()).json()
        SVC.control("fault", path="/passwords$", http_status=204, body="empty")
        self.assertEqual(self.c.request("GET", self.c.pw()).status, 204)

    def test_delay_stall_and_cut(self):
        SVC.control("fault", path="/passwords$", delay_ms=300)
        t = time.monotonic()
        self.assertEqual(self.c.request("GET", self.c.pw()).status, 200)
        self.assertGreaterEqual(time.monotonic() - t, 0.3)
        SVC.control("fault", path="/passwords$", stall=True)
        t = time.monotonic()
        a = self.c.request("GET", self.c.pw(), timeout=0.5)
        self.assertIsInstance(a.error, OSError)  # the client's own time-out
        # Other requests are served meanwhile, and a reset releases the stalled one.
        self.assertEqual(self.c.request("GET", "/rest/public/1/version/sync").status, 200)
        SVC.control("fault", path="/passwords$", cut_after=10)
        a = self.c.request("GET", self.c.pw())
        self.assertIsInstance(a.error, http.client.IncompleteRead)
        self.assertEqual(len(a.error.partial), 10)

    def test_download_iv_and_listing_faults(self):
        c = self.c
        safe = [s for s in c.data(c.request("GET", c.fs("info")))["filesafes"] if s["safe_name"] == "Private"][0]
        objs = c.data(c.request("GET", c.fs("info/" + safe["safe_id"])))["filesafe_objects"]
        todo = [o for o in objs if o["path"] == "/todo.txt"][0]
        SVC.control("fault", path="/file/", iv="missing")
        self.assertNotIn("X-Transport-Iv", c.request("GET", c.fs("file/" + todo["object_id"])).headers)
        SVC.control("fault", path="/file/", iv="malformed")
        self.assertEqual(len(c.request("GET", c.fs("file/" + todo["object_id"])).headers["X-Transport-Iv"]), 31)
        SVC.control("fault", path="/info/", listing="dotdot")
        paths = [o["path"] for o in c.data(c.request("GET", c.fs("info/" + safe["safe_id"])))["filesafe_objects"]]
        self.assertTrue(any(".." in p.split("/") for p in paths))
        SVC.control("fault", path="/info/", listing="path", listing_path="/a/./b\u0000c")
        paths = [o["path"] for o in c.data(c.request("GET", c.fs("info/" + safe["safe_id"])))["filesafe_objects"]]
        self.assertIn("/a/./b\u0000c", paths)
        SVC.control("fault", path="/info/", listing="case_twin")
        paths = [o["path"] for o in c.data(c.request("GET", c.fs("info/" + safe["safe_id"])))["filesafe_objects"]]
        lower = [p.lower() for p in paths]
        self.assertEqual(len(lower) - len(set(lower)), 1)
        self.assertEqual(len(paths), len(set(paths)))
        # An upload answered without its checksum is stored all the same; the listing keeps it.
        SVC.control("fault", path="/file$", method="POST", objects={"checksum": ""})
        sent = c.data(upload(c, safe["root_folder_id"], "edited.txt", b"edited"))["filesafe_objects"]
        self.assertEqual((len(sent), sent[0]["checksum"], sent[0]["size"]), (1, "", 6))
        listed = [o for o in c.data(c.request("GET", c.fs("info/" + safe["safe_id"])))["filesafe_objects"]
                  if o["path"] == "/edited.txt"]
        self.assertEqual(listed[0]["checksum"], "sha256:" + hashlib.sha256(b"edited").hexdigest())

    def test_sign_in_reply_edits_by_step(self):
        c = Client()
        SVC.control("fault", path="^/login$", step=1, form={"loginState": "identified", "extra": "1"})
        SVC.control("fault", path="^/login$", step=2, form={"M2": None})
        cl, r2 = c.srp_until_step2(*DEMO)
        log = [e for e in SVC.control("requests")["requests"] if e["path"] == "/login"]
        self.assertEqual([e["fault"] is not None for e in log[-3:]], [False, True, True])
        self.assertEqual(r2, {"success": "true", "loginState": "PRE_AUTHENTICATED"})
        # The step-1 edit kept B and salt and the order of the keys.
        SVC.control("fault", path="^/login$", step=1, form={"loginState": "identified"})
        c.step(("step", "0"), ("client", "SYNC"), ("version", "2.2.4"))
        answer = c.form_post("/login", [("step", "1"), ("username", "demo"), ("A", nhex(cl.A))]).body.decode()
        self.assertRegex(answer, r"^success=true;loginState=identified;B=[0-9a-f]+;salt=[0-9a-f]+$")

    def test_authenticating_proxy(self):
        def via_proxy(method, target, auth=None, extra=b""):
            sock = socket.create_connection(("127.0.0.1", SVC.proxy_port), timeout=10)
            head = "%s %s HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n" % (method, target)
            if auth:
                head += "Proxy-Authorization: Basic %s\r\n" % base64.b64encode(auth.encode()).decode()
            sock.sendall(head.encode() + b"\r\n" + extra)
            data = b""
            while b"\r\n\r\n" not in data:
                data += sock.recv(4096)
            return sock, data
        plain = "http://127.0.0.1:%d/rest/public/1/version/sync" % SVC.http_port
        sock, reply = via_proxy("GET", plain)
        sock.close()
        self.assertTrue(reply.startswith(b"HTTP/1.1 407"))
        self.assertIn(b'Proxy-Authenticate: Basic realm="devservice"', reply)
        sock, reply = via_proxy("GET", plain, "proxyuser:wrong")
        sock.close()
        self.assertTrue(reply.startswith(b"HTTP/1.1 407"))
        sock, reply = via_proxy("GET", plain, "proxyuser:proxypass")
        sock.close()
        self.assertTrue(reply.startswith(b"HTTP/1.1 200"), reply)
        # Nothing but this service: other hosts and ports are refused.
        for target in ("http://10.0.0.1:%d/x" % SVC.http_port, "http://127.0.0.1:1/x"):
            sock, reply = via_proxy("GET", target, "proxyuser:proxypass")
            sock.close()
            self.assertTrue(reply.startswith(b"HTTP/1.1 502"), target)
        # CONNECT tunnels TLS to the HTTPS port, with credentials only.
        sock, reply = via_proxy("CONNECT", "localhost:%d" % SVC.https_port)
        sock.close()
        self.assertTrue(reply.startswith(b"HTTP/1.1 407"), reply)
        sock, reply = via_proxy("CONNECT", "localhost:%d" % SVC.https_port, "proxyuser:proxypass")
        self.assertTrue(reply.startswith(b"HTTP/1.1 200"), reply)
        tls = ssl.create_default_context(cafile=SVC.ca).wrap_socket(sock, server_hostname="localhost")
        tls.sendall(b"GET /api/sync/1/public/version HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n")
        answer = b""
        while True:
            data = tls.recv(4096)
            if not data:
                break
            answer += data
        tls.close()
        self.assertTrue(answer.startswith(b"HTTP/1.1 200"))
        log = SVC.control("requests")["requests"]
        self.assertEqual([e["status"] for e in log if e["proxy"]][:3], [407, 407, 200])
        self.assertIn(("CONNECT", 407), [(e["method"], e["status"]) for e in log if e["proxy"]])
        SVC.control("proxy", required=False)
        sock, reply = via_proxy("GET", plain)
        sock.close()
        self.assertTrue(reply.startswith(b"HTTP/1.1 200"))

    def test_broken_certificates(self):
        def fetch():
            return Client(tls=True).request("GET", "/api/sync/1/public/version")
        self.assertEqual(fetch().status, 200)
        for kind, reason in (("wrong_host", "Hostname mismatch"), ("self_signed", "self-signed"),
                             ("expired", "expired")):
            SVC.control("tls", certificate=kind)
            a = fetch()
            self.assertIsInstance(a.error, ssl.SSLCertVerificationError, kind)
            self.assertIn(reason, str(a.error), kind)
        self.assertFalse(SVC.control("tls", certificate="nonsense")["ok"])
        SVC.control("reset")
        self.assertEqual(fetch().status, 200)

    def test_request_log(self):
        SVC.control("requests", clear=True)
        self.c.request("GET", self.c.pw(), headers={"X-Probe": "1"})
        log = SVC.control("requests")["requests"]
        self.assertEqual(len(log), 1)
        self.assertEqual((log[0]["method"], log[0]["path"], log[0]["headers"]["X-Probe"], log[0]["status"]),
                         ("GET", self.c.pw(), "1", 200))


class Transport(unittest.TestCase):
    """How replies travel: without Nagle, and each small reply in one piece."""

    def test_accepted_connections_have_no_delay(self):
        sys.path.insert(0, HERE)
        import devservice
        for server_class in (devservice.Server, devservice.TlsServer):
            args = ({},) if server_class is devservice.TlsServer else ()
            srv = server_class(("127.0.0.1", 0), devservice.Handler, *args)
            client = socket.create_connection(srv.server_address, timeout=5)
            conn, _ = srv.get_request()
            try:
                self.assertNotEqual(conn.getsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY), 0, server_class.__name__)
            finally:
                conn.close()
                client.close()
                srv.server_close()

    def first_read(self, head):
        """The request on a fresh connection; what the first read brings, and the whole reply's length."""
        sock = socket.create_connection(("127.0.0.1", SVC.http_port), timeout=10)
        try:
            sock.sendall(head.encode())
            first = sock.recv(1 << 20)
            data = first
            while b"\r\n\r\n" not in data:
                data += sock.recv(1 << 20)
            top, _, _ = data.partition(b"\r\n\r\n")
            length = int(re.search(rb"(?im)^content-length: *(\d+)", top).group(1))
            return first, len(top) + 4 + length
        finally:
            sock.close()

    def test_head_and_body_in_one_piece(self):
        c = Client()
        c.sign_in()
        safe = [s for s in c.data(c.request("GET", c.fs("info")))["filesafes"] if s["safe_name"] == "Private"][0]
        todo = [o for o in c.data(c.request("GET", c.fs("info/" + safe["safe_id"])))["filesafe_objects"]
                if o["path"] == "/todo.txt"][0]
        cookie = "Cookie: JSESSIONID=%s\r\n" % c.cookie
        for what, head in (("version", "GET /rest/public/1/version/sync HTTP/1.1\r\nHost: x\r\n\r\n"),
                           ("listing", "GET %s HTTP/1.1\r\nHost: x\r\n%s\r\n" % (c.fs("info/" + safe["safe_id"]),
                                                                             cookie)),
                           ("download", "GET %s HTTP/1.1\r\nHost: x\r\n%s\r\n" % (c.fs("file/" + todo["object_id"]),
                                                                              cookie)),
                           ("refusal", "GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % c.pw())):
            first, whole = self.first_read(head)
            self.assertEqual(len(first), whole, what)


class Seeding(unittest.TestCase):
    def setUp(self):
        SVC.control("reset")
        self.c = Client()
        self.c.sign_in()
        self.safe = SVC.control("safe", owner="demo", safe_name="Seeded", safe_type="TEAMSAFE")["safe"]

    def test_a_whole_tree_in_one_request(self):
        before = self.safe["last_event"]
        answer = SVC.control("seed", safe_id=self.safe["safe_id"], files=250, per_folder=100, repeat=3)
        contents = {"/d%04d/f%d.txt" % (i // 100, i): (str(i) * 3).encode() for i in range(250)}
        self.assertEqual((answer["files"], answer["folders"], answer["bytes"]),
                         (250, 3, sum(len(v) for v in contents.values())))
        self.assertNotEqual(answer["last_event"], before)
        objs = self.c.data(self.c.request("GET", self.c.fs("info/" + self.safe["safe_id"])))["filesafe_objects"]
        self.assertEqual([o["path"] for o in objs if o["type"] == "d"], ["/", "/d0000", "/d0001", "/d0002"])
        files = {o["path"]: o for o in objs if o["type"] == "f"}
        self.assertEqual(sorted(files), sorted(contents))
        for path, content in contents.items():
            self.assertEqual((files[path]["size"], files[path]["checksum"]),
                             (len(content), "sha256:" + hashlib.sha256(content).hexdigest()), path)
        got = self.c.request("GET", self.c.fs("file/" + files["/d0002/f249.txt"]["object_id"]))
        self.assertEqual(dec(self.c.key, bytes.fromhex(got.headers["X-Transport-Iv"]), got.body), b"249249249")
        listed = {s["safe_id"]: s for s in self.c.data(self.c.request("GET", self.c.fs("info")))["filesafes"]}
        self.assertEqual(listed[self.safe["safe_id"]]["storage_used"], answer["bytes"])

    def test_refusals(self):
        sid = self.safe["safe_id"]
        self.assertFalse(SVC.control("seed", safe_id=sid, files=5, per_folder=0)["ok"])
        self.assertFalse(SVC.control("seed", safe_id="safe-none", files=5)["ok"])
        SVC.control("object", safe_id=sid, path="/d0000", type="d")
        self.assertFalse(SVC.control("seed", safe_id=sid, files=5)["ok"])
        state = [s for s in SVC.control("state")["safes"] if s["safe_id"] == sid][0]
        self.assertEqual([o["path"] for o in state["objects"]], ["/", "/d0000"])


class UsedSpace(unittest.TestCase):
    """The running total of a safe's used space against the sum over its objects, after each kind of change."""

    def test_total_follows_every_change(self):
        SVC.control("reset")
        c = Client()
        c.sign_in()
        safe = SVC.control("safe", owner="demo", safe_name="Space", safe_type="TEAMSAFE", has_trash=True)["safe"]
        sid, root = safe["safe_id"], safe["root_folder_id"]

        def check(step):
            state = [s for s in SVC.control("state")["safes"] if s["safe_id"] == sid][0]
            listed = {s["safe_id"]: s for s in c.data(c.request("GET", c.fs("info")))["filesafes"]}[sid]
            self.assertEqual((listed["storage_used"], state["storage_used"]),
                             (sum(o["size"] for o in state["objects"]),) * 2, step)
            return state

        folder = c.data(c.request("POST", c.fs("folder"), b"", headers={"X-Foldername": "A",
                                                                       "X-Destination": root}))["filesafe_objects"][0]
        a = c.data(upload(c, folder["object_id"], "a.bin", b"x" * 100))["filesafe_objects"][0]
        b = c.data(upload(c, root, "b.bin", b"y" * 40))["filesafe_objects"][0]
        self.assertEqual(check("uploads")["storage_used"], 140)
        c.data(upload(c, folder["object_id"], "a.bin", b"z" * 7, oid=a["object_id"]))
        self.assertEqual(check("new version")["storage_used"], 47)
        SVC.control("object", safe_id=sid, path="/A/c.bin", content_b64=base64.b64encode(b"c" * 9).decode())
        self.assertEqual(check("object command")["storage_used"], 56)
        c.data(c.request("DELETE", c.fs("folder/" + folder["object_id"]), query={"mode": "trash"}))
        self.assertEqual(check("folder deleted")["storage_used"], 40)
        SVC.control("safe", safe_id=sid, storage_quota=45)
        self.assertEqual(status_of(upload(c, root, "d.bin", b"d" * 6)), 10907)
        c.data(c.request("DELETE", c.fs("file/" + b["object_id"]), query={"mode": "trash"}))
        self.assertEqual(check("file deleted")["storage_used"], 0)
        c.data(upload(c, root, "d.bin", b"d" * 45))
        SVC.control("object", safe_id=sid, path="/d.bin", op="delete")
        self.assertEqual(check("object deleted")["storage_used"], 0)


class ControlCommands(unittest.TestCase):
    """Control requests that do not fit are answered 400 and change nothing; those a web page could
    send are refused; the commands keep the model whole."""

    def setUp(self):
        SVC.control("reset")
        self.safe = [s for s in SVC.control("state")["safes"]
                     if s["owner"] == DEMO[0] and s["safe_name"] == "Private"][0]

    def test_malformed_commands_change_nothing(self):
        sid = self.safe["safe_id"]
        cases = [
            ("user", {"name": 5}),
            ("user", {"name": "demo", "password": 5}),
            ("user", {"name": "demo", "second_factor": "fingerprint"}),
            ("user", {"name": "demo", "passwords_max": "many"}),
            ("user", {"name": "demo", "devices": {"d1": {"value": "not hex"}}}),
            ("seed_passwords", {"user": 5, "count": 1}),
            ("seed_passwords", {"user": "demo", "count": 1, "password": 5}),
            ("seed_passwords", {"user": "nobody", "count": 1}),
            ("seed_passwords", {"user": "demo", "count": 10 ** 9}),
            ("fault", {"path": "("}),
            ("fault", {"path": "/info", "http_status": "busy"}),
            ("fault", {"path": "/info", "form": {"B": [1]}}),
            ("fault", {"path": "/file", "objects": {"checksum": True}}),
            ("version", {"version_latest": 3}),
            ("config", {"xsrf_required": "no"}),
            ("proxy", {"required": "yes"}),
            ("requests", {"clear": 1}),
            ("drop_session", {"user": 5}),
            ("tls", {"certificate": ["valid"]}),
            ("safe", {"safe_id": sid, "storage_quota": "lots"}),
            ("safe", {"owner": "nobody", "safe_name": "Orphan"}),
            ("object", {"safe_id": sid, "path": "/todo.txt/below.txt"}),
            ("object", {"safe_id": sid, "path": "/", "type": "f"}),
            ("object", {"safe_id": sid, "path": "/", "op": "delete"}),
            ("object", {"safe_id": sid, "path": "/Documents/../escape.txt"}),
            ("object", {"safe_id": sid, "path": "/x.txt", "content_b64": "not base64!"}),
            ("object", {"safe_id": sid, "path": "/x.txt", "size": -1}),
            ("seed", {"safe_id": sid, "files": 10 ** 9}),
            ("seed", {"safe_id": sid, "files": 1000, "repeat": 10 ** 9}),
            ("state", [1]),
        ]
        c = Client()
        for command, args in cases:
            with self.subTest(command=command, args=args):
                SVC.control("reset")
                c.request("GET", "/rest/public/1/version/sync")
                before = (SVC.control("state"), SVC.control("requests"))
                status, reply = SVC.post_control(command, json.dumps(args))
                self.assertEqual((status, reply["ok"]), (400, False), reply)
                self.assertTrue(reply["error"].startswith(command + ": "), reply)
                self.assertEqual((SVC.control("state"), SVC.control("requests")), before)

    def test_requests_a_web_page_could_send(self):
        rule = json.dumps({"path": "/nowhere"})
        for headers, status in (({"Content-Type": "application/json", "Origin": "null"}, 403),
                                ({"Content-Type": "text/plain"}, 415),
                                ({"Content-Type": "application/x-www-form-urlencoded"}, 415),
                                ({}, 415),
                                ({"Content-Type": "application/json; charset=utf-8"}, 200)):
            with self.subTest(headers=headers):
                SVC.control("reset")
                answer = SVC.post_control("fault", rule, headers)
                self.assertEqual((answer[0], answer[1]["ok"]), (status, status == 200), answer)
                self.assertEqual(len(SVC.control("state")["faults"]), 1 if status == 200 else 0)

    def test_object_of_the_other_kind_replaces_the_whole_tree(self):
        sid = self.safe["safe_id"]

        def objects():
            state = [s for s in SVC.control("state")["safes"] if s["safe_id"] == sid][0]
            self.assertEqual(state["storage_used"], sum(o["size"] for o in state["objects"]))
            return {o["path"]: o for o in state["objects"]}

        folder = objects()["/Documents"]
        made = SVC.control("object", safe_id=sid, path="/Documents", type="f",
                           content_b64=base64.b64encode(b"now a file").decode())["object"]
        after = objects()
        self.assertEqual([p for p in after if p.startswith("/Documents")], ["/Documents"])
        self.assertEqual((made["type"], made["size"]), ("f", 10))
        self.assertNotEqual(made["object_id"], folder["object_id"])
        SVC.control("object", safe_id=sid, path="/Documents/inner/deep.txt", type="f", content_b64="")
        self.assertFalse(SVC.control("object", safe_id=sid, path="/Documents/inner/deep.txt")["ok"])
        SVC.control("object", safe_id=sid, path="/Documents", type="d")
        SVC.control("object", safe_id=sid, path="/Documents/inner/deep.txt", type="f", content_b64="")
        self.assertEqual([(p, o["type"]) for p, o in objects().items() if p.startswith("/Documents")],
                         [("/Documents", "d"), ("/Documents/inner", "d"), ("/Documents/inner/deep.txt", "f")])

    def test_case_twin_of_names_without_letters(self):
        c = Client()
        c.sign_in()
        for names in (["/123"], ["/123", "/b.txt"], ["/2024/07", "/ß", "/42"]):
            with self.subTest(names=names):
                safe = SVC.control("safe", owner="demo", safe_name="Twins", safe_type="TEAMSAFE")["safe"]
                for name in names:
                    SVC.control("object", safe_id=safe["safe_id"], path=name, content_b64="")
                SVC.control("fault", path="/info/", listing="case_twin")
                paths = [o["path"] for o in c.data(c.request("GET", c.fs("info/" + safe["safe_id"])))[
                    "filesafe_objects"] if o["type"] == "f"]
                folded = [p.lower() for p in paths]
                self.assertEqual((len(paths) - len(set(paths)), len(folded) - len(set(folded))), (0, 1), paths)

    def test_change_markers_of_another_start(self):
        def markers(service):
            return {(s["owner"], s["safe_name"]): s["last_event"] for s in service.control("state")["safes"]}
        first = markers(SVC)
        SVC.control("reset")
        again = markers(SVC)
        other = Service()
        try:
            elsewhere = markers(other)
        finally:
            other.stop()
        self.assertEqual(sorted(first), sorted(elsewhere))
        for key in first:
            self.assertEqual(len({first[key], again[key], elsewhere[key]}), 3, key)


def main():
    global SVC
    started = time.monotonic()
    SVC = Service()
    try:
        result = unittest.main(exit=False, verbosity=1).result
    finally:
        SVC.stop()
    sys.stderr.write("selftest: %.1f s\n" % (time.monotonic() - started))
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
