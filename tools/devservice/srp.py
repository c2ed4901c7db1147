"""Server side of the SRP-6 sign-in: the 1024-bit group of RFC 5054, SHA-256, k = 3.

Numbers enter every hash as their shortest big-endian bytes, texts as UTF-8, and the user name
is lower-cased before it enters anything; the client does the same, so both agree on u, K and M1.
"""

import hashlib
import hmac

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

N_HEX = (
    "eeaf0ab9adb38dd69c33f80afa8fc5e86072618775ff3c0b9ea2314c9c256576d674df7496ea81d3383b4813d692c6e0"
    "e0d5d8e250b98be48e495c1d6089dad15dc7d7b46154d6b6ce8ef4ad69b15d4982559b297bcf1885c529f566660e57ec"
    "68edbc3c05726cc02fd4cbf4976eaa9afd5138fe8376435b9fc61d2fc0eb06e3"
)
N = int(N_HEX, 16)
G = 2
K_MULT = 3
PBKDF2_ROUNDS = 500


def to_bytes(n):
    """Shortest big-endian bytes of a non-negative number; zero has none."""
    return n.to_bytes((n.bit_length() + 7) // 8, "big")


def to_hex(n):
    """Wire form of a number: two lower-case digits per byte, no leading zero byte, "" for zero."""
    return to_bytes(n).hex()


def from_hex(text):
    """Reads the leading hexadecimal digits of a text; a text without any gives zero."""
    digits = ""
    for ch in text:
        if ch in "0123456789abcdefABCDEF":
            digits += ch
        else:
            break
    return int(digits, 16) if digits else 0


def H(*parts):
    h = hashlib.sha256()
    for p in parts:
        if isinstance(p, int):
            h.update(to_bytes(p))
        elif isinstance(p, str):
            h.update(p.encode("utf-8"))
        else:
            h.update(p)
    return h.digest()


def Hn(*parts):
    return int.from_bytes(H(*parts), "big")


def compute_x(user, password, salt):
    return Hn(salt, H(user.lower(), ":", password))


def verifier(user, password, salt):
    return pow(G, compute_x(user, password, salt), N)


def server_public(v, b):
    return (K_MULT * v + pow(G, b, N)) % N


def compute_u(A, B):
    return Hn(A, B)


def server_premaster(A, v, u, b):
    return pow(A * pow(v, u, N) % N, b, N)


def client_premaster(B, x, u, a):
    t = (B - K_MULT * pow(G, x, N)) % N
    return pow(t, (a + u * x) % N, N)


def session_key(S):
    """K as the 32-byte digest; its wire text is to_hex of the number (leading zero bytes dropped)."""
    return H(S)


def compute_m1(user, salt, A, B, K32):
    hng = bytes(a ^ b for a, b in zip(H(N), H(bytes([G]))))
    return Hn(hng, H(user.lower()), salt, A, B, int.from_bytes(K32, "big"))


def compute_m2(A, M1, K32):
    return Hn(A, M1, int.from_bytes(K32, "big"))


def derived_key(password, salt):
    """PBKDF2 of the password over the salt's shortest bytes."""
    return hashlib.pbkdf2_hmac("sha256", password.encode("utf-8"), to_bytes(salt), PBKDF2_ROUNDS, 32)


def iv_slices(a_text):
    """The three IVs the client cuts from the text of A: SMS value, user key, device name."""
    t = a_text.lower()
    return bytes.fromhex(t[0:32]), bytes.fromhex(t[32:64]), bytes.fromhex(t[64:96])


def aes_encrypt(key32, iv, data):
    p = padding.PKCS7(128).padder()
    padded = p.update(data) + p.finalize()
    enc = Cipher(algorithms.AES(key32), modes.CBC(iv)).encryptor()
    return enc.update(padded) + enc.finalize()


def aes_decrypt(key32, iv, data):
    """Raises ValueError on a bad length or bad padding."""
    if len(data) == 0 or len(data) % 16:
        raise ValueError("ciphertext length")
    dec = Cipher(algorithms.AES(key32), modes.CBC(iv)).decryptor()
    padded = dec.update(data) + dec.finalize()
    u = padding.PKCS7(128).unpadder()
    return u.update(padded) + u.finalize()


def user_key(password, salt, K32, a_text):
    return aes_encrypt(K32, iv_slices(a_text)[1], derived_key(password, salt))


def next_device_value(K32, message):
    """Next remembered-device value: HMAC-SHA-256 keyed with the bytes of K's wire text, so a K
    with a leading zero byte keys the HMAC with 31 bytes."""
    key = bytes.fromhex(to_hex(int.from_bytes(K32, "big")))
    return hmac.new(key, message, hashlib.sha256).hexdigest()
