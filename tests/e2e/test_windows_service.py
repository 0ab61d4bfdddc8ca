"""zarvoupdater.exe as a Windows service under Wine's service control manager: installed with its
own -install, started and stopped with `net`, paused and continued through ControlService, removed
with -uninstall. The program's tick is the real one second here: ZARVO_TICK_MS does not reach a
process that the service manager starts, so the settings use Interval=0 (a cycle every tick).

Wine keeps no event log: ReportEventW shows its arguments in Wine's debug output only, on the
standard error that the service manager and with it the service inherit from the first program
of the session. The tests read the entries there."""

import os
import re
import shutil
import socket
import subprocess
import time

import pytest

from test_windows import HOST, WindowsProgram, windows_build  # noqa: F401 (a fixture)
from zarvo import LONG, REPO, FakeProvider, wait_for, write_ini

NAME = "ZARVOUpdater"
WINE = "/usr/lib/wine/wine64"
STOPPED, RUNNING, PAUSED = 1, 4, 7
# SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN
CONTROLS = 1 | 2 | 4
CALL = re.compile(r"^(\w+):fixme:advapi:ReportEventW \([^,]*,0x([0-9a-f]+),0x[0-9a-f]+,"
                  r"0x([0-9a-f]+),")
EVENT_SOURCE = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\ZARVOUpdater"
TEXT = re.compile(r'^(\w+):\w+:eventlog:ReportEventW L"(.*)"$')


class WineSession:
    """A Wine prefix apart from the one of the other Windows tests, so that Wine can be restarted
    with the event log's debug channels and a service installed without disturbing them; with
    the service tools' questions to it."""

    def __init__(self, windows_build, prefix, debug_file=None, display=None):
        self.prefix = prefix
        self.tool_path = windows_build / "tests" / "service" / "service_tool.exe"
        self.debug_file = debug_file
        self.environment = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all")
        self.environment.pop("DISPLAY", None)
        if display:
            self.environment["DISPLAY"] = display

    def wine(self, *arguments, timeout=LONG * 3):
        return subprocess.run([WINE, *arguments], capture_output=True, text=True,
                              timeout=timeout, env=self.environment, stdin=subprocess.DEVNULL)

    def ask(self, *arguments):
        """The test tool's answer as a dict, None when its call failed."""
        result = self.wine(str(self.tool_path), *arguments)
        if result.returncode != 0:
            return None
        return dict(line.split("=", 1) for line in result.stdout.splitlines())

    def tool(self, *arguments):
        answer = self.ask(*arguments)
        assert answer is not None, f"service_tool {arguments} failed"
        return answer

    def state(self):
        answer = self.tool("state", NAME)
        return int(answer["state"]), int(answer["controls"])

    def event_offset(self):
        return self.debug_file.stat().st_size

    def events(self, since=0):
        """(type, id, text) of every ReportEventW call after `since`, in order."""
        with self.debug_file.open(encoding="utf-8", errors="replace") as debug:
            debug.seek(since)
            lines = debug.read().splitlines()
        events, open_calls = [], {}
        for line in lines:
            if call := CALL.match(line):
                open_calls[call.group(1)] = (int(call.group(2), 16), int(call.group(3), 16))
            elif (text := TEXT.match(line)) and text.group(1) in open_calls:
                events.append((*open_calls.pop(text.group(1)), text.group(2)))
        return events


@pytest.fixture(scope="module")
def display():
    """An X server of the module's own, for the message boxes, ended by its PID."""
    if shutil.which("Xvfb") is None:
        pytest.fail("Xvfb is missing; run scripts/install-deps")
    read_end, write_end = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
                               "-screen", "0", "1024x768x24"], pass_fds=(write_end,),
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    os.close(write_end)
    try:
        with os.fdopen(read_end) as announced:
            number = announced.readline().strip()
        assert number, "Xvfb named no display"
        yield f":{number}"
    finally:
        server.terminate()
        server.wait(timeout=LONG)


