#!/usr/bin/env python3
"""Makes the cabinets the extractor's tests read: some made by gcab as they are, some
patched afterwards to carry what no honest tool writes (hostile names, other flags), and
sets of cabinets written here field by field, since gcab writes no "next cabinet".

Usage: make_cabinets.py OUTPUT_FOLDER
"""
import os
import random
import shutil
import struct
import subprocess
import sys


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def gcab(cabinet, folder, names, zipped):
    args = ['gcab', '-c'] + (['-z'] if zipped else []) + [os.path.abspath(cabinet)] + names
    subprocess.run(args, cwd=folder, check=True, stdout=subprocess.DEVNULL)


def entry_offset(cab, name):
    """The offset of the CFFILE entry whose name is `name` (bytes)."""
    at = cab.index(name + b'\0')
    return at - 16  # cbFile, uoffFolderStart, iFolder, date, time, attribs precede the name


def patch_name(cab, old, new):
    assert len(old) == len(new)
    at = cab.index(old + b'\0')
    return cab[:at] + new + cab[at + len(new):]


def patch_attributes(cab, name, attributes):
    at = entry_offset(cab, name) + 14
    return cab[:at] + attributes.to_bytes(2, 'little') + cab[at + 2:]


def stored_cabinet(files, next_cabinet=None, index=0):
    """A cabinet of one uncompressed folder holding `files` (name, bytes), whose header names
    `next_cabinet` as the next one of its set when given."""
    flags, names = 0, b''
    if next_cabinet is not None:
        flags |= 0x0002  # cfhdrNEXT_CABINET: the next cabinet's name and disk follow the header
        names = next_cabinet.encode('utf-8') + b'\0' + b'disk\0'
    header_size = 36 + len(names)
    entries, offset = b'', 0
    for name, data in files:
        # size, offset in the folder, folder 0, date 2020-05-06, time 07:08:10, archive
        entries += struct.pack('<IIHHHH', len(data), offset, 0, 0x50A6, 0x3905, 0x20) + name.encode() + b'\0'
        offset += len(data)
    content = b''.join(data for _, data in files)
    blocks = [content[i:i + 32768] for i in range(0, len(content), 32768)] or [b'']
    data = b''.join(struct.pack('<IHH', 0, len(b), len(b)) + b for b in blocks)
    files_at = header_size + 8
    data_at = files_at + len(entries)
    header = struct.pack('<4sIIIIIBBHHHHH', b'MSCF', 0, data_at + len(data), 0, files_at, 0, 3, 1, 1, len(files),
                         flags, 0x5253, index)
    return header + names + struct.pack('<IHH', data_at, len(blocks), 0) + entries + data


def write_chains(out):
    """Sets whose headers name a next cabinet: honest ones, and ones that loop, run on too long
    or lead out of their folder."""
    chain = os.path.join(out, 'chain')
    shutil.rmtree(chain, ignore_errors=True)

    def cabinet(name, next_cabinet=None, index=0):
        text = ('in %s\n' % name).encode()
        write(os.path.join(chain, name), stored_cabinet([(name + '.txt', text)], next_cabinet, index))

    cabinet('set_1.cab', 'set_2.cab', 0)
    cabinet('set_2.cab', 'set_3.cab', 1)
    cabinet('set_3.cab', None, 2)
    cabinet('self.cab', 'self.cab')
    cabinet('cycle_a.cab', 'CYCLE_B.CAB', 0)
    cabinet('cycle_b.cab', 'Cycle_A.cab', 1)
    cabinet('cycle_\u00e9.cab', 'CYCLE_\u00c4.CAB', 0)
    cabinet('cycle_\u00e4.cab', 'Cycle_\u00c9.cab', 1)
    for i in range(1, 13):
        cabinet('long_%02d.cab' % i, 'long_%02d.cab' % (i + 1) if i < 12 else None, i - 1)
    cabinet('up.cab', '..\\outside.cab')
    write(os.path.join(out, 'outside.cab'), stored_cabinet([('outside.txt', b'outside\n')]))
    # The payload of an installer whose header names the payload file itself as its successor.
    write(os.path.join(out, 'payload_self.cab'),
          stored_cabinet([('a.txt', b'hello\n')], 'srinstallbaseexe.cab'))


