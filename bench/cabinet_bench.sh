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
build/bench/cabinet_bench "$work/big.cab"
