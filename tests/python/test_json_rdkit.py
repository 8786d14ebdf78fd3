"""CommonChem JSON against RDKit as the oracle.

Both directions on real molecules (the shared SD and SMILES files and the
first 1000 SMILES of the shared 100k set): what we write, read by RDKit's
JSONToMols, is the molecule we hold (compared by RDKit's canonical isomeric
SMILES of our own SMILES output), SD data included; what RDKit's MolToJSON
writes, in its CommonChem and its own layout, read by us, is RDKit's
molecule. Then the shared JSON files, conformers, and the faults the reader
reports and reads past. Skipped only without the shared data.
"""

from __future__ import annotations

import gzip
from pathlib import Path

import pytest
from rdkit import Chem, RDLogger
from rdkit.Chem import rdMolInterchange

from nimbrel import tamrin, velk

SET_A_COUNT = 1000


def canonical(smiles: str) -> str | None:
    mol = Chem.MolFromSmiles(smiles)
    return Chem.MolToSmiles(mol) if mol is not None else None


def ours_canonical(mol) -> str | None:
    """RDKit's canonical SMILES of our SMILES of ``mol``."""
    return canonical(velk.mol_to_string(mol, "smi").split()[0] if mol.NumAtoms() else "")


def sd_pairs(mol) -> dict[str, str]:
    return dict(tamrin.QvGetSDDataPairs(mol))


def rdkit_canonical(mol) -> str | None:
    """Canonical SMILES without the hydrogen atoms a JSON record may list, by
    way of SMILES text as for our molecules (RemoveHs can flip the canonical
    form of a symmetric molecule's ring stereo)."""
    return canonical(Chem.MolToSmiles(mol))


@pytest.fixture
def our_molecules(shared_testdata: Path, set_a_lines) -> list:
    """Our molecules from every shared SD and SMILES file and part of set A."""
    RDLogger.DisableLog("rdApp.*")
    mols = []
    for path in sorted((shared_testdata / "sdf").glob("*.sdf*")) + sorted((shared_testdata / "smiles").glob("*.smi")):
        mols += [(f"{path.name}#{i}", m) for i, m in enumerate(velk.read(path))]
    for i, line in enumerate(set_a_lines[:SET_A_COUNT]):
        mol = velk.mol_from_string(line, "smi")
        if mol is not None:
            mols.append((f"set_A#{i}", mol))
    return mols


def test_written_by_us_read_by_rdkit(our_molecules):
    compared, differing = 0, []
    for name, mol in our_molecules:
        want = ours_canonical(mol)
        if want is None:
            continue  # RDKit refuses the molecule itself: nothing to compare
        text = velk.mol_to_string(mol, "json")
        got = Chem.JSONToMols(text)
        compared += 1
        if len(got) != 1 or rdkit_canonical(got[0]) != want:
            differing.append((name, want, [rdkit_canonical(g) for g in got]))
            continue
        props = got[0].GetPropsAsDict(includePrivate=False, includeComputed=False)
        ours = sd_pairs(mol)
        if {k: str(v) for k, v in props.items()} != ours:
            differing.append((name, ours, props))
    print(f"JSON written by us: {compared} compared, {len(differing)} differing")
    assert compared > 900
    assert differing == []


def test_file_of_many_molecules_reads_back(our_molecules, tmp_path):
    # Those RDKit reads as molecules (not the reaction, whose roles the
    # layout cannot hold).
    mols = [m for _, m in our_molecules if ours_canonical(m) is not None]
    path = tmp_path / "all.json.gz"
    with velk.open_writer(path, format="json") as writer:
        for mol in mols:
            writer.append(mol)
    back = list(velk.read(path, format="json"))
    assert [(m.GetTitle(), ours_canonical(m), sd_pairs(m)) for m in back] == [
        (m.GetTitle(), ours_canonical(m), sd_pairs(m)) for m in mols
    ]


