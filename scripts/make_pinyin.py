#!/usr/bin/env python3
"""Writes the pinyin reading table the name search uses.

Reads the MIT-licensed dictionary of the go-pinyin package that Debian ships
(golang-github-mozillazg-go-pinyin-dev) and writes resources/pinyin/readings.txt:
toneless readings, "ü" written as "v", every reading of a character in the
dictionary's order (the most common first), duplicates left out.

    python3 scripts/make_pinyin.py [dictionary.go] [output-file]

Only the standard library is needed.
"""

import os
import re
import sys
import unicodedata

DICTIONARY = '/usr/share/gocode/src/github.com/mozillazg/go-pinyin/pinyin_dict.go'
HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, '..', 'resources', 'pinyin', 'readings.txt')

# Surname readings the dictionary lacks. Checked against the dictionary: it
# has every one the search relies on (曾 zeng, 单 shan, 解 xie, 仇 qiu, 区 ou,
# 朴 piao, 查 zha, 翟 zhai, 覃 qin), so the list is empty; add a line
# (code point, reading) here only for a reading the dictionary really misses.
EXTRA_READINGS = [
]

# Characters a line may skip before a new line starts rather than a run of "-".
MAX_GAP = 8
FIELDS_PER_LINE = 32


def toneless(reading):
    """'lǚ' -> 'lv', 'zhāng' -> 'zhang', 'ê̄' -> 'e', 'ḿ' -> 'm'."""
    decomposed = unicodedata.normalize('NFD', reading)
    decomposed = decomposed.replace('u\u0308', 'v')
    plain = ''.join(c for c in decomposed if not unicodedata.combining(c))
    if not re.fullmatch(r'[a-z]+', plain):
        raise ValueError('unexpected reading %r' % reading)
    return plain


def read_dictionary(path):
    table = {}
    with open(path, encoding='utf-8') as f:
        for m in re.finditer(r'0x([0-9A-Fa-f]+):\s*"([^"]*)"', f.read()):
            readings = []
            for r in m.group(2).split(','):
                r = toneless(r.strip())
                if r not in readings:
                    readings.append(r)
            if readings:
                table[int(m.group(1), 16)] = readings
    for code, reading in EXTRA_READINGS:
        readings = table.setdefault(code, [])
        if reading not in readings:
            readings.append(reading)
    return table


def write_table(table, path):
    codes = sorted(table)
    lines = []
    i = 0
    while i < len(codes):
        start = codes[i]
        fields = [','.join(table[start])]
        last = start
        i += 1
        while i < len(codes) and len(fields) < FIELDS_PER_LINE and codes[i] - last <= MAX_GAP:
            fields.extend('-' * (codes[i] - last - 1))
            fields.append(','.join(table[codes[i]]))
            last = codes[i]
            i += 1
        lines.append('%X %s' % (start, ' '.join(fields)))
    header = [
        '# Toneless pinyin readings, "v" for u-umlaut, most common reading first.',
        '# Made by scripts/make_pinyin.py from the go-pinyin dictionary',
        '# (Copyright 2016 mozillazg, MIT licence: see LICENSE). Do not edit by hand.',
        '# A line: the hex code point of its first character, then one field per',
        '# character from there on: its readings joined by ",", or "-" for none.',
    ]
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w', encoding='ascii', newline='\n') as f:
        f.write('\n'.join(header + lines) + '\n')
    return len(codes)


def main(argv):
    source = argv[1] if len(argv) > 1 else DICTIONARY
    target = argv[2] if len(argv) > 2 else OUTPUT
    count = write_table(read_dictionary(source), target)
    print('%s: %d characters' % (os.path.normpath(target), count))


if __name__ == '__main__':
    main(sys.argv)
