"""Shared fixtures of the end-to-end tests: where the built programs are."""

import os
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
