"""The service's command line, its systemd unit, readiness and its answers to signals."""

import os
import signal
import socket
import time
from pathlib import Path

import pytest

from zarvo import LONG, ProgramDir, wait_for, write_ini

# A cycle that never touches the network: a static address and the update switched off.
QUIET_INI = {
    "Application": {"Interval": "10", "IsDebug": "False", "ZARVOUpdater": "off"},
    "ZARVO": {"ZARVOServer": "http://127.0.0.1:9", "WANIPAdress": "http://127.0.0.1:9/meineip.php"},
    "ACCOUNT": {"StaticIPAddress": "84.1.2.3"},
}


@pytest.fixture
def program(tmp_path, build_dir):
    program = ProgramDir(tmp_path / "program", build_dir)
    write_ini(program.ini, QUIET_INI)
    yield program
    program.kill()


@pytest.fixture
def systemd_dir(tmp_path):
    path = tmp_path / "systemd"
    path.mkdir()
    return {"ZARVO_SYSTEMD_DIR": str(path)}, path


@pytest.mark.parametrize("arguments", [
    ["-Install"], ["-install", "x"], ["--install"], ["-debug "], ["-DEBUG"], ["/install"],
    ["-uninstall", "-debug"],
])
def test_anything_but_the_exact_options_is_refused(program, systemd_dir, arguments):
    env, unit_dir = systemd_dir
    result = program.run(*arguments, env=env)
    assert (result.returncode, result.stdout) == (2, "Invalid command option\n")
    assert list(unit_dir.iterdir()) == []
    assert not program.log.parent.exists()


def test_install_writes_the_unit_once_and_uninstall_removes_it(program, systemd_dir):
    env, unit_dir = systemd_dir
    unit = unit_dir / "ZARVOUpdater.service"

    result = program.run("-install", env=env)
    assert (result.returncode, result.stdout) == (0, "ZARVOUpdater installed successfully\n")
    text = unit.read_text()
    for line in ["Description=ZARVOUpdater", "Type=notify", f'ExecStart="{program.binary}"',
                 "Restart=on-failure", "After=network-online.target",
                 "Wants=network-online.target", "WantedBy=multi-user.target"]:
        assert line in text.splitlines()

    unit.write_text(text + "# edited by hand\n")
    again = program.run("-install", env=env)
    assert (again.returncode, again.stdout) == (1, "ZARVOUpdater failed to install\n")
    assert again.stderr == f"ZARVOUpdater: the unit {unit} exists already\n"
    assert unit.read_text().endswith("# edited by hand\n"), "a failed install changes nothing"

    removed = program.run("-uninstall", env=env)
    assert (removed.returncode, removed.stdout) == (0, "ZARVOUpdater uninstalled successfully\n")
    assert not unit.exists()

    missing = program.run("-uninstall", env=env)
    assert (missing.returncode, missing.stdout) == (1, "ZARVOUpdater failed to uninstall\n")


def test_the_unit_sandboxes_the_service_to_its_program_directory(tmp_path, build_dir,
                                                                  systemd_dir):
    program = ProgramDir(tmp_path / "a 100% $HOME dir", build_dir)
    for name in ("zarvoupdater.ini", ".zarvoupdater.ini.lock", ".zarvoupdater.ini.a1B2c3",
                 "configure", "log"):
        (program.path / name).touch()
    env, unit_dir = systemd_dir
    assert program.run("-install", env=env).returncode == 0
    lines = (unit_dir / "ZARVOUpdater.service").read_text().splitlines()
    # systemd expands "%" specifiers in these lines; "$" only in arguments.
    assert f'ReadWritePaths="{tmp_path}/a 100%% $HOME dir"' in lines
    assert f'ExecStart="{tmp_path}/a 100%% $HOME dir/zarvoupdater"' in lines
    # Only the settings and the log are the service's to write, not the programs.
    assert (f'ReadOnlyPaths="-{tmp_path}/a 100%% $HOME dir/configure" '
            f'"-{tmp_path}/a 100%% $HOME dir/zarvoupdater"') in lines
    for line in ["ProtectSystem=strict", "ProtectHome=yes", "PrivateDevices=yes",
                 "CapabilityBoundingSet=", "SystemCallFilter=@system-service", "UMask=0077",
                 "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6 AF_NETLINK", "NoNewPrivileges=yes"]:
        assert line in lines


