#!/usr/bin/env python3
"""The arithmetic of scripts/bench: reads what the runs recorded and prints the figures.

  bench_report.py log LOG START END       the install log's phases as "name seconds" lines
  bench_report.py peak SECONDS NAME       the peak working sets of the working copy and of the
                                          process NAME that started it, in bytes
  bench_report.py waits TRACE             Sleep(50 ms) calls in a Wine relay trace
  bench_report.py report RECORDS          medians of "name value" lines, each figure beside
                                          its target, and the verdicts"""
import datetime
import os
import re
import statistics
import sys
import time

# The lines that open and close each step of an unattended install's log.
STEPS = {
    'placement': ('  1.创建文件系统....', '    安装1.完成'),
    'registration': ('  2.设置软件运行环境...', '    安装2.完成'),
    'entry': ('  3.写入卸载信息...', '    安装3.完成'),
    'backup': ('  4.备份安装数据...', '    安装4.完成'),
    'shortcuts': ('  5.创建开始菜单及桌面快捷方式...', '    安装5.完成'),
}
CLEANUP_START = '  6.清除安装程序创建的临时文件...'

WAIT_SECONDS = 0.05  # what EmptyFolder waits after each entry it deletes or removes


def log_lines(path):
    lines = []
    with open(path, encoding='utf-8', errors='replace') as f:
        for raw in f:
            raw = raw.rstrip('\r\n')
            m = re.match(r'(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3})  (.*)', raw)
            if not m:
                continue  # a line that a line break inside a report continued
            y, mo, d, h, mi, s, ms = (int(x) for x in m.groups()[:7])
            stamp = time.mktime(datetime.datetime(y, mo, d, h, mi, s).timetuple()) + ms / 1000
            lines.append((stamp, m.group(8)))
    return lines


def log_phases(path, start, end):
    lines = log_lines(path)
    if not lines:
        return {}
    first = {}
    for stamp, text in lines:
        first.setdefault(text, stamp)
    phases = {'before-log': lines[0][0] - start}
    for name, (opening, closing) in STEPS.items():
        if opening in first and closing in first:
            phases[name] = first[closing] - first[opening]
    if CLEANUP_START in first:
        # The clean-up goes on after the last line: both processes empty the work folder.
        phases['cleanup'] = end - first[CLEANUP_START]
    return phases


def peak_working_sets(timeout, starter):
    """Follows the working copy, and the first process that started it, from their start to
    their end. VmHWM is the peak resident set, what Windows calls the peak working set; the
    first process never maps the payload, so its peak is what a process of this program
    needs without it. A process is told by its command line at each look: a child is forked
    with its parent's before Wine starts the program in it."""
    deadline = time.time() + timeout
    names = (b'___temp.exe', starter.encode())
    peaks = dict.fromkeys(names, 0)
    seen_copy = False
    while time.time() < deadline:
        alive = False
        for entry in os.listdir('/proc'):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open('/proc/%s/cmdline' % entry, 'rb') as f:
                    line = f.read()
                name = next((n for n in names if n in line), None)
                if name is None:
                    continue
                with open('/proc/%s/status' % entry) as f:
                    hwm = next((int(l.split()[1]) * 1024 for l in f if l.startswith('VmHWM:')), 0)
            except OSError:
                continue
            peaks[name] = max(peaks[name], hwm)
            alive = True
            seen_copy = seen_copy or name == names[0]
        if seen_copy and not alive:
            break
        time.sleep(0.01)
    return peaks[names[0]], peaks[names[1]]


def count_waits(path):
    # "Call KERNEL32.Sleep(00000032) ret=..." or the same through KERNELBASE: 0x32 is 50 ms.
    pattern = re.compile(r'Call (?:KERNEL32|KERNELBASE|kernel32|kernelbase)\.Sleep\(0+32\)')
    with open(path, errors='replace') as f:
        return sum(1 for line in f if pattern.search(line))