@pytest.mark.parametrize("common", [True, False], ids=["commonchem", "rdkitjson"])
def test_written_by_rdkit_read_by_us(shared_testdata, set_a_lines, common):
    RDLogger.DisableLog("rdApp.*")
    refs = []
    sd = shared_testdata / "sdf" / "rdkit_NCI_aids_few.sdf.gz"
    with gzip.open(sd) as f:
        refs += [m for m in Chem.ForwardSDMolSupplier(f) if m is not None]
    refs += [m for m in (Chem.MolFromSmiles(line.split()[0]) for line in set_a_lines[:SET_A_COUNT]) if m]
    params = rdMolInterchange.JSONWriteParameters()
    params.useRDKitExtensions = not common
    differing = []
    for i, ref in enumerate(refs):
        ref.SetProp("_Name", f"m{i}")
        ref.SetProp("note", f"value {i}")
        text = rdMolInterchange.MolToJSON(ref, params)
        mol = velk.mol_from_string(text, "json")
        got = ours_canonical(mol) if mol is not None else None
        # SD molecules have 2D coordinates: their stereo is what RDKit stated.
        if got != rdkit_canonical(ref) or mol.GetTitle() != f"m{i}" or sd_pairs(mol).get("note") != f"value {i}":
            differing.append((i, Chem.MolToSmiles(ref), got))
    print(f"JSON written by RDKit: {len(refs)} compared, {len(differing)} differing")
    assert len(refs) > 900
    assert differing == []


def stereo_of_conformer(ref, conf_id: int) -> str:
    """RDKit's molecule with the stereo a 3D conformer shows, else as stated."""
    ref = Chem.Mol(ref)
    if ref.GetNumConformers() and ref.GetConformer(conf_id).Is3D():
        Chem.AssignStereochemistryFrom3D(ref, confId=conf_id)
    return rdkit_canonical(ref)


def test_shared_json_files(shared_testdata):
    files = sorted((shared_testdata / "json").glob("*.json"))
    assert len(files) == 3
    for path in files:
        ref = Chem.JSONToMols(path.read_text())[0]
        rdkit_confs = ref.GetNumConformers()
        # One molecule per conformer when read one by one (our SMILES writer
        # takes stereo from 3D coordinates, as RDKit does when asked); one
        # molecule with all conformers when read into a multi-conformer one.
        singles = list(velk.read(path, format="json"))
        assert len(singles) == max(rdkit_confs, 1), path.name
        assert [ours_canonical(m) for m in singles] == [
            stereo_of_conformer(ref, i) for i in range(len(singles))
        ], path.name
        mc = tamrin.QvMol()
        with velk.open_reader(path, mol_factory=tamrin.QvMol, format="json") as reader:
            mc = next(iter(reader))
        assert mc.NumConfs() == max(rdkit_confs, 1), path.name
        # The conformers come back out as one molecule.
        again = Chem.JSONToMols(velk.mol_to_string(mc, "json"))
        assert again[0].GetNumConformers() == rdkit_confs
        assert [c.Is3D() for c in again[0].GetConformers()] == [
            c.Is3D() for c in Chem.JSONToMols(path.read_text())[0].GetConformers()
        ]
    props = sd_pairs(next(iter(velk.read(shared_testdata / "json" / "rdkit_commonchem_test1.json", format="json"))))
    ref = Chem.JSONToMols((shared_testdata / "json" / "rdkit_commonchem_test1.json").read_text())[0]
    assert props == {k: str(v) for k, v in ref.GetPropsAsDict(includePrivate=False, includeComputed=False).items()}