@pytest.mark.parametrize("folder, owner, mode, reason", [
    ("program", 65534, 0o755, "belongs to user 65534, not to root"),
    ("program", 0, 0o1777, "is writable by others than root (mode 1777)"),
    ("above", 0, 0o777, "is writable by others than root (mode 0777)"),
    ("above", 0, 0o1777, None),  # a sticky folder of root's, as /tmp, is safe above the program's
])
def test_install_takes_only_a_program_that_root_alone_can_change(tmp_path, build_dir, systemd_dir,
                                                                  folder, owner, mode, reason):
    program = ProgramDir(tmp_path / "above" / "program", build_dir)
    changed = program.path if folder == "program" else program.path.parent
    os.chown(changed, owner, -1)
    changed.chmod(mode)
    refused = ("ZARVOUpdater: a root service must not run a program that others can change: "
               f"{changed} {reason}\n")
    result = program.run("-install", env=systemd_dir[0])
    assert (result.returncode, result.stderr) == ((0, "") if reason is None else (1, refused))


def test_install_into_a_missing_directory_fails_and_says_why(program, tmp_path):
    result = program.run("-install", env={"ZARVO_SYSTEMD_DIR": str(tmp_path / "nowhere")})
    assert (result.returncode, result.stdout) == (1, "ZARVOUpdater failed to install\n")
    unit = tmp_path / "nowhere" / "ZARVOUpdater.service"
    assert result.stderr == f"ZARVOUpdater: cannot write {unit}: No such file or directory\n"


def test_normal_start_tells_systemd_it_is_ready_and_reports_pause(program, tmp_path):
    address = str(tmp_path / "notify.sock")
    with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as notify:
        notify.bind(address)
        notify.settimeout(LONG)
        program.start(env={"NOTIFY_SOCKET": address})
        assert notify.recv(4096).decode().split("\n")[0] == "READY=1"
        program.signal(signal.SIGUSR1)
        assert notify.recv(4096).decode() == "STATUS=Paused"
        program.signal(signal.SIGUSR2)
        assert notify.recv(4096).decode() == "STATUS=Running"
        assert program.stop() == 0
    assert program.events() == [], "without -debug nothing is mirrored on standard error"


def test_debug_mode_sends_nothing_to_systemd(program, tmp_path):
    address = str(tmp_path / "notify.sock")
    with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as notify:
        notify.bind(address)
        notify.settimeout(0.5)
        program.start("-debug", env={"NOTIFY_SOCKET": address})
        with pytest.raises(socket.timeout):
            notify.recv(4096)
        assert program.stop() == 0


def test_pause_and_continue_write_their_event_entries(program):
    program.start("-debug")
    time.sleep(0.3)
    assert program.events() == [], "a normal start writes no event-log entry"
    program.signal(signal.SIGUSR1)
    wait_for(lambda: len(program.events()) == 1, what="the pause entry")
    # A second continue while running: sent only after the first was handled, since two
    # pending signals of one kind merge into one.
    for count in (2, 3):
        program.signal(signal.SIGUSR2)
        wait_for(lambda: len(program.events()) == count, what="a continue entry")
    program.signal(signal.SIGHUP)
    assert program.stop() == 0
    assert program.events() == [
        "event type=1 id=109: Service paused",
        "event type=4 id=110: Service continued",
        "event type=4 id=110: Service continued",
    ]


def test_stop_while_paused_ends_at_once(program):
    program.start("-debug")
    program.signal(signal.SIGUSR1)
    wait_for(lambda: program.events(), what="the pause entry")
    started = time.monotonic()
    assert program.stop() == 0
    assert time.monotonic() - started < 1.0


@pytest.mark.parametrize("stop_signal", [signal.SIGTERM, signal.SIGINT])
def test_stop_signals_end_the_program_with_status_zero(program, stop_signal):
    program.start()
    time.sleep(0.2)
    program.signal(stop_signal)
    assert program.process.wait(timeout=1.0) == 0


