"""QVB and QVZ over real molecules: every field survives, and molecules pickle
through the same record."""

from __future__ import annotations

import multiprocessing
import pickle
import struct

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


# One SD record and the .qvb and .qvz records earlier layouts of the payloads
# made of it: the first (version 1 connection table and data, float
# conformers), and the second (version 2 data, with a length on every value).
FIRST_LAYOUT_SDF = """\
4371221
     RDKit          2D

 11 11  0  0  0  0  0  0  0  0999 V2000
    3.7208    0.7146    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0
    2.6602   -0.3460    0.0000 O   0  0  0  0  0  0  0  0  0  0  0  0
    1.2113    0.0422    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0
    0.8231    1.4911    0.0000 O   0  0  0  0  0  0  0  0  0  0  0  0
   -0.6258    1.8793    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0
   -1.6865    0.8187    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0
   -3.1354    1.2069    0.0000 O   0  0  0  0  0  0  0  0  0  0  0  0
   -1.2983   -0.6302    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0
   -2.3589   -1.6909    0.0000 O   0  0  0  0  0  0  0  0  0  0  0  0
    0.1506   -1.0184    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0
    0.5389   -2.4673    0.0000 O   0  0  0  0  0  0  0  0  0  0  0  0
  1  2  1  0
  3  2  1  6
  3  4  1  0
  4  5  1  0
  5  6  1  0
  6  7  1  6
  6  8  1  0
  8  9  1  1
  8 10  1  0
 10 11  1  6
 10  3  1  0
M  END
>  <record>  (1) 
0

>  <heavy atoms>  (1) 
11

$$$$
"""
FIRST_LAYOUT_RECORDS = {
    ".qvb": bytes.fromhex(
        "0a4983198734333731323231131381018b8b8f8680800300008080888080000000808086808001000280808880800000"
        "028080868080020002808086808001000280808880800100008080868080010002808088808001000080808680800100"
        "028080888080010000808080818100818281810081828381028183848102818485810281858681008185878102818788"
        "8100818789810281898a81008189828102811405813f96216e4007f0363f00000000b8402a40e926b1be00000000e10b"
        "9b3fe8d92c3d00000000aeb6523f5ddcbe3f000000006e3420bfe78cf03f000000003bdfd7bf5396513f0000000065aa"
        "48c0b37b9a3f00000000b22ea6bfca5421bf0000000038f816c0696fd8bf00000000e3361a3eee5a82bf000000005af5"
        "093f3ee81dc00000000020810201ba0182894d444c5061726974798953445461674461746183008201810001820c8886"
        "7265636f72643001820c8e8b68656176792061746f6d7331310cb801818c517641746f6d53746572656f848281008203"
        "84010000008581008203840100000087810082038402000000898100820384010000000da70180848181b70284010000"
        "008581b70284010000008781b70284020000008981b7028401000000"
    ),
    ".qvz": bytes.fromhex(
        "374b8228b52ffd60c9000d0a000410198734333731323231131381018b8b8f8680800300008080888080000100020202"
        "01000080818100818283810281838484858586810081858787888789898a898201ba0182894d444c5061726974798953"
        "445461674461746183008201810001820c88867265636f7264308e8b68656176792061746f6d7331310cb801818c5176"
        "4153746572656f8482810082038401000000858702890da70180848181b702871008813f96216e4007f0363f00b8402a"
        "40e926b1bee10b9b3fe8d92c3daeb6523f5ddcbe3f6e3420bfe78cf03bdfd7bf53965165aa48c0b37b9ab22ea6bfca54"
        "21bf38f816c0696fd8e3361a3eee5a825af5093f3ee81dc0000000002181022428102b9807b1a9166868adff773068c8"
        "c9d8a061cef8f3e8b33ad006775485a7b8cb852984288c127abae646436bfbd8142c14abd9c38e18fb5896607502"
    ),
}
SECOND_LAYOUT_RECORDS = {
    ".qvb": bytes.fromhex(
        "0a7d81198734333731323231139d028b8b8f1903494351490b490b490b02041210100011031103705081611405813f96"
        "216e4007f0363f00000000b8402a40e926b1be00000000e10b9b3fe8d92c3d00000000aeb6523f5ddcbe3f000000006e"
        "3420bfe78cf03f000000003bdfd7bf5396513f0000000065aa48c0b37b9a3f00000000b22ea6bfca5421bf0000000038"
        "f816c0696fd8bf00000000e3361a3eee5a82bf000000005af5093f3ee81dc00000000020810201a50282818083810181"
        "00830c88867265636f726430830c8e8b68656176792061746f6d7331310c900281830181810f8482818281818281810d"
        "8f02800181ee0e848182838281848182"
    ),
    ".qvz": bytes.fromhex(
        "0b0c81198734333731323231139d028b8b8f1903494351490b490b490b020412101000110311037050816101a5028281"
        "808381018100830c88867265636f726430830c8e8b68656176792061746f6d7331310c900281830181810f8482818281"
        "818281810d8f02800181ee0e848182838281848182109801949030458454ef905b25815b2581335312621342237243"
    ),
}


@pytest.mark.parametrize("layout", [FIRST_LAYOUT_RECORDS, SECOND_LAYOUT_RECORDS], ids=["first", "second"])
@pytest.mark.parametrize("suffix", [".qvb", ".qvz"])
def test_files_of_earlier_layouts_still_read(tmp_path, suffix, layout):
    sdf = tmp_path / "one.sdf"
    sdf.write_text(FIRST_LAYOUT_SDF)
    old = tmp_path / f"old{suffix}"
    old.write_bytes(layout[suffix])
    (expected,) = velk.read(sdf)
    (back,) = velk.read(old)
    assert fields(back) == fields(expected)
    # Written again, the record takes the current layout and still reads the same.
    again = tmp_path / f"again{suffix}"
    with velk.open_writer(again) as writer:
        writer.append(back)
    assert again.read_bytes() != old.read_bytes()
    assert [fields(m) for m in velk.read(again)] == [fields(expected)]
