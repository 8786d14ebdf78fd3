"""Shared fixtures of the Python suite."""

from __future__ import annotations

from pathlib import Path

import pytest

REPO_ROOT = Path(__file__).resolve().parents[2]
SHARED_TESTDATA = REPO_ROOT.parent / "shared" / "testdata"


@pytest.fixture
def shared_testdata() -> Path:
    """Real files written by other programs; absent on a user's fresh clone."""
    if not SHARED_TESTDATA.is_dir():
        pytest.skip(f"shared test data not found at {SHARED_TESTDATA}")
    return SHARED_TESTDATA
