"""Reading with worker threads against reading on one thread.

Oracle: every shared file of a format read in parallel, and the shared 100k
SMILES set, read with 2 and 8 threads must give what one thread gives: every
record in order with the same canonical SMILES, title and SD data, and the
same warnings. Breaking out of the loop, an exception in the consumer and
closing the reader must leave no worker thread behind (counted in
/proc/self/task; the calling thread is one of num_threads). A molecule
Python drops goes back to the readers: one that held another record, made
dirtier still, must read every record as a new molecule does.
"""

from __future__ import annotations

import gzip
import os
import subprocess
import sys
import warnings
from pathlib import Path

import pytest

from nimbrel import tamrin, velk

THREADED_SUFFIXES = (".sdf", ".sdf.gz", ".mol2", ".smi", ".xyz", ".pdb")


def threads_of_process() -> int:
    return len(os.listdir("/proc/self/task"))


def read_all(path: Path, num_threads: int, fmt: str | None = None) -> tuple[list[tuple], list[str]]:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        records = [
            (mol.GetTitle(), mol.NumAtoms(), velk.mol_to_string(mol, "can"), velk.generic_data(mol),
             list(tamrin.QvGetSDDataPairs(mol)))
            for mol in velk.read(path, format=fmt, num_threads=num_threads)
        ]
    return records, [str(w.message) for w in caught]


def shared_files(root: Path) -> list[Path]:
    return sorted(p for p in root.rglob("*") if p.is_file() and p.name.endswith(THREADED_SUFFIXES))


def test_shared_files_read_alike(shared_testdata: Path) -> None:
    files = shared_files(shared_testdata)
    assert len(files) >= 15, files
    for path in files:
        one = read_all(path, 1)
        for threads in (2, 8):
            assert read_all(path, threads) == one, f"{path.name} with {threads} threads"


@pytest.fixture(scope="module")
def set_a_file(tmp_path_factory: pytest.TempPathFactory, set_a_lines: list[str]) -> Path:
    path = tmp_path_factory.mktemp("set_a") / "set_a.smi.gz"
    # A few lines no reader can take, so that the warnings are compared too.
    lines = set_a_lines[:50_000] + ["C1CC unclosed", "", "C(C open"] + set_a_lines[50_000:]
    path.write_bytes(gzip.compress(("\n".join(lines) + "\n").encode(), compresslevel=1))
    return path


def test_100k_set_reads_alike(set_a_file: Path) -> None:
    one_records, one_warnings = read_all(set_a_file, 1)
    assert len(one_records) > 99_000
    assert any("records 50001 to 50002" in w for w in one_warnings), one_warnings
    for threads in (2, 8):
        records, said = read_all(set_a_file, threads)
        assert len(records) == len(one_records)
        first_difference = next((i for i, (a, b) in enumerate(zip(records, one_records)) if a != b), None)
        assert first_difference is None, (threads, records[first_difference], one_records[first_difference])
        assert said == one_warnings


