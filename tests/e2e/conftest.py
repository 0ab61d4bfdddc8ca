"""Shared fixtures of the end-to-end tests: where the built programs are, and their packages."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from zarvo import LONG, wait_for

REPO = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session")
def build_dir() -> Path:
    """The CMake build tree whose programs are under test (ZARVO_BUILD_DIR, default build/)."""
    path = Path(os.environ.get("ZARVO_BUILD_DIR", REPO / "build")).resolve()
    if not (path / "CMakeCache.txt").exists():
        pytest.fail(f"no build tree at {path}; run 'make test' or set ZARVO_BUILD_DIR")
    return path


@pytest.fixture(scope="session")
def packages(tmp_path_factory):
    """The Debian packages from the release tree of `make package` (build-release/), which has no
    test hooks, twice: as configured and with the next patch version, for an upgrade.
    {"version", "upgrade_version", "files", "upgrade_files"}, the files as {package name: path}."""
    if shutil.which("cpack") is None or shutil.which("dpkg-deb") is None:
        pytest.skip("cpack or dpkg-deb is missing")
    release = REPO / "build-release"
    # "-o deps": the tests run with their dependencies installed, where apt finds no network.
    subprocess.run(["make", "-C", str(REPO), "-o", "deps", "package"], check=True, timeout=3600)
    cache = (release / "CMakeCache.txt").read_text()
    version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", cache, re.M).group(1)
    major, minor, patch = version.split(".")
    upgrade_version = f"{major}.{minor}.{int(patch) + 1}"
    result = {"version": version, "upgrade_version": upgrade_version}
    for key, package_version in (("files", version), ("upgrade_files", upgrade_version)):
        directory = tmp_path_factory.mktemp("packages")
        subprocess.run(["cpack", "--config", str(release / "CPackConfig.cmake"), "-B",
                        str(directory), "-D", f"CPACK_PACKAGE_VERSION={package_version}"],
                       check=True, capture_output=True, timeout=300, cwd=directory)
        result[key] = {path.name.split("_")[0]: path for path in directory.glob("*.deb")}
    return result


def ip(*arguments):
    return subprocess.run(["ip", *arguments], check=True, capture_output=True, text=True,
                          timeout=LONG).stdout


@pytest.fixture
def router(tmp_path, request):
    """tools/fake-router with the test's parameter as its arguments, ended by its PID: it ends
    every process it started or finds in its namespaces and deletes them."""
    if not os.environ.get("ZARVO_TEST_NETNS"):
        pytest.skip("needs the private network namespace of scripts/run-e2e")
    state = tmp_path / "router"
    process = subprocess.Popen([sys.executable, str(REPO / "tools" / "fake-router"), str(state),
                                *getattr(request, "param", [])])
    try:
        wait_for(lambda: (state / "ready").exists() or process.poll() is not None,
                 what="the router")
        assert process.poll() is None, (state / "processes.log").read_text()
        yield state
    finally:
        process.terminate()
        process.wait(timeout=30)
        assert f"zr{process.pid}-" not in ip("netns", "list")
