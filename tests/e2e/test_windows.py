"""The Windows program (zarvoupdater.exe -debug) under Wine: the update cycle end to end against
the fake provider and the SMTP test server, in a program directory with blanks and letters
beyond ASCII. Every test here holds for Windows only."""

import email
import os
import re
import shutil
import signal
import subprocess
import time
from pathlib import Path

import pytest

from zarvo import LONG, REPO, FakeProvider, wait_for, write_ini

HOST = "myhost.zarvo.example"
RULE = "#" * 96
START = [RULE, "#START".ljust(95) + "#", RULE]
END = [RULE, "#ENDE".ljust(95) + "#", RULE]
# A Windows log line starts with the short date and the long time of the user's locale, which
# may end in AM or PM.
STAMP = re.compile(r"^\S+ \S+(?: [AP]M)? ")


@pytest.fixture(scope="session")
def windows_build():
    path = Path(os.environ.get("ZARVO_WINDOWS_BUILD_DIR", REPO / "build-windows")).resolve()
    if not (path / "zarvoupdater.exe").exists():
        pytest.fail(f"no zarvoupdater.exe in {path}; run 'make windows'")
    return path


@pytest.fixture(scope="session")
def wine_prefix(windows_build):
    """One prefix for the session, its wineserver kept alive until the end: the one the unit
    tests of the tree prepared already, where they ran."""
    prefix = windows_build / "wineprefix"
    session = REPO / "scripts" / "wine-session"
    subprocess.run([str(session), "start", str(prefix)], check=True, timeout=120)
    yield prefix
    subprocess.run([str(session), "stop", str(prefix)], check=True, timeout=LONG)


class WindowsProgram:
    def __init__(self, root, windows_build, wine_prefix):
        self.path = Path(root) / "Program Files" / "ZARVO Üpdater €"
        self.path.mkdir(parents=True)
        shutil.copy2(windows_build / "zarvoupdater.exe", self.path)
        self.ini = self.path / "zarvoupdater.ini"
        self.log = self.path / "log" / "zarvoupdater.log"
        self.prefix = wine_prefix
        self.process = None

    def environment(self, extra=None):
        environment = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all")
        environment.update(extra or {})
        return environment

    def command(self, *arguments):
        return [str(REPO / "scripts" / "wine-run"), str(self.path / "zarvoupdater.exe"),
                *arguments]

    def run(self, *arguments):
        return subprocess.run(self.command(*arguments), capture_output=True, text=True,
                              timeout=LONG * 3, env=self.environment(), cwd=self.path,
                              stdin=subprocess.DEVNULL)

    def start(self, env=None):
        self.stderr_path = self.path.parent / "stderr.txt"
        with self.stderr_path.open("w") as stderr:
            self.process = subprocess.Popen(self.command("-debug"), stdout=subprocess.DEVNULL,
                                            stderr=stderr, cwd=self.path, stdin=subprocess.DEVNULL,
                                            env=self.environment({"ZARVO_TICK_MS": "20",
                                                                  **(env or {})}))

    def stop(self, timeout=LONG):
        """Ctrl+C (Wine turns SIGINT into the console's control event); the exit status."""
        self.process.send_signal(signal.SIGINT)
        try:
            return self.process.wait(timeout=timeout)
        finally:
            self.kill()

    def kill(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=LONG)

    def cpu_seconds(self):
        fields = Path(f"/proc/{self.process.pid}/stat").read_text().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def events(self):
        return [line for line in self.stderr_path.read_text().splitlines()
                if line.startswith("event ")]

    def log_lines(self):
        try:
            text = self.log.read_bytes().decode("utf-8", "replace")
        except FileNotFoundError:  # not yet there, or just renamed into a backup
            return []
        complete = text.split("\r\n")[:-1]
        return [STAMP.sub("", line, count=1) for line in complete]

    def ended_cycles(self):
        return sum(1 for line in self.log_lines() if line.startswith("#ENDE"))

    def stored_address(self):
        match = re.search(r"^LastIPAdress=(.*)$", self.ini.read_text(encoding="utf-8"), re.M)
        return match.group(1) if match else None


@pytest.fixture
def provider(tmp_path):
    provider = FakeProvider(tmp_path)
    yield provider
    provider.stop()


