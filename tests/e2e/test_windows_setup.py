"""The setup program made by `make windows`, silently (/S) in a Wine prefix prepared afresh for
the test, as on a new machine: nothing may wait for a person, so the test runs without a
display."""

import shutil
import subprocess

import pytest

from test_windows import windows_build  # noqa: F401 (a fixture)
from test_windows_service import NAME, WineSession
from zarvo import LONG, REPO, wait_for, write_ini


@pytest.fixture
def session(windows_build):  # noqa: F811
    session = WineSession(windows_build, windows_build / "wineprefix-setup")
    shutil.rmtree(session.prefix, ignore_errors=True)
    script = str(REPO / "scripts" / "wine-session")
    subprocess.run([script, "start", str(session.prefix)], check=True, timeout=120)
    # A prefix just prepared can leave two service managers running: Wine starts afresh once.
    subprocess.run([script, "stop", str(session.prefix)], check=True, timeout=LONG)
    subprocess.run([script, "start", str(session.prefix)], check=True, timeout=120)
    yield session
    subprocess.run([script, "stop", str(session.prefix)], check=True, timeout=LONG)


def test_silent_setup_registers_the_service_and_its_uninstaller_keeps_the_settings(
        session, windows_build):  # noqa: F811
    [setup] = windows_build.glob("ZARVOUpdater-*-setup.exe")
    # Wine keeps no DACL of a folder but turns the one it is given into the folder's mode: a
    # folder that everybody may change (as one chosen outside Program Files may be) keeps that
    # unless the setup gives it its rules.
    directory = session.prefix / "drive_c" / "Program Files" / NAME
    directory.mkdir()
    directory.chmod(0o777)
    (directory / "ini3F2A.tmp").write_bytes(b"[ACCOUNT]\r\nPassword=secret\r\n")
    installed = session.wine(str(setup), "/S", timeout=LONG * 6)
    assert installed.returncode == 0, installed.stdout + installed.stderr

    assert directory.stat().st_mode & 0o002 == 0
    assert sorted(p.name for p in directory.iterdir()) == [
        "configure.exe", "uninstall.exe", "zarvoupdater.exe"]
    # The setup ships the program without the tests' hooks, such as the CA file of the mail.
    assert b"ZARVO_CA_FILE" in (windows_build / "zarvoupdater.exe").read_bytes()
    assert b"ZARVO_CA_FILE" not in (directory / "zarvoupdater.exe").read_bytes()
    menu = (session.prefix / "drive_c" / "ProgramData" / "Microsoft" / "Windows" /
            "Start Menu" / "Programs" / NAME / "Configuration.lnk")
    assert menu.exists()
    # The same registration as the program's own -install.
    exe = rf"C:\Program Files\{NAME}\zarvoupdater.exe"
    assert session.tool("config", NAME) == {
        "type": "16", "start": "2", "path": f'"{exe}"', "account": "LocalSystem",
        "display": NAME,
        "description": "Keeps the host name at the dynamic-DNS provider pointing at this "
                       "network's external IPv4 address.",
    }
    assert session.tool("source", NAME) == {"file": exe, "types": "7"}

    # The service runs when the uninstaller comes: it is stopped before its program goes.
    write_ini(directory / "zarvoupdater.ini", {
        "Application": {"ZARVOUpdater": "off"}, "WAN": {"StaticIPAddress": "84.1.2.3"}})
    (directory / "log").mkdir()
    (directory / "log" / "zarvoupdater.log").write_bytes(b"kept\r\n")
    assert session.wine("net", "start", NAME).returncode == 0
    assert session.state()[0] == 4

    # The uninstaller runs from a copy of itself and returns at once.
    uninstalled = session.wine(str(directory / "uninstall.exe"), "/S")
    assert uninstalled.returncode == 0, uninstalled.stdout + uninstalled.stderr
    wait_for(lambda: not (directory / "uninstall.exe").exists(), timeout=LONG * 3,
             what="the uninstaller")
    assert session.ask("config", NAME) is None
    assert session.ask("source", NAME) is None
    assert not menu.parent.exists()
    assert sorted(p.name for p in directory.iterdir()) == ["log", "zarvoupdater.ini"]
    assert (directory / "log" / "zarvoupdater.log").read_bytes() == b"kept\r\n"
