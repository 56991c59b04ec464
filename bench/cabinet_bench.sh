#!/usr/bin/env bash
# Decoding a 200 MB MSZIP cabinet (gcab -c -z; half text, half random data)
# with the cabinet core, optimised host build, against cabextract.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
work=build/bench/cabinet
mkdir -p "$work"
if [ ! -f "$work/big.cab" ]; then
  python3 - "$work" <<'PY'
import os, random, sys
from pathlib import Path
tree = Path(sys.argv[1]) / "tree"
tree.mkdir(parents=True, exist_ok=True)
rng = random.Random(7)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(5000)]
for n in range(2):
    with open(tree / f"text{n}.txt", "w") as out:
        written = 0
        while written < 55_000_000:
            written += out.write(" ".join(rng.choice(words) for _ in range(12)) + "\n")
for n in range(2):
    (tree / f"random{n}.bin").write_bytes(os.urandom(70_000_000))
PY
  (cd "$work/tree" && gcab -c -z ../big.cab text0.txt text1.txt random0.bin random1.bin)
fi
g++ -std=c++20 -O2 -DNDEBUG -I. bench/cabinet_bench.cpp stub/cabinet/core/*.cpp \
  -o build/bench/cabinet_bench
ls -l "$work/big.cab"
outputs=$(mktemp -d "${BENCH_OUT:-$( [ -d /dev/shm ] && echo /dev/shm || echo "$work")}/cabinet-bench.XXXXXX")
trap 'rm -rf "$outputs"' EXIT
python3 - "$work" "${1:-5}" "$outputs" <<'PY'
import shutil, sys
from pathlib import Path
sys.path.insert(0, "bench")
import pair_bench as pb
work, pairs, outputs = Path(sys.argv[1]), int(sys.argv[2]), Path(sys.argv[3])
core_out, ref_out = outputs / "core", outputs / "cabextract"
clear = lambda folder: (lambda: shutil.rmtree(folder, ignore_errors=True))
core = pb.Side(["build/bench/cabinet_bench", str(work / "big.cab"), str(core_out)],
               prepare=clear(core_out))
ref = pb.Side(["cabextract", "-q", "-d", str(ref_out), str(work / "big.cab")],
              prepare=clear(ref_out))
r = pb.race(core, ref, pairs, check=lambda: pb.same_trees(core_out, ref_out))
shutil.rmtree(core_out, ignore_errors=True)
shutil.rmtree(ref_out, ignore_errors=True)
size = sum(p.stat().st_size for p in (work / "tree").iterdir())
print(pb.summary("cabinet core", "cabextract", r))
print(pb.result_line(f"MSZIP cabinet extraction, cabinet core, {size / 1e6:.0f} MB", "cabextract",
                     r, "<= 0.85"))
PY