def read_records(path):
    records = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                try:
                    records.setdefault(parts[0], []).append(float(parts[1]))
                except ValueError:
                    pass
    return records


class Report:
    def __init__(self, records):
        self.records = records
        self.verdicts = []

    def median(self, name):
        values = self.records.get(name)
        return statistics.median(values) if values else None

    def verdict(self, number, figure, bound, at_most, text):
        if figure is None:
            self.verdicts.append('target %d: n/a (%s; target %s %.2f) misses' %
                                 (number, text, 'at most' if at_most else 'at least', bound))
            return
        holds = figure <= bound if at_most else figure >= bound
        self.verdicts.append('target %d: %.3f (target %s %.2f) %s' %
                             (number, figure, 'at most' if at_most else 'at least', bound,
                              'holds' if holds else 'misses'))

    def overhead(self, size):
        """Seconds of our own: the install less the waits less the plain extraction, the median
        of each run's install less the extraction timed just before it."""
        waits = self.median('waits.%s' % size)
        paired = self.median('paired.%s' % size)
        if paired is not None and waits is not None:
            return paired - waits * WAIT_SECONDS
        install, plain = self.median('install.%s' % size), self.median('unkeyed.%s' % size)
        if install is None or plain is None or waits is None:
            return None
        return install - waits * WAIT_SECONDS - plain


def fmt(value, unit='s', digits=3):
    return 'n/a' if value is None else ('%.*f %s' % (digits, value, unit)).rstrip()


