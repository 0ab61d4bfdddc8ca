"""The packages and the service under a real systemd, booted as PID 1 in a container: install,
register, run, pause and continue, stop, a crash, an upgrade, remove and purge.

The tests share one container and follow its life in file order, each starting from the state
the one before left.
"""

import json
import os
import re
import stat

import pytest

from container import CannotBoot, Container, missing_prerequisite, timed
from zarvo import REPO, wait_for

UNIT = "ZARVOUpdater.service"
UNIT_FILE = f"/etc/systemd/system/{UNIT}"
PROGRAM_DIR = "/opt/zarvoupdater"
BINARY = f"{PROGRAM_DIR}/zarvoupdater"
INI = f"{PROGRAM_DIR}/zarvoupdater.ini"
LOG = f"{PROGRAM_DIR}/log/zarvoupdater.log"
WORK = "/root/e2e"  # the test's own files in the container
SMTP_PORT = 2525
HOST = "myhost.zarvo.example"


@pytest.fixture(scope="module")
def system(tmp_path_factory, packages):
    """The booted container with both packages installed, the fake provider and an SMTP server
    running as transient units, and the settings file written; the service not registered."""
    reason = missing_prerequisite()
    if reason:
        pytest.skip(reason)
    container = Container(tmp_path_factory.mktemp("container"), f"zarvo-e2e-{os.getpid()}")
    try:
        try:
            container.boot()
        except CannotBoot as error:
            pytest.skip(f"this machine cannot boot a container: {error}")
        # This machine's image forbids maintainer scripts to start or restart services, as a
        # container image for building does; a system that runs services has no such policy.
        container.path("/usr/sbin/policy-rc.d").unlink(missing_ok=True)
        work = container.path(WORK)
        work.mkdir(parents=True)
        for package in [*packages["files"].values(), *packages["upgrade_files"].values()]:
            (work / package.name).write_bytes(package.read_bytes())
        (work / "fake-provider").write_bytes((REPO / "tools" / "fake-provider").read_bytes())
        apt(container, "install", *(f"{WORK}/{path.name}" for path in packages["files"].values()))

        container.run("systemd-run", "--unit=zarvo-provider", "python3", f"{WORK}/fake-provider",
                      "--port-file", f"{WORK}/provider.port", "--log", f"{WORK}/provider.log")
        container.run("systemd-run", "--unit=zarvo-smtp", "python3", "-m", "aiosmtpd", "-n", "-l",
                      f"127.0.0.1:{SMTP_PORT}", "-c", "aiosmtpd.handlers.Mailbox",
                      f"{WORK}/mail")
        port = int(wait_for(lambda: text_of(work / "provider.port"), what="the provider's port"))
        wait_for(lambda: container.run("python3", "-c", "import socket; socket.create_connection("
                                       f"('127.0.0.1', {SMTP_PORT}), 1)", check=False
                                       ).returncode == 0, interval=0.1, what="the SMTP server")
        write_settings(container.path(INI), f"http://127.0.0.1:{port}")
        yield container
    finally:
        container.stop()


def apt(container, command, *packages):
    # Recommends would be downloaded, and the container has no network.
    return container.run("apt-get", command, "-y", "-q", "--no-install-recommends", *packages,
                         timeout=120)


def text_of(path):
    return path.read_text().strip() if path.exists() else None


def write_settings(path, provider):
    path.write_text(
        "[Application]\nInterval=10\nZARVOUpdater=on\nIsDebug=True\nLoglevel=4\n"
        f"Email=on\nEmail_Server=127.0.0.1:{SMTP_PORT}\nEmail_Sender=zarvo@example.net\n"
        "Email_Receiver=admin@example.net\n"
        f"[ZARVO]\nZARVOServer={provider}\nWANIPAdress={provider}/meineip.php\n"
        f"[ACCOUNT]\nUsername=demo\nPassword=secret\nHost={HOST}\n")
    path.chmod(0o644)  # as an editor may leave it; the service's first write narrows it


def settings_file(container):
    """The settings file's bytes and permission bits."""
    path = container.path(INI)
    return path.read_bytes(), stat.S_IMODE(path.stat().st_mode)


def main_pid(container):
    return int(container.show(UNIT, "MainPID")["MainPID"])


def event_entries(container):
    """The service's journal entries that carry an event type and id: [(type, id, message)]."""
    lines = container.run("journalctl", "-u", UNIT, "-o", "json", "--no-pager").stdout
    entries = [json.loads(line) for line in lines.splitlines()]
    return [(entry["ZARVO_EVENT_TYPE"], entry["ZARVO_EVENT_ID"], entry["MESSAGE"])
            for entry in entries if "ZARVO_EVENT_ID" in entry]


def updates(container):
    """The authenticated update requests the fake provider answered."""
    log = container.path(f"{WORK}/provider.log")
    lines = log.read_text().splitlines() if log.exists() else []
    return [entry for entry in map(json.loads, lines)
            if entry["path"].startswith("/nic/update") and entry["password_ok"]]


