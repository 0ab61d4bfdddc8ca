"""SendMail with the real mail component, against a real SMTP server on 127.0.0.1."""

import email
import email.policy
import email.utils
import os
import re
import subprocess
from datetime import datetime, timedelta, timezone

import pytest

from smtp_server import SmtpServer, free_port

SENDER = "zarvo@sender.example"
RECEIVER = "admin@receiver.example"
HEADERS = {"Date", "From", "To", "Subject", "Message-ID", "X-Priority", "MIME-Version",
           "Content-Type", "Content-Transfer-Encoding"}


@pytest.fixture
def send(build_dir, tmp_path):
    """Runs the driver: each mail is (server, recipient, body, user, password, error), where a
    body is bytes or "report:<message>". Returns (log texts, bodies sent, stderr)."""
    driver = build_dir / "tests" / "report" / "sendmail_driver"
    if not driver.exists():
        pytest.fail(f"{driver} is not built")

    def run(*mails, sender=SENDER, ca_file=None):
        args = [str(driver), str(tmp_path), sender]
        for n, (server, rcpt, body, user, password, error) in enumerate(mails, 1):
            if isinstance(body, bytes):
                (tmp_path / f"in{n}").write_bytes(body)
                body = f"@{tmp_path / f'in{n}'}"
            args += [server, rcpt, body, user, password, "1" if error else "0"]
        env = {k: v for k, v in os.environ.items() if k != "ZARVO_CA_FILE"}
        if ca_file:
            env["ZARVO_CA_FILE"] = str(ca_file)
        done = subprocess.run(args, capture_output=True, env=env, timeout=60)
        assert done.returncode == 0, done.stderr
        log = tmp_path / "log" / "zarvoupdater.log"
        lines = log.read_bytes().decode().split("\r\n")[:-1] if log.exists() else []
        texts = [line.split(" ", 2)[2] for line in lines]  # after short date and long time
        bodies = [(tmp_path / f"body{n}.html").read_bytes() for n in range(1, len(mails) + 1)]
        return texts, bodies, done.stderr.decode()

    return run


def parse(received):
    """The message, after checking what every mail must keep on the wire."""
    lines = received.data.split(b"\r\n")
    assert max(len(line) for line in lines) < 998
    assert received.data.count(b"\n") == received.data.count(b"\r\n")
    assert received.data.isascii()
    return email.message_from_bytes(received.data, policy=email.policy.default)


@pytest.mark.parametrize("mechanism, error", [("PLAIN", False), ("LOGIN", True)])
def test_report_mail_arrives_with_every_header_and_the_body_unchanged(
        send, tmp_path, mechanism, error):
    with SmtpServer(tmp_path, user="zarvo", password="geheim", mechanisms=(mechanism,)) as server:
        log, bodies, _ = send((f"127.0.0.1:{server.port}", RECEIVER, "report:Update <b>&</b>",
                               "zarvo", "geheim", error))
    assert log == []
    [received] = server.messages
    assert (received.mail_from, received.rcpt_tos) == (SENDER, [RECEIVER])
    message = parse(received)
    assert set(message.keys()) == HEADERS and len(message.keys()) == len(HEADERS)
    assert message["From"] == SENDER and message["To"] == RECEIVER
    assert message["Subject"] == ("ZARVOUpdater ERROR" if error else "ZARVOUpdater Success")
    assert message["X-Priority"] == ("1" if error else "3")
    sent = email.utils.parsedate_to_datetime(message["Date"])
    assert abs(sent - datetime.now(timezone.utc)) < timedelta(minutes=5)
    assert re.fullmatch(r"<[^<>@\s]+@sender\.example>", message["Message-ID"])
    assert message["MIME-Version"] == "1.0"
    assert message.get_content_type() == "text/html"
    assert message.get_content_charset() == "utf-8"
    assert message["Content-Transfer-Encoding"] == "quoted-printable"
    assert message.get_payload(decode=True) == bodies[0]
    assert b"Update <b>&</b>" in bodies[0] and b"Tovik ZARVOUpdater" in bodies[0]


@pytest.mark.parametrize("recipients", ["a@x.example;b@y.example", " a@x.example; ;b@y.example; "])
def test_each_listed_recipient_gets_the_mail(send, tmp_path, recipients):
    with SmtpServer(tmp_path) as server:
        log, _, _ = send((f"127.0.0.1:{server.port}", recipients, "report:m", "", "", False))
    assert log == []
    [received] = server.messages
    assert received.rcpt_tos == ["a@x.example", "b@y.example"]
    to = parse(received)["To"].addresses
    assert [a.addr_spec for a in to] == ["a@x.example", "b@y.example"]


def test_second_mail_through_the_same_instance_carries_nothing_over(send, tmp_path):
    with SmtpServer(tmp_path, user="zarvo", password="geheim") as server:
        log, bodies, _ = send(
            (f"127.0.0.1:{server.port}", "first@x.example;other@x.example", "report:first",
             "zarvo", "geheim", True),
            (f"127.0.0.1:{server.port}", "second@y.example", b"<p>second</p>", "", "", False))
    assert log == []
    first, second = server.messages
    assert second.rcpt_tos == ["second@y.example"]
    message = parse(second)
    assert (message["To"], message["Subject"], message["X-Priority"]) == (
        "second@y.example", "ZARVOUpdater Success", "3")
    assert message.get_payload(decode=True) == bodies[1] == b"<p>second</p>"
    assert message["Message-ID"] != parse(first)["Message-ID"]


