"""Shared fixtures of the Python suite."""

from __future__ import annotations

import gzip
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


@pytest.fixture(scope="session")
def set_a_lines() -> list[str]:
    """The lines ("SMILES identifier") of the shared set of 100k real drug-like
    and natural-product SMILES, read once per session."""
    path = SHARED_TESTDATA / "large" / "patwalters_set_A_100k.smi.gz"
    if not path.is_file():
        pytest.skip(f"shared test data not found at {path}")
    with gzip.open(path, "rt") as f:
        return f.read().splitlines()
