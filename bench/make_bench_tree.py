#!/usr/bin/env python3
"""Makes a benchmark package's content: about MB megabytes in FILES files spread evenly over
FOLDERS folders (a tenth of them at the top, the rest below those). Every file is text and
noise in the same proportion, so that trees of different file counts compress alike and only
the count differs between them. The same arguments make the same tree.

Usage: make_bench_tree.py FOLDER FILES FOLDERS MB"""
import os
import random
import shutil
import sys


def folder_names(count):
    tops = max(1, count // 10)
    names = ['group%02d' % t for t in range(tops)]
    for i in range(count - tops):
        names.append('group%02d/part%03d' % (i % tops, i))
    return names


def main():
    if len(sys.argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    root, files, folders, megabytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
    shutil.rmtree(root, ignore_errors=True)
    rng = random.Random(files * 7919 + folders)
    words = [bytes(rng.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(3000)]
    text = bytearray()
    while len(text) < 4 << 20:
        text += rng.choice(words) + b' '
    noise = rng.randbytes(4 << 20)
    names = folder_names(folders)
    for name in names:
        os.makedirs(os.path.join(root, name))
    average = megabytes * 1e6 / files
    for i in range(files):
        # Sizes vary around the average; half of each file's bytes are text, half noise.
        size = max(2, int(average * rng.uniform(0.5, 1.5)))
        half = size // 2
        start = rng.randrange(len(text) - half)
        data = bytes(text[start:start + half])
        start = rng.randrange(len(noise) - (size - half))
        data += noise[start:start + size - half]
        with open(os.path.join(root, names[i % len(names)], 'file%05d.dat' % i), 'wb') as f:
            f.write(data)
    return 0


if __name__ == '__main__':
    sys.exit(main())
