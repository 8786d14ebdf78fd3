"""SMILES through the Python face: format names and flavor numbers reach the
C++ streams, unparsable text gives None, and files are read (bad lines
reported) and written by extension."""

from __future__ import annotations

import gzip

import pytest

from nimbrel import velk


def smiles_of(text: str, fmt: str = "smi") -> str:
    mol = velk.mol_from_string(text, "smi")
    assert mol is not None, text
    return velk.mol_to_string(mol, fmt)


@pytest.mark.parametrize("text", ["C(C", "c1cccc1", "", "# comment only"])
def test_unparsable_text_gives_none(text):
    assert velk.mol_from_string(text, "smi") is None


@pytest.mark.parametrize(
    ("fmt", "text", "expected"),
    [
        ("usm", "OCC ethanol", "OCC ethanol\n"),
        ("usm", "F/C=C/F", "FC=CF\n"),
        ("usm", "[13CH3:2]O", "[CH3:2]O\n"),
        ("smi", "c1ccccc1", "c1ccccc1\n"),
        ("ism", "[13CH4]", "[13CH4]\n"),
        ("can", "[13CH4]", "C\n"),
    ],
)
def test_writing_by_format(fmt, text, expected):
    assert smiles_of(text, fmt) == expected


def test_file_reading_skips_comments_and_reports_bad_lines(tmp_path, capfd):
    path = tmp_path / "set.smi.gz"
    with gzip.open(path, "wt") as f:
        f.write("CCO ethanol\n# comment\n\nC(C broken\nc1ccccc1 benzene\n")
    titles = [(m.GetTitle(), m.NumAtoms()) for m in velk.read(path)]
    assert titles == [("ethanol", 3), ("benzene", 6)]
    err = capfd.readouterr().err
    assert "Warning: Unclosed branch." in err
    assert 'Warning: Error reading molecule "broken" in Canonical stereo SMILES format.' in err


def test_file_round_trip_through_writer_and_flavor_numbers(tmp_path):
    inputs = ["CC(=O)Nc1ccc(O)cc1 paracetamol", "C[C@@H](N)C(=O)O alanine", "F/C=C/F", "[Na+].[Cl-] salt"]
    path = tmp_path / "out.ism"
    with velk.open_writer(path) as writer:
        for text in inputs:
            writer.append(velk.mol_from_string(text, "smi"))
    back = list(velk.read(path))
    assert [m.GetTitle() for m in back] == ["paracetamol", "alanine", "", "salt"]
    assert [velk.mol_to_string(mol, "ism") for mol in back] == [smiles_of(text, "ism") for text in inputs]
    kekule = velk.mol_to_string(back[0], "smi", 0x40FD).split()[0]
    assert "c" not in kekule and kekule.count("=") == 4
    assert velk.mol_from_string("HC", "smi", 0x4001) is None
    pyridine = velk.mol_from_string("c1ccncc1", "smi")
    assert [(a.GetAtomicNum(), a.GetImplicitHCount(), a.IsAromatic()) for a in pyridine.GetAtoms()] == (
        [(6, 1, True)] * 3 + [(7, 0, True)] + [(6, 1, True)] * 2)
