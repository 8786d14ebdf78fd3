"""Byte-stream throughput: line reading of plain and gzip-compressed text.

Ours is the small program bench/cpp/streams.cpp, which reads every line of a
file through the same stream classes the format readers use. It is looked up
in this order:

1. the path in the environment variable NIMBREL_BENCH_STREAMS, for a build
   folder of one's own (e.g. build/<name>/bench/cpp/nimbrel_bench_streams);
2. build/py/bench/cpp/nimbrel_bench_streams, where bench/setup.sh builds it
   (it configures build/py with NIMBREL_BENCH=ON; the program is not part of
   the installed package).

Without it these workloads are left out with a note on standard error.

Programs and tools are started with subprocess.run: at ~200 MB per input a
run takes a good fraction of a second or more, against a few milliseconds to
start a process, so the start cost does not change the figures.

The inputs are generated once, deterministically, into the data folder
(about 200 MB each: SMILES lines compressed with the gzip tool, and an
SD file), and reused by later runs. Every run of ours checks its line and
byte counts against the generator's, so a fast but incomplete read cannot
pass for a result.
"""

from __future__ import annotations

import gzip
import json
import os
import random
import shutil
import subprocess
import sys
from pathlib import Path
from typing import IO, Callable

from common import Workload

ROOT = Path(__file__).resolve().parents[2]
PROGRAM = "nimbrel_bench_streams"
TARGET_BYTES = 200_000_000
# Bump when a generator changes, so that old inputs are not reused.
GENERATION = 1


def find_program() -> Path | None:
    override = os.environ.get("NIMBREL_BENCH_STREAMS")
    candidate = Path(override) if override else ROOT / "build" / "py" / "bench" / "cpp" / PROGRAM
    return candidate if candidate.is_file() and os.access(candidate, os.X_OK) else None


# ---- input generation ----

ORGANIC = ["C", "C", "C", "C", "N", "O", "c1ccccc1", "c1ccncc1", "S", "F", "Cl", "Br", "C(=O)", "C(F)(F)F"]
RINGS = ["c1ccc(cc1)", "C1CCN(CC1)", "c1ccc2[nH]ccc2c1", "C1CC1", "c1cnc[nH]1", "C1CCOC1", "c1ccsc1"]
ELEMENTS = ["C"] * 12 + ["N"] * 3 + ["O"] * 3 + ["S", "F", "Cl", "H", "H", "H"]


def smiles_line(rng: random.Random, serial: int) -> str:
    parts = []
    for _ in range(rng.randint(3, 9)):
        if rng.random() < 0.3:
            parts.append(rng.choice(RINGS))
        elif rng.random() < 0.25:
            parts.append(f"({rng.choice(ORGANIC)}{rng.choice(ORGANIC)})")
        else:
            parts.append(rng.choice(ORGANIC))
    return f"{''.join(parts)} NBR{serial:09d}\n"


def sdf_record(rng: random.Random, serial: int) -> str:
    atoms = rng.randint(8, 40)
    bonds = atoms - 1 + rng.randint(0, 3)
    lines = [f"NBR{serial:09d}", "  nimbrel 3D", "", f"{atoms:3d}{bonds:3d}  0  0  0  0  0  0  0  0999 V2000"]
    for _ in range(atoms):
        x, y, z = (rng.uniform(-20.0, 20.0) for _ in range(3))
        lines.append(f"{x:10.4f}{y:10.4f}{z:10.4f} {rng.choice(ELEMENTS):<3} 0  0  0  0  0  0  0  0  0  0  0  0")
    for i in range(bonds):
        a = i + 2 if i < atoms - 1 else rng.randint(1, atoms)
        b = rng.randint(1, a - 1) if a > 1 else 2
        lines.append(f"{a:3d}{b:3d}{rng.choice((1, 1, 1, 2, 4)):3d}  0  0  0  0")
    lines += ["M  END", "> <ID>", f"NBR{serial:09d}", "", "> <MW>", f"{rng.uniform(90, 700):.2f}", "", "$$$$"]
    return "\n".join(lines) + "\n"


