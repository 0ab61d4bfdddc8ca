"""A real SMTP server on 127.0.0.1 for the end-to-end tests, built on aiosmtpd.

    with SmtpServer(tmp_path, user="u", password="p", starttls=True) as server:
        ...  # send to 127.0.0.1:server.port, trusting server.ca_file
    server.messages  # [Received(mail_from, rcpt_tos, data, tls)]

Optional login (AUTH PLAIN and LOGIN, or only the mechanisms named), STARTTLS or TLS from the first
byte with a self-signed certificate for 127.0.0.1, recipients to refuse with 550, and a mode that
drops the connection once the message data has arrived. It listens on 127.0.0.1 unless another
local address is given.
"""

import socket
import ssl
import subprocess
import logging
from dataclasses import dataclass
from pathlib import Path

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

MECHANISMS = ("PLAIN", "LOGIN")

# aiosmtpd warns about its own use of a deprecated attribute at every successful login.
logging.getLogger("mail.log").setLevel(logging.ERROR)


@dataclass
class Received:
    mail_from: str
    rcpt_tos: list
    data: bytes  # the message as transmitted, CRLF line ends, dot-stuffing undone
    tls: bool


def free_port(host: str = "127.0.0.1") -> int:
    """A TCP port on host that nothing listens on (at the moment of the call)."""
    with socket.socket() as probe:
        probe.bind((host, 0))
        return probe.getsockname()[1]


def make_certificate(directory: Path) -> tuple:
    """A self-signed certificate for 127.0.0.1 and localhost: (certificate, key) paths."""
    cert, key = directory / "smtp-cert.pem", directory / "smtp-key.pem"
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
         "-keyout", str(key), "-out", str(cert), "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost"],
        check=True, capture_output=True, timeout=60)
    return cert, key


class _Handler:
    def __init__(self, server):
        self.server = server

    async def handle_RCPT(self, smtp, session, envelope, address, rcpt_options):
        if address in self.server.refused_recipients:
            return "550 5.1.1 <%s>: Recipient address rejected: unknown user" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, smtp, session, envelope):
        self.server.messages.append(Received(
            envelope.mail_from, list(envelope.rcpt_tos), envelope.original_content,
            session.ssl is not None or smtp.transport.get_extra_info("ssl_object") is not None))
        if self.server.drop_after_data:
            smtp.transport.close()
        return "250 Message accepted for delivery"


class SmtpServer:
    """Runs in a thread of the test process from __enter__ (or start) until __exit__ (or stop)."""

    def __init__(self, tmp_dir: Path, user: str = None, password: str = None,
                 starttls: bool = False, implicit_tls: bool = False, mechanisms=MECHANISMS,
                 refused_recipients=(), drop_after_data: bool = False,
                 host: str = "127.0.0.1", port: int = None):
        self.user, self.password = user, password
        self.fixed_port = port
        self.host = host
        self.auth_attempts = 0
        self.refused_recipients = set(refused_recipients)
        self.drop_after_data = drop_after_data
        self.messages = []
        self.ca_file = None
        self.port = None
        kwargs = {}
        if user is not None:
            kwargs.update(
                authenticator=self._authenticate,
                auth_exclude_mechanism=[m for m in MECHANISMS if m not in mechanisms],
                # Without STARTTLS the login is offered in the clear, as on a loopback relay.
                auth_require_tls=starttls)
        if starttls or implicit_tls:
            cert, key = make_certificate(Path(tmp_dir))
            context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
            context.load_cert_chain(cert, key)
            kwargs["tls_context" if starttls else "ssl_context"] = context
            self.ca_file = cert
        self._kwargs = kwargs
        self._controller = None

    def _authenticate(self, server, session, envelope, mechanism, auth_data):
        self.auth_attempts += 1
        ok = (auth_data.login == self.user.encode()
              and auth_data.password == self.password.encode())
        return AuthResult(success=ok, handled=False)

    def start(self):
        # The port is chosen before the server binds it; another process may take it first.
        for attempt in range(5):
            self.port = self.fixed_port or free_port(self.host)
            controller = Controller(_Handler(self), hostname=self.host, port=self.port,
                                    ready_timeout=10, **self._kwargs)
            try:
                controller.start()
            except Exception:
                if attempt == 4:
                    raise
                continue
            self._controller = controller
            return self

    def stop(self):
        if self._controller is not None:
            self._controller.stop()
            self._controller = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
