"""Count fields that claim far more than the file holds.

Every case is a file of at most a few hundred bytes whose header announces
millions of atoms, grid points, array values or payload bytes. Each is read
through the public API in a child process whose address space is capped, so
a reservation taken on the header's word fails loudly even when its pages
are never touched; the child's peak resident memory over its baseline must
stay small, and the read must end in the documented error or warning, with
the good record before the bad one still delivered.

Run as a script (``python tests/python/test_hostile_sizes.py``) it prints
the table of every case with its peak memory and outcome.
"""

from __future__ import annotations

import gzip
import json
import struct
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

import pytest

# Peak resident memory a hostile read may add to the interpreter's.
RSS_BOUND_MIB = 16
# Address space the child may add; far below what any hostile count asks for.
ADDRESS_SPACE_MIB = 256

CHILD = r"""
import json, resource, sys
from nimbrel import velk

def status(key):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])  # kB

try:
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # restart the peak from here
except OSError:
    pass  # the peak then includes the imports': a false alarm, never a miss
base = status("VmRSS")
room = (status("VmSize") + int(sys.argv[3]) * 1024) * 1024
resource.setrlimit(resource.RLIMIT_AS, (room, room))
mols, error = 0, ""
try:
    if sys.argv[2] == "record":
        velk.read_record(sys.argv[1])
        mols = 1
    else:
        for _ in velk.read(sys.argv[1]):
            mols += 1
except velk.Error as e:
    error = str(e)
except MemoryError as e:
    error = "MemoryError " + str(e)
print(json.dumps({"mols": mols, "error": error, "peak_kib": status("VmHWM") - base}))
"""


def varint(n: int) -> bytes:
    """A container varint: 7 bits a byte, the last byte marked by its high bit."""
    out = bytearray()
    while n >= 0x80:
        out.append(n & 0x7F)
        n >>= 7
    return bytes(out) + bytes([n | 0x80])


def record(code: int, payload: bytes, length: int | None = None) -> bytes:
    return bytes([code]) + varint(len(payload) if length is None else length) + payload


QVB_MOL, QVB_CT, QVB_BASEPOD, QVB_ZSTD_MC = 10, 19, 1, 55


def qvb_ct(atoms: int, bonds: int = 0, body: bytes = b"") -> bytes:
    return record(QVB_CT, b"\x01" + varint(atoms) + varint(bonds) + varint(0) + body)


# One carbon atom: number, isotope, charge, H count, flags, bits, map, aux.
QVB_CARBON = varint(6) + varint(0) + varint(0) + b"\x04\x00\x00" + varint(0) + varint(0)
QVB_GOOD = record(QVB_MOL, qvb_ct(1, body=QVB_CARBON))


def zstd_frame(declared: int, data: bytes) -> bytes:
    """One single-segment zstd frame holding `data` as a raw block while its
    header declares `declared` bytes."""
    header = b"\x28\xb5\x2f\xfd" + b"\xe0" + struct.pack("<Q", declared)
    return header + struct.pack("<I", 1 | (len(data) << 3))[:3] + data


SDF_GOOD = "good\n  hostile\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n" \
    "    0.0000    0.0000    0.0000 C   0  0  0  0  0  0  0  0  0  0  0  0\nM  END\n$$$$\n"


def v3000(atoms: str, bonds: str, atom_lines: str = "M  V30 1 C 0 0 0 0\n") -> str:
    return (
        "bad\n  hostile\n\n  0  0  0     0  0            999 V3000\nM  V30 BEGIN CTAB\n"
        f"M  V30 COUNTS {atoms} {bonds} 0 0 0\nM  V30 BEGIN ATOM\n{atom_lines}M  V30 END ATOM\n"
        "M  V30 END CTAB\nM  END\n$$$$\n"
    )


def mol2(counts: str, title: str = "bad") -> str:
    return f"@<TRIPOS>MOLECULE\n{title}\n{counts}\nSMALL\nNO_CHARGES\n\n@<TRIPOS>ATOM\n" \
        "      1 C1          0.0000    0.0000    0.0000 C.3     1  LIG1        0.0000\n"


MOL2_GOOD = mol2("1 0", "good")


def cube(atoms: str, n: tuple[str, str, str], orbitals: str = "", values: str = "1.0 2.0 3.0 4.0 5.0\n") -> str:
    axes = ("0.2 0.0 0.0", "0.0 0.2 0.0", "0.0 0.0 0.2")
    lines = ["hostile", "cube", f"{atoms} 0.0 0.0 0.0"]
    lines += [f"{count} {axis}" for count, axis in zip(n, axes)]
    lines.append("6 6.0 0.0 0.0 0.0")
    if orbitals:
        lines.append(orbitals)
    return "\n".join(lines) + "\n" + values