def package_record(name, open_file=''):
    """An "InstallInfo.dif": the texts UTF-16LE at their offsets, each zero-terminated."""
    record = bytearray(1308)
    for offset, text in ((0, name), (80, 'Crafted'), (788, open_file)):
        data = text.encode('utf-16-le')
        record[offset:offset + len(data)] = data
    return bytes(record)


def write_packages(out):
    """Payloads of installers whose package record breaks the rules that srpack keeps."""
    module = b'MZ not really a module'
    write(os.path.join(out, 'package_dots.cab'),
          stored_cabinet([('InstallInfo.dif', package_record('..')), ('...ime', module)]))
    write(os.path.join(out, 'package_device.cab'),
          stored_cabinet([('InstallInfo.dif', package_record('Nul')), ('Nul.ime', module)]))
    write(os.path.join(out, 'package_open.cab'),
          stored_cabinet([('InstallInfo.dif', package_record('Crafted', '..\\..\\Windows\\regedit.exe')),
                          ('Crafted.ime', module)]))


def main():
    out = sys.argv[1]
    tree = os.path.join(out, 'tree')
    shutil.rmtree(tree, ignore_errors=True)
    rng = random.Random(20261208)
    files = {
        'a.txt': b'hello\n',
        'sub/dir/big.bin': bytes(rng.getrandbits(8) for _ in range(150000)),
        'sub/\u00fcn\u00ef.txt': '\u00fc\n'.encode('utf-8'),
        'b.txt': b'second\n',
    }
    for name, data in files.items():
        write(os.path.join(tree, name), data)
    stamp = 1588748890  # 2020-05-06 07:08:10 UTC, stored by gcab as the build machine's local time
    for name in files:
        os.utime(os.path.join(tree, name), (stamp, stamp))
    names = list(files)
    gcab(os.path.join(out, 'gcab_plain.cab'), tree, names, False)
    gcab(os.path.join(out, 'gcab_zip.cab'), tree, names, True)

    with open(os.path.join(out, 'gcab_plain.cab'), 'rb') as f:
        plain = f.read()
    # Without the UTF-8 flag a name is read in code page 1252.
    write(os.path.join(out, 'latin1.cab'), patch_attributes(plain, 'sub\\\u00fcn\u00ef.txt'.encode('utf-8'), 0x20))
    # Read-only with a UTC time; hidden with a local time; every other bit dropped.
    attrs = patch_attributes(plain, b'a.txt', 0x121)
    attrs = patch_attributes(attrs, b'b.txt', 0x42 | 0x20)
    write(os.path.join(out, 'attributes.cab'), attrs)

    # Hostile names, each after one honest file.
    hostile = os.path.join(out, 'hostile')
    write(os.path.join(hostile, 'good.txt'), b'good\n')
    for source in ('aaaevil.txt', 'zevil.txt', 'bbbbbbbbbbbbbbbbevil.txt', 'aaaaaaaa.txt'):
        write(os.path.join(hostile, source), b'evil\n')
    gcab(os.path.join(out, 'hostile.cab'), hostile,
         ['good.txt', 'aaaevil.txt', 'zevil.txt', 'bbbbbbbbbbbbbbbbevil.txt', 'aaaaaaaa.txt'], False)
    with open(os.path.join(out, 'hostile.cab'), 'rb') as f:
        base = f.read()
    cases = {
        'parent': (b'aaaevil.txt', b'..\\evil.txt'),
        'drive': (b'aaaevil.txt', b'C:\\evil.txt'),
        'rooted': (b'zevil.txt', b'\\evil.txt'),
        'deep': (b'bbbbbbbbbbbbbbbbevil.txt', b'sub\\..\\..\\..\\evil.txt'.ljust(24, b'x')),
        'device': (b'aaaaaaaa.txt', b'sub\\nul.txt'.ljust(12, b'x')),
    }
    for case, (old, new) in cases.items():
        write(os.path.join(out, 'hostile_%s.cab' % case), patch_name(base, old, new))
    shutil.rmtree(hostile)

    # Cut inside the data of the large file.
    with open(os.path.join(out, 'gcab_zip.cab'), 'rb') as f:
        zipped = f.read()
    write(os.path.join(out, 'truncated.cab'), zipped[:len(zipped) // 2])

    write_chains(out)
    write_packages(out)
    return 0


if __name__ == '__main__':
    sys.exit(main())