def generate(path: Path, record: Callable[[random.Random, int], str], seed: int) -> dict[str, int]:
    """Writes records until the file reaches TARGET_BYTES; returns its counts.

    The text is ASCII with LF line ends and no other control bytes, so the
    bytes a line reader returns are the file size less one per line.
    """
    rng = random.Random(seed)
    size = lines = 0
    with open(path, "w", encoding="ascii", newline="\n") as out:
        serial = 0
        while size < TARGET_BYTES:
            chunk = "".join(record(rng, serial + i) for i in range(2000))
            serial += 2000
            out.write(chunk)
            size += len(chunk)
            lines += chunk.count("\n")
    return {"size": size, "lines": lines, "bytes": size - lines}


def prepared(data_dir: Path, name: str, record: Callable[[random.Random, int], str],
             seed: int, compress: bool) -> tuple[Path, dict[str, int]]:
    """The input file and its counts, generated on first use.

    Files appear under their final names only when complete, so an
    interrupted generation is redone rather than measured.
    """
    path = data_dir / (name + (".gz" if compress else ""))
    meta = data_dir / f"{name}.counts.json"
    if path.is_file() and meta.is_file():
        counts = json.loads(meta.read_text())
        if counts.get("generation") == GENERATION:
            return path, counts
    print(f"streams: generating {path.name} (once) ...", file=sys.stderr, flush=True)
    text = data_dir / f"{name}.partial"
    counts = generate(text, record, seed)
    if compress:
        packed = data_dir / f"{name}.gz.partial"
        with open(packed, "wb") as out:
            subprocess.run(["gzip", "-6", "-n", "-c", str(text)], stdout=out, check=True)
        text.unlink()
        packed.replace(path)
    else:
        text.replace(path)
    counts["generation"] = GENERATION
    meta.write_text(json.dumps(counts))
    return path, counts


# ---- the runs ----

def ours(program: Path, mode: str, path: Path, counts: dict[str, int]) -> Callable[[], None]:
    expected = f"lines {counts['lines']} bytes {counts['bytes']}"

    def run() -> None:
        done = subprocess.run([str(program), mode, str(path)], capture_output=True, text=True, check=True)
        if done.stdout.strip() != expected or done.stderr:
            raise RuntimeError(f"{PROGRAM} {mode}: got {done.stdout.strip()!r} {done.stderr.strip()!r},"
                               f" expected {expected!r}")
    return run


def tool(*argv: str) -> Callable[[], None]:
    def run() -> None:
        subprocess.run(list(argv), stdout=subprocess.DEVNULL, check=True)
    return run


def python_lines(opener: Callable[[], IO], counts: dict[str, int]) -> Callable[[], None]:
    """Iterates the lines as a Python program would; the count guards the loop."""
    def run() -> None:
        with opener() as lines:
            n = sum(1 for _ in lines)
        if n != counts["lines"]:
            raise RuntimeError(f"read {n} lines, expected {counts['lines']}")
    return run


def workloads(data_dir: Path) -> list[Workload]:
    program = find_program()
    if program is None:
        print(f"streams: skipped, {PROGRAM} not found (run bash bench/setup.sh,"
              " or set NIMBREL_BENCH_STREAMS)", file=sys.stderr)
        return []
    found = []
    smi_gz, smi = prepared(data_dir, "streams-ligands.smi", smiles_line, 20240611, compress=True)
    peers = {"python gzip.open lines": python_lines(lambda: gzip.open(smi_gz, "rb"), smi)}
    if shutil.which("gzip"):
        peers["zcat > /dev/null"] = tool("gzip", "-dc", str(smi_gz))
    found.append(Workload(
        name="streams/gzip-lines",
        ours=ours(program, "gzip-lines", smi_gz, smi),
        peers=peers,
        input_bytes=smi["size"],  # uncompressed bytes delivered
        records=smi["lines"],     # records are lines here
        target="within 10% of zcat (zcat / nimbrel >= 0.91x)",
    ))
    sdf_path, sdf = prepared(data_dir, "streams-conformers.sdf", sdf_record, 20240612, compress=False)
    peers = {
        "python lines, bytes": python_lines(lambda: open(sdf_path, "rb"), sdf),
        "python lines, text": python_lines(lambda: open(sdf_path, encoding="ascii"), sdf),
    }
    if shutil.which("wc"):
        peers["wc -l"] = tool("wc", "-l", str(sdf_path))
    found.append(Workload(
        name="streams/lines",
        ours=ours(program, "lines", sdf_path, sdf),
        peers=peers,
        input_bytes=sdf["size"],
        records=sdf["lines"],     # records are lines here
        repeats=5,                # runs are short: more of them steady the best time
        target="at least 1000 MB/s for nimbrel",
    ))
    return found
