"""`cmake --install` lays out the program directory and the files that point into it; CMake makes
those files when it configures, so that installing only copies."""

import os
import re
import shlex
import subprocess
import xml.etree.ElementTree as ElementTree

import pytest

from zarvo import REPO


def check_desktop_files(desktop_entry, policy, program_dir):
    """The desktop entry starts the dialog in program_dir as root through pkexec, which the
    polkit action allows."""
    entry = desktop_entry.read_text()
    [exec_line] = [line for line in entry.splitlines() if line.startswith("Exec=")]
    assert shlex.split(exec_line[len("Exec="):]) == ["pkexec", f"{program_dir}/configure"]
    assert f"Icon={program_dir}/zarvoupdater-configure.png" in entry.splitlines()

    [action] = ElementTree.parse(policy).getroot().findall("action")
    annotations = {a.get("key"): a.text for a in action.findall("annotate")}
    assert annotations == {"org.freedesktop.policykit.exec.path": f"{program_dir}/configure",
                           "org.freedesktop.policykit.exec.allow_gui": "true"}
    # Kept authorisation would let any program of the session start the root dialog unasked.
    assert [element.text for element in action.find("defaults")] == ["auth_admin"] * 3


def test_install_from_a_read_only_build_tree_copies_every_file(build_dir, tmp_path):
    if not (build_dir / "configure" / "configure").exists():
        pytest.skip("the dialog is not built in this tree")
    cache = (build_dir / "CMakeCache.txt").read_text()
    prefix = re.search(r"^CMAKE_INSTALL_PREFIX:PATH=(.+)$", cache, re.M).group(1)
    root = tmp_path / "root"
    # The build tree is mounted read-only in a mount namespace of the install's own.
    script = ('mount --bind "$1" "$1" && mount -o remount,bind,ro "$1" && '
              'exec cmake --install "$1"')
    result = subprocess.run(["unshare", "--mount", "sh", "-c", script, "sh", str(build_dir)],
                            env=dict(os.environ, DESTDIR=str(root)), capture_output=True,
                            text=True, timeout=120)
    # CMake itself always writes its list of installed files into the build tree, at the end.
    assert result.stderr.count("CMake Error") == 1, result.stderr
    assert "install_manifest.txt" in result.stderr

    program_dir = root / prefix.lstrip("/")
    for name in ("zarvoupdater", "configure"):
        assert os.access(program_dir / name, os.X_OK), name
    [policy] = (root / "usr/share/polkit-1/actions").glob("*.policy")
    check_desktop_files(program_dir / "zarvoupdater-configure.desktop", policy, prefix)
    for package in ("zarvoupdater", "zarvoupdater-configure"):
        assert (root / "usr/share/doc" / package / "copyright").exists()


def test_a_blank_in_the_program_directory_survives_the_desktop_entry_quoting(tmp_path):
    prefix = "/opt/zarvo test"
    tree = tmp_path / "tree"
    subprocess.run(["cmake", "-S", str(REPO), "-B", str(tree), "-G", "Ninja",
                    f"-DCMAKE_INSTALL_PREFIX={prefix}", "-DZARVO_BUILD_TESTS=OFF"],
                   check=True, capture_output=True, timeout=120)
    check_desktop_files(tree / "packaging" / "zarvoupdater-configure.desktop",
                        tree / "packaging" / "example.zarvo.zarvoupdater.configure.policy", prefix)
