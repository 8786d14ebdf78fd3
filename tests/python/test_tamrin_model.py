"""nimbrel.tamrin: molecules, atoms, bonds, coordinates, conformers and data from Python."""

from __future__ import annotations

import copy
import gc
import math
import weakref

import pytest

from nimbrel import tamrin

MISMATCH = "Warning: data type mismatch found when using generic data"


def hexagon(radius: float = 1.4) -> list[tuple[float, float, float]]:
    return [
        (radius * math.cos(math.pi * k / 3), radius * math.sin(math.pi * k / 3), 0.0)
        for k in range(6)
    ]


def ring(mol: tamrin.QvMolBase) -> list[tamrin.QvAtomBase]:
    """Six carbons in a ring with alternating bond orders, placed on a hexagon."""
    atoms = [mol.NewAtom(6) for _ in range(6)]
    for k, atom in enumerate(atoms):
        mol.NewBond(atom, atoms[(k + 1) % 6], 1 + k % 2)
    return atoms


def test_iterators_are_python_iterators():
    mol = tamrin.QvGraphMol()
    atoms = ring(mol)
    for it in (mol.GetAtoms(), mol.GetBonds(), atoms[0].GetBonds(), atoms[0].GetAtoms()):
        assert iter(it) is it
    it = mol.GetAtoms()
    assert [next(it) for _ in range(6)] == atoms
    with pytest.raises(StopIteration):
        next(it)
    assert len(list(atoms[0].GetBonds())) == 2
    assert len(list(mol.GetBonds(lambda b: b.GetOrder() == 2))) == 3


def test_iteration_survives_edits_of_the_molecule():
    mol = tamrin.QvGraphMol()
    atoms = ring(mol)
    seen = []
    for atom in mol.GetAtoms():
        seen.append(atom.GetIdx())
        if atom.GetIdx() == 0:
            mol.DeleteAtom(atoms[1])
            mol.NewAtom(8)
    assert seen == [0, 2, 3, 4, 5, 6]
    it = mol.GetAtoms()
    next(it)
    nbrs, bonds = atoms[0].GetAtoms(), atoms[0].GetBonds()
    mol.Clear()
    assert list(it) == [] and list(nbrs) == [] and list(bonds) == []
    with pytest.raises(ValueError):
        atoms[0].GetAtoms()  # the atom itself is gone
    assert repr(atoms[0]) == "<QvAtomBase destroyed>"


def test_records_used_after_sweep_or_clear_raise():
    mol = tamrin.QvGraphMol()
    atoms = ring(mol)
    bond = atoms[0].GetBond(atoms[1])
    mol.DeleteAtom(atoms[0])
    assert atoms[0].IsDeleted(), "deleted records stay usable until Sweep"
    mol.Sweep()
    for call in (atoms[0].GetIdx, bond.GetOrder, lambda: mol.DeleteAtom(atoms[0]),
                 lambda: tamrin.QvSetSDData(atoms[0], "a", "b")):
        with pytest.raises(ValueError, match="no longer exists"):
            call()
    assert atoms[1].GetIdx() == 0
    mol.Clear()
    with pytest.raises(ValueError, match="no longer exists"):
        atoms[1].GetAtomicNum()
    # Equality and hashing do not touch the record.
    assert atoms[1] == atoms[1] and atoms[1] != atoms[2]
    assert len({atoms[1], atoms[1], atoms[2]}) == 2


def test_atoms_keep_their_molecule_alive():
    mol = tamrin.QvGraphMol()
    atom = mol.NewAtom(7)
    probe = weakref.ref(mol)
    del mol
    gc.collect()
    assert probe() is not None
    assert atom.GetParent() is probe()
    assert atom.GetAtomicNum() == 7
    del atom
    gc.collect()
    assert probe() is None


def test_wrappers_of_one_record_compare_equal_and_foreign_atoms_are_refused():
    mol, other = tamrin.QvGraphMol(), tamrin.QvGraphMol()
    a, b = mol.NewAtom(6), mol.NewAtom(8)
    bond = mol.NewBond(a, b, 1)
    assert mol.GetBond(a, b) == bond == mol.GetBond(b, a)
    assert bond.GetNbr(a) == b and bond.GetNbr(b) == a
    assert next(mol.GetAtoms()) == a and hash(next(mol.GetAtoms())) == hash(a)
    assert a != bond
    foreign = other.NewAtom(6)
    assert mol.NewBond(a, foreign, 1) is None
    assert mol.NewBond(a, a, 1) is None
    assert not mol.DeleteAtom(foreign)
    assert mol.GetBond(a, foreign) is None
    with pytest.raises(ValueError, match="another molecule"):
        mol.GetCoords(foreign)
    assert not mol.SetCoords(foreign, (1, 2, 3))


