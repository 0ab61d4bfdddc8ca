"""configure.exe of the Windows build under Wine, driven from outside by configure_driver.exe the
way the Qt tests drive the Qt window. Skipped until a Windows build, Wine and an X server are
there."""

import os
import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("ZARVO_WINDOWS_BUILD_DIR", ROOT / "build-windows"))
ARTEFACTS = Path(os.environ.get("ZARVO_ARTEFACT_DIR", BUILD))
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"


def built(name):
    found = sorted(BUILD.rglob(name)) if BUILD.is_dir() else []
    return found[0] if found else None


CONFIGURE = built("configure.exe")
DRIVER = built("configure_driver.exe")

pytestmark = pytest.mark.skipif(
    CONFIGURE is None or DRIVER is None or not os.access(WINE, os.X_OK)
    or "DISPLAY" not in os.environ,
    reason="needs build-windows/configure.exe and configure_driver.exe, wine64 and an X server",
)

SETTINGS = (
    "; kept by hand\n[ACCOUNT]\nUsername=alice\nPassword=s3cret\nHost=home.zarvo.example\n"
    "[Application]\nZARVOUpdater=on\nInterval=15\nEmail=off\nLoglevel=4\n"
    "Email_Server=smtp.zarvo.example:587\n[ZARVO]\nZARVOServer=http://dyndns.other.example\n"
)
TAB_ORDER = ("Text0 Text1 Text2 Text3 chkZARVOUpdater0 Text4 Text5 chkZARVOUpdater1 Text6 Text7 "
             "Text8 Text9 Text10 cboZARVO0 Text11 cboZARVO1 chkZARVOUpdater2 chkZARVOUpdater3 "
             "Text12 Text13 cboZARVO2 chkZARVOUpdater4 cmdSave cmdClose")
DIALOG_KEYS = ["[ACCOUNT] Username", "[ACCOUNT] Password", "[ACCOUNT] Host",
               "[ACCOUNT] StaticIPAddress", "[Application] ZARVOUpdater", "[Application] Interval",
               "[Application] ErrorCounter", "[Application] Email", "[Application] Email_Receiver",
               "[Application] Email_Sender", "[Application] Email_Server",
               "[Application] Email_Username", "[Application] Email_Password"]