@pytest.fixture
def program(tmp_path, windows_build, wine_prefix, provider):
    program = WindowsProgram(tmp_path, windows_build, wine_prefix)

    def settings(application=None, zarvo=None):
        # Written with LF line ends, as a Linux editor leaves them.
        write_ini(program.ini, {
            "Application": {"Interval": "10", "IsDebug": "True", "Loglevel": "4",
                            "ZARVOUpdater": "on", "Email": "off", **(application or {})},
            "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": f"{provider.url}/meineip.php",
                      **(zarvo or {})},
            "ACCOUNT": {"Username": "demo", "Password": "secret", "Host": HOST},
            "WAN": {},
        })

    program.settings = settings
    settings()
    yield program
    program.kill()


def run_cycles(program, count=1):
    program.start()
    wait_for(lambda: program.ended_cycles() >= count, timeout=LONG * 2, what="the cycles")
    assert program.stop() == 0
    return program.log_lines()


def test_windows_a_good_cycle_logs_updates_and_writes_the_settings_file_back(program, provider):
    assert run_cycles(program) == [
        *START,
        "Read INI File",
        f"Get external IP Address from: {provider.url}/meineip.php",
        "The external IP Address is: 84.1.2.3",
        f"Update this Host: {HOST}",
        "Warning: the provider password crosses the network readable: ZARVOServer is http://, "
        "not https://",
        "Your hostname has been updated.",
        *END,
    ]
    assert program.stored_address() == "84.1.2.3"
    update, = provider.updates()
    assert update["path"] == f"/nic/update?hostname={HOST}&myip=84.1.2.3"
    assert (update["user"], update["password_ok"]) == ("demo", True)
    assert update["user_agent"] == "Tovik ZARVOUpdater/Windows-1.0.0 support@zarvo.example"
    assert program.events() == []


@pytest.mark.parametrize("router", [["--address", "84.9.8.7"]], indirect=True)
def test_windows_the_router_s_address_over_upnp_goes_out(program, provider, router):
    program.settings(zarvo={"WANIPSource": "router"})
    lines = run_cycles(program)
    assert re.fullmatch(r"Get external IP Address from: router http://198\.51\.100\.1:\d+/"
                        r"rootDesc\.xml", lines[len(START) + 1])
    assert [update["path"] for update in provider.updates()] == [
        f"/nic/update?hostname={HOST}&myip=84.9.8.7"]


def test_windows_ipv6_from_an_echo_page_over_ipv6_goes_out_beside_ipv4(program, provider):
    echo = provider.url.replace("127.0.0.1", "[::1]") + "/meineip.php"
    program.settings(application={"IPv6": "on"}, zarvo={"WANIPv6Source": echo})
    assert run_cycles(program)[len(START) + 3:-len(END)] == [
        f"Get external IPv6 Address from: {echo}",
        "The external IPv6 Address is: 2a00:1450:4001:82b::200e",
        f"Update this Host: {HOST}",
        "Warning: the provider password crosses the network readable: ZARVOServer is http://, "
        "not https://",
        "Your hostname has been updated.",
    ]
    update, = provider.updates()
    assert update["path"] == f"/nic/update?hostname={HOST}&myip=84.1.2.3,2a00:1450:4001:82b::200e"


def test_windows_a_save_is_answered_by_a_cycle_and_the_own_write_is_not(program):
    program.start()  # ticks of 20 ms: the interval of ten minutes takes 12 s
    wait_for(lambda: program.ended_cycles() == 1, timeout=LONG * 2, what="the first cycle")
    time.sleep(1.0)
    assert program.ended_cycles() == 1, "the stored address is the service's own write"
    program.ini.write_text(program.ini.read_text().replace("Password=secret", "Password=new"))
    wait_for(lambda: program.ended_cycles() == 2, timeout=2.0, what="the cycle after the save")
    assert program.stop() == 0


def test_windows_nochg_confirms_the_address_as_good_does(program, provider):
    provider.control(answer="nochg 84.1.2.3")
    lines = run_cycles(program)
    assert lines[-len(END) - 1] == ("This update was identical to your last update, so no "
                                    "changes were made to your hostname configuration.")
    assert program.stored_address() == "84.1.2.3"


