"""SMILES through the Python face: each format name reaches its C++ writer,
and text that does not parse gives None (the writers' flavors, the messages
for bad lines and file reading are the C++ SMILES stream tests')."""

from __future__ import annotations

import pytest

from nimbrel import velk


@pytest.mark.parametrize("text", ["C(C", "c1cccc1", "", "# comment only"])
def test_unparsable_text_gives_none(text):
    assert velk.mol_from_string(text, "smi") is None


@pytest.mark.parametrize(
    ("fmt", "text", "expected"),
    [
        ("usm", "F/C=C/F", "FC=CF\n"),
        ("usm", "[13CH3:2]O", "[CH3:2]O\n"),
        ("smi", "c1ccccc1", "c1ccccc1\n"),
        ("ism", "[13CH4]", "[13CH4]\n"),
        ("can", "[13CH4]", "C\n"),
    ],
)
def test_writing_by_format(fmt, text, expected):
    mol = velk.mol_from_string(text, "smi")
    assert mol is not None and velk.mol_to_string(mol, fmt) == expected


def test_flavor_numbers_reach_the_reader_and_writer():
    mol = velk.mol_from_string("CC(=O)Nc1ccc(O)cc1 paracetamol", "smi")
    kekule = velk.mol_to_string(mol, "smi", 0x40FD).split()[0]
    assert "c" not in kekule and kekule.count("=") == 4
    assert velk.mol_from_string("HC", "smi", 0x4001) is None
