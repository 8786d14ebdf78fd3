"""Times two builds of ours against each other on every workload of run.py.

    bench/.venv/bin/python bench/compare.py BASE_SITE [rounds] [name-filter ...]

BASE_SITE is a folder where an older build of the package was installed (see
`make bench-compare`); the newer one is the build installed in bench/.venv.
Rounds alternate the two builds, each in a fresh interpreter, so that drift of
the machine hits both alike; each workload's figure is its best time over all
rounds. A ratio above 1 means the new build is slower.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent


def timings(site: str | None, filters: list[str]) -> dict[str, float]:
    env = dict(os.environ)
    if site:
        env["PYTHONPATH"] = site
    else:
        env.pop("PYTHONPATH", None)
    done = subprocess.run([sys.executable, str(HERE / "run.py"), "--ours-json", *filters],
                          env=env, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"run.py failed with {'the base build' if site else 'the new build'}:\n{done.stderr}")
    return json.loads(done.stdout.strip().splitlines()[-1])


def main(args: list[str]) -> int:
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    base_site, rest = args[0], args[1:]
    rounds = int(rest.pop(0)) if rest and rest[0].isdigit() else 3
    filters = rest
    best: dict[str, dict[str, float]] = {"base": {}, "new": {}}
    for _ in range(rounds):
        for label, site in (("base", base_site), ("new", None)):
            for name, seconds in timings(site, filters).items():
                best[label][name] = min(seconds, best[label].get(name, float("inf")))
    print(f"{'workload':<28} {'base ms':>10} {'new ms':>10} {'new/base':>9}")
    for name, new in best["new"].items():
        base = best["base"].get(name)
        if base is None:
            print(f"{name:<28} {'-':>10} {new * 1e3:10.2f}")
            continue
        print(f"{name:<28} {base * 1e3:10.2f} {new * 1e3:10.2f} {new / base:9.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