def test_damaged_gzip_warns_alike(tmp_path: Path, set_a_lines: list[str]) -> None:
    data = gzip.compress(("\n".join(set_a_lines[:3000]) + "\n").encode())
    path = tmp_path / "cut.smi.gz"
    path.write_bytes(data[: len(data) * 2 // 3])
    one = read_all(path, 1)
    assert any("damaged" in w for w in one[1]), one[1]
    assert read_all(path, 4) == one


def test_errors_raise_names_the_same_record(tmp_path: Path) -> None:
    path = tmp_path / "bad.smi"
    path.write_text("".join(f"C{'C' * (i % 7)}O m{i}\n" for i in range(500)) + "C1CC bad\n" + "CCN after\n" * 300)

    def until_error(threads: int) -> tuple[int, str]:
        count = 0
        with pytest.raises(velk.FormatError) as raised:
            for _ in velk.read(path, errors="raise", num_threads=threads):
                count += 1
        return count, str(raised.value)

    one = until_error(1)
    assert one[0] == 500 and "record 501" in one[1]
    assert until_error(4) == one


@pytest.mark.parametrize("how", ["break", "exception", "close"])
def test_no_worker_outlives_the_reader(tmp_path: Path, how: str) -> None:
    path = tmp_path / "many.smi"
    path.write_text("c1ccccc1CCN x\n" * 20_000)
    before = threads_of_process()
    if how == "close":
        reader = velk.open_reader(path, num_threads=8)
        next(reader)
        assert threads_of_process() == before + 7
        reader.close()
    elif how == "exception":
        with pytest.raises(RuntimeError), velk.open_reader(path, num_threads=8) as reader:
            for number, _ in enumerate(reader):
                if number == 10:
                    assert threads_of_process() == before + 7
                    raise RuntimeError("consumer failed")
    else:
        for number, _ in enumerate(velk.read(path, num_threads=8)):
            if number == 10:
                assert threads_of_process() == before + 7
                break
    assert threads_of_process() == before


def varint_end(data: bytes, at: int) -> int:
    """Past a length, whose last byte is the one with the high bit set."""
    while not data[at] & 0x80:
        at += 1
    return at + 1


def garbled(record: bytes) -> bytes:
    """The record with its framing kept and its payload made unreadable."""
    payload_at = varint_end(record, 1)
    return record[:payload_at] + b"\xff" * (len(record) - payload_at)


@pytest.mark.parametrize("suffix", [".qvb", ".qvz"])
def test_binary_records_read_alike(shared_testdata: Path, tmp_path: Path, suffix: str) -> None:
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        mols = [m for name in VARIED for m in velk.read(shared_testdata / name)]
    assert len(mols) > 30
    # Several batches of records.
    mols *= 5
    fmt = suffix[1:]
    records = []
    for i, mol in enumerate(mols):
        if i % 7 == 3:
            # Several conformers in one record: one molecule each.
            mc = tamrin.QvMol(mol)
            mc.NewConf(mol)
            mc.NewConf(mol)
            records.append(velk.mol_to_bytes(mc, fmt))
        else:
            records.append(velk.mol_to_bytes(mol, fmt))
    records[len(records) // 2] = garbled(records[len(records) // 2])
    last = records[-1]
    path = tmp_path / f"mixed{suffix}"
    path.write_bytes(b"".join(records[:-1]) + last[: len(last) // 2])
    one_records, one_warnings = read_all(path, 1)
    assert len(one_records) > len(records), "the conformers are molecules of their own"
    assert sum("Error reading" in w for w in one_warnings) >= 2, one_warnings
    before = threads_of_process()
    reader = velk.open_reader(path, num_threads=4)
    next(reader)
    assert threads_of_process() == before + 3, "read on worker threads"
    reader.close()
    for threads in (2, 8):
        assert read_all(path, threads) == (one_records, one_warnings), f"{threads} threads"


def test_formats_with_state_read_on_one_thread(tmp_path: Path) -> None:
    path = tmp_path / "doc.json"
    path.write_text(velk.mol_to_string(velk.mol_from_string("CCO ethanol", "smi"), "json"))
    before = threads_of_process()
    reader = velk.open_reader(path, format="json", num_threads=4)
    titles = [mol.GetTitle() for mol in reader]
    assert titles == ["ethanol"]
    assert threads_of_process() == before


@pytest.mark.parametrize("bad", [-1, 1.5, "2", True])
def test_num_threads_must_be_a_count(tmp_path: Path, bad: object) -> None:
    path = tmp_path / "one.smi"
    path.write_text("CCO x\n")
    with pytest.raises(ValueError, match="num_threads"):
        velk.open_reader(path, num_threads=bad)  # type: ignore[arg-type]


def test_cli_convert_with_threads_writes_in_input_order(tmp_path: Path, set_a_lines: list[str]) -> None:
    source = tmp_path / "in.smi"
    source.write_text("\n".join(set_a_lines[:5000]) + "\n")
    outputs = []
    # SMILES out: an SD file's header line carries the time of writing.
    for threads in ("1", "3"):
        target = tmp_path / f"out{threads}.smi"
        subprocess.run([sys.executable, "-m", "nimbrel.velk", "convert", "--threads", threads, str(source),
                        str(target)], check=True, capture_output=True)
        outputs.append(target.read_bytes())
    assert outputs[0].count(b"\n") > 4900
    assert outputs[1] == outputs[0]


# SD data, charges, 2D and 3D, V3000, stereo in SMILES, no bonds in XYZ.
VARIED = ("mol2/q2mm_rh_enamide_training_set.mol2", "sdf/rdkit_NCI_aids_few.sdf.gz", "xyz/chemfiles_methane.xyz",
          "sdf/iodata_molv3000.sdf", "smiles/chemfiles_test.smi", "mol2/silico_clozapine.mol2")


def everything(mol: tamrin.QvMolBase) -> tuple:
    perceived = tuple(mol.HasPerceived(1 << bit) for bit in range(32))
    return (mol.GetTitle(), mol.NumAtoms(), mol.NumBonds(), mol.GetMaxAtomIdx(), mol.GetMaxBondIdx(),
            mol.GetDimension(), mol.GetEnergy(), perceived, mol.coords.tolist(), velk.generic_data(mol),
            velk.mol_to_bytes(mol, "qvb"), velk.mol_to_string(mol, "ism"))


def drop_dirty(path: Path) -> None:
    """Reads every record of `path` and drops it with more than a reader leaves."""
    mols = list(velk.read(path))
    for mol in mols:
        mol.SetEnergy(-12.5)
        mol.SetDimension(3)
        mol.SetTitle("t" * 300)
        mol.sd["left over"] = "value"
        mol.DeleteAtom(mol.NewAtom(8))
        mol.SetPerceived(0xFFFFFFFF, True)


@pytest.mark.filterwarnings("ignore:.*could not be read")
@pytest.mark.parametrize("threads", [1, 2])
def test_recycled_molecules_read_as_new_ones(shared_testdata: Path, threads: int) -> None:
    paths = [shared_testdata / name for name in VARIED]
    # Holding many empty molecules empties the bin, so that these reads,
    # whose molecules are all held, make new ones.
    holding = [tamrin.QvGraphMol() for _ in range(2000)]
    new = {path: [everything(mol) for mol in list(velk.read(path))] for path in paths}
    del holding
    for before, path in zip(paths[-1:] + paths[:-1], paths):
        drop_dirty(before)
        assert [everything(mol) for mol in velk.read(path, num_threads=threads)] == new[path], path.name