def test_a_load_failure_is_logged_and_the_program_keeps_running(program):
    write_ini(program.ini, {"Application": {"Interval": "abc"}})
    program.start("-debug")
    wait_for(lambda: program.events(), what="the error entry")
    assert program.events()[0] == "event type=109 id=1: [13] Type mismatch"
    assert program.process.poll() is None, "the program goes on running"
    # The service was never started, so pause requests are not accepted...
    program.signal(signal.SIGUSR1)
    time.sleep(0.3)
    assert "Service paused" not in program.stderr()
    # ...but a stop request still ends it.
    assert program.stop() == 0


def test_a_failed_start_still_reports_ready_so_systemd_keeps_it_running(program, tmp_path):
    write_ini(program.ini, {"Application": {"Interval": "abc"}})
    address = str(tmp_path / "notify.sock")
    with socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM) as notify:
        notify.bind(address)
        notify.settimeout(LONG)
        program.start(env={"NOTIFY_SOCKET": address})
        assert notify.recv(4096).decode() == "READY=1\nSTATUS=Start failed: [13] Type mismatch"
        assert program.stop() == 0


class Notifications:
    """The datagrams the service sends to systemd, read one by one."""

    def __init__(self, path):
        self.path = str(path)
        self.socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.socket.bind(self.path)
        self.socket.settimeout(LONG)

    def next(self):
        return self.socket.recv(4096).decode()

    def close(self):
        self.socket.close()


@pytest.fixture
def notifications(tmp_path):
    receiver = Notifications(tmp_path / "notify.sock")
    yield receiver
    receiver.close()


def test_the_status_line_names_a_missing_settings_file_until_it_appears(program, notifications):
    program.ini.unlink()
    program.start(env={"NOTIFY_SOCKET": notifications.path, "ZARVO_TICK_MS": "20"})
    assert notifications.next() == "READY=1\nSTATUS=Running"
    assert notifications.next() == (
        f"STATUS=settings file {program.ini} not found; defaults in use")
    write_ini(program.ini, QUIET_INI)  # the defaults run a cycle on every tick
    assert notifications.next() == "STATUS=Running"
    program.signal(signal.SIGUSR1)
    assert notifications.next() == "STATUS=Paused"
    program.signal(signal.SIGUSR2)
    assert notifications.next() == "STATUS=Running"
    program.signal(signal.SIGTERM)
    assert notifications.next() == "STOPPING=1"
    assert program.process.wait(timeout=LONG) == 0


def test_a_missing_settings_file_writes_no_event_entry(program):
    program.ini.unlink()
    program.start("-debug", env={"ZARVO_TICK_MS": "20"})
    time.sleep(0.3)
    assert program.stop() == 0
    assert program.events() == []


def test_the_status_line_returns_to_running_once_a_failed_start_loads(program, notifications):
    write_ini(program.ini, {"Application": {"Interval": "abc"}})
    program.start(env={"NOTIFY_SOCKET": notifications.path, "ZARVO_TICK_MS": "20"})
    assert notifications.next() == "READY=1\nSTATUS=Start failed: [13] Type mismatch"
    assert notifications.next() == (
        "STATUS=settings not loaded: [13] Type mismatch at [Application] Interval")
    write_ini(program.ini, QUIET_INI)  # read a minute of ticks (1.2 s) later
    assert notifications.next() == "STATUS=Running"
    assert program.stop() == 0


def test_between_runs_the_service_sleeps_instead_of_waking_on_every_tick(program):
    # Ten minutes are 600 ticks of 10 ms; counting them must not mean waking for each.
    program.start(env={"ZARVO_TICK_MS": "10"})
    time.sleep(0.3)  # the first cycle, at the first tick

    def switches():
        status = Path(f"/proc/{program.process.pid}/status").read_text().splitlines()
        return sum(int(line.split()[1]) for line in status if "ctxt_switches" in line)

    before = switches()
    time.sleep(1.0)
    assert switches() - before <= 5, "100 ticks passed"
    started = time.monotonic()
    assert program.stop() == 0
    assert time.monotonic() - started < 1.0, "a stop still ends a long sleep at once"