def test_atom_property_conversions():
    mol = tamrin.QvGraphMol()
    atom = mol.NewAtom(8)
    assert atom.SetName("N\u00e9") and atom.GetName() == "N\u00e9"
    assert atom.SetPartialCharge(0.1) and atom.GetPartialCharge() == pytest.approx(0.1, abs=1e-7)
    assert not atom.SetFormalCharge(40000)
    with pytest.raises(OverflowError):
        atom.SetIsotope(-1)


def test_coordinates_forms_and_errors():
    mol = tamrin.QvGraphMol()
    a, b = mol.NewAtom(6), mol.NewAtom(6)
    assert mol.GetCoords() == [(0.0, 0.0, 0.0)] * 2
    assert mol.SetCoords([(1, 2, 3), (4, 5, 6)])
    assert mol.GetCoords(b) == (4.0, 5.0, 6.0)
    assert mol.SetCoords([0.5, 1, 1.5, 2, 2.5, 3])  # flat
    assert a.GetCoords() == (0.5, 1.0, 1.5)
    assert b.SetCoords([7, 8, 9]) and mol.GetCoords(b) == (7.0, 8.0, 9.0)
    for args, error, pattern in [(([(1, 2, 3)],), ValueError, r"expected 2 \(x, y, z\) triples or 6 numbers"),
                                 ((a, (1, 2)), ValueError, "3 numbers"), ((a, (1, "y", 3)), TypeError, "numbers"),
                                 ((a, 5), TypeError, "sequence")]:
        with pytest.raises(error, match=pattern):
            mol.SetCoords(*args)
    assert a.GetCoords() == (0.5, 1.0, 1.5), "a failed call changes nothing"


def test_generic_data_and_type_mismatch_warning(capfd):
    mol = tamrin.QvGraphMol()
    assert tamrin.QvGetData(mol, "flag") is None
    items = [("flag", True), ("count", 3), ("big", 2**40), ("ratio", 0.25), ("note", "text")]
    assert all(tamrin.QvSetData(mol, name, value) for name, value in items)
    capfd.readouterr()
    assert not tamrin.QvSetData(mol, "flag", "yes")
    assert capfd.readouterr().err == MISMATCH + "\n"
    assert tamrin.QvGetData(mol, "flag") is True
    assert tamrin.QvGetDataPairs(mol) == items
    tamrin.QvAddData(mol, "count", 4)
    assert tamrin.QvGetData(mol, "count") == 3
    assert tamrin.QvDeleteData(mol, "count") and not tamrin.QvHasData(mol, "count")
    with pytest.raises(TypeError):
        tamrin.QvSetData(mol, "bad", [1, 2])
    with pytest.raises(OverflowError):
        tamrin.QvSetData(mol, "huge", 2**70)
    atom = mol.NewAtom(6)
    tamrin.QvSetData(atom, "charge model", "am1bcc")
    assert tamrin.QvGetDataPairs(atom) == [("charge model", "am1bcc")]
    assert tamrin.QvGetTagName(tamrin.QvGetTag("charge model")) == "charge model"
    assert tamrin.QvGetTag("") == 0


def test_sd_data_arguments_are_checked():
    mol = tamrin.QvGraphMol()
    tamrin.QvAddSDData(mol, "c", "multi\nline")
    assert tamrin.QvGetSDDataPairs(mol) == [("c", "multi\nline")]
    for call, error in ((lambda: tamrin.QvAddSDData(mol, "a", 5), TypeError),
                        (lambda: tamrin.QvGetSDDataPairs("not a molecule"), TypeError),
                        (lambda: tamrin.QvGetSDDataPairs(None), ValueError)):
        with pytest.raises(error):
            call()


def test_copies_are_deep_and_renumbered():
    mol = tamrin.QvGraphMol()
    atoms = ring(mol)
    mol.SetCoords(hexagon())
    mol.DeleteAtom(atoms[0])
    tamrin.QvAddSDData(mol, "k", "v")
    for dup in (tamrin.QvGraphMol(mol), copy.copy(mol), copy.deepcopy(mol)):
        assert type(dup) is tamrin.QvGraphMol
        assert (dup.NumAtoms(), dup.NumBonds(), dup.GetMaxAtomIdx()) == (5, 4, 5)
        assert dup.GetCoords()[0] == pytest.approx(hexagon()[1], abs=1e-6)  # kept as float32
        assert tamrin.QvGetSDDataPairs(dup) == [("k", "v")]
        dup.NewAtom(1)
    assert mol.NumAtoms() == 5


