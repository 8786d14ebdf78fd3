"""What Python sees of bad input and of the toolkit's remarks: each errors=
mode on each kind of fault, warnings that name the file and the record, and
nothing at all on the process's standard error."""

from __future__ import annotations

import gzip
import re
import warnings
import zlib

import pytest

from nimbrel import velk

GOOD_SD = (
    "{title}\n  nimbrel\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
    "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\nM  END\n$$$$\n"
)
BROKEN_SD = "bad\n  nimbrel\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n   ZZ\nM  END\n$$$$\n"


def broken_sd() -> tuple[bytes, list[str]]:
    return (BROKEN_SD + GOOD_SD.format(title="good")).encode(), ["good"]


def gzip_cut_in_half() -> tuple[bytes, list[str]]:
    # Distinct records, so that the compressed half holds many whole ones.
    text = "".join(GOOD_SD.format(title=f"m{i}") for i in range(2000)).encode()
    cut = gzip.compress(text, mtime=0)
    cut = cut[: len(cut) // 2]
    kept = zlib.decompressobj(wbits=31).decompress(cut)
    return cut, [f"m{i}" for i in range(kept.count(b"$$$$\n"))]


def bad_smiles() -> tuple[bytes, list[str]]:
    return b"CCO one\nC1CC two\nc1ccccc1 three\n", ["one", "three"]


# name, suffix, input maker, what the warning (or exception) about the lost
# data says after "velk: '<path>': ".
FAULTS = [
    ("broken SD record", ".sdf", broken_sd,
     r'record 1 could not be read as MDL SDF and was skipped\nError reading molecule "bad" in MDL SDF format\.'),
    ("gzip cut in half", ".sdf.gz", gzip_cut_in_half, r"input damaged at record \d+: unexpected end of file"),
    ("unparsable SMILES", ".smi", bad_smiles,
     r"record 2 could not be read as .*SMILES and was skipped\nProblem parsing SMILES:\nUnclosed ring\.\nC1CC two\n"),
]


def read_all(path, errors: str) -> tuple[list[str], list[str], list[str]]:
    """Titles read, ReadWarning texts, and the FormatError texts met, going on after each."""
    titles: list[str] = []
    raised: list[str] = []
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        reader = velk.read(path, errors=errors)
        while len(raised) < 10:
            try:
                titles.append(next(reader).GetTitle())
            except StopIteration:
                break
            except velk.FormatError as error:
                raised.append(str(error))
    assert all(issubclass(w.category, velk.ReadWarning) for w in caught)
    return titles, [str(w.message) for w in caught], raised


@pytest.mark.parametrize("errors", ["warn", "skip", "raise"])
@pytest.mark.parametrize("name, suffix, make, fault", FAULTS, ids=[case[0] for case in FAULTS])
def test_errors_mode_on_each_fault(tmp_path, capfd, errors, name, suffix, make, fault):
    data, expected = make()
    path = tmp_path / ("input" + suffix)
    path.write_bytes(data)
    titles, warned, raised = read_all(path, errors)

    # Every mode keeps every good record; "raise" too, for a caller who goes on.
    assert titles == expected
    about_the_fault = re.compile(re.escape(f"velk: '{path}': ") + fault)
    reports = {"warn": warned, "raise": raised, "skip": []}[errors]
    if errors != "skip":
        assert any(about_the_fault.match(text) for text in reports), reports
    assert all(text.startswith(f"velk: '{path}': ") and re.search(r"record \d+", text) for text in warned + raised)
    if errors != "warn":
        assert warned == []
    if errors != "raise":
        assert raised == []
    assert capfd.readouterr().err == ""


@pytest.mark.parametrize(
    "call",
    [
        lambda path: velk.read(path, errors="loud"),
        lambda path: velk.open_reader(path, errors=None),
        lambda path: velk.read_frame(path, errors="ignore"),
    ],
    ids=["read", "open_reader", "read_frame"],
)
def test_unknown_errors_value_names_the_valid_ones(tmp_path, call):
    path = tmp_path / "one.sdf"
    path.write_text(GOOD_SD.format(title="m"))
    with pytest.raises(ValueError, match="errors must be one of 'raise', 'warn', 'skip'"):
        call(path)


def test_read_frame_takes_errors(tmp_path):
    pytest.importorskip("pandas")
    path = tmp_path / "two.sdf"
    path.write_bytes(broken_sd()[0])
    with pytest.raises(velk.FormatError, match="record 1 could not be read"):
        velk.read_frame(path, errors="raise")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert list(velk.read_frame(path, errors="skip")["title"]) == ["good"]


def test_format_given_for_unknown_suffix_reads_quietly(tmp_path, capfd):
    path = tmp_path / "hits.txt"
    path.write_text("InChI=1S/CH4/h1H4\n")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert [mol.NumAtoms() for mol in velk.read(path, format="inchi")] == [1]
        # A format the streams only write, or no format at all, is refused
        # rather than read as whatever the suffix suggests.
        with pytest.raises(velk.FormatError, match="velk: IUPAC InChI Key cannot be read"):
            velk.read(path, format="inchikey")
        with pytest.raises(velk.FormatError, match="unknown format code 999"):
            velk.open_writer(tmp_path / "out.txt", format=999)
    assert capfd.readouterr().err == ""


def test_writer_remarks_are_write_warnings_naming_file_and_record(tmp_path, capfd):
    path = tmp_path / "out.sdf"
    mols = [velk.mol_from_string(f"C {title}", "smi") for title in ("short", "x" * 90)]
    with pytest.warns(velk.WriteWarning) as caught, velk.open_writer(path) as writer:
        for mol in mols:
            writer.append(mol)
    long_title = "x" * 90
    assert [str(w.message) for w in caught] == [
        f"velk: '{path}': record 2: Truncating title to 80 characters for {long_title}"
    ]
    assert capfd.readouterr().err == ""


def test_single_molecule_conversion_warns_once_per_call(capfd):
    with pytest.warns(velk.ReadWarning) as caught:
        assert velk.mol_from_string("C1CC", "smi") is None
    assert len(caught) == 1
    assert str(caught[0].message).startswith("Problem parsing SMILES:\nUnclosed ring.\nC1CC\n")
    assert capfd.readouterr().err == ""

