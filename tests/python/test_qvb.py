"""QVB and QVZ over real molecules: every field survives, and molecules pickle
through the same record."""

from __future__ import annotations

import multiprocessing
import pickle
import struct
from pathlib import Path

import pytest

from nimbrel import tamrin, velk


def fields(mol) -> tuple:
    """Everything a record must keep, coordinates as their float32 bits."""
    atoms = [
        (
            a.GetAtomicNum(),
            a.GetIsotope(),
            a.GetFormalCharge(),
            a.GetImplicitHCount(),
            a.IsAromatic(),
            struct.pack("<f", a.GetPartialCharge()),
            struct.pack("<3f", *a.GetCoords()),
            tuple(tamrin.QvGetDataPairs(a)),
        )
        for a in mol.GetAtoms()
    ]
    bonds = [
        (b.GetBgn().GetIdx(), b.GetEnd().GetIdx(), b.GetOrder(), tuple(tamrin.QvGetDataPairs(b)))
        for b in mol.GetBonds()
    ]
    return (
        mol.GetTitle(),
        mol.GetDimension(),
        struct.pack("<f", mol.GetEnergy()),
        velk.mol_to_string(mol, "ism"),
        tuple(tamrin.QvGetSDDataPairs(mol)),
        tuple(velk.generic_data(mol)),
        atoms,
        bonds,
    )


@pytest.fixture(scope="module")
def corpus(tmp_path_factory, set_a_lines) -> list:
    """Every molecule of the shared SD, SMILES and XYZ files, and 10,000
    drug-like molecules."""
    from conftest import SHARED_TESTDATA

    if not SHARED_TESTDATA.is_dir():
        pytest.skip(f"shared test data not found at {SHARED_TESTDATA}")
    mols = []
    for folder in ("sdf", "smiles", "xyz"):
        for path in sorted((SHARED_TESTDATA / folder).iterdir()):
            # Files with damaged records give what they can.
            with velk.open_reader(path) as reader:
                while True:
                    try:
                        mols.append(next(reader))
                    except StopIteration:
                        break
                    except velk.FormatError:
                        continue
    drugs = tmp_path_factory.mktemp("qvb") / "set_a_10k.smi"
    drugs.write_text("\n".join(set_a_lines[:10_000]) + "\n")
    mols.extend(velk.read(drugs))
    return mols


@pytest.mark.parametrize("suffix", [".qvb", ".qvz"])
def test_every_field_of_real_molecules_round_trips(corpus, tmp_path, suffix):
    assert len(corpus) > 10_000
    path = tmp_path / f"all{suffix}"
    with velk.open_writer(path) as writer:
        for mol in corpus:
            writer.append(mol)
    back = list(velk.read(path))
    assert len(back) == len(corpus)
    for i, (a, b) in enumerate(zip(corpus, back)):
        assert fields(a) == fields(b), f"molecule {i} ({a.GetTitle()!r})"


def test_convert_reaches_the_binary_formats(tmp_path):
    smi = tmp_path / "in.smi"
    smi.write_text("C[C@H](N)C(=O)O alanine\nc1ccccc1 benzene\n")
    qvz = tmp_path / "out.qvz"
    from nimbrel._cli import main

    assert main(["convert", str(smi), str(qvz)]) == 0
    assert [velk.mol_to_string(m, "ism") for m in velk.read(qvz)] == [
        velk.mol_to_string(m, "ism") for m in velk.read(smi)
    ]


def _unpickle_in_child(data: bytes) -> tuple:
    mol = pickle.loads(data)
    return fields(mol)


def test_molecules_pickle_across_processes():
    mol = velk.mol_from_string("C[C@H](N)/C=C/C(=O)[O-] lig", "smi")
    tamrin.QvAddSDData(mol, "SCORE", "-7.5")
    mc = tamrin.QvMol(mol)
    mc.NewConf(mol)
    with multiprocessing.get_context("spawn").Pool(1) as pool:
        remote = pool.map(_unpickle_in_child, [pickle.dumps(mol)])[0]
    assert remote == fields(mol)
    empty = tamrin.QvGraphMol()
    empty.SetTitle("no atoms yet")
    assert fields(pickle.loads(pickle.dumps(empty))) == fields(empty)
    copy = pickle.loads(pickle.dumps(mc))
    assert type(copy) is tamrin.QvMol
    assert copy.NumConfs() == 2
    assert fields(copy) == fields(mc)
