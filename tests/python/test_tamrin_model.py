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


def approx_triple(xyz):
    # Coordinates are kept in single precision.
    return pytest.approx(xyz, abs=1e-6)


def test_six_membered_ring_delete_sweep_round_trip():
    mol = tamrin.QvGraphMol()
    mol.SetTitle("ring")
    mol.SetDimension(3)
    atoms = ring(mol)
    mol.SetCoords(hexagon())
    for k, atom in enumerate(atoms):
        atom.SetName(f"C{k + 1}")
    tamrin.QvAddSDData(mol, "source", "test")
    tamrin.QvAddSDData(mol, "id", "6")

    assert (mol.NumAtoms(), mol.NumBonds()) == (6, 6)
    assert mol.DeleteAtom(atoms[2])
    assert not mol.DeleteAtom(atoms[2]), "a second delete is refused"
    assert (mol.NumAtoms(), mol.NumBonds(), mol.GetMaxAtomIdx()) == (5, 4, 6)
    assert [a.GetIdx() for a in mol.GetAtoms()] == [0, 1, 3, 4, 5]
    assert mol.NewAtom(1).GetIdx() == 6, "indices are not reused before Sweep"
    assert mol.DeleteAtom(mol.GetAtom(lambda a: a.GetIdx() == 6))

    assert mol.Sweep()
    survivors = [atoms[k] for k in (0, 1, 3, 4, 5)]
    assert list(mol.GetAtoms()) == survivors
    assert [a.GetIdx() for a in mol.GetAtoms()] == [0, 1, 2, 3, 4]
    assert [a.GetName() for a in mol.GetAtoms()] == ["C1", "C2", "C4", "C5", "C6"]
    assert mol.GetMaxAtomIdx() == 5
    coords = mol.GetCoords()
    assert len(coords) == 5
    for new_idx, old_idx in enumerate((0, 1, 3, 4, 5)):
        assert coords[new_idx] == approx_triple(hexagon()[old_idx])
        assert survivors[new_idx].GetCoords() == approx_triple(hexagon()[old_idx])
    assert [b.GetIdx() for b in mol.GetBonds()] == [0, 1, 2, 3]
    assert [(b.GetBgn().GetName(), b.GetEnd().GetName()) for b in mol.GetBonds()] == [
        ("C1", "C2"), ("C4", "C5"), ("C5", "C6"), ("C6", "C1")]
    assert [n.GetName() for n in survivors[0].GetAtoms()] == ["C2", "C6"]
    assert tamrin.QvGetSDDataPairs(mol) == [("source", "test"), ("id", "6")]
    assert (mol.GetTitle(), mol.GetDimension()) == ("ring", 3)


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
    with pytest.raises(ValueError, match="no longer exists"):
        atoms[0].GetIdx()
    with pytest.raises(ValueError, match="no longer exists"):
        bond.GetOrder()
    with pytest.raises(ValueError, match="no longer exists"):
        mol.DeleteAtom(atoms[0])
    with pytest.raises(ValueError, match="no longer exists"):
        tamrin.QvSetSDData(atoms[0], "a", "b")
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


def test_wrappers_of_one_record_compare_equal():
    mol = tamrin.QvGraphMol()
    a, b = mol.NewAtom(6), mol.NewAtom(8)
    bond = mol.NewBond(a, b, 1)
    assert mol.GetBond(a, b) == bond and mol.GetBond(b, a) == bond
    assert bond.GetNbr(a) == b and bond.GetNbr(b) == a
    assert next(mol.GetAtoms()) == a
    assert hash(next(mol.GetAtoms())) == hash(a)
    assert a != bond


def test_atoms_of_another_molecule_are_refused():
    mol, other = tamrin.QvGraphMol(), tamrin.QvGraphMol()
    a = mol.NewAtom(6)
    foreign = other.NewAtom(6)
    assert mol.NewBond(a, foreign, 1) is None
    assert mol.NewBond(a, a, 1) is None
    assert not mol.DeleteAtom(foreign)
    assert mol.GetBond(a, foreign) is None
    with pytest.raises(ValueError, match="another molecule"):
        mol.GetCoords(foreign)
    assert not mol.SetCoords(foreign, (1, 2, 3))