def test_registered_by_hand_the_service_runs_an_update_and_answers_its_controls(system):
    assert not system.path(UNIT_FILE).exists(), "installing the package registers nothing"
    # The packaged program has no test hooks: the unit goes where systemd reads it.
    result = system.run("env", "ZARVO_SYSTEMD_DIR=/root", BINARY, "-install")
    assert result.stdout == "ZARVOUpdater installed successfully\n"
    assert system.run("systemctl", "is-enabled", UNIT).stdout.strip() == "enabled"

    _, seconds = timed(lambda: system.run("systemctl", "start", UNIT, timeout=10))
    assert seconds < 2
    assert system.show(UNIT, "ActiveState", "StatusText") == {"ActiveState": "active",
                                                              "StatusText": "Running"}

    [update] = wait_for(lambda: updates(system), what="the update at the provider")
    assert update["path"] == f"/nic/update?hostname={HOST}&myip=84.1.2.3"
    assert update["answer"] == "good 84.1.2.3"
    wait_for(lambda: "Your hostname has been updated." in (text_of(system.path(LOG)) or ""),
             what="the update in the log")
    assert text_of(system.path(LOG)).count("its mode is now 0600.") == 1
    wait_for(lambda: list(system.path(f"{WORK}/mail/new").glob("*")), what="the report mail")

    system.run("systemctl", "kill", "-s", "USR1", UNIT)
    wait_for(lambda: system.show(UNIT, "StatusText")["StatusText"] == "Paused", what="pause")
    system.run("systemctl", "kill", "-s", "USR2", UNIT)
    wait_for(lambda: len(event_entries(system)) == 2, what="the continue entry")
    assert event_entries(system) == [("1", "109", "Service paused"),
                                     ("4", "110", "Service continued")]
    # The fake provider is plain http: the status line says what that means for the password.
    assert system.show(UNIT, "StatusText")["StatusText"] == (
        "Running; the provider password crosses the network readable: ZARVOServer is http://, "
        "not https://")

    _, seconds = timed(lambda: system.run("systemctl", "stop", UNIT, timeout=10))
    assert seconds < 1
    assert system.show(UNIT, "ActiveState", "ExecMainStatus") == {"ActiveState": "inactive",
                                                                  "ExecMainStatus": "0"}


def test_killed_the_service_is_restarted(system):
    system.run("systemctl", "start", UNIT, timeout=10)
    killed = main_pid(system)
    system.run("kill", "-9", str(killed))
    restarted = wait_for(lambda: (state := system.show(UNIT, "ActiveState", "MainPID",
                                                       "NRestarts"))["ActiveState"] == "active"
                         and int(state["MainPID"]) not in (0, killed) and state,
                         what="the restart")
    assert restarted["NRestarts"] == "1"


def test_the_sandbox_rates_at_most_2_and_lets_the_service_write_only_settings_and_log(system):
    for arguments in (["--offline=true", UNIT_FILE], [UNIT]):
        text = system.run("systemd-analyze", "security", "--no-pager", *arguments).stdout
        exposure = float(re.search(r"Overall exposure level for \S+: (\d+\.\d)", text)[1])
        print(f"systemd-analyze security {' '.join(arguments)}: {exposure}")
        assert exposure <= 2.0
    # The update above wrote the address back into the settings file.
    assert "LastIPAdress=84.1.2.3" in system.path(INI).read_text()

    # In the service's mount namespace, as root without capabilities, as the service runs: the
    # settings and the log can be written, the programs neither changed nor replaced.
    copy = ".zarvoupdater.ini.Probe1"
    probe = system.run(
        "nsenter", "-t", str(main_pid(system)), "-m", "--", "setpriv", "--bounding-set=-all",
        "--inh-caps=-all", "--no-new-privs", "sh", "-c",
        f"cd {PROGRAM_DIR} && : >{copy} && : >>zarvoupdater.ini && : >>log/zarvoupdater.log && "
        f"for name in zarvoupdater configure; do chmod 755 $name; mv {copy} $name; done; rm {copy}")
    assert probe.stderr.splitlines() == [
        line for name in ("zarvoupdater", "configure") for line in (
            f"chmod: changing permissions of '{name}': Read-only file system",
            f"mv: cannot move '{copy}' to '{name}': Device or resource busy")]


def test_an_upgrade_restarts_the_new_binary_and_keeps_the_settings(system, packages):
    settings, old_pid = settings_file(system), main_pid(system)
    apt(system, "install", *(f"{WORK}/{path.name}" for path in packages["upgrade_files"].values()))

    version = system.run("dpkg-query", "-W", "-f=${Version}", "zarvoupdater").stdout
    assert version == packages["upgrade_version"]
    new_pid = main_pid(system)
    assert new_pid not in (0, old_pid)
    assert system.run("readlink", f"/proc/{new_pid}/exe").stdout.strip() == BINARY
    assert system.show(UNIT, "ActiveState")["ActiveState"] == "active"
    assert settings_file(system) == settings
    assert settings[1] == 0o600


def test_remove_leaves_nothing_enabled_or_running_and_keeps_the_settings(system):
    settings = settings_file(system)
    apt(system, "remove", "zarvoupdater-configure", "zarvoupdater")

    assert not system.path(BINARY).exists()
    assert not system.path(UNIT_FILE).exists()
    assert system.run("systemctl", "is-enabled", UNIT, check=False).returncode != 0
    assert system.run("systemctl", "list-units", "--all", "--no-legend", UNIT).stdout == ""
    assert system.run("pgrep", "-x", "zarvoupdater", check=False).stdout == ""
    assert system.run("systemctl", "--failed", "--no-legend").stdout == ""
    assert settings_file(system) == settings
    assert system.path(LOG).exists()


def test_purge_deletes_the_settings_and_the_log(system):
    apt(system, "purge", "zarvoupdater")

    assert not system.path(PROGRAM_DIR).exists()
    assert system.run("dpkg-query", "-W", "zarvoupdater", check=False).returncode != 0
