"""A throw-away certificate authority and a server certificate for 127.0.0.1 and localhost."""

import datetime
import ipaddress
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

CA_FILE = "ca.pem"
CERT_FILE = "server.pem"
KEY_FILE = "server.key"


def _name(cn):
    return x509.Name([x509.NameAttribute(NameOID.ORGANIZATION_NAME, "Tessarvale development"),
                      x509.NameAttribute(NameOID.COMMON_NAME, cn)])


def _still_valid(folder):
    try:
        with open(os.path.join(folder, CERT_FILE), "rb") as f:
            cert = x509.load_pem_x509_certificate(f.read())
        for name in (CA_FILE, KEY_FILE):
            if not os.path.isfile(os.path.join(folder, name)):
                return False
        not_after = getattr(cert, "not_valid_after_utc", None)
        if not_after is None:
            not_after = cert.not_valid_after.replace(tzinfo=datetime.timezone.utc)
        return not_after - datetime.datetime.now(datetime.timezone.utc) > datetime.timedelta(days=1)
    except (OSError, ValueError):
        return False


def ensure_certificates(folder):
    """Returns (ca path, certificate path, key path); reuses a still valid set in the folder."""
    os.makedirs(folder, exist_ok=True)
    paths = tuple(os.path.join(folder, n) for n in (CA_FILE, CERT_FILE, KEY_FILE))
    if _still_valid(folder):
        return paths
    now = datetime.datetime.now(datetime.timezone.utc)
    start = now - datetime.timedelta(hours=1)
    end = now + datetime.timedelta(days=30)

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

    key = ec.generate_private_key(ec.SECP256R1())
    cert = (x509.CertificateBuilder()
            .subject_name(_name("localhost")).issuer_name(ca_name)
            .public_key(key.public_key())
            .serial_number(x509.random_serial_number())
            .not_valid_before(start).not_valid_after(end)
            .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
            .add_extension(x509.SubjectAlternativeName([
                x509.DNSName("localhost"),
                x509.IPAddress(ipaddress.IPv4Address("127.0.0.1"))]), critical=False)
            .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.SERVER_AUTH]), critical=False)
            .add_extension(x509.AuthorityKeyIdentifier.from_issuer_public_key(ca_key.public_key()),
                           critical=False)
            .sign(ca_key, hashes.SHA256()))

    ca_path, cert_path, key_path = paths
    with open(ca_path, "wb") as f:
        f.write(ca_cert.public_bytes(serialization.Encoding.PEM))
    with open(cert_path, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    fd = os.open(key_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                  serialization.NoEncryption()))
    return paths
