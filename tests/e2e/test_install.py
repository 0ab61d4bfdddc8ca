"""`cmake --install` lays out the program directory and the files that point into it."""

import os
import shlex
import subprocess
import xml.etree.ElementTree as ElementTree

import pytest


def test_desktop_entry_starts_the_installed_dialog_as_root_through_polkit(build_dir, tmp_path):
    if not (build_dir / "configure" / "configure").exists():
        pytest.skip("the dialog is not built in this tree")
    prefix = "/opt/zarvo test"  # a blank in the path must survive the desktop entry's quoting
    root = tmp_path / "root"
    subprocess.run(["cmake", "--install", str(build_dir), "--prefix", prefix],
                   env=dict(os.environ, DESTDIR=str(root)), check=True, capture_output=True,
                   timeout=120)
    program_dir = root / prefix.lstrip("/")
    for name in ("zarvoupdater", "configure"):
        assert os.access(program_dir / name, os.X_OK), name

    entry = (program_dir / "zarvoupdater-configure.desktop").read_text()
    [exec_line] = [line for line in entry.splitlines() if line.startswith("Exec=")]
    assert shlex.split(exec_line[len("Exec="):]) == ["pkexec", f"{prefix}/configure"]
    assert f"Icon={prefix}/zarvoupdater-configure.png" in entry.splitlines()

    [policy] = (root / "usr/share/polkit-1/actions").glob("*.policy")
    [action] = ElementTree.parse(policy).getroot().findall("action")
    annotations = {a.get("key"): a.text for a in action.findall("annotate")}
    assert annotations == {"org.freedesktop.policykit.exec.path": f"{prefix}/configure",
                           "org.freedesktop.policykit.exec.allow_gui": "true"}
    assert action.find("defaults/allow_active").text.startswith("auth_admin")
