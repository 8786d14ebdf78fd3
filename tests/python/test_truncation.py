"""Files cut at every byte offset, read through nimbrel.velk in this process.

Oracle: the records read from the whole file. A cut must keep every record
that ends before it, unchanged. The record it falls in is either read (a text
record cut at a line end can be a shorter valid one, and an SD record cut to
no atoms is an empty record, which the stream skips by design) or reported as
a velk.ReadWarning or velk.Error naming the file and the record; a cut inside
the first line of a text record leaves no line of it to report. A gzip file
cut anywhere past its first byte must be reported, whatever the records
look like. A crash kills
pytest, and a hang trips the faulthandler timer, which kills it too.

``python tests/python/test_truncation.py`` prints the counts per format.
"""

from __future__ import annotations

import faulthandler
import gzip
import os
import re
import warnings
import zlib
from pathlib import Path

import pytest

from nimbrel import velgar, velk

XYZ = (
    "3\nwater\nO 0 0 0\nH 0.96 0 0\nH -0.24 0.93 0\n"
    "6\nmethanol\nC -0.05 0.66 0\nO -0.05 -0.75 0\nH 1.0 0.97 0\nH -0.54 1.06 0.89\n"
    "H -0.54 1.06 -0.89\nH 0.86 -1.06 0\n"
    "4\nammonia\nN 0 0 0.1\nH 0.94 0 -0.27\nH -0.47 0.81 -0.27\nH -0.47 -0.81 -0.27\n"
)

FCHK = (
    "water\nSP        RHF                           STO-3G\n"
    "Number of atoms                            I                3\n"
    "Charge                                     I                0\n"
    "Atomic numbers                             I   N=           3\n"
    "           8           1           1\n"
    "Current cartesian coordinates              R   N=           9\n"
    "  0.0 0.0 0.0 1.8 0.0\n  0.0 -0.5 1.7 0.0\n"
    "Total Energy                               R     -76.0266327341\n"
)

# Written by our own writers from the molecules above; FCHK has no writer.
MOLECULE_FORMATS = ["sdf", "mol2", "pdb", "smi", "csv", "xyz", "qvb", "qvz"]
GZIP_FORMATS = ["sdf.gz", "mol2.gz", "pdb.gz", "smi.gz", "csv.gz", "xyz.gz", "qvb.gz"]
FORMATS = MOLECULE_FORMATS + GZIP_FORMATS + ["cube", "fchk"]

BINARY = {"qvb", "qvz"}
# Lines before the first record that belong to none.
HEADER_LINES = {"csv": 1}
# Flavors that keep empty records, for the formats that have one.
KEEP_EMPTY = {"sdf": 0x4004}

SECONDS_PER_FORMAT = 60


def _key(mol) -> tuple:
    coords = tuple(round(c, 3) for atom in mol.GetAtoms() for c in mol.GetCoords(atom))
    return (mol.GetTitle(), mol.NumAtoms(), mol.NumBonds(), coords)


def _sample(tmp: Path, ext: str) -> tuple[bytes, list[int]]:
    """The plain bytes of a small file of `ext`, and the offset where each record ends.

    Writing the records one by one gives the ends: each shorter file is a
    prefix of the next (checked)."""
    if ext == "fchk":
        data = FCHK.encode()
        return data, [len(data)]
    source = tmp / "source.xyz"
    source.write_text(XYZ)
    mols = list(velk.read(source))
    if ext == "cube":
        grid = velgar.QvScalarGrid(2, 2, 3, 0.0, 0.0, 0.0, 0.5)
        grid.values[:] = [[[0.25 * (i + j + k) for i in range(2)] for j in range(2)] for k in range(3)]
        path = tmp / "sample.cube"
        with velk.open_writer(path) as writer:
            writer.append(mols[0], grid)
        data = path.read_bytes()
        return data, [len(data)]
    path = tmp / f"sample.{ext}"
    ends, data = [], b""
    for n in range(1, len(mols) + 1):
        with velk.open_writer(path) as writer:
            for mol in mols[:n]:
                writer.append(mol)
        longer = path.read_bytes()
        assert longer.startswith(data)
        data = longer
        ends.append(len(data))
    return data, ends