@pytest.fixture(scope="module")
def session(windows_build, display, tmp_path_factory):  # noqa: F811
    directory = tmp_path_factory.mktemp("wine")
    session = WineSession(windows_build, windows_build / "wineprefix-service",
                          directory / "debug.txt", display)
    script = str(REPO / "scripts" / "wine-session")
    subprocess.run([script, "start", str(session.prefix)], check=True, timeout=120)
    # A prefix just prepared can leave two service managers running, and `net start` then
    # hangs: Wine starts afresh once.
    subprocess.run([script, "stop", str(session.prefix)], check=True, timeout=LONG)
    subprocess.run(["/usr/lib/wine/wineserver", "-p"], env=session.environment, check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=LONG)
    # The first program of the session starts the service manager, which inherits its standard
    # error, with the event log's debug channels on, and hands it to the service. The same
    # program keeps a window open: Wine's desktop process ends about a second after its last
    # window closes, and a program started in that second hangs.
    held = directory / "hold.txt"
    with (directory / "debug.txt").open("w") as debug, held.open("w") as out:
        holder = subprocess.Popen(
            [WINE, str(session.tool_path), "hold"], stdin=subprocess.PIPE, stdout=out,
            stderr=debug, env=dict(session.environment, WINEDEBUG="-all,+eventlog,fixme+advapi"))
    try:
        wait_for(lambda: "holding" in held.read_text(), timeout=LONG * 6, what="the held window")
        # A service left behind by an aborted run would make every -install fail.
        session.wine("sc", "delete", NAME)
        session.wine("reg", "delete", EVENT_SOURCE, "/f")
        yield session
    finally:
        holder.stdin.close()
        try:
            holder.wait(timeout=LONG)
        finally:
            subprocess.run([script, "stop", str(session.prefix)], check=True, timeout=LONG)
            if holder.poll() is None:
                holder.kill()
                holder.wait(timeout=LONG)


@pytest.fixture
def provider(tmp_path):
    provider = FakeProvider(tmp_path)
    yield provider
    provider.stop()


@pytest.fixture
def program(tmp_path, windows_build, session, provider):  # noqa: F811
    program = WindowsProgram(tmp_path, windows_build, session.prefix)
    write_ini(program.ini, {
        "Application": {"Interval": "0", "IsDebug": "True", "Loglevel": "4",
                        "ZARVOUpdater": "on", "Email": "off"},
        "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": f"{provider.url}/meineip.php"},
        "ACCOUNT": {"Username": "demo", "Password": "secret", "Host": HOST},
        "WAN": {},
    })
    yield program
    # A test that failed half-way leaves no service behind for the next one.
    if session.ask("state", NAME) is not None:
        answered(session, program, "-uninstall")


def answered(session, program, *arguments):
    """Runs the program, reads its message box and presses OK as a person would: (exit status,
    the box's text, standard error)."""
    process = subprocess.Popen(program.command(*arguments), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               env=session.environment, cwd=program.path)
    try:
        answer = session.tool("answer", "zarvoupdater")
        _, stderr = process.communicate(timeout=LONG)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait(timeout=LONG)
    assert answer["buttons"] == "OK"
    return process.returncode, answer["text"], stderr


def install(session, program):
    assert answered(session, program, "-install") == (0, f"{NAME} installed successfully", "")


def net(session, command):
    result = session.wine("net", command, NAME)
    assert result.returncode == 0, result.stdout + result.stderr


def stop(session):
    """Stops the service through ControlService: the seconds from the request until the service
    reported "stopped"."""
    return int(session.tool("stop", NAME)["ms"]) / 1000


def test_install_registers_an_automatic_service_and_its_event_source_once(session, program):
    # Wine keeps no DACL of a folder but makes one from its mode and owner: a folder of another
    # Unix user belongs to "Anonymous", who may change it, and its rules, whatever -install gave
    # it. Such a folder is refused.
    folder = "Z:" + str(program.path).replace("/", "\\")
    os.chown(program.path, 65534, -1)
    assert answered(session, program, "-install") == (
        1, f"{NAME} failed to install", f"{NAME}: users other than SYSTEM and the Administrators "
        f"may still change {folder}, where the service's program is\n")
    assert session.ask("config", NAME) is None
    os.chown(program.path, os.getuid(), -1)

    install(session, program)
    exe = "Z:" + str(program.path / "zarvoupdater.exe").replace("/", "\\")
    config = session.tool("config", NAME)
    assert config == {
        "type": "16",  # its own process
        "start": "2",  # automatic
        "path": f'"{exe}"',
        "account": "LocalSystem",
        "display": NAME,
        "description": "Keeps the host name at the dynamic-DNS provider pointing at this "
                       "network's external IPv4 address.",
    }
    # Error, warning and information.
    assert session.tool("source", NAME) == {"file": exe, "types": "7"}
    # The message table in the registered file shows each entry's text in full.
    for event_id, text in ((109, "Service paused"), (110, "Service continued"),
                           (1, "[5] Invalid procedure call or argument")):
        assert session.tool("message", exe, str(event_id), text) == {"message": text}

    assert answered(session, program, "-install") == (
        1, f"{NAME} failed to install", f"{NAME}: the service {NAME} exists already\n")
    assert session.tool("config", NAME) == config
    assert session.tool("source", NAME) == {"file": exe, "types": "7"}


