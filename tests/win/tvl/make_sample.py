#!/usr/bin/env python3
"""Writes the small tree the Windows tvl test extracts and archives it with 7z in the ways setup
authors make archives: stored, with the default options (LZMA2, compressed header), with LZMA,
with the BCJ2 filter, with PPMd, BZip2 and Deflate64; and once encrypted, which tvl must refuse
cleanly. The tree is over 1 MiB, enough for the decoders that work in two threads to do so."""
import argparse
import os
import shutil
import subprocess

FILES = {
    "readme.txt": b"hello from tvl\r\n",
    "docs/guide/deep.txt": b"deep\n" * 100,
    "docs/empty.txt": b"",
    "data/big.bin": bytes((i * 7 + (i >> 9)) & 0xFF for i in range(1_200_003)),
    "\u00fcn\u00ef/\u20ac \u65e5\u672c.txt": "unicode \u2713".encode(),
    # Call and jump opcodes with addresses, as the x86 filters rewrite them.
    "bin/setup.exe": b"MZ" + b"".join(bytes([0xE8, i & 0xFF, (i >> 8) & 0xFF, 0, 0, 0x90, 0xE9,
                                             (i * 3) & 0xFF, 0, 0, 0])
                                      for i in range(20_000)),
}
FOLDERS = ["empty_dir", "docs/guide/empty_too"]


def archive(seven_zip, tree, out, switches):
    if os.path.exists(out):
        os.remove(out)  # 7z a would add to it
    env = dict(os.environ, LC_ALL="C.UTF-8")
    names = sorted(os.listdir(tree))
    subprocess.run([seven_zip, "a", "-bd", "-y", *switches, os.path.abspath(out), "--", *names],
                   cwd=tree, env=env, check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--7z", dest="seven_zip", default="7z")
    parser.add_argument("--tree", required=True)
    parser.add_argument("--stored", required=True)
    parser.add_argument("--compressed", required=True, help="folder for the other archives")
    args = parser.parse_args()

    shutil.rmtree(args.tree, ignore_errors=True)
    for folder in FOLDERS:
        os.makedirs(os.path.join(args.tree, folder))
    for name, data in FILES.items():
        path = os.path.join(args.tree, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    archive(args.seven_zip, args.tree, args.stored, ["-m0=Copy", "-mhc=off"])
    out = args.compressed
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_lzma2.7z"), [])
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_lzma.7z"), ["-m0=LZMA"])
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_bcj2.7z"),
            ["-mf=BCJ2", "-ms=on"])
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_solid_off.7z"),
            ["-mx9", "-ms=off"])
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_ppmd.7z"), ["-m0=PPMd"])
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_bzip2.7z"),
            ["-m0=BZip2", "-mx1"])
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_deflate64.7z"),
            ["-m0=Deflate64"])
    archive(args.seven_zip, args.tree, os.path.join(out, "tvl_sample_encrypted.7z"),
            ["-pSecret"])


if __name__ == "__main__":
    main()
