"""Shared fixtures of the end-to-end tests: where the built programs are, and their packages."""

import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

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