@pytest.fixture(scope="module")
def wine(tmp_path_factory):
    env = dict(os.environ, WINEPREFIX=str(tmp_path_factory.mktemp("wineprefix")),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    subprocess.run([WINE, "wineboot", "-i"], env=env, timeout=180, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    yield env
    # Only the server of this prefix, which the tests started.
    subprocess.run([WINESERVER, "-k"], env=env, timeout=60, check=False)


@pytest.fixture
def program_dir(tmp_path):
    """configure.exe with the libraries beside it, in a directory of its own."""
    for item in [CONFIGURE, *CONFIGURE.parent.glob("*.dll")]:
        shutil.copy(item, tmp_path)
    return tmp_path


class Dialog:
    def __init__(self, wine, program_dir, settings):
        self.wine = wine
        self.ini = program_dir / "zarvoupdater.ini"
        if settings is not None:
            self.ini.write_text(settings)
        self.process = subprocess.Popen([WINE, str(program_dir / "configure.exe")], env=wine,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def drive(self, *steps):
        result = subprocess.run([WINE, str(DRIVER), *steps], env=self.wine, timeout=120,
                                capture_output=True, text=True, check=False)
        assert result.returncode == 0, result.stderr
        return [line.rstrip("\r") for line in result.stdout.splitlines()]

    def exit_status(self):
        return self.process.wait(timeout=60)

    def end(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)


@pytest.fixture
def open_dialog(wine, program_dir):
    dialogs = []

    def start(settings=SETTINGS):
        dialogs.append(Dialog(wine, program_dir, settings))
        return dialogs[-1]

    yield start
    for dialog in dialogs:
        dialog.end()


def keys(text):
    """The file's keys in file order as "[section] key=value"."""
    found, section = [], ""
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line
        elif "=" in line and not line.startswith(";"):
            key, value = line.split("=", 1)
            found.append(f"{section} {key.strip()}={value.strip()}")
    return found


def winpath(path):
    return "Z:" + str(path).replace("/", "\\")


def set_resolution(wine, dpi):
    subprocess.run([WINE, "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                    "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=wine, timeout=60, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


@pytest.mark.parametrize("dpi, client", [(96, "777 508"), (144, "1166 762")])
def test_window_stands_where_the_table_says_and_tabs_in_its_order(wine, open_dialog, dpi, client):
    set_resolution(wine, dpi)
    try:
        dialog = open_dialog()
        shot = ARTEFACTS / f"configure-exe-window-{dpi}dpi.bmp"
        ARTEFACTS.mkdir(parents=True, exist_ok=True)
        assert dialog.drive("wait", "client", "layout", "taborder", "shot", winpath(shot)) == [
            client, f"layout ok at {dpi} dpi", TAB_ORDER]
        assert shot.stat().st_size > 399 * 508 * 3
        dialog.drive("close")
        assert dialog.exit_status() == 0
    finally:
        set_resolution(wine, 96)


def test_save_writes_the_thirteen_keys_in_order_and_keeps_the_rest(open_dialog):
    # Keys the file has already keep their places; the others follow in the order written.
    dialog = open_dialog("; kept by hand\n[ACCOUNT]\nUsername=alice\n[Application]\nLoglevel=4\n"
                         "[ZARVO]\nZARVOServer=http://dyndns.other.example\n")
    assert dialog.drive("wait", "get", "Text0", "get", "chkZARVOUpdater0", "get", "Text4") == [
        "alice", "off", "10"]
    dialog.drive("set", "Text0", "bob", "set", "chkZARVOUpdater1", "on", "set", "Text4", "20",
                 "paste", "Text1", "p\r\nw\n", "click", "cmdSave", "click", "cmdClose")
    assert dialog.exit_status() == 0
    text = dialog.ini.read_text()
    saved = keys(text)
    assert [key.split("=")[0] for key in saved if key.split("=")[0] in DIALOG_KEYS] == DIALOG_KEYS
    for kept in ["[ACCOUNT] Username=bob", "[ACCOUNT] Password=pw", "[Application] Email=on",
                 "[Application] Interval=20", "[Application] Loglevel=4",
                 "[ZARVO] ZARVOServer=http://dyndns.other.example"]:
        assert kept in saved
    assert text.startswith("; kept by hand\n")


def test_third_frame_shows_its_keys_and_passwords_are_masked_until_shown(open_dialog):
    dialog = open_dialog(SETTINGS + "Provider=desec\n[WAN]\nLastIPAdress=84.1.2.3\n")
    assert dialog.drive("wait", "get", "cboZARVO0", "get", "Label18", "masked", "Text1",
                        "masked", "Text10", "click", "chkZARVOUpdater4", "masked", "Text1",
                        "masked", "Text10", "get", "Text1") == [
        "desec", "home.zarvo.example: 84.1.2.3", "masked", "masked", "clear", "clear", "s3cret"]
    dialog.drive("set", "cboZARVO0", "noip", "click", "cmdSave", "click", "cmdClose")
    assert dialog.exit_status() == 0
    saved = keys(dialog.ini.read_text())
    assert "[ZARVO] Provider=noip" in saved
    assert not [key for key in saved if "IPv4" in key or "RefreshDays" in key]


def test_save_refuses_a_bad_interval_and_writes_nothing(open_dialog):
    dialog = open_dialog()
    assert dialog.drive("wait", "set", "Text0", "bob", "set", "Text4", "abc",
                        "click", "cmdSave", "message") == [
        'Interval Minute (Interval): "abc" is not a whole number from -35791394 to 35791394 '
        "([13] Type mismatch).", "", "The settings were not saved."]
    assert dialog.ini.read_text() == SETTINGS
    assert dialog.drive("present") == ["window"]
    dialog.drive("close")
    assert dialog.exit_status() == 0


def test_load_failure_tells_why_opens_no_window_and_ends_with_status_1(open_dialog):
    dialog = open_dialog("[Application]\nInterval=abc\n")
    message = dialog.drive("box", "present", "ok")
    assert message[-1] == "no window"
    assert message[-2] == ('The key "Interval" in section [Application] has the value "abc": '
                           "[13] Type mismatch")
    assert dialog.exit_status() == 1


@pytest.mark.parametrize("ending", [["click", "cmdClose"], ["close"]],
                         ids=["Close button", "title bar"])
def test_closing_saves_nothing(open_dialog, ending):
    dialog = open_dialog(None)
    dialog.drive("wait", "set", "Text0", "bob", *ending)
    assert dialog.exit_status() == 0
    assert not dialog.ini.exists()
