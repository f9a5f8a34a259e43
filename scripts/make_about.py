#!/usr/bin/env python3
"""Draws the About picture, resources/about/about.jpg: 397 x 283 pixels,
a baseline (not progressive) JPEG, with ImageMagick's convert.

    python3 scripts/make_about.py [output.jpg]

Needs ImageMagick and the WenQuanYi Micro Hei font (fonts-wqy-microhei).
"""

import os
import struct
import subprocess
import sys

WIDTH, HEIGHT = 397, 283
FONT = '/usr/share/fonts/truetype/wqy/wqy-microhei.ttc'
LATIN = '/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf'
VERSION = '1.0'


def book(x, y):
    """An open book drawn with ImageMagick primitives, its spine at (x, y)."""
    return [
        # soft shadow
        '-fill', '#00000030', '-draw', f'ellipse {x},{y + 78} 66,7 0,360',
        # cover
        '-fill', '#b2322a', '-stroke', '#6e1a14', '-strokewidth', '1.5',
        '-draw', f'polygon {x - 66},{y + 6} {x},{y + 14} {x + 66},{y + 6} {x + 66},{y + 74} '
                 f'{x},{y + 80} {x - 66},{y + 74}',
        # pages
        '-fill', '#fffbf0', '-stroke', '#8a7b62', '-strokewidth', '1',
        '-draw', f'path "M {x},{y + 8} C {x - 20},{y - 6} {x - 44},{y - 6} {x - 60},{y} L {x - 60},{y + 68} '
                 f'C {x - 44},{y + 62} {x - 20},{y + 62} {x},{y + 74} Z"',
        '-draw', f'path "M {x},{y + 8} C {x + 20},{y - 6} {x + 44},{y - 6} {x + 60},{y} L {x + 60},{y + 68} '
                 f'C {x + 44},{y + 62} {x + 20},{y + 62} {x},{y + 74} Z"',
        '-stroke', 'none',
    ] + lines(x, y) + [
        # ribbon bookmark
        '-fill', '#e8463a', '-draw', f'polygon {x - 42},{y - 3} {x - 34},{y - 2} {x - 34},{y + 84} '
                                     f'{x - 38},{y + 79} {x - 42},{y + 84}',
    ]


def lines(x, y):
    out = ['-stroke', '#9aa6b8', '-strokewidth', '2', '-fill', 'none']
    for i in range(7):
        yy = y + 14 + i * 7.5
        out += ['-draw', f'path "M {x - 52},{yy - 3} Q {x - 30},{yy - 7} {x - 8},{yy + 2}"']
        if i != 3:
            out += ['-draw', f'path "M {x + 8},{yy + 2} Q {x + 30},{yy - 7} {x + 52},{yy - 3}"']
    # a small person on the right page: the book is an address book
    out += ['-stroke', 'none', '-fill', '#2f6fc4',
            '-draw', f'circle {x + 30},{y + 36} {x + 30},{y + 31}',
            '-draw', f'roundrectangle {x + 21},{y + 43} {x + 39},{y + 54} 5,5']
    return out


def text(font, size, colour, x, y, s, gravity='NorthWest'):
    return ['-gravity', gravity, '-font', font, '-pointsize', str(size), '-fill', colour,
            '-annotate', f'+{x}+{y}', s]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'resources', 'about', 'about.jpg')
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)

    cmd = ['convert', '-size', f'{WIDTH}x{HEIGHT}', 'gradient:#1d4f91-#5fb4e6',
           # light circles for a little depth
           '-fill', '#ffffff14', '-draw', 'circle 330,40 330,130',
           '-fill', '#ffffff10', '-draw', 'circle 60,250 60,330',
           '-fill', '#ffffff0c', '-draw', 'circle 250,300 250,360',
           # a pale band behind the credits
           '-fill', '#ffffffd8', '-draw', f'rectangle 0,196 {WIDTH},{HEIGHT}',
           '-fill', '#f0a830', '-draw', f'rectangle 0,194 {WIDTH},196']
    cmd += book(88, 70)
    # title with a soft shadow
    cmd += text(FONT, 52, '#0b2a55a0', 184, 60, '通讯录')
    cmd += text(FONT, 52, '#ffffff', 182, 57, '通讯录')
    cmd += text(FONT, 14, '#e8f3ff', 186, 130, '个人通讯录管理软件')
    cmd += text(FONT, 12, '#cfe6ff', 186, 153, f'版本 {VERSION}')
    cmd += ['-stroke', 'none']
    cmd += text(FONT, 12, '#1d3a60', 18, 206, '设计与编程：通讯录开发组')
    cmd += text(FONT, 11, '#3a5578', 18, 226, '界面：Qt 6    数据：SQLCipher    图片解码：libjpeg')
    cmd += text(FONT, 10, '#5a6f8c', 18, 246, '本软件部分基于 Independent JPEG Group 的工作。')
    cmd += text(FONT, 10, '#7c8ca3', 18, 262, '© 2024 通讯录开发组')
    cmd += text(FONT, 10, '#7c8ca3', 14, 262, '单击任意处关闭', gravity='NorthEast')
    cmd += ['-strip', '-interlace', 'none', '-sampling-factor', '2x2', '-quality', '92', f'JPEG:{out}']
    subprocess.run(cmd, check=True)
    check(out)


def check(path):
    """Refuses a result that is not a baseline JPEG of the right size."""
    data = open(path, 'rb').read()
    assert data[:2] == b'\xff\xd8', 'not a JPEG'
    i = 2
    while i < len(data):
        assert data[i] == 0xFF, 'bad marker'
        marker = data[i + 1]
        length = struct.unpack('>H', data[i + 2:i + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            assert marker == 0xC0, 'not baseline: SOF%d' % (marker - 0xC0)
            h, w = struct.unpack('>HH', data[i + 5:i + 9])
            assert (w, h) == (WIDTH, HEIGHT), (w, h)
            return
        i += 2 + length
    raise AssertionError('no frame header')


if __name__ == '__main__':
    main()