def report(path):
    r = Report(read_records(path))
    m = r.median
    sizes = [int(v) for v in r.records.get('sizes', [])]
    main = int(m('main')) if m('main') else None
    runs = len(r.records.get('install.%s' % main, [])) if main else 0
    print('median of %d runs taking turns; x86_64 build under 64-bit Wine' % runs)

    # 1. Our overhead, part by part, for the main package.
    print('\n1. our overhead for the package of %s files (%s MB in its files):' %
          (main, fmt(m('bytes.%s' % main) and m('bytes.%s' % main) / 1e6, '', 1)))
    install, plain, waits = m('install.%s' % main), m('unkeyed.%s' % main), m('waits.%s' % main)
    print('   unattended install         %s' % fmt(install))
    print('   plain unkeyed extraction   %s  (the denominator)' % fmt(plain))
    print('   EmptyFolder waits          %s  (%s calls of 50 ms traced: the entries it deleted or removed)' %
          (fmt(waits and waits * WAIT_SECONDS), fmt(waits, '', 0)))
    print('   start-up before the log    %s  (its parts timed apart by srbench and by a start that ends at once)' %
          fmt(m('before-log.%s' % main)))
    for label, name in (('  of which self-copy', 'self-copy'), ('  .tmp copy and split', 'split'),
                        ('  keyed extraction', 'keyed'),
                        ('  a process start', 'bare-start'),
                        ('  module holders check', 'guard'),
                        ('  journal start', 'journal-start'),
                        ('placement', 'placement'), ('registration', 'registration'),
                        ('uninstall entry', 'entry'), ('backup', 'backup'), ('shortcuts', 'shortcuts'),
                        ('  apart: COM\'s first start', 'com-start'), ('  apart: ten links', 'ten-links'),
                        ('clean-up to the end', 'cleanup')):
        print('   %-26s %s' % (label, fmt(m('%s.%s' % (name, main)))))
    # The undo journal, timed by srbench on the placement, where it records every file and keeps
    # aside every file it replaces; it is inside the install's figures above.
    print('   undo journal               %s on a placement of %s into a fresh folder; %s on %s over an '
          'installed package, whose files it keeps aside' %
          (fmt(m('journal-fresh.%s' % main)), fmt(m('placement-fresh.%s' % main)),
           fmt(m('journal-over.%s' % main)), fmt(m('placement-over.%s' % main))))
    over = r.overhead(main)
    ratio1 = over / plain if over is not None and plain else None
    print('   overhead (install - waits - plain extraction) / plain extraction: %s (target at most 0.25; the '
          'overhead %s is the median of each run\'s install less the extraction timed just before it)' %
          (fmt(ratio1, ''), fmt(over)))

    # 2. Linear in files.
    print('\n2. the same bytes in more files:')
    overheads = {}
    for size in sizes:
        overheads[size] = r.overhead(size)
        print('   %6d files in %3s folders: install %s, waits %s (%s traced), plain extraction %s, overhead %s' %
              (size, fmt(m('folders.%s' % size), '', 0), fmt(m('install.%s' % size)),
               fmt(m('waits.%s' % size) and m('waits.%s' % size) * WAIT_SECONDS), fmt(m('waits.%s' % size), '', 0),
               fmt(m('unkeyed.%s' % size)), fmt(overheads[size])))
    ratio2 = None
    if len(sizes) == 3 and all(overheads[s] is not None for s in sizes):
        a, b, c = sizes
        first = (overheads[b] - overheads[a]) / (b - a)
        second = (overheads[c] - overheads[b]) / (c - b)
        print('   marginal cost per file: %.3f ms from %d to %d, %.3f ms from %d to %d' %
              (first * 1e3, a, b, second * 1e3, b, c))
        if first > 0 and second > 0:
            ratio2 = second / first
            print('   ratio of the two: %s (target at most 1.2)' % fmt(ratio2, ''))
        else:
            # A cost that falls with more files is the noise of the extractions, not a figure.
            print('   ratio of the two: n/a, a marginal cost not above zero is within the noise')
        # Beside it, the parts of our own that the runs time one by one, which the library's
        # noise does not reach: the steps from the log and the start-up's copies.
        owned = {}
        for size in sizes:
            parts = [m('%s.%s' % (name, size)) for name in
                     ('self-copy', 'split', 'placement', 'registration', 'entry', 'backup', 'shortcuts', 'cleanup')]
            if all(p is not None for p in parts) and m('waits.%s' % size) is not None:
                owned[size] = sum(parts) - m('waits.%s' % size) * WAIT_SECONDS
        if len(owned) == 3:
            print('   our parts timed one by one (copies, steps 1 to 5, clean-up less the waits): %s; per file '
                  '%.4f ms from %d to %d, %.4f ms from %d to %d' %
                  (', '.join('%.3f s' % owned[size] for size in sizes), (owned[b] - owned[a]) / (b - a) * 1e3, a, b,
                   (owned[c] - owned[b]) / (c - b) * 1e3, b, c))
        for size in sizes:
            paired = r.records.get('paired.%s' % size, [])
            if paired:
                print('   %6d files: each run\'s install less its extraction from %.3f s to %.3f s' %
                      (size, min(paired), max(paired)))

    # 3. Blowfish.
    ours, openssl = m('blowfish'), m('openssl')
    ratio3 = ours / openssl if ours and openssl else None
    print('\n3. Blowfish decipher in 64 KB buffers: ours %s, OpenSSL bf-ecb %s; ratio %s (target at least 1.2)' %
          (fmt(ours, 'MB/s', 1), fmt(openssl, 'MB/s', 1), fmt(ratio3, '')))

    # 4. Keyed against unkeyed.
    keyed = m('keyed.%s' % main)
    ratio4 = keyed / plain if keyed and plain else None
    print('\n4. keyed extraction %s against unkeyed %s of the same cabinet: %s (target at most 1.05)' %
          (fmt(keyed), fmt(plain), fmt(ratio4, '')))

    # 5. NSIS, and the stored cabinet beside MSZIP.
    nsis = m('nsis')
    less = install - waits * WAIT_SECONDS if install is not None and waits is not None else None
    print('\n5. against NSIS (amd64-unicode, zlib): NSIS %s; ours %s, less the waits %s; ratio %s' %
          (fmt(nsis), fmt(install), fmt(less), fmt(less / nsis if less is not None and nsis else None, '')))
    if less is not None and nsis:
        part = lambda name: m('%s.%s' % (name, main)) or 0
        copies = part('self-copy') + part('split')
        starts = 2 * part('bare-start')
        rest = part('before-log') - copies - part('keyed') - starts - part('guard')
        cleanup = part('cleanup') - waits * WAIT_SECONDS
        parts = [
            ("the library's extraction", plain or 0),
            ('deciphering on top of it (keyed less plain)', part('keyed') - (plain or 0)),
            ('start-up copies', copies),
            ('two process starts', starts),
            ('module holders check', part('guard')),
            ('the rest of the start-up', rest),
            ('journal start', part('journal-start')),
            ('placement', part('placement')),
            ('registration', part('registration')),
            ('uninstall entry', part('entry')),
            ('backup', part('backup')),
            ('shortcuts', part('shortcuts')),
            ('clean-up less the waits', cleanup),
        ]
        parts.append(('not accounted for', less - sum(seconds for _, seconds in parts)))
        print('   where our %s less the waits go:' % fmt(less))
        for label, seconds in parts:
            print('     %-44s %s' % (label, fmt(seconds)))
    for kind, label in (('mszip', 'MSZIP'), ('none', 'stored (--compression none)')):
        size, time_ = m('setup-size.%s' % kind), m('install.%s' % kind if kind == 'none' else 'install.%s' % main)
        kind_waits = m('waits.%s' % kind if kind == 'none' else 'waits.%s' % main)
        extraction = m('unkeyed.%s' % (kind if kind == 'none' else main))
        print('   %-28s installer %s, install %s, less the waits %s, plain extraction %s' %
              (label, fmt(size and size / 1e6, 'MB', 1), fmt(time_),
               fmt(time_ - kind_waits * WAIT_SECONDS if time_ is not None and kind_waits is not None else None),
               fmt(extraction)))
    nsis_size = m('setup-size.nsis')
    print('   %-28s installer %s' % ('NSIS zlib', fmt(nsis_size and nsis_size / 1e6, 'MB', 1)))

    # 6. Memory.
    peak = m('peak.%s' % main)
    print('\n6. peak working set of the working copy during the install: %s (installer %s; the first process, '
          'which holds no payload: %s)' %
          (fmt(peak and peak / 1e6, 'MB', 1), fmt(m('setup-size.%s' % main) and m('setup-size.%s' % main) / 1e6, 'MB', 1),
           fmt(m('starter-peak.%s' % main) and m('starter-peak.%s' % main) / 1e6, 'MB', 1)))
    for size in sizes:
        if size != main:
            print('   with %d files: %s' % (size, fmt(m('peak.%s' % size) and m('peak.%s' % size) / 1e6, 'MB', 1)))
    print()

    r.verdict(1, ratio1, 0.25, True, 'no overhead measured')
    r.verdict(2, ratio2, 1.2, True, 'no marginal cost above zero')
    r.verdict(3, ratio3, 1.2, False, 'no cipher speed measured')
    r.verdict(4, ratio4, 1.05, True, 'no extraction measured')
    for line in r.verdicts:
        print(line)
    print('targets: %d of 4 hold' % sum(line.endswith(' holds') for line in r.verdicts))


def main():
    command = sys.argv[1] if len(sys.argv) > 1 else ''
    if command == 'log' and len(sys.argv) == 5:
        for name, seconds in log_phases(sys.argv[2], float(sys.argv[3]), float(sys.argv[4])).items():
            print('%s %.4f' % (name, seconds))
    elif command == 'peak' and len(sys.argv) == 4:
        print('%d %d' % peak_working_sets(float(sys.argv[2]), sys.argv[3]))
    elif command == 'waits' and len(sys.argv) == 3:
        print(count_waits(sys.argv[2]))
    elif command == 'report' and len(sys.argv) == 3:
        report(sys.argv[2])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main())