def test_atom_properties_round_trip():
    mol = tamrin.QvGraphMol()
    atom = mol.NewAtom(8)
    assert (atom.GetFormalCharge(), atom.GetIsotope(), atom.GetName(), atom.GetTypeName()) == (0, 0, "", "")
    assert atom.SetAtomicNum(7) and atom.GetAtomicNum() == 7
    assert atom.SetFormalCharge(-2) and atom.GetFormalCharge() == -2
    assert atom.SetIsotope(15) and atom.GetIsotope() == 15
    assert atom.SetName("N\u00e9") and atom.GetName() == "N\u00e9"
    assert atom.SetType("N.pl3") and atom.GetTypeName() == "N.pl3"
    assert atom.SetImplicitHCount(2) and atom.GetTotalDegree() == 2
    assert atom.SetPartialCharge(0.1) and atom.GetPartialCharge() == pytest.approx(0.1, abs=1e-7)
    assert atom.GetPartialCharge() != 0.1, "kept as a 32-bit float"
    assert not atom.SetFormalCharge(40000)
    assert not atom.SetImplicitHCount(256)
    assert atom.GetFormalCharge() == -2
    with pytest.raises(OverflowError):
        atom.SetIsotope(-1)


def test_title_energy_dimension_edges():
    mol = tamrin.QvGraphMol()
    mol.SetTitle("x" * 5000)
    assert mol.GetTitle() == "x" * 4091
    mol.SetEnergy(1e-50)
    assert mol.GetEnergy() == 0.0
    assert mol.HasPerceived(tamrin.QvPerceivedEnergy)
    mol.SetEnergy(-1.1)
    assert mol.GetEnergy() == pytest.approx(-1.1, rel=1e-7) and mol.GetEnergy() != -1.1
    assert not mol.SetDimension(1)
    assert mol.SetDimension(2) and mol.GetDimension() == 2


def test_perception_bits_follow_edits():
    mol = tamrin.QvGraphMol()
    atoms = ring(mol)
    everything = 0x1 | 0x2 | 0x4 | 0x8 | 0x10
    mol.SetPerceived(everything, True)
    atoms[0].SetFormalCharge(1)
    assert not mol.HasPerceived(tamrin.QvPerceivedAromaticity)
    assert mol.HasPerceived(tamrin.QvPerceivedRings | tamrin.QvPerceivedAtomStereo)
    mol.SetCoords(atoms[0], (0, 0, 1))
    assert not mol.HasPerceived(tamrin.QvPerceivedAtomStereo)
    assert mol.HasPerceived(tamrin.QvPerceivedRings)
    mol.NewAtom(1)
    assert not mol.HasPerceived(tamrin.QvPerceivedRings)


def test_coordinates_forms_and_errors():
    mol = tamrin.QvGraphMol()
    a, b = mol.NewAtom(6), mol.NewAtom(6)
    assert mol.GetCoords() == [(0.0, 0.0, 0.0)] * 2
    assert mol.SetCoords([(1, 2, 3), (4, 5, 6)])
    assert mol.GetCoords(b) == (4.0, 5.0, 6.0)
    assert mol.SetCoords([0.5, 1, 1.5, 2, 2.5, 3])  # flat
    assert a.GetCoords() == (0.5, 1.0, 1.5)
    assert b.SetCoords([7, 8, 9]) and mol.GetCoords(b) == (7.0, 8.0, 9.0)
    with pytest.raises(ValueError, match=r"expected 2 \(x, y, z\) triples or 6 numbers"):
        mol.SetCoords([(1, 2, 3)])
    with pytest.raises(ValueError, match="3 numbers"):
        mol.SetCoords(a, (1, 2))
    with pytest.raises(TypeError, match="numbers"):
        mol.SetCoords(a, (1, "y", 3))
    with pytest.raises(TypeError, match="sequence"):
        mol.SetCoords(a, 5)
    assert a.GetCoords() == (0.5, 1.0, 1.5), "a failed call changes nothing"


def test_coordinates_beyond_the_table_read_zero():
    mol = tamrin.QvGraphMol()
    first = mol.NewAtom(6)
    mol.SetCoords(first, (1, 1, 1))
    late = [mol.NewAtom(1) for _ in range(100)]
    assert late[-1].GetCoords() == (0.0, 0.0, 0.0)
    coords = mol.GetCoords()
    assert len(coords) == 101 and coords[0] == (1.0, 1.0, 1.0)
    assert set(coords[1:]) == {(0.0, 0.0, 0.0)}
    mol.SetCoords(first, (1e300, -1e300, 0))
    assert first.GetCoords()[:2] == (math.inf, -math.inf)