def test_non_ascii_100_kib_body_arrives_intact(send, tmp_path):
    # Line ends of every kind, dots and "From " at line starts, "=" and blanks before breaks.
    chunk = "Grüße aus Köln ✓ <b>&amp;</b> a=b \r\n.\nFrom here\r. \t\n".encode()
    body = (chunk * (100 * 1024 // len(chunk) + 1))[:100 * 1024]
    with SmtpServer(tmp_path) as server:
        log, _, _ = send((f"127.0.0.1:{server.port}", RECEIVER, body, "", "", False))
    assert log == []
    message = parse(server.messages[0])
    assert message.get_payload(decode=True) == body


def refused_login(port):
    return (f"127.0.0.1:{port}", RECEIVER, "zarvo", "falsch")


FAILURES = {
    "refused login": (dict(user="zarvo", password="geheim"), refused_login, SENDER,
                      r'\[535\] Mail not sent: .*; server replied '
                      r'"535 5\.7\.8 Authentication credentials invalid"'),
    "refused recipient": (dict(refused_recipients=["nobody@receiver.example"]),
                          lambda port: (f"127.0.0.1:{port}", "nobody@receiver.example", "", ""),
                          SENDER, r'\[550\] Mail not sent: .*; server replied "550 5\.1\.1 '
                                  r'<nobody@receiver\.example>: Recipient address rejected: '
                                  r'unknown user"'),
    "no server on the port": (None, lambda port: (f"127.0.0.1:{free_port()}", RECEIVER, "", ""),
                              SENDER, r"\[7\] Mail not sent: .*127\.0\.0\.1.*"),
    "dropped after the data": (dict(drop_after_data=True),
                               lambda port: (f"127.0.0.1:{port}", RECEIVER, "", ""),
                               SENDER, r"\[\d+\] Mail not sent: .+"),
    "empty server": (None, lambda port: ("", RECEIVER, "", ""), SENDER,
                     r"\[5\] Mail not sent: no SMTP server"),
    "empty sender": (dict(), lambda port: (f"127.0.0.1:{port}", RECEIVER, "", ""), "",
                     r"\[5\] Mail not sent: no sender address"),
}


@pytest.mark.parametrize("case", FAILURES.values(), ids=FAILURES.keys())
def test_failure_writes_exactly_one_error_line(send, tmp_path, case):
    server_options, mail, sender, expected = case
    server = SmtpServer(tmp_path, **server_options) if server_options is not None else None
    try:
        port = server.start().port if server else None
        host, rcpt, user, password = mail(port)
        log, _, _ = send((host, rcpt, "report:m", user, password, True), sender=sender)
    finally:
        if server:
            server.stop()
    assert len(log) == 1 and re.fullmatch(expected, log[0]), log
    if server and not server.drop_after_data:
        assert server.messages == []


@pytest.mark.parametrize("trusted", [True, False])
def test_starttls_needs_the_certificate_to_be_trusted(send, tmp_path, trusted):
    with SmtpServer(tmp_path, user="zarvo", password="geheim", starttls=True) as server:
        log, bodies, _ = send(
            (f"smtp://localhost:{server.port}", RECEIVER, "report:tls", "zarvo", "geheim", False),
            ca_file=server.ca_file if trusted else None)
    if trusted:
        assert log == []
        [received] = server.messages
        assert received.tls
        assert parse(received).get_payload(decode=True) == bodies[0]
    else:
        assert log == ["[60] Mail not sent: SSL certificate problem: self-signed certificate"]
        assert server.messages == []


def test_smtps_server_gets_the_mail_over_tls_from_the_first_byte(send, tmp_path):
    with SmtpServer(tmp_path, user="zarvo", password="geheim", implicit_tls=True) as server:
        log, bodies, _ = send(
            (f"smtps://127.0.0.1:{server.port}", RECEIVER, "report:tls", "zarvo", "geheim", False),
            ca_file=server.ca_file)
    assert log == []
    [received] = server.messages
    assert received.tls
    assert parse(received).get_payload(decode=True) == bodies[0]


@pytest.mark.skipif(os.geteuid() != 0, reason="only root binds port 465")
def test_port_465_without_a_scheme_means_tls_from_the_first_byte(send, tmp_path):
    # The end-to-end run has a network namespace of its own, so port 465 is free there.
    with SmtpServer(tmp_path, user="zarvo", password="geheim", implicit_tls=True,
                    port=465) as server:
        log, _, _ = send(("127.0.0.1:465", RECEIVER, "report:465", "zarvo", "geheim", False),
                         ca_file=server.ca_file)
    assert log == []
    [received] = server.messages
    assert received.tls
    # Written out, the scheme still says what it means: plain SMTP, even on port 465.
    with SmtpServer(tmp_path, port=465) as server:
        log, _, _ = send(("smtp://127.0.0.1:465", RECEIVER, "report:plain", "", "", False))
    assert log == []
    [received] = server.messages
    assert not received.tls


REMOTE = os.environ.get("ZARVO_TEST_REMOTE_ADDRESS")


@pytest.mark.skipif(not REMOTE, reason="needs a non-loopback local address (run-e2e adds one)")
def test_login_to_a_server_on_another_machine_needs_tls(send, tmp_path):
    with SmtpServer(tmp_path, user="zarvo", password="geheim", host=REMOTE) as server:
        log, _, _ = send(
            (f"{REMOTE}:{server.port}", RECEIVER, "report:m", "zarvo", "geheim", True),
            (f"{REMOTE}:{server.port}", RECEIVER, "report:anonymous", "", "", False))
    assert len(log) == 1 and re.fullmatch(
        r"\[64\] Mail not sent: the server offers no TLS, and the user name and password are "
        r"only sent encrypted \(.+\)", log[0]), log
    assert server.auth_attempts == 0
    [received] = server.messages
    assert not received.tls and b"anonymous" in received.data
