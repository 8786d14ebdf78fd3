"""Writers whose output fails under them: a full device, a descriptor closed
behind their back, a file removed while open, a file size limit (a small full
disk without root). Every writer must raise velk.Error naming the file, and
must not leave a file behind that reads as complete."""

from __future__ import annotations

import os
import resource
import shutil
import signal
import subprocess
import sys
from contextlib import contextmanager
from pathlib import Path

import pytest

from nimbrel import velgar, velk

XYZ = "".join(
    f"3\nwater {i}\nO {i} 0 0\nH {i + 0.96} 0 0\nH {i - 0.24} 0.93 0\n" for i in range(200)
)

MOLECULE_WRITERS = ["sdf", "smi", "xyz", "mol2", "pdb", "csv", "qvb", "qvz", "sdf.gz", "smi.gz", "qvb.gz"]


@pytest.fixture(scope="module")
def records(tmp_path_factory) -> list:
    source = tmp_path_factory.mktemp("source") / "waters.xyz"
    source.write_text(XYZ)
    return list(velk.read(source))


def _grid():
    grid = velgar.QvScalarGrid(4, 4, 4, 0.0, 0.0, 0.0, 0.5)
    grid.values[:] = 0.125
    return grid


def _descriptor_of(path: Path) -> int:
    for fd in Path("/proc/self/fd").iterdir():
        try:
            if os.readlink(fd) == str(path):
                return int(fd.name)
        except OSError:
            pass
    raise AssertionError(f"no descriptor open on {path}")


@contextmanager
def _file_size_limit(size: int):
    """Writes beyond `size` bytes fail with EFBIG, as on a full disk."""
    soft, hard = resource.getrlimit(resource.RLIMIT_FSIZE)
    handler = signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, hard))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
        signal.signal(signal.SIGXFSZ, handler)


def _write(path: Path, records: list, before_close=None) -> None:
    """Everything a caller does: open, append, close; `before_close` spoils the output first."""
    with velk.open_writer(path) as writer:
        if path.suffix == ".cube":
            writer.append(records[0], _grid())
        else:
            for mol in records:
                writer.append(mol)
        if before_close:
            before_close(path)


def _dev_full(path: Path, records: list) -> None:
    if not os.path.exists("/dev/full"):
        pytest.skip("this system has no /dev/full")
    path.symlink_to("/dev/full")
    _write(path, records)


def _closed_descriptor(path: Path, records: list) -> None:
    _write(path, records, before_close=lambda p: os.close(_descriptor_of(p)))


def _removed_while_open(path: Path, records: list) -> None:
    _write(path, records, before_close=os.unlink)


def _size_limit(path: Path, records: list) -> None:
    with _file_size_limit(64):
        _write(path, records)


FAULTS = {
    "dev_full": _dev_full,
    "closed_descriptor": _closed_descriptor,
    "removed_while_open": _removed_while_open,
    "size_limit": _size_limit,
}
# A CUBE file is opened and closed inside the append that writes it: no
# descriptor or file lives between calls for the last two faults to spoil.
CASES = [(ext, fault) for ext in MOLECULE_WRITERS for fault in FAULTS] + [
    ("cube", "dev_full"),
    ("cube", "size_limit"),
]


def _reads_complete(path: Path, expected: int) -> bool:
    try:
        with velk.open_reader(path) as reader:
            return sum(1 for _ in reader) == expected
    except velk.Error:
        return False


@pytest.mark.parametrize("ext, fault", CASES)
def test_a_failed_write_raises_and_leaves_no_complete_looking_file(
    tmp_path: Path, records: list, ext: str, fault: str
):
    path = tmp_path / f"out.{ext}"
    with pytest.raises(velk.Error) as raised:
        FAULTS[fault](path, records)
    assert str(path) in str(raised.value)
    if fault == "dev_full":
        assert path.is_symlink() and os.readlink(path) == "/dev/full"
    elif path.exists():
        # Only CUBE keeps a partial file, which must not pass for a whole one.
        assert ext == "cube" and not _reads_complete(path, 1)


def test_the_size_limit_leaves_room_for_a_complete_file(tmp_path: Path, records: list):
    # The faults above must come from the limit, not from the writers.
    path = tmp_path / "small.sdf"
    with _file_size_limit(1 << 20):
        _write(path, records[:1])
    assert _reads_complete(path, 1)


TMPFS_SCRIPT = """
import sys
from pathlib import Path
from nimbrel import velgar, velk
mnt, src = Path(sys.argv[1]), Path(sys.argv[2])
print("MOUNTED", flush=True)
records = list(velk.read(src))
grid = velgar.QvScalarGrid(40, 40, 40, 0.0, 0.0, 0.0, 0.1)
grid.values[:] = 0.123456789
for ext in sys.argv[3:]:
    path = mnt / f"out.{ext}"
    try:
        with velk.open_writer(path) as writer:
            if ext == "cube":
                writer.append(records[0], grid)
            else:
                # Titles that differ, so that not even gzip output fits.
                for n in range(500):
                    for i, mol in enumerate(records):
                        mol.SetTitle(f"water {n} {i} {n * i}")
                        writer.append(mol)
        print(ext, "no error")
    except velk.Error as error:
        if str(path) not in str(error):
            print(ext, "error without the file name:", error)
    if path.exists() and ext != "cube":
        print(ext, "file left behind")
"""


def test_a_full_tmpfs(tmp_path: Path):
    """A real 64 KiB tmpfs, mounted in a user namespace (no root needed where
    the system allows those); CUBE keeps its partial file, as its rules say."""
    unshare = shutil.which("unshare")
    if unshare is None:
        pytest.skip("no unshare command to mount a tmpfs without root")
    mnt = tmp_path / "full"
    mnt.mkdir()
    src = tmp_path / "waters.xyz"
    src.write_text(XYZ)
    run = subprocess.run(
        [unshare, "-Urm", "sh", "-c", 'mount -t tmpfs -o size=64k tmpfs "$1" && shift && exec "$@"', "sh",
         str(mnt), sys.executable, "-c", TMPFS_SCRIPT, str(mnt), str(src), *MOLECULE_WRITERS, "cube"],
        capture_output=True, text=True, timeout=300,
    )
    if "MOUNTED" not in run.stdout:
        pytest.skip(f"cannot mount a tmpfs in a user namespace here: {run.stderr.strip()}")
    assert run.returncode == 0, run.stderr
    assert run.stdout.split() == ["MOUNTED"], run.stdout