def test_generic_data_and_type_mismatch_warning(capfd):
    mol = tamrin.QvGraphMol()
    assert tamrin.QvGetData(mol, "flag") is None
    assert tamrin.QvSetData(mol, "flag", True)
    assert tamrin.QvSetData(mol, "count", 3)
    assert tamrin.QvSetData(mol, "big", 2**40)
    assert tamrin.QvSetData(mol, "ratio", 0.25)
    assert tamrin.QvSetData(mol, "note", "text")
    capfd.readouterr()
    assert not tamrin.QvSetData(mol, "flag", "yes")
    assert capfd.readouterr().err == MISMATCH + "\n"
    assert tamrin.QvGetData(mol, "flag") is True
    assert tamrin.QvGetDataPairs(mol) == [
        ("flag", True), ("count", 3), ("big", 2**40), ("ratio", 0.25), ("note", "text")]
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


def test_sd_data_helpers():
    mol = tamrin.QvGraphMol()
    tamrin.QvAddSDData(mol, "b", "1")
    tamrin.QvAddSDData(mol, "a", "2")
    tamrin.QvAddSDData(mol, "b", "3")
    tamrin.QvSetSDData(mol, "b", "x")
    tamrin.QvSetSDData(mol, "c", "multi\nline")
    assert tamrin.QvGetSDDataPairs(mol) == [("b", "x"), ("a", "2"), ("b", "3"), ("c", "multi\nline")]
    assert tamrin.QvGetSDData(mol, "c") == "multi\nline"
    assert tamrin.QvGetSDData(mol, "missing") == ""
    assert tamrin.QvHasSDData(mol, "a") and not tamrin.QvHasSDData(mol, "A")
    assert tamrin.QvDeleteSDData(mol, "b") and not tamrin.QvDeleteSDData(mol, "b")
    assert tamrin.QvGetSDDataPairs(mol) == [("a", "2"), ("c", "multi\nline")]
    tamrin.QvClearSDData(mol)
    assert tamrin.QvGetSDDataPairs(mol) == []
    with pytest.raises(TypeError):
        tamrin.QvAddSDData(mol, "a", 5)
    with pytest.raises(TypeError):
        tamrin.QvGetSDDataPairs("not a molecule")
    with pytest.raises(ValueError):
        tamrin.QvGetSDDataPairs(None)


def test_clear_resets_the_molecule():
    mol = tamrin.QvGraphMol()
    ring(mol)
    mol.SetTitle("t")
    tamrin.QvAddSDData(mol, "k", "v")
    mol.Clear()
    assert (mol.NumAtoms(), mol.NumBonds(), mol.GetMaxAtomIdx(), mol.GetTitle()) == (0, 0, 0, "")
    assert tamrin.QvGetSDDataPairs(mol) == []
    assert mol.NewAtom(6).GetIdx() == 0


def test_copies_are_deep_and_renumbered():
    mol = tamrin.QvGraphMol()
    atoms = ring(mol)
    mol.SetCoords(hexagon())
    mol.DeleteAtom(atoms[0])
    tamrin.QvAddSDData(mol, "k", "v")
    for dup in (tamrin.QvGraphMol(mol), copy.copy(mol), copy.deepcopy(mol)):
        assert type(dup) is tamrin.QvGraphMol
        assert (dup.NumAtoms(), dup.NumBonds(), dup.GetMaxAtomIdx()) == (5, 4, 5)
        assert dup.GetCoords()[0] == approx_triple(hexagon()[1])
        assert tamrin.QvGetSDDataPairs(dup) == [("k", "v")]
        dup.NewAtom(1)
    assert mol.NumAtoms() == 5


def test_classes_for_the_format_module():
    graph, multi = tamrin.QvGraphMol(), tamrin.QvMol()
    for mol in (graph, multi):
        assert isinstance(mol, tamrin.QvMolBase)
    assert isinstance(multi, tamrin.QvMCMolBase) and not isinstance(graph, tamrin.QvMCMolBase)
    assert repr(graph) == "<QvGraphMol title='' atoms=0 bonds=0>"


def test_molecules_reach_the_format_module():
    velk = pytest.importorskip("nimbrel.velk")
    mol = tamrin.QvGraphMol()
    tamrin.QvSetData(mol, "Charge", -1)
    tamrin.QvSetData(mol, "Total Energy", -76.25)
    tamrin.QvAddSDData(mol, "not listed", "SD pairs are no plain values")
    assert velk.generic_data(mol) == [("Charge", -1), ("Total Energy", -76.25)]
    assert velk.generic_data(tamrin.QvMol()) == []


