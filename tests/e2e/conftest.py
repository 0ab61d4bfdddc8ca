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
def packages(build_dir, tmp_path_factory):
    """The Debian packages cpack makes from the build tree, twice: as configured and rebuilt
    with the next patch version, for an upgrade. {"version", "upgrade_version", "files",
    "upgrade_files"}, the files as {package name: path}."""
    if shutil.which("cpack") is None or shutil.which("dpkg-deb") is None:
        pytest.skip("cpack or dpkg-deb is missing")
    cache = (build_dir / "CMakeCache.txt").read_text()
    version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.+)$", cache, re.M).group(1)
    major, minor, patch = version.split(".")
    upgrade_version = f"{major}.{minor}.{int(patch) + 1}"
    result = {"version": version, "upgrade_version": upgrade_version}
    for key, package_version in (("files", version), ("upgrade_files", upgrade_version)):
        directory = tmp_path_factory.mktemp("packages")
        subprocess.run(["cpack", "--config", str(build_dir / "CPackConfig.cmake"), "-B",
                        str(directory), "-D", f"CPACK_PACKAGE_VERSION={package_version}"],
                       check=True, capture_output=True, timeout=300, cwd=directory)
        result[key] = {path.name.split("_")[0]: path for path in directory.glob("*.deb")}
    return result
