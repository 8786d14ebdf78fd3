"""Files split into byte ranges and read as Dask collections.

Oracle: the records of ranges that cover a file, read one range at a time,
must be the records of reading the whole file, for every shared file of a
format that splits and for made files whose range ends fall on the awkward
places (one byte, inside a record, at a record start, CRLF line ends, no
final line end, a count line that looks like a title). The Dask collections,
computed on two worker processes, must hold what velk.read reads.
"""

from __future__ import annotations

import gzip
import importlib
import sys
import warnings
from pathlib import Path

import pytest

from nimbrel import tamrin, velk
from nimbrel import velk_core as core

SPLIT_SUFFIXES = (".sdf", ".mol2", ".smi", ".xyz", ".pdb")


def fingerprint(mol) -> tuple:
    return (mol.GetTitle(), mol.NumAtoms(), mol.NumBonds(), tuple(velk.generic_data(mol)))


def whole(path: Path, fmt: int) -> list[tuple]:
    return [fingerprint(mol) for mol in velk.read(path, format=fmt, errors="skip")]


def per_range(path: Path, fmt: int, cuts: list[int]) -> list[list[tuple]]:
    found = []
    for begin, end in zip(cuts, cuts[1:]):
        handle = core._open_range_reader(str(path), fmt, begin, end)
        handle.set_errors(2)  # skip: the whole read above skips the same records
        found.append([])
        while True:
            mol = tamrin.QvGraphMol()
            if not handle.next(mol):
                break
            found[-1].append(fingerprint(mol))
    return found


def by_ranges(path: Path, fmt: int, cuts: list[int]) -> list[tuple]:
    return [record for records in per_range(path, fmt, cuts) for record in records]


def even_cuts(size: int, block: int) -> list[int]:
    return [*range(0, size, block), size]


def mol2_record(i: int) -> str:
    atoms = "".join(f"{a + 1} C{a + 1} {a * 1.5:.4f} 0.0000 0.0000 C.3 1 UNL1 0.0000\n" for a in range(i % 3 + 1))
    bonds = "".join(f"{a + 1} {a + 1} {a + 2} 1\n" for a in range(i % 3))
    return (
        f"@<TRIPOS>MOLECULE\nm{i}\n{i % 3 + 1} {i % 3} 0 0 0\nSMALL\nNO_CHARGES\n\n"
        f"@<TRIPOS>ATOM\n{atoms}@<TRIPOS>BOND\n{bonds}"
    )


def sdf_record(i: int) -> str:
    n = i % 3 + 1
    atoms = "".join(f"{a * 1.5:10.4f}    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\n" for a in range(n))
    bonds = "".join(f"{a + 1:3d}{a + 2:3d}  1  0\n" for a in range(n - 1))
    return f"m{i}\n  made\n\n{n:3d}{n - 1:3d}  0  0  0  0  0  0  0  0999 V2000\n{atoms}{bonds}M  END\n> <id>\n{i}\n\n$$$$\n"


def pdb_record(i: int) -> str:
    atoms = "".join(
        f"HETATM{a + 1:5d}  C{a + 1:<2d} UNL A   1    {a * 1.5:8.3f}   0.000   0.000  1.00  0.00           C\n"
        for a in range(i % 3 + 1)
    )
    return f"COMPND    m{i}\n{atoms}END\n"


# Each XYZ title is a number, as a count line reads: only counting finds records.
MADE = {
    "sdf": sdf_record,
    "mol2": mol2_record,
    "pdb": pdb_record,
    "smi": lambda i: "C" * (i % 3 + 1) + "C(C)(C)" * 6 + f" m{i}\n",
    "xyz": lambda i: f"{i % 3 + 1}\n{i % 3 + 1}\n" + "".join(f"C {a * 1.5} 0 0\n" for a in range(i % 3 + 1)),
}


def made_file(tmp_path: Path, suffix: str, count: int, crlf: bool, final_newline: bool) -> Path:
    text = "".join(MADE[suffix](i) for i in range(count))
    if not final_newline:
        text = text.rstrip("\n")
    if crlf:
        text = text.replace("\n", "\r\n")
    path = tmp_path / f"made.{suffix}"
    path.write_bytes(text.encode())
    return path


