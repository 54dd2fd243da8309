#!/usr/bin/env python3
"""Makes the benchmark's cabinet: about 60 MB in a couple of thousand small files and a few
large ones, MSZIP-compressed by gcab. Usage: make_bench_cabinet.py FOLDER CABINET"""
import os
import random
import shutil
import subprocess
import sys


def main():
    folder, cabinet = sys.argv[1], os.path.abspath(sys.argv[2])
    shutil.rmtree(folder, ignore_errors=True)
    rng = random.Random(60)
    words = [bytes(rng.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(3000)]
    names = []

    def text(size):
        out = bytearray()
        while len(out) < size:
            out += rng.choice(words) + b' '
        return bytes(out[:size])

    for i in range(2000):
        name = 'small/%02d/file%04d.txt' % (i % 40, i)
        names.append(name)
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(text(rng.randint(200, 16000)))
    for i in range(3):
        name = 'large/table%d.dat' % i
        names.append(name)
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            for _ in range(18):  # 18 MiB: text and noise in turns
                f.write(text(512 * 1024))
                f.write(rng.randbytes(512 * 1024))
    subprocess.run(['gcab', '-c', '-z', cabinet] + names, cwd=folder, check=True, stdout=subprocess.DEVNULL)
    return 0


if __name__ == '__main__':
    sys.exit(main())