def test_the_service_runs_cycles_pauses_continues_and_stops(session, program, provider):
    install(session, program)
    since = session.event_offset()
    net(session, "start")
    wait_for(lambda: provider.updates(), timeout=LONG * 2, what="the first cycle's update")
    assert session.state() == (RUNNING, CONTROLS)
    assert session.events(since) == [], "a normal start writes no entry"

    session.tool("pause", NAME)
    wait_for(lambda: session.state()[0] == PAUSED, what="the paused state")
    echoes = len(provider.requests("/meineip.php"))
    time.sleep(2.5)
    assert len(provider.requests("/meineip.php")) - echoes <= 1, "no cycle starts while paused"
    echoes = len(provider.requests("/meineip.php"))

    session.tool("continue", NAME)
    wait_for(lambda: session.state()[0] == RUNNING, what="the running state")
    wait_for(lambda: len(provider.requests("/meineip.php")) > echoes, what="the next cycle")
    assert session.events(since) == [(1, 109, "Service paused"), (4, 110, "Service continued")]

    net(session, "stop")
    wait_for(lambda: session.state() == (STOPPED, 0), what="the stopped state")
    assert len(provider.updates()) == 1


def test_a_pause_during_a_cycle_holds_after_the_cycle_ends(session, program, provider):
    provider.control(delay=1.5)
    install(session, program)
    net(session, "start")
    wait_for(lambda: any(line.startswith("Get external") for line in program.log_lines()),
             timeout=LONG * 2, what="the echo request")
    session.tool("pause", NAME)
    wait_for(lambda: session.state()[0] == PAUSED, what="the paused state")
    wait_for(lambda: program.ended_cycles() == 1, timeout=LONG * 2, what="the cycle's end")
    requests = len(provider.requests())
    time.sleep(2.5)
    assert len(provider.requests()) == requests, "no cycle after the paused one"
    assert session.state()[0] == PAUSED
    assert stop(session) < 1.0


def test_stop_ends_a_request_the_echo_page_stalls_within_a_second(session, program, provider):
    provider.control(delay=30)
    install(session, program)
    net(session, "start")
    wait_for(lambda: any(line.startswith("Get external") for line in program.log_lines()),
             timeout=LONG * 2, what="the echo request")
    assert stop(session) < 1.0
    assert program.log_lines()[-1].startswith("Get external"), "nothing is written half-done"


def test_stop_ends_a_mail_to_a_server_that_never_answers_within_a_second(session, program,
                                                                         provider):
    with socket.create_server(("127.0.0.1", 0)) as silent:
        silent.settimeout(LONG * 2)
        write_ini(program.ini, {
            "Application": {"Interval": "0", "ZARVOUpdater": "on", "Email": "on",
                            "Email_Server": f"127.0.0.1:{silent.getsockname()[1]}",
                            "Email_Receiver": "admin@zarvo.example",
                            "Email_Sender": "zarvo@zarvo.example"},
            "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": f"{provider.url}/meineip.php"},
            "ACCOUNT": {"Username": "demo", "Password": "secret", "Host": HOST},
        })
        install(session, program)
        net(session, "start")
        connection, _ = silent.accept()  # the report mail, waiting for a greeting
        with connection:
            assert stop(session) < 1.0


def test_a_runtime_error_of_the_cycle_is_an_event_log_entry(session, program, provider):
    write_ini(program.ini, {
        "Application": {"Interval": "0", "ZARVOUpdater": "on", "Email": "off"},
        "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": "http://127.0.0.1"},
    })
    install(session, program)
    since = session.event_offset()
    net(session, "start")
    wait_for(lambda: session.events(since), timeout=LONG * 2, what="the error entry")
    net(session, "stop")
    assert session.events(since)[0] == (109, 1, "[5] Invalid procedure call or argument")
    assert provider.requests() == []


def test_uninstall_stops_the_running_service_and_removes_it_and_its_event_source(session,
                                                                               program):
    install(session, program)
    net(session, "start")
    assert answered(session, program, "-uninstall") == (
        0, f"{NAME} uninstalled successfully", "")
    assert session.ask("config", NAME) is None
    assert session.ask("source", NAME) is None

    assert answered(session, program, "-uninstall") == (
        1, f"{NAME} failed to uninstall", f"{NAME}: the service {NAME} is not installed\n")


def test_a_start_without_the_service_manager_or_with_an_unknown_option_ends_at_once(session,
                                                                                   program):
    plain = program.run()
    assert plain.returncode == 1
    assert "net start ZARVOUpdater" in plain.stderr and "-debug" in plain.stderr
    for option in ("-INSTALL", "-install now"):
        assert answered(session, program, *option.split()) == (2, "Invalid command option", "")
    assert session.ask("state", NAME) is None
    assert not program.log.exists(), "no cycle ran"
