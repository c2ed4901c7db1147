#!/usr/bin/env python3
"""The reference of the first-upload figure: a minimal keep-alive client that sends the requests a
first synchronisation of a tree sends (one folder creation per folder, then one encrypted upload per
file, the same headers), one after the other over one connection, on the client's own session.

usage: upload_loop.py URL COOKIE KEY_HEX ROOT_FOLDER_ID TREE
Prints one line: RESULT {"reference_files": n, "reference_ms": t, "reference_files_per_second": r}."""
import http.client
import json
import os
import sys
import time
import urllib.parse

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

BASE = "/rest/loggedin/3/filesafe/"


def encrypt(key, iv, data):
    pad = padding.PKCS7(128).padder()
    enc = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return enc.update(pad.update(data) + pad.finalize()) + enc.finalize()


def quote(text):
    return urllib.parse.quote(text, safe="")


def main():
    url, cookie, key_hex, root, tree = sys.argv[1:6]
    key = bytes.fromhex(key_hex)
    target = urllib.parse.urlsplit(url)
    conn = http.client.HTTPConnection(target.hostname, target.port, timeout=60)
    common = {"Accept": "application/json", "Cookie": "JSESSIONID=" + cookie}

    def post(path, body, headers):
        conn.request("POST", BASE + path, body, dict(common, **headers))
        answer = conn.getresponse()
        doc = json.loads(answer.read())
        if answer.status != 200 or doc.get("status") != 0:
            raise SystemExit("upload_loop: %s refused: %s %s" % (path, answer.status, doc))
        return doc["data"]["filesafe_objects"]

    started = time.monotonic()
    folders = {"": root}
    files = 0
    for here, dirs, names in os.walk(tree):
        dirs.sort()
        rel = os.path.relpath(here, tree)
        rel = "" if rel == "." else rel
        for d in dirs:
            made = post("folder", b"", {"Content-Type": "text/plain; charset=UTF-8", "X-Foldername": quote(d),
                                        "X-Destination": folders[rel]})
            folders[os.path.join(rel, d)] = made[0]["object_id"]
        for name in sorted(names):
            with open(os.path.join(here, name), "rb") as f:
                data = f.read()
            iv = os.urandom(16)
            post("file", encrypt(key, iv, data), {"Content-Type": "application/octet-stream",
                                                   "X-Filename": quote(name), "X-Transport-Iv": iv.hex(),
                                                   "X-Destination": quote(folders[rel])})
            files += 1
    ms = (time.monotonic() - started) * 1000
    conn.close()
    print("RESULT " + json.dumps({"reference_files": files, "reference_ms": round(ms, 1),
                                  "reference_files_per_second": round(files * 1000 / ms, 1) if ms > 0 else 0}))


if __name__ == "__main__":
    main()
