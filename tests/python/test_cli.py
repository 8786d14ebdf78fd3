"""The command line: standard streams, formats by name, damaged records, and
convert's promise to leave no partial output."""

from __future__ import annotations

import gzip
import os
import subprocess
import sys
from pathlib import Path

import pytest

from nimbrel import velk
from nimbrel._cli import main

SMILES = "CCO ethanol\nc1ccc(cc1)C(=O)[O-] benzoate\nC[C@H](N)C(=O)O alanine\n"
# The second record cannot be read: an unclosed ring.
DAMAGED = "CCO ethanol\nC1CC broken\nc1ccccc1 benzene\n"


def isomeric(path: Path, format: str | None = None) -> list[tuple[str, str]]:
    return [(velk.mol_to_string(m, "ism").split()[0], m.GetTitle()) for m in velk.read(path, format=format)]


@pytest.fixture
def smiles_file(tmp_path: Path) -> Path:
    path = tmp_path / "in.smi"
    path.write_text(SMILES)
    return path


# (arguments, input: "smi" text or a gzip SD file, what standard output holds)
STREAM_CASES = {
    "smi to sdf": (["convert", "--in-format", "smi", "-", "--out-format", "sdf", "-"], "smi", "sdf"),
    "gzip sdf to smi": (["convert", "--in-format", ".sdf", "-", "--out-format", "smi", "-"], "sdf.gz", "smi"),
    "smi to gzip sdf": (["convert", "--in-format", "smi", "-", "--out-format", "sdf.gz", "-"], "smi", "sdf.gz"),
    "info": (["info", "--in-format", "sdf.gz", "-"], "sdf.gz", None),
}


@pytest.mark.parametrize("case", STREAM_CASES)
def test_standard_streams_carry_the_same_records_as_files(case, smiles_file, tmp_path, request):
    argv, given, written = STREAM_CASES[case]
    source = smiles_file if given == "smi" else \
        request.getfixturevalue("shared_testdata") / "sdf" / "rdkit_NCI_aids_few.sdf.gz"
    done = subprocess.run([sys.executable, "-m", "nimbrel.velk", *argv], input=source.read_bytes(),
                          capture_output=True)
    assert done.returncode == 0, done.stderr.decode()
    if written is None:
        atoms = [m.NumAtoms() for m in velk.read(source)]
        assert done.stdout.decode() == f"<stdin>: {len(atoms)} records, {sum(atoms)} atoms, 0 grids\n"
        return
    out = tmp_path / f"out.{written}"
    out.write_bytes(done.stdout)
    assert (done.stdout[:2] == b"\x1f\x8b") == written.endswith(".gz")
    assert isomeric(out) == isomeric(source)
    assert b"records" in done.stderr and b"records" not in done.stdout


def test_a_file_read_in_a_named_format_whatever_its_name(smiles_file, tmp_path, capsys):
    hidden = tmp_path / "upload.bin"  # gzip data under a name that says nothing
    hidden.write_bytes(gzip.compress(smiles_file.read_bytes()))
    out = tmp_path / "out.txt"
    assert main(["convert", "--in-format", "smi", str(hidden), "--out-format", "json", str(out)]) == 0
    assert isomeric(out, format="json") == isomeric(smiles_file)
    umask = os.umask(0)
    os.umask(umask)
    assert out.stat().st_mode & 0o777 == 0o666 & ~umask
    assert sorted(p.name for p in tmp_path.iterdir()) == ["in.smi", "out.txt", "upload.bin"]


@pytest.mark.parametrize("errors, status, titles", [("skip", 0, ["ethanol", "benzene"]), ("raise", 1, None)])
def test_errors_skip_or_raise(tmp_path, capsys, errors, status, titles):
    source, target = tmp_path / "damaged.smi", tmp_path / "out.smi"
    source.write_text(DAMAGED)
    assert main(["convert", "--errors", errors, str(source), str(target)]) == status
    err = capsys.readouterr().err
    assert f"'{source}': record 2" in err
    if titles is None:
        assert not target.exists()
    else:
        assert [title for _, title in isomeric(target)] == titles


def interrupted_after_one(append):
    """A writer's append that lets one record through, then is interrupted."""
    calls = []

    def interrupted(writer, mol, *grids):
        calls.append(mol)
        if len(calls) == 2:
            raise KeyboardInterrupt
        append(writer, mol, *grids)

    return interrupted


@pytest.mark.parametrize("failure, status", [("damaged record", 1), ("interrupt", 130), ("unwritable", 1)])
def test_a_failed_convert_leaves_the_old_target_and_nothing_else(tmp_path, monkeypatch, capsys, failure, status):
    source = tmp_path / "in.smi"
    source.write_text(DAMAGED if failure == "damaged record" else SMILES)
    target = tmp_path / ("old.cube" if failure == "unwritable" else "old.smi")
    target.write_text("older content\n")
    if failure == "interrupt":
        monkeypatch.setattr(velk.Writer, "append", interrupted_after_one(velk.Writer.append))
    before = sorted(tmp_path.iterdir())
    assert main(["convert", "--errors", "raise", str(source), str(target)]) == status
    assert sorted(tmp_path.iterdir()) == before
    assert target.read_text() == "older content\n"
    assert ".nimbrel-" not in capsys.readouterr().err  # messages name the user's files


@pytest.mark.parametrize("argv, status, message", [
    (["info", "--in-format", "nosuch", "IN"], 2, "unknown format 'nosuch'"),
    (["convert", "IN", "--out-format", "nosuch", "out"], 2, "unknown format 'nosuch'"),
    (["info", "-"], 2, "standard input needs --in-format"),
    (["convert", "IN", "-"], 2, "standard output needs --out-format"),
    (["convert", "IN", "OUT.nosuch"], 1, "unrecognized file extension for 'OUT.nosuch'"),
    (["info", "missing.smi"], 1, "'missing.smi'"),
    (["convert", "IN", "nodir/out.sdf"], 1, "cannot write 'nodir/out.sdf': No such file or directory"),
])
def test_requests_that_cannot_be_served(smiles_file, tmp_path, monkeypatch, capsys, argv, status, message):
    monkeypatch.chdir(tmp_path)
    argv = [str(smiles_file) if a == "IN" else a for a in argv]
    assert main(argv) == status
    assert message in capsys.readouterr().err
    assert sorted(p.name for p in tmp_path.iterdir()) == ["in.smi"]


def test_a_reader_that_stops_early_ends_the_command_quietly(tmp_path):
    source = tmp_path / "many.smi"
    source.write_text(SMILES * 5000)  # more SD text than a pipe holds
    command = [sys.executable, "-m", "nimbrel.velk", "convert", str(source), "--out-format", "sdf", "-"]
    with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE) as process:
        assert process.stdout.readline().strip() == b"ethanol"
        process.stdout.close()
        err = process.stderr.read().decode()
    assert process.returncode == 1 and err == "", err
