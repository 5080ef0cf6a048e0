#!/usr/bin/env python3
"""Builds the downloads a second time, from a copy of the sources in another folder, and compares
them byte for byte with a first build: same commit, same SOURCE_DATE_EPOCH, same bytes.

  reproducible_test.py --dist DIR     (DIR: scripts/package's output for this SOURCE_DATE_EPOCH)
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def source_files():
    """The files of the working tree that git knows or would add: the sources as they stand."""
    out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                         cwd=ROOT, capture_output=True, check=True).stdout
    return [p for p in out.decode().split("\0") if p and os.path.isfile(os.path.join(ROOT, p))]


def differences(a, b):
    """Where two archives differ, as far as a look inside can tell."""
    if a.endswith(".zip"):
        with zipfile.ZipFile(a) as za, zipfile.ZipFile(b) as zb:
            ia, ib = za.infolist(), zb.infolist()
            if [i.filename for i in ia] != [i.filename for i in ib]:
                return "member lists or orders differ"
            return ", ".join(f"{x.filename} (time {x.date_time} / {y.date_time}, crc "
                             f"{x.CRC:08x} / {y.CRC:08x})" for x, y in zip(ia, ib)
                             if (x.date_time, x.CRC, x.external_attr) !=
                             (y.date_time, y.CRC, y.external_attr)) or "headers differ"
    if a.endswith(".deb"):
        la = subprocess.run(["dpkg-deb", "-c", a], capture_output=True, text=True).stdout
        lb = subprocess.run(["dpkg-deb", "-c", b], capture_output=True, text=True).stdout
        return "file lists differ" if la != lb else "file contents differ"
    return "bytes differ"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dist", required=True)
    args = ap.parse_args()
    first = os.path.abspath(args.dist)
    if "SOURCE_DATE_EPOCH" not in os.environ:
        print("FAIL: set SOURCE_DATE_EPOCH to the one the first build used", flush=True)
        return 1
    with tempfile.TemporaryDirectory(prefix="tb-repro-") as temp:
        copy = os.path.join(temp, "src")
        for path in source_files():
            os.makedirs(os.path.dirname(os.path.join(copy, path)), exist_ok=True)
            shutil.copy2(os.path.join(ROOT, path), os.path.join(copy, path))
        second = os.path.join(temp, "dist")
        subprocess.run([os.path.join(copy, "scripts", "package"), "--out", second], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(first, "SHA256SUMS")) as f:
            sums = [line.split() for line in f]
        names = [name for _, name in sums]
        failures = []
        for digest, name in sums:
            with open(os.path.join(first, name), "rb") as f:
                if hashlib.sha256(f.read()).hexdigest() != digest:
                    failures.append(f"{name}: does not match SHA256SUMS")
        for name in names + ["SHA256SUMS"]:
            a, b = os.path.join(first, name), os.path.join(second, name)
            with open(a, "rb") as fa, open(b, "rb") as fb:
                same = fa.read() == fb.read()
            print(f"{name}: {'same' if same else 'differs'}", flush=True)
            if not same:
                failures.append(f"{name}: {differences(a, b)}")
    if failures:
        print("FAIL: not reproducible:\n  " + "\n  ".join(failures), flush=True)
        return 1
    print("PASS", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