def fchk(records: str) -> str:
    return "hostile\nSP        RHF                                                         STO-3G\n" + records


def fchk_header(label: str, kind: str, value: str) -> str:
    return f"{label:<43}{kind}{value:>18}\n"


@dataclass(frozen=True)
class Case:
    name: str
    suffix: str
    data: bytes
    mols: int  # good records delivered
    message: str  # in the error raised, or on standard error
    record: bool = False  # read through read_record (molecule + grids)


def text(name: str, suffix: str, body: str, mols: int, message: str, **kw) -> list[Case]:
    """The case as plain text and, for the stream formats, gzip-compressed."""
    data = body.encode()
    cases = [Case(name, suffix, data, mols, message, **kw)]
    if not kw.get("record"):
        cases.append(Case(name + " (gz)", suffix + ".gz", gzip.compress(data, mtime=0), mols, message))
    return cases


CASES: list[Case] = [
    # A V3000 table may hold fewer atoms than it announces: both records read.
    *text("sdf V3000 atoms 10^7", ".sdf", SDF_GOOD + v3000("10000000", "0"), 2, ""),
    *text("sdf V3000 bonds 10^7", ".sdf", SDF_GOOD + v3000("1", "10000000"), 1, "Invalid V3000 bond block"),
    *text("sdf V3000 atoms 2^31-1", ".sdf", SDF_GOOD + v3000("2147483647", "0"), 1,
          "Invalid V3000 connection table count line!"),
    *text("sdf V3000 atoms 10^12", ".sdf", SDF_GOOD + v3000("1000000000000", "0"), 1,
          "Invalid V3000 connection table count line!"),
    *text("sdf V3000 atom index 9999999", ".sdf",
          SDF_GOOD + v3000("10000000", "0", "M  V30 9999999 C 0 0 0 0\n"), 2, ""),
    *text("mol2 atoms 2^31-1", ".mol2", MOL2_GOOD + mol2("2147483647 0"), 1, "fewer lines than its 2147483647"),
    *text("mol2 bonds 2^31-1", ".mol2", MOL2_GOOD + mol2("1 2147483647"), 1, "BOND section for its 2147483647"),
    *text("mol2 attributes 10^12", ".mol2", MOL2_GOOD + mol2("1 0") + "@<TRIPOS>UNITY_ATOM_ATTR\n1 1000000000000\n"
          "charge 1\n", 2, ""),
    *text("mol2 atoms 10^12", ".mol2", MOL2_GOOD + mol2("1000000000000 0"), 1, "Invalid number of atoms"),
    *text("xyz atoms 2^31-1", ".xyz", "1\ngood\nC 0 0 0\n2147483647\nbad\nC 0 0 0\n", 1,
          'Error reading molecule "bad" in XYZ format.'),
    *text("xyz atoms 10^12", ".xyz", "1\ngood\nC 0 0 0\n1000000000000\nbad\nC 0 0 0\n", 1,
          "Error reading molecule"),
    *text("xyz atoms -5", ".xyz", "1\ngood\nC 0 0 0\n-5\nbad\nC 0 0 0\n", 1, "Error reading molecule"),
    *text("smiles huge numbers", ".smi",
          "C good\n[2147483647C:2147483647]CC big\n[C+2147483647]%(999999999)C bad\nC[H99999] bad\n", 2,
          "Problem parsing SMILES"),
    *text("csv many columns", ".csv", "SMILES,TITLE," + ",".join(f"c{i}" for i in range(60)) + "\nC,good\n"
          + "C,wide," + "," * 300 + "\n", 2, ""),
    *text("pdb serial 99999", ".pdb",
          "ATOM  99999  C   LIG A   1       0.000   0.000   0.000  1.00  0.00           C\n"
          "CONECT99999-2147\nEND\n", 1, ""),
    *text("cube atoms 10^8", ".cube", cube("100000000", ("2", "2", "2")), 0, "truncated file, expected atom line",
          record=True),
    *text("cube grid 8192^2 x 2", ".cube", cube("1", ("8192", "8192", "2")), 0, "truncated volumetric block",
          record=True),
    # The tightest block a file can hold (a digit and a separator a value,
    # none after the last) still reads: the bound on the bytes is exact.
    *text("cube 2x2x2, block of 15 bytes", ".cube", cube("1", ("2", "2", "2"), values="1 2 3 4 5 6 7 8"), 1, "",
          record=True),
    *text("cube 2x2x2, block of 14 bytes", ".cube", cube("1", ("2", "2", "2"), values="1 2 3 4 5 6 78"), 0,
          "truncated volumetric block", record=True),
    *text("cube grid 2^31-1", ".cube", cube("1", ("2147483647", "2", "2")), 0, "voxel count per dimension",
          record=True),
    *text("cube grid 10^12", ".cube", cube("1", ("1000000000000", "2", "2")), 0, "CUBE voxel count out of range",
          record=True),
    *text("cube grid -8192", ".cube", cube("1", ("-8192", "-8192", "-2")), 0, "truncated volumetric block",
          record=True),
    *text("cube orbitals 1024", ".cube", cube("-1", ("128", "128", "8"), "1024 " + "1 " * 1024), 0,
          "truncated volumetric block", record=True),
    *text("fchk array 10^9", ".fchk", fchk(fchk_header("Number of atoms", "I", "1")
                                           + fchk_header("Atomic numbers", "I", "N=    1000000000") + "6\n"),
          0, "truncated payload", record=True),
    *text("fchk other array 10^9", ".fchk", fchk(fchk_header("Number of atoms", "I", "1")
                                                 + fchk_header("Shell types", "I", "N=    1000000000") + "0\n"),
          0, "truncated payload", record=True),
    *text("fchk atoms 2^31-1", ".fchk", fchk(fchk_header("Number of atoms", "I", "2147483647")
                                             + fchk_header("Atomic numbers", "I", "N=           1") + "6\n"
                                             + fchk_header("Current cartesian coordinates", "R", "N=           3")
                                             + "0.0 0.0 0.0\n"), 0, "atom count out of range", record=True),
    Case("qvb record length 2^32-1", ".qvb", QVB_GOOD + record(QVB_MOL, qvb_ct(1, body=QVB_CARBON), 2**32 - 1),
         1, "Incorrect Size"),
    Case("qvb record length 10^12", ".qvb", QVB_GOOD + record(QVB_MOL, b"\x00" * 64, 10**12), 1,
         "data size corrupt in QvBinary file"),
    Case("qvb atoms 10^9", ".qvb", QVB_GOOD + record(QVB_MOL, qvb_ct(10**9, body=QVB_CARBON)), 1, "Incorrect Size"),
    Case("qvb bonds 2^31-1", ".qvb", QVB_GOOD + record(QVB_MOL, qvb_ct(1, 2**31 - 1, QVB_CARBON)), 1,
         "Incorrect Size"),
    Case("qvb data names 10^12", ".qvb",
         QVB_GOOD + record(QVB_MOL, qvb_ct(1, body=QVB_CARBON) + record(QVB_BASEPOD, b"\x01" + varint(10**12))),
         1, "Incorrect Size"),
    Case("qvb zstd declares 10^12", ".qvz",
         QVB_GOOD + record(QVB_ZSTD_MC, zstd_frame(10**12, b"\x00" * 32)), 1, '"Check Failed"'),
    Case("gzip extra field 65535, cut short", ".sdf.gz", b"\x1f\x8b\x08\x04" + b"\x00" * 6 + b"\xff\xff" + b"x" * 40,
         0, "qvigzstream fill error"),
    Case("gzip length 2^32-1", ".sdf.gz", gzip.compress(SDF_GOOD.encode(), mtime=0)[:-4] + b"\xff\xff\xff\xff",
         1, ""),
]