def _recoverable(data: bytes) -> int:
    """How many plain bytes a gzip prefix holds: what an honest gunzip gives back."""
    out = zlib.decompressobj(wbits=31)
    try:
        return len(out.decompress(data))
    except zlib.error:
        return 0


def _empty_record(fmt: str, text: bytes) -> bool:
    """Whether `text` alone reads as a record without atoms (skipped by the stream)."""
    if fmt == "pdb":
        # Lines without a whole atom line after the last model end a PDB
        # file (CONECT, MASTER, END): they are no record, nothing to report.
        return re.search(rb"^(ATOM  |HETATM).*\n", text, re.MULTILINE) is None
    if fmt not in KEEP_EMPTY:
        return False
    mol = velk.mol_from_string(text.decode(), fmt, KEEP_EMPTY[fmt])
    return mol is not None and mol.NumAtoms() == 0


def _read_all(path: Path) -> tuple[list[tuple], list[str], list[str]]:
    """Records, ReadWarning messages, and the text (with notes) of an error that ended the read."""
    records, errors = [], []
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            for mol in velk.read(path):
                records.append(_key(mol))
        except velk.Error as error:
            errors.append(" ".join([str(error), *getattr(error, "__notes__", [])]))
    messages = [str(w.message) for w in caught if issubclass(w.category, velk.ReadWarning)]
    return records, messages, errors


def sweep(tmp: Path, fmt: str) -> dict[str, int]:
    """Reads every cut of the sample of `fmt`; returns the counts, failing on a broken rule."""
    gz = fmt.endswith(".gz")
    base = fmt.removesuffix(".gz")
    plain, ends = _sample(tmp, base)
    header = sum(len(line) for line in plain.splitlines(keepends=True)[: HEADER_LINES.get(base, 0)])
    data = gzip.compress(plain, mtime=0) if gz else plain
    path = tmp / f"cut.{fmt}"
    path.write_bytes(data)
    whole, messages, errors = _read_all(path)
    assert len(whole) == len(ends) and not messages and not errors, (fmt, whole, messages, errors)

    counts = dict(offsets=0, kept=0, read_partial=0, empty=0, reported=0, lost=0, silent=0)
    faulthandler.dump_traceback_later(SECONDS_PER_FORMAT, exit=True)
    try:
        # Shortening one file in place costs far less than writing each cut.
        for cut in reversed(range(len(data))):
            os.truncate(path, cut)
            records, messages, errors = _read_all(path)
            usable = _recoverable(data[:cut]) if gz else cut
            complete = sum(end <= usable for end in ends)
            start = ends[complete - 1] if complete else header
            rest = plain[start:usable]
            partial = complete < len(ends) and (rest if base in BINARY else rest.rpartition(b"\n")[0].strip())
            reported = bool(messages or errors)
            counts["offsets"] += 1
            counts["kept"] += min(len(records), complete)
            counts["reported"] += reported
            if records[:complete] != whole[:complete]:
                counts["lost"] += 1
            elif gz and cut > 1 and not reported:
                # (A lone first magic byte passes through as plain data, as
                # data without both magic bytes do.)
                counts["silent"] += 1
            elif partial and len(records) > complete:
                counts["read_partial"] += 1
            elif partial and not reported:
                counts["empty" if _empty_record(base, rest) else "silent"] += 1
            for text in messages + errors:
                assert str(path) in text and re.search(r"record \d+", text), (fmt, cut, text)
    finally:
        faulthandler.cancel_dump_traceback_later()
    return counts


@pytest.mark.parametrize("fmt", FORMATS)
def test_every_cut_keeps_the_records_before_it_and_reports_the_rest(tmp_path: Path, fmt: str):
    counts = sweep(tmp_path, fmt)
    assert counts["offsets"] > 0
    assert (counts["lost"], counts["silent"]) == (0, 0), counts


if __name__ == "__main__":
    import tempfile

    print(f"{'format':8} {'offsets':>7} {'kept':>6} {'partial':>7} {'empty':>5} {'reported':>8} {'lost':>4} {'silent':>6}")
    for fmt in FORMATS:
        with tempfile.TemporaryDirectory() as tmp:
            c = sweep(Path(tmp), fmt)
        print(f"{fmt:8} {c['offsets']:7} {c['kept']:6} {c['read_partial']:7} {c['empty']:5} {c['reported']:8} "
              f"{c['lost']:4} {c['silent']:6}")
