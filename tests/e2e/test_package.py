"""The two Debian packages as files: what each holds, what it depends on, and lintian's word."""

import pathlib
import shutil
import subprocess

import pytest


def field(package, name):
    return subprocess.run(["dpkg-deb", "--field", str(package), name], check=True,
                          capture_output=True, text=True, timeout=60).stdout.strip()


def contents(package):
    listing = subprocess.run(["dpkg-deb", "--contents", str(package)], check=True,
                             capture_output=True, text=True, timeout=60).stdout
    return {line.split()[-1].lstrip(".") for line in listing.splitlines()}


def test_the_service_goes_without_qt_and_the_dialog_needs_the_same_service(packages):
    service, dialog = packages["files"]["zarvoupdater"], packages["files"]["zarvoupdater-configure"]
    service_depends = field(service, "Depends")
    assert "libcurl4" in service_depends and "libsystemd0" in service_depends
    assert "qt" not in service_depends.lower()
    dialog_depends = field(dialog, "Depends")
    assert f"zarvoupdater (= {packages['version']})" in dialog_depends.split(", ")
    assert "libqt6widgets6" in dialog_depends
    assert "does not register the service" in field(service, "Description")

    assert {"/opt/zarvoupdater/zarvoupdater", "/usr/share/doc/zarvoupdater/copyright",
            "/usr/share/doc/zarvoupdater/README.md"} <= contents(service)
    assert {"/opt/zarvoupdater/configure", "/opt/zarvoupdater/zarvoupdater-configure.desktop",
            "/usr/share/polkit-1/actions/example.zarvo.zarvoupdater.configure.policy"
            } <= contents(dialog)
    assert not any("configure" in path for path in contents(service))


def test_lintian_finds_nothing_but_the_overridden_program_directory(packages):
    if shutil.which("lintian") is None:
        pytest.skip("lintian is missing (scripts/install-deps installs it)")
    result = subprocess.run(["lintian", "--show-overrides", *map(str, packages["files"].values())],
                            capture_output=True, text=True, timeout=300)
    hints = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:", "O:")]
    print("\n".join(hints))
    # Shown overrides of an error count for the exit status, so the hints alone are judged.
    assert hints and all(line.startswith("O:") and " dir-or-file-in-opt " in line
                         for line in hints), hints


def test_the_binaries_are_stripped_and_hardened(packages, tmp_path):
    for package in packages["files"].values():
        subprocess.run(["dpkg-deb", "--extract", str(package), str(tmp_path)], check=True,
                       timeout=60)
    for name in ("zarvoupdater", "configure"):
        binary = str(tmp_path / "opt/zarvoupdater" / name)
        headers = subprocess.run(["readelf", "--file-header", "--dynamic", "--program-headers",
                                  "--symbols", "--wide", binary], check=True, capture_output=True,
                                 text=True, timeout=60).stdout
        assert "Type:                              DYN" in headers, f"{name} is no PIE"
        assert "BIND_NOW" in headers and "GNU_RELRO" in headers, name
        assert "__stack_chk_fail" in headers, name
        assert "Symbol table '.symtab'" not in headers, f"{name} is not stripped"
        # No test hook lets the environment choose whom they trust or where they write.
        program = pathlib.Path(binary).read_bytes()
        assert b"ZARVO_CA_FILE" not in program and b"ZARVO_SYSTEMD_DIR" not in program, name
    assert "_chk@" in subprocess.run(["readelf", "--dyn-syms", "--wide",
                                      str(tmp_path / "opt/zarvoupdater/zarvoupdater")],
                                     check=True, capture_output=True, text=True).stdout, \
        "the service calls no fortified function"