def run(case: Case, folder: Path) -> dict:
    path = folder / ("case" + case.suffix)
    path.write_bytes(case.data)
    mode = "record" if case.record else "stream"
    done = subprocess.run(
        [sys.executable, "-c", CHILD, str(path), mode, str(ADDRESS_SPACE_MIB)],
        capture_output=True,
        text=True,
        timeout=60,
    )
    assert done.returncode == 0, f"{case.name}: child died ({done.returncode}): {done.stderr[-2000:]}"
    result = json.loads(done.stdout.splitlines()[-1])
    result["stderr"] = done.stderr
    return result


@pytest.mark.parametrize("case", CASES, ids=[c.name for c in CASES])
def test_hostile_count_is_bounded_by_the_input(case: Case, tmp_path: Path) -> None:
    result = run(case, tmp_path)
    assert result["peak_kib"] <= RSS_BOUND_MIB * 1024, f"peak {result['peak_kib'] / 1024:.1f} MiB"
    assert "MemoryError" not in result["error"]
    assert result["mols"] == case.mols
    assert case.message in result["error"] + result["stderr"]
    if case.record:
        assert bool(result["error"]) == (case.mols == 0)


if __name__ == "__main__":
    import tempfile

    print("| case | input (bytes) | peak RSS over baseline (MiB) | molecules | outcome |")
    print("|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as tmp:
        for case in CASES:
            r = run(case, Path(tmp))
            said = r["error"] or " / ".join(
                line.strip() for line in r["stderr"].splitlines() if line.strip()
            )
            said = (said or "(no message)").replace("|", "\\|")[:110]
            print(f"| {case.name} | {len(case.data)} | {r['peak_kib'] / 1024:.2f} | {r['mols']} | {said} |")
