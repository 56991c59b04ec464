#!/usr/bin/env bash
# Extracting with tvl's reader against `7z x`, optimised host build: a ~180 MB
# archive of mixed content (7z a -m0=LZMA2 -mx5: text, random data,
# executables, many small files; the dictionary of -mx5 is 16 MiB; 7z puts BCJ
# in front of the executables), the text and executables of the same tree with
# BCJ2 in front of the executables, then the text, executables and small files
# packed with PPMd and with BZip2. For each: median times, the median time ratio
# with its minimum and maximum over PAIRS alternating pairs (default 5), the
# peak memory of both, and a RESULT line for scripts/bench.
#
#   bench/tvl_bench.sh [PAIRS]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
work=build/bench/tvl
mkdir -p "$work"
if [ ! -f "$work/mixed.7z" ] || [ "$(stat -c %s "$work/mixed.7z")" -lt 150000000 ]; then
  python3 - "$work" <<'PY'
import os, random, shutil, sys
from pathlib import Path
tree = Path(sys.argv[1]) / "tree"
shutil.rmtree(tree, ignore_errors=True)
(tree / "small").mkdir(parents=True)
(tree / "programs").mkdir()
rng = random.Random(5)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(5000)]
for n in range(2):
    with open(tree / f"text{n}.txt", "w") as out:
        written = 0
        while written < 50_000_000:
            written += out.write(" ".join(rng.choice(words) for _ in range(12)) + "\n")
for n in range(2):
    (tree / f"random{n}.bin").write_bytes(os.urandom(60_000_000))
programs = sorted(p for p in Path("/usr/lib/x86_64-linux-gnu").glob("*.so*") if p.is_file())
total = 0
for p in programs:
    if total > 20_000_000:
        break
    shutil.copy(p, tree / "programs" / p.name)
    total += p.stat().st_size
for n in range(2000):
    data = (" ".join(rng.choice(words) for _ in range(800)).encode() if n % 2 else os.urandom(5_000))
    (tree / "small" / f"f{n:04}.dat").write_bytes(data[:5_000])
PY
  (cd "$work/tree" && 7z a -m0=LZMA2 -mx5 ../mixed.7z . >/dev/null)
fi
if [ ! -f "$work/BCJ2.7z" ]; then
  (cd "$work/tree" && 7z a -m0=LZMA2 -mx5 -mf=BCJ2 ../BCJ2.7z text0.txt programs >/dev/null)
fi
for method in PPMd BZip2; do
  if [ ! -f "$work/$method.7z" ]; then
    (cd "$work/tree" && 7z a -m0=$method -mx5 "../$method.7z" text0.txt programs small >/dev/null)
  fi
done
mkdir -p build/bench
g++ -std=c++20 -O2 -DNDEBUG -pthread -I. bench/tvl_bench.cpp tvl/core/*.cpp -o build/bench/tvl_bench
# PPMd and BZip2 only have to keep the pace they had.
build/bench/tvl_bench "$work/mixed.7z" "${1:-5}" "7z extraction, LZMA2+BCJ" "<= 0.85"
build/bench/tvl_bench "$work/BCJ2.7z" "${1:-5}" "7z extraction, LZMA2+BCJ2" "<= 0.85"
build/bench/tvl_bench "$work/PPMd.7z" "${1:-5}" "7z extraction, PPMd" "no slower than main"
build/bench/tvl_bench "$work/BZip2.7z" "${1:-5}" "7z extraction, BZip2" "no slower than main"