GOOD = '{"atoms":[{"z":8,"impHs":2}],"name":"water"}'
FAULTS = [
    ("not JSON", '{"molecules":[' + GOOD + ']}\n{"molecules": [tru\n', "JSON document 2 is not valid JSON at byte"),
    ("no molecules", '{"commonchem":{"version":10}}\n{"molecules":[' + GOOD + "]}", 'JSON document 1 has no "molecules" array'),
    ("no atoms", '{"molecules":[{"name":"x"},' + GOOD + "]}", 'JSON document 1, molecule 0 skipped: no "atoms" array'),
    ("bond to nowhere", '{"molecules":[{"atoms":[{}],"bonds":[{"atoms":[0,3]}]},' + GOOD + "]}",
     'molecule 0 skipped: bond 0: "atoms" refers to an atom past the last (1 atoms)'),
    ("repeated bond", '{"molecules":[{"atoms":[{},{},{}],"bonds":[{"atoms":[0,1]},{"atoms":[1,2]},{"atoms":[1,0]}]},'
     + GOOD + "]}", "molecule 0 skipped: bond 2: joins atom 1 to itself or repeats a bond"),
    ("repeat behind other bonds of its atom",
     '{"molecules":[{"atoms":[{},{},{},{}],"bonds":[{"atoms":[0,1]},{"atoms":[0,2]},{"atoms":[0,3]},'
     '{"atoms":[3,1]},{"atoms":[2,0]}]},' + GOOD + "]}",
     "molecule 0 skipped: bond 4: joins atom 2 to itself or repeats a bond"),
    ("first of two repeats", '{"molecules":[{"atoms":[{},{},{}],"bonds":[{"atoms":[0,1]},{"atoms":[1,2]},'
     '{"atoms":[2,1]},{"atoms":[1,0]}]},' + GOOD + "]}",
     "molecule 0 skipped: bond 2: joins atom 2 to itself or repeats a bond"),
    ("bad z", '{"molecules":[{"atoms":[{"z":"C"}]},' + GOOD + "]}",
     'molecule 0 skipped: atom 0: "z" is not an integer from 0 to 118'),
    ("bad default z", '{"defaults":{"atom":{"z":200}},"molecules":[{"atoms":[{"z":7},{}]},' + GOOD + "]}",
     'molecule 0 skipped: atom 1: "z" is not an integer from 0 to 118'),
    ("deep", '{"x":' + "[" * 100000 + "]" * 100000 + '}\n{"molecules":[' + GOOD + "]}",
     "JSON document 1 nests deeper than 64 levels"),
    ("coords short", '{"molecules":[{"atoms":[{},{}],"conformers":[{"dim":3,"coords":[[0,0,0]]}]},' + GOOD + "]}",
     'molecule 0 skipped: conformer 0: "coords" is not an array with one entry per atom'),
]


@pytest.mark.parametrize("text,message", [f[1:] for f in FAULTS], ids=[f[0] for f in FAULTS])
def test_faults_are_reported_and_read_past(tmp_path, capfd, text, message):
    path = tmp_path / "faulty.json"
    path.write_text(text)
    with pytest.warns(velk.ReadWarning) as caught:
        mols = list(velk.read(path, format="json"))
    assert [m.GetTitle() for m in mols] == ["water"]
    assert mols[0].NumAtoms() == 1
    assert any(message in str(w.message) for w in caught)
    assert capfd.readouterr().err == ""


def test_record_without_stereo_takes_it_from_3d_coordinates():
    import json

    from rdkit.Chem import AllChem

    ref = Chem.AddHs(Chem.MolFromSmiles("C[C@@H](O)/C=C/[C@H](N)F"))
    assert AllChem.EmbedMolecule(ref, randomSeed=7) == 0
    doc = json.loads(rdMolInterchange.MolToJSON(ref))
    for item in [doc["defaults"]["atom"], doc["defaults"]["bond"], *doc["molecules"][0]["atoms"],
                 *doc["molecules"][0]["bonds"]]:
        item.pop("stereo", None)
    mol = velk.mol_from_string(json.dumps(doc), "json")
    # Through our JSON, whose stereo RDKit takes as stated, not our SMILES
    # (which takes it from 3D coordinates itself).
    assert rdkit_canonical(Chem.JSONToMols(velk.mol_to_string(mol, "json"))[0]) == "C[C@@H](O)/C=C/[C@H](N)F"
