"""A throw-away certificate authority and server certificates for 127.0.0.1 and localhost.

Besides the valid server certificate there are three broken ones for the client's TLS failure
paths: one for another host name, one signed by nobody the client trusts, and an expired one.
"""

import datetime
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

CA_FILE = "ca.pem"
CA_KEY_FILE = "ca.key"
# name -> (certificate file, key file)
SERVER_CERTS = {
    "valid": ("server.pem", "server.key"),
    "wrong_host": ("wronghost.pem", "wronghost.key"),
    "self_signed": ("selfsigned.pem", "selfsigned.key"),
    "expired": ("expired.pem", "expired.key"),
}


def _name(cn):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Tessarvale development"),
                      x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def _not_after(cert):
    value = getattr(cert, "not_valid_after_utc", None)
    return value if value is not None else cert.not_valid_after.replace(tzinfo=datetime.timezone.utc)


def _files(folder):
    names = [CA_FILE, CA_KEY_FILE] + [f for pair in SERVER_CERTS.values() for f in pair]
    return [os.path.join(folder, n) for n in names]


def _still_valid(folder):
    try:
        if not all(os.path.isfile(p) for p in _files(folder)):
            return False
        with open(os.path.join(folder, SERVER_CERTS["valid"][0]), "rb") as f:
            cert = x509.load_pem_x509_certificate(f.read())
        return _not_after(cert) - datetime.datetime.now(datetime.timezone.utc) > datetime.timedelta(days=1)
    except (OSError, ValueError):
        return False


def _write_key(path, key):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))


def _write_cert(path, cert):
    with open(path, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))


def _server_cert(key, issuer_name, issuer_key, names, start, end):
    sans = [x509.DNSName(n) for n in names if not n[0].isdigit()]
    sans += [x509.IPAddress(ipaddress.IPv4Address(n)) for n in names if n[0].isdigit()]
    return (x509.CertificateBuilder()
            .subject_name(_name(names[0])).issuer_name(issuer_name)
            .public_key(key.public_key())
            .serial_number(x509.random_serial_number())
            .not_valid_before(start).not_valid_after(end)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.SubjectAlternativeName(sans), critical=False)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(issuer_key.public_key()),
                           critical=False)
            .sign(issuer_key, hashes.SHA256()))


def ensure_certificates(folder):
    """Returns {"ca": path, "valid"|"wrong_host"|"self_signed"|"expired": (cert path, key path)};
    reuses a still valid set in the folder."""
    os.makedirs(folder, exist_ok=True)
    result = {"ca": os.path.join(folder, CA_FILE)}
    for kind, (cert_file, key_file) in SERVER_CERTS.items():
        result[kind] = (os.path.join(folder, cert_file), os.path.join(folder, key_file))
    if _still_valid(folder):
        return result

    now = datetime.datetime.now(datetime.timezone.utc)
    start = now - datetime.timedelta(hours=1)
    end = now + datetime.timedelta(days=30)
    local = ["localhost", "127.0.0.1"]

    ca_key = ec.generate_private_key(ec.SECP256R1())
    ca_name = _name("Tessarvale development test CA")
    ca_cert = (x509.CertificateBuilder()
               .subject_name(ca_name).issuer_name(ca_name)
               .public_key(ca_key.public_key())
               .serial_number(x509.random_serial_number())
               .not_valid_before(start).not_valid_after(end)
               .add_extension(x509.BasicConstraints(ca=True, path_length=0), critical=True)
               .add_extension(x509.KeyUsage(digital_signature=False, content_commitment=False,
                                            key_encipherment=False, data_encipherment=False,
                                            key_agreement=False, key_cert_sign=True, crl_sign=True,
                                            encipher_only=False, decipher_only=False), critical=True)
               .add_extension(x509.SubjectKeyIdentifier.from_public_key(ca_key.public_key()), critical=False)
               .sign(ca_key, hashes.SHA256()))
    _write_cert(result["ca"], ca_cert)
    _write_key(os.path.join(folder, CA_KEY_FILE), ca_key)

    keys = {kind: ec.generate_private_key(ec.SECP256R1()) for kind in SERVER_CERTS}
    certs = {
        "valid": _server_cert(keys["valid"], ca_name, ca_key, local, start, end),
        "wrong_host": _server_cert(keys["wrong_host"], ca_name, ca_key, ["wrong-host.invalid"], start, end),
        "self_signed": _server_cert(keys["self_signed"], _name("localhost"), keys["self_signed"], local,
                                    start, end),
        "expired": _server_cert(keys["expired"], ca_name, ca_key, local, now - datetime.timedelta(days=30),
                                now - datetime.timedelta(days=1)),
    }
    for kind, cert in certs.items():
        _write_cert(result[kind][0], cert)
        _write_key(result[kind][1], keys[kind])
    return result