# Multi-conformer molecules.


def three_atoms(mol):
    atoms = [mol.NewAtom(6), mol.NewAtom(6), mol.NewAtom(8)]
    mol.NewBond(atoms[0], atoms[1], 1)
    mol.NewBond(atoms[1], atoms[2], 2)
    return atoms


def row(k: float):
    return [(k, 0.0, 0.0), (k + 1, 0.0, 0.0), (k + 2, 0.0, 0.0)]


def test_conformers_from_coordinates_titles_and_energies():
    mol = tamrin.QvMol()
    atoms = three_atoms(mol)
    mol.SetTitle("parent")
    confs = [mol.NewConf(row(k)) for k in (0, 10, 20)]
    assert mol.NumConfs() == 3
    assert list(mol.GetConfs()) == confs
    assert [c.GetIdx() for c in mol.GetConfs()] == [0, 1, 2]
    assert [c.GetCoords(atoms[2])[0] for c in mol.GetConfs()] == [2.0, 12.0, 22.0]
    assert confs[1].GetCoords() == row(10)
    for k, conf in enumerate(confs):
        conf.SetTitle(f"conf {k}")
        conf.SetEnergy(-k - 0.5)
    assert [c.GetTitle() for c in mol.GetConfs()] == ["conf 0", "conf 1", "conf 2"]
    assert [c.GetEnergy() for c in mol.GetConfs()] == [-0.5, -1.5, -2.5]
    assert mol.GetTitle() == "parent"
    assert mol.GetActive() == confs[0] and confs[0].IsActive()
    assert mol.SetActive(confs[2])
    assert mol.GetEnergy() == -2.5
    assert mol.GetCoords(atoms[0]) == (20.0, 0.0, 0.0)
    assert confs[2].GetParent() is mol
    assert repr(confs[2]) == "<QvConfBase idx=2 title='conf 2'>"


def test_conformer_from_a_graph_molecule_and_copies():
    mol = tamrin.QvMol()
    three_atoms(mol)
    record = tamrin.QvGraphMol()
    three_atoms(record)
    record.SetCoords(row(5))
    record.SetTitle("record")
    tamrin.QvAddSDData(record, "score", "1.5")
    conf = mol.NewConf(record)
    assert conf.GetCoords() == row(5)
    assert conf.GetTitle() == "record"
    assert tamrin.QvGetSDData(conf, "score") == "1.5"
    other = tamrin.QvMol()
    three_atoms(other)
    assert other.NewConf(conf).GetCoords() == row(5)
    single = tamrin.QvGraphMol(conf)
    assert single.GetCoords() == row(5) and single.GetTitle() == "record"
    as_multi = tamrin.QvMol(record)
    assert as_multi.NumConfs() == 1 and as_multi.GetCoords() == row(5)
    assert copy.copy(mol).NumConfs() == 1


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


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda m: m.GetEnergy(), "QvMol::GetEnergy() : no active conformer"),
        (lambda m: m.SetEnergy(1.0), "QvMol::SetEnergy() : no active conformer"),
        (lambda m: m.GetDimension(), "QvMol::GetDimension() : no active conformer"),
        (lambda m: m.SetDimension(3), "QvMol::SetDimension() : no active conformer"),
    ],
)
def test_no_active_conformer_messages(capfd, call, message):
    mol = tamrin.QvMol()
    three_atoms(mol)
    capfd.readouterr()
    assert not call(mol)
    assert capfd.readouterr().err == f"Warning: {message}\n"


def test_deleted_conformers_raise_and_hand_over_activity():
    mol = tamrin.QvMol()
    three_atoms(mol)
    first, second = mol.NewConf(row(0)), mol.NewConf(row(1))
    assert mol.DeleteConf(first)
    assert mol.GetActive() == second
    with pytest.raises(ValueError, match="no longer exists"):
        first.GetTitle()
    with pytest.raises(ValueError, match="no longer exists"):
        mol.DeleteConf(first)
    assert mol.PushActive(mol.NewConf()) and mol.PopActive()
    assert mol.GetActive() == second
    mol.DeleteConfs()
    assert mol.GetActive() is None and list(mol.GetConfs()) == []
