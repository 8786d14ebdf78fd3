"""The scripts of examples/ run as a user would run them, on inputs made here."""

from __future__ import annotations

import re
import subprocess
import sys
from pathlib import Path

import numpy as np
from rdkit import Chem

from nimbrel import velgar, velk

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
SMILES = ["CN1C=NC2=C1C(=O)N(C(=O)N2C)C caffeine", "c1ccccc1O phenol", "OC(=O)C[C@H](N)C(=O)O L-aspartate"]


def run(script: str, *args: object) -> str:
    done = subprocess.run(
        [sys.executable, str(EXAMPLES / script), *map(str, args)], capture_output=True, text=True, timeout=120
    )
    assert done.returncode == 0, done.stderr
    return done.stdout


def records(listing: str) -> dict[str, dict[str, str]]:
    """read_sdf.py's output as {title: {tag: value}}."""
    found: dict[str, dict[str, str]] = {}
    for line in listing.splitlines():
        if header := re.match(r"\d+: (.*), \d+ atoms$", line):
            data = found[header[1]] = {}
        else:
            tag, value = line.strip().split(" = ", 1)
            data[tag] = value
    return found


def test_sd_scripts_agree_with_rdkit(tmp_path: Path) -> None:
    sdf, kept = tmp_path / "made.sdf.gz", tmp_path / "kept.sdf"
    assert run("smiles_to_sdf.py", sdf, *SMILES) == f"{sdf}: 3 molecules\n"
    listing = records(run("read_sdf.py", sdf))
    assert list(listing) == ["caffeine", "phenol", "L-aspartate"]
    for line in SMILES:
        smiles, title = line.split()
        expected = Chem.MolFromSmiles(smiles)
        data = listing[title]
        assert int(data["heavy_atoms"]) == expected.GetNumHeavyAtoms()
        assert Chem.CanonSmiles(data["smiles"]) == Chem.MolToSmiles(expected)
    # Every written molecule has a 2D layout: no two atoms on one spot.
    for mol in velk.read(sdf):
        assert mol.GetDimension() == 2
        assert len({tuple(xyz) for xyz in mol.coords.round(2)}) == mol.NumAtoms()

    output = run("sdf_frame.py", sdf, "heavy_atoms", 9, kept)
    assert output.endswith(f"{kept}: 2 records\n")
    assert [mol.title for mol in velk.read(kept)] == ["caffeine", "L-aspartate"]


def test_cube_script_finds_the_highest_point(tmp_path: Path) -> None:
    cube = tmp_path / "peak.cube"
    values = np.zeros((4, 3, 2), dtype=np.float32)
    values[3, 1, 0] = 2.5
    values[0, 0, 1] = -1.0
    mol = velk.mol_from_string("O water", "smi")
    assert mol is not None
    mol.coords = [[0.0, 0.0, 0.0]]
    with velk.open_writer(cube) as writer:
        writer.append(mol, velgar.QvScalarGrid(2, 3, 4, 0.0, 0.0, 0.0, 0.5, values=values))
    assert run("cube_grid.py", cube).splitlines() == [
        f"{cube}: 1 atoms, 1 grid(s)",
        "  (untitled): 2x3x4 points, spacing 0.5, x from -0.5 to 0.5",
        "  values -1 .. 2.5, highest at (-0.250, 0.000, 0.750)",
    ]


def test_scripts_without_arguments_print_their_usage() -> None:
    for script in sorted(EXAMPLES.glob("*.py")):
        done = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, timeout=60)
        assert (done.returncode, done.stdout) == (2, ""), script.name
        assert "python examples/" + script.name in done.stderr