def test_windows_a_stalled_echo_page_costs_no_cpu_and_ctrl_c_stops_at_once(program, provider):
    provider.control(delay=30)
    program.start()
    wait_for(lambda: any(line.startswith("Get external") for line in program.log_lines()),
             timeout=LONG * 2, what="the echo request")
    before = program.cpu_seconds()
    time.sleep(1.0)
    assert program.cpu_seconds() - before < 0.1, "the wait sleeps"
    started = time.monotonic()
    assert program.stop() == 0
    assert time.monotonic() - started < 1.0
    assert program.log_lines()[-1].startswith("Get external"), "nothing is written half-done"


def test_windows_an_error_answer_is_logged_and_mailed(program, provider, tmp_path):
    from smtp_server import SmtpServer
    with SmtpServer(tmp_path / "smtp") as server:
        program.settings(application={
            "Email": "on", "Email_Server": f"127.0.0.1:{server.port}",
            "Email_Receiver": "admin@zarvo.example", "Email_Sender": "zarvo@zarvo.example"})
        provider.control(answer="badauth")
        lines = run_cycles(program)
        assert lines[-len(END) - 1] == "Invalid username or password. Authentication failed."
        wait_for(lambda: server.messages, what="the error mail")
        message = email.message_from_bytes(server.messages[0].data)
    assert message["Subject"] == "ZARVOUpdater ERROR"
    assert program.stored_address() is None


def test_windows_a_runtime_error_gives_the_same_event_line_as_on_linux(program, provider):
    write_ini(program.ini, {
        "Application": {"Interval": "10", "IsDebug": "True", "Loglevel": "4",
                        "ZARVOUpdater": "on", "Email": "off"},
        "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": "http://127.0.0.1"},
    })
    lines = run_cycles(program)
    assert "[5] Invalid procedure call or argument" in lines
    assert "event type=109 id=1: [5] Invalid procedure call or argument" in program.events()
    assert provider.requests() == []


def test_windows_the_log_rotates_into_numbered_backups(program, provider):
    program.settings(application={"Interval": "0", "LogfileLen": "1", "Backups": "2"})
    program.start()
    # A cycle writes about 1 kB; the second backup appears after three rotations at the most.
    wait_for(lambda: (program.log.parent / "zarvoupdater2.log").exists() and
             program.ended_cycles() >= 1, timeout=LONG * 2, what="two rotations")
    assert program.stop() == 0
    # The rotation's lock file of the writers lives beside the logs.
    backups = sorted(p.name for p in program.log.parent.iterdir() if p.suffix == ".log")
    assert backups == ["zarvoupdater.log", "zarvoupdater1.log", "zarvoupdater2.log"]
    assert program.log.stat().st_size < 2000


def test_windows_a_log_directory_that_cannot_be_made_costs_the_log_not_the_cycle(program,
                                                                                provider):
    (program.path / "log").write_text("a file where the directory would go")
    program.start()
    wait_for(lambda: program.stored_address() == "84.1.2.3", timeout=LONG * 2,
             what="the address written back")
    assert program.stop() == 0
    assert len(provider.updates()) == 1


# Only the trusted case: Wine's Schannel accepts any certificate when no CA file is given (real
# Windows checks it against its certificate store), so a refusal cannot be shown here.
def test_windows_starttls_over_schannel_trusts_the_ca_file_of_the_tests(program, provider,
                                                                        tmp_path):
    from smtp_server import SmtpServer
    (tmp_path / "smtp").mkdir()
    with SmtpServer(tmp_path / "smtp", user="zarvo", password="geheim", starttls=True) as server:
        program.settings(application={
            "Email": "on", "Email_Server": f"localhost:{server.port}",
            "Email_Receiver": "admin@zarvo.example", "Email_Sender": "zarvo@zarvo.example",
            "Email_Username": "zarvo", "Email_Password": "geheim"})
        program.start(env={"ZARVO_CA_FILE": str(server.ca_file)})
        wait_for(lambda: server.messages, timeout=LONG * 2, what="the report mail")
        assert program.stop() == 0
        [received] = server.messages
    assert received.tls
    assert email.message_from_bytes(received.data)["Subject"] == "ZARVOUpdater Success"
