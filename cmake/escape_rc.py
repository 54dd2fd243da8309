#!/usr/bin/env python3
"""Writes a copy of a UTF-8 resource script that windres reads correctly.

windres turns each UTF-8 byte of a non-ASCII string into a 16-bit unit of its own,
even under code_page(65001). Escapes of the form \\xHHHH come out right, and windres
takes at most four hex digits after \\x, so a following ASCII letter is safe.
Every quoted string that holds a non-ASCII character becomes L"..." with such escapes.
"""
import sys


def escape_line(line: str) -> str:
    out, i, n = [], 0, len(line)
    while i < n:
        c = line[i]
        if c == '"':
            j = i + 1
            while j < n and line[j] != '"':
                j += 2 if line[j] == '\\' else 1
            body = line[i + 1:j]
            if any(ord(ch) > 127 for ch in body):
                wide = ''.join('\\x%04X' % ord(ch) if ord(ch) > 127 else ch for ch in body)
                prefix_is_l = out and out[-1] == 'L'
                out.append(('' if prefix_is_l else 'L') + '"' + wide + '"')
            else:
                out.append(line[i:j + 1])
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def main() -> int:
    src, dst = sys.argv[1], sys.argv[2]
    with open(src, encoding='utf-8-sig') as f:
        text = f.read()
    for ch in text:
        if 0xD800 <= ord(ch) <= 0xDFFF or ord(ch) > 0xFFFF:
            sys.exit(f'{src}: character U+{ord(ch):X} lies outside the 16-bit range')
    escaped = ''.join(escape_line(l) for l in text.splitlines(keepends=True))
    with open(dst, 'w', encoding='ascii', newline='\n') as f:
        f.write(escaped)
    return 0


if __name__ == '__main__':
    sys.exit(main())