@pytest.mark.parametrize("suffix", sorted(MADE))
@pytest.mark.parametrize("crlf,final_newline", [(False, True), (True, True), (False, False), (True, False)])
def test_small_files_split_at_every_byte(tmp_path: Path, suffix: str, crlf: bool, final_newline: bool) -> None:
    path = made_file(tmp_path, suffix, 5, crlf, final_newline)
    fmt = velk.resolve_format(suffix)
    expected = whole(path, fmt)
    assert len(expected) == 5
    first = len(MADE[suffix](0).replace("\n", "\r\n" if crlf else "\n"))
    size = path.stat().st_size
    # One byte, inside the first record, at the second record's start.
    for cuts in (even_cuts(size, 1), even_cuts(size, first // 2 + 1), even_cuts(size, first)):
        assert by_ranges(path, fmt, cuts) == expected, (suffix, cuts)
        # The same ranges as raw records: the file's bytes, cut into its records.
        raw = [r for b, e in zip(cuts, cuts[1:]) for r in core._range_records(str(path), fmt, b, e, False)]
        assert (len(raw), b"".join(raw)) == (5, path.read_bytes()), (suffix, cuts)
    # A range owns the records that start in it: the second record, and only
    # it, starts in [first, first + 1).
    owned = per_range(path, fmt, [0, first - 1, first, first + 1, size])
    assert owned == [expected[:1], [], expected[1:2], expected[2:]]


@pytest.mark.parametrize("suffix", sorted(MADE))
def test_large_files_split_past_the_look_back(tmp_path: Path, suffix: str) -> None:
    # Ends far enough into the file that boundaries are found from the data
    # near them, not counted from its start; prime block sizes land anywhere.
    path = made_file(tmp_path, suffix, 300_000 // len(MADE[suffix](1)), False, True)
    fmt = velk.resolve_format(suffix)
    expected = whole(path, fmt)
    size = path.stat().st_size
    assert size > 250_000
    for block in (size // 3 + 1, 65_537, 100_003):
        assert by_ranges(path, fmt, even_cuts(size, block)) == expected, (suffix, block)


def test_shared_files_split_alike(shared_testdata: Path, tmp_path: Path) -> None:
    files = sorted(p for p in shared_testdata.rglob("*") if p.is_file() and p.name.endswith(SPLIT_SUFFIXES))
    assert len(files) >= 15, files
    for path in files:
        fmt = velk.resolve_format(path.suffix)
        size = path.stat().st_size
        expected = whole(path, fmt)
        for block in (997, size // 3 + 1, 70_001):
            if size // block > 300:
                continue
            assert by_ranges(path, fmt, even_cuts(size, block)) == expected, (path.name, block)


@pytest.mark.parametrize(
    "name,fmt,error",
    [
        ("a.sdf.gz", "sdf", "gzip-compressed"),
        ("a.csv", "csv", "cannot be read by byte range"),
        ("missing.sdf", "sdf", "unable to open"),
    ],
)
def test_unsplittable_inputs_say_why(tmp_path: Path, name: str, fmt: str, error: str) -> None:
    path = tmp_path / name
    if not name.startswith("missing"):
        path.write_bytes(b"x\n")
    with pytest.raises(velk.Error, match=error):
        core._open_range_reader(str(path), velk.resolve_format(fmt), 0, 10)


def test_without_dask_the_import_names_the_extra(monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setitem(sys.modules, "dask", None)
    monkeypatch.delitem(sys.modules, "nimbrel.dask", raising=False)
    with pytest.raises(ImportError, match=r"pip install 'nimbrel\[dask\]'"):
        importlib.import_module("nimbrel.dask")


# -- Dask, on two worker processes -------------------------------------------------------------------------


@pytest.fixture(scope="module")
def client():
    import distributed  # a test dependency: its absence is a failure, not a skip

    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # the cluster's notes on ports and memory
        cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None)
    with cluster, distributed.Client(cluster) as c:
        yield c


@pytest.fixture(scope="module")
def sd_set(tmp_path_factory: pytest.TempPathFactory) -> dict[str, list[Path]]:
    root = tmp_path_factory.mktemp("sd")
    shards = []
    for s in range(4):
        path = root / f"shard-{s}.sdf.gz"
        path.write_bytes(gzip.compress("".join(sdf_record(s * 100 + i) for i in range(100)).encode()))
        shards.append(path)
    large = root / "large.sdf"
    large.write_text("".join(sdf_record(i) for i in range(1_000)))
    return {"shards": shards, "large": [large]}


@pytest.mark.parametrize("which,blocksize", [("shards", "64MiB"), ("large", 20_000)])
def test_bag_holds_what_velk_reads(client, sd_set, which: str, blocksize) -> None:
    from nimbrel import dask as nd

    paths = sd_set[which]
    pattern = str(paths[0].parent / ("shard-*.sdf.gz" if which == "shards" else "large.sdf"))
    expected = [fingerprint(mol) for path in paths for mol in velk.read(path)]
    bag = nd.read(pattern, blocksize=blocksize)
    assert bag.npartitions == (4 if which == "shards" else -(-paths[0].stat().st_size // 20_000))
    assert [fingerprint(mol) for mol in bag.compute()] == expected

    records = nd.read(pattern, blocksize=blocksize, as_bytes=True).compute()
    raw = [gzip.decompress(p.read_bytes()) if p.suffix == ".gz" else p.read_bytes() for p in paths]
    assert b"".join(records) == b"".join(raw)
    assert [fingerprint(velk.mol_from_bytes(r, "sdf")) for r in records] == expected

    frame = nd.read_frame(pattern, blocksize=blocksize).compute()
    plain = [velk.read_frame(path) for path in paths]
    assert list(frame.columns) == list(plain[0].columns)
    assert [fingerprint(mol) for mol in frame["mol"]] == expected
    assert frame["title"].tolist() == [title for title, *_ in expected]
    assert frame["id"].tolist() == [float(i) for p in plain for i in p["id"]]


def test_to_files_writes_one_file_per_partition(client, sd_set, tmp_path: Path) -> None:
    from nimbrel import dask as nd

    bag = nd.read(sd_set["large"], blocksize=50_000)
    written = nd.to_files(bag.filter(lambda mol: mol.NumAtoms() > 1), tmp_path / "out-*.sdf.gz")
    assert len(written) == bag.npartitions and written == sorted(written)
    expected = [fingerprint(mol) for mol in velk.read(sd_set["large"][0]) if mol.NumAtoms() > 1]
    assert [fingerprint(mol) for path in written for mol in velk.read(path)] == expected


def test_read_frame_refuses_a_tag_the_first_partition_lacks(sd_set, tmp_path: Path) -> None:
    from nimbrel import dask as nd

    late = tmp_path / "late.sdf"
    late.write_text(sdf_record(0) + sdf_record(1).replace("> <id>", "> <late>"))
    with pytest.raises(ValueError, match=r"\['late'\].*tags="):
        nd.read_frame(late, blocksize=len(sdf_record(0))).compute(scheduler="sync")
    kept = nd.read_frame(late, blocksize=len(sdf_record(0)), tags=["id"]).compute(scheduler="sync")
    assert kept["id"].tolist()[0] == 0.0 and list(kept.columns) == ["mol", "title", "id"]
