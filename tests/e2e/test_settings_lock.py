"""The settings file's lock against a local user who holds whatever they can open, and against a
writer that keeps the lock: the service's cycle and its stop stay bounded."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

from zarvo import LONG, FakeProvider, ProgramDir, wait_for, write_ini

NOBODY = 65534
LOCK_WAIT = 0.9  # seconds the settings writer waits for its lock

# Takes an exclusive flock on every path it can open (creating missing ones), reports which it
# holds in the file argv[1], and keeps them for a minute.
HOLDER = r"""
import fcntl, os, sys, time
held = []
for path in sys.argv[2:]:
    try:
        exists = os.path.exists(path)
        fd = os.open(path, os.O_RDONLY if exists else os.O_RDONLY | os.O_CREAT, 0o600)
        fcntl.flock(fd, fcntl.LOCK_EX)
        held.append(path)
    except OSError:
        pass
with open(sys.argv[1], "w") as report:
    report.write("".join(path + "\n" for path in held) + "done\n")
time.sleep(60)
"""


def as_nobody():
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)


class Holder:
    """A process that holds locks on `paths`, as root or as nobody; ended by its PID."""

    def __init__(self, workdir, paths, nobody=False):
        report = Path(workdir) / f"held-{time.monotonic_ns()}"
        report.touch()
        if nobody:
            os.chown(report, NOBODY, NOBODY)
        command = [sys.executable, "-c", HOLDER, str(report), *map(str, paths)]
        self.process = subprocess.Popen(command, preexec_fn=as_nobody if nobody else None,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: report.read_text().endswith("done\n"), what="the holder's report")
        self.held = report.read_text().split()[:-1]

    def end(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait(timeout=LONG)


@pytest.fixture
def program(build_dir):
    """The service in a directory that every user may enter, as an installed one is, with a
    settings file left readable for all and the fake provider behind it."""
    root = Path(tempfile.mkdtemp(prefix="zarvo-lock-"))
    root.chmod(0o755)
    provider = FakeProvider(root)
    program = ProgramDir(root / "program", build_dir)
    write_ini(program.ini, {
        "Application": {"Interval": "10", "IsDebug": "True", "Loglevel": "4",
                        "ZARVOUpdater": "on", "Email": "off"},
        "ZARVO": {"ZARVOServer": provider.url, "WANIPAdress": f"{provider.url}/meineip.php"},
        "ACCOUNT": {"Username": "demo", "Password": "secret", "Host": "myhost.zarvo.example"},
    })
    program.ini.chmod(0o644)
    program.root = root
    yield program
    program.kill()
    provider.stop()
    shutil.rmtree(root)


def run_one_cycle(program):
    """Starts the service and gives the seconds from the provider's answer to the cycle's end."""
    program.start("-debug", env={"ZARVO_TICK_MS": "20"})
    wait_for(lambda: "Your hostname has been updated." in program.log_lines(), what="the answer")
    answered = time.monotonic()
    wait_for(lambda: any(line.startswith("#ENDE") for line in program.log_lines()),
             timeout=LOCK_WAIT + LONG, what="the cycle's end")
    return time.monotonic() - answered


def stop_within_a_second(program):
    started = time.monotonic()
    assert program.stop() == 0
    assert time.monotonic() - started < 1.0


def stored_address(program):
    text = program.ini.read_text()
    return "LastIPAdress=84.1.2.3" in text


@pytest.mark.skipif(os.geteuid() != 0, reason="needs root to act as another user")
def test_another_user_holding_what_they_can_open_delays_no_write(program):
    lock = program.path / ".zarvoupdater.ini.lock"
    holder = Holder(program.root, [program.path, program.ini, lock], nobody=True)
    try:
        assert holder.held == [str(program.path), str(program.ini)], "the lock file is not theirs"
        assert run_one_cycle(program) < 1.0
        stop_within_a_second(program)
        assert stored_address(program)
        assert (lock.stat().st_mode & 0o777) == 0o600
        late = Holder(program.root, [lock], nobody=True)
        late.end()
        assert late.held == []
    finally:
        holder.end()


def test_a_writer_keeping_the_lock_fails_the_write_after_the_wait_and_the_cycle_goes_on(program):
    holder = Holder(program.root, [program.path / ".zarvoupdater.ini.lock"])
    try:
        assert len(holder.held) == 1
        assert LOCK_WAIT - 0.2 < run_one_cycle(program) < LOCK_WAIT + 1.5
        stop_within_a_second(program)
        assert not stored_address(program)
    finally:
        holder.end()


def test_a_stop_during_the_wait_for_the_lock_still_ends_the_service_within_a_second(program):
    holder = Holder(program.root, [program.path / ".zarvoupdater.ini.lock"])
    try:
        assert len(holder.held) == 1
        program.start("-debug", env={"ZARVO_TICK_MS": "20"})
        wait_for(lambda: "Your hostname has been updated." in program.log_lines(),
                 what="the answer")
        stop_within_a_second(program)
        assert not stored_address(program)
    finally:
        holder.end()