def test_classes_and_data_reach_the_format_module():
    from nimbrel import velk

    graph, multi = tamrin.QvGraphMol(), tamrin.QvMol()
    assert isinstance(graph, tamrin.QvMolBase) and isinstance(multi, tamrin.QvMolBase)
    assert isinstance(multi, tamrin.QvMCMolBase) and not isinstance(graph, tamrin.QvMCMolBase)
    assert repr(graph) == "<QvGraphMol '' 0 atoms 0 bonds>"
    mol = tamrin.QvGraphMol()
    tamrin.QvSetData(mol, "Charge", -1)
    tamrin.QvSetData(mol, "Total Energy", -76.25)
    tamrin.QvAddSDData(mol, "not listed", "SD pairs are no plain values")
    assert velk.generic_data(mol) == [("Charge", -1), ("Total Energy", -76.25)]


# Multi-conformer molecules.


def three_atoms(mol):
    atoms = [mol.NewAtom(6), mol.NewAtom(6), mol.NewAtom(8)]
    mol.NewBond(atoms[0], atoms[1], 1)
    mol.NewBond(atoms[1], atoms[2], 2)
    return atoms


def row(k: float):
    return [(k, 0.0, 0.0), (k + 1, 0.0, 0.0), (k + 2, 0.0, 0.0)]


def test_conformers_from_coordinates_graph_molecules_and_copies():
    mol = tamrin.QvMol()
    atoms = three_atoms(mol)
    confs = [mol.NewConf(row(k)) for k in (0, 10, 20)]
    assert list(mol.GetConfs()) == confs
    assert confs[1].GetCoords() == row(10) and confs[1].GetCoords(atoms[2])[0] == 12.0
    confs[2].SetTitle("conf 2")
    assert mol.SetActive(confs[2]) and mol.GetCoords(atoms[0]) == (20.0, 0.0, 0.0)
    assert confs[2].GetParent() is mol
    assert repr(confs[2]) == "<QvConfBase idx=2 title='conf 2'>"
    record = tamrin.QvGraphMol()
    three_atoms(record)
    record.SetCoords(row(5))
    tamrin.QvAddSDData(record, "score", "1.5")
    conf = mol.NewConf(record)
    assert conf.GetCoords() == row(5) and tamrin.QvGetSDData(conf, "score") == "1.5"
    assert tamrin.QvGraphMol(conf).GetCoords() == row(5)
    assert tamrin.QvMol(record).NumConfs() == 1
    assert copy.copy(mol).NumConfs() == 4


def test_conformer_size_mismatch_warns(capfd):
    mol = tamrin.QvMol()
    three_atoms(mol)
    bigger = tamrin.QvGraphMol()
    for _ in range(4):
        bigger.NewAtom(6)
    capfd.readouterr()
    assert mol.NewConf(bigger) is None
    assert capfd.readouterr().err == (
        "Warning: Unequal number of atoms when copying conformer coordinates: 4 != 3\n")
    with pytest.raises(ValueError, match="expected 3"):
        mol.NewConf(row(0)[:2])
    assert mol.NumConfs() == 0


def test_deleted_conformers_raise_and_hand_over_activity():
    mol = tamrin.QvMol()
    three_atoms(mol)
    first, second = mol.NewConf(row(0)), mol.NewConf(row(1))
    assert mol.DeleteConf(first)
    assert mol.GetActive() == second
    for call in (first.GetTitle, lambda: mol.DeleteConf(first)):
        with pytest.raises(ValueError, match="no longer exists"):
            call()
    assert mol.PushActive(mol.NewConf()) and mol.PopActive()
    assert mol.GetActive() == second
    mol.DeleteConfs()
    assert mol.GetActive() is None and list(mol.GetConfs()) == []


def _read_molecule(tmp_path) -> tamrin.QvMolBase:
    from nimbrel import velk

    path = tmp_path / "water.xyz"
    path.write_text("3\nwater\nO 0 0 0\nH 0.96 0 0\nH -0.24 0.93 0\n")
    return next(velk.read(path))


@pytest.mark.parametrize("make", [
    pytest.param(lambda tmp_path: tamrin.QvGraphMol(), id="constructed"),
    pytest.param(lambda tmp_path: tamrin.QvMol(), id="multi-conformer"),
    pytest.param(_read_molecule, id="read"),
    pytest.param(lambda tmp_path: tamrin.QvGraphMol().NewAtom(6), id="atom"),
])
def test_wrappers_hold_their_record_apart_and_take_attributes_and_weak_references(tmp_path, make):
    obj = make(tmp_path)
    assert "this" not in vars(obj), "the native pointer has a slot of its own"
    obj.note = "kept"
    assert (obj.note, vars(obj)["note"]) == ("kept", "kept")
    probe = weakref.ref(obj)
    assert probe() is obj
    assert obj.thisown in (True, False)
    del obj
    gc.collect()
    assert probe() is None
