#!/usr/bin/env python3
"""Picks the corpus inputs that reach edges the seeds do not, and adds them
to the seeds as cov-<sha1 prefix>.

    fuzz/new_seeds.py FUZZER SEEDS_DIR CORPUS_DIR [--dry-run]

Each input runs alone in libFuzzer's merge mode, whose control file then
lists every edge (PC) that input reaches. From the corpus it takes, one at a
time, the input that adds the most edges still missing (the smaller on a
tie) until the seeds reach every edge the corpus reached. Prints the seeds'
files and edges before and after.
"""
import hashlib
import pathlib
import shutil
import subprocess
import sys
import tempfile


def edges_of(fuzzer, path, work):
    """The PC indexes one input reaches, from a merge control file."""
    single = work / "in"
    shutil.rmtree(single, ignore_errors=True)
    single.mkdir()
    shutil.copy(path, single / "input")
    control = work / "control"
    control.unlink(missing_ok=True)  # an old control file would resume that merge
    out = work / "out"
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir()
    subprocess.run([fuzzer, "-merge=1", f"-merge_control_file={control}", str(out), str(single)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=False)
    for line in control.read_text().splitlines():
        if line.startswith("COV "):
            return set(int(pc) for pc in line.split()[2:])
    return set()


def main(argv):
    if len(argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    fuzzer, seeds, corpus = argv[1], pathlib.Path(argv[2]), pathlib.Path(argv[3])
    dry_run = "--dry-run" in argv[4:]
    with tempfile.TemporaryDirectory() as temp:
        work = pathlib.Path(temp)
        seed_files = sorted(p for p in seeds.iterdir() if p.is_file())
        have = set()
        for path in seed_files:
            have |= edges_of(fuzzer, path, work)
        before = len(have)
        seed_hashes = {hashlib.sha1(p.read_bytes()).hexdigest() for p in seed_files}
        candidates = {}
        for path in sorted(p for p in corpus.iterdir() if p.is_file()):
            data = path.read_bytes()
            digest = hashlib.sha1(data).hexdigest()
            if digest in seed_hashes or digest in candidates:
                continue
            extra = edges_of(fuzzer, path, work) - have
            if extra:
                candidates[digest] = (data, extra)
        picked = []
        while candidates:
            digest, (data, extra) = max(candidates.items(),
                                        key=lambda item: (len(item[1][1] - have), -len(item[1][0])))
            if not extra - have:
                break
            have |= extra
            picked.append((digest, data))
            del candidates[digest]
        for digest, data in picked:
            print(f"cov-{digest[:12]}: {len(data)} bytes")
            if not dry_run:
                (seeds / f"cov-{digest[:12]}").write_bytes(data)
        print(f"seeds: {len(seed_files)} files, {before} edges -> "
              f"{len(seed_files) + len(picked)} files, {len(have)} edges")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
