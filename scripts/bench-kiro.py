#!/usr/bin/python3
"""Times the live wallpaper package on 100 photos: our export beside
`zip -r`, our import (into a folder, as into a handoff generation, and into
the real live hand-over store) beside
`unzip -t` and `unzip -d` on the same file, each with its peak memory.

The photos are made at run time with ImageMagick (plasma fractals, JPEG
quality 90, 1400 x 1050: the size a handed-over photo has on a 4K screen),
so they compress like real pictures. Needs build/native built.
Usage: scripts/bench-kiro.py [photo count, default 100]
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TOOL = os.path.join(ROOT, 'build/native/tests/native/tessary_kiro_bench')


def measure(label, command, cwd=None):
    """Runs `command` and prints its wall time and peak memory. GNU time
    measures it: a child of this script would count the script's own
    memory, which it had before starting the command."""
    with tempfile.NamedTemporaryFile('r') as report:
        run = subprocess.run(['/usr/bin/time', '-o', report.name, '-f', '%e %M'] + command, cwd=cwd,
                             stdout=subprocess.DEVNULL)
        if run.returncode != 0:
            sys.exit('%s failed: %s' % (label, ' '.join(command)))
        seconds, kib = report.read().split()
    print('  %-30s %7.2f s  %7.1f MiB peak' % (label, float(seconds), int(kib) / 1024))


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    subprocess.run(['cmake', '--build', os.path.join(ROOT, 'build/native'), '--target', 'tessary_kiro_bench',
                    '-j2'], check=True, stdout=subprocess.DEVNULL)
    work = tempfile.mkdtemp(prefix='tessary-bench-kiro-')
    try:
        generation = os.path.join(work, 'g-000001')
        photos = os.path.join(generation, 'photos')
        os.makedirs(photos)
        print('making %d photos ...' % count, flush=True)
        for i in range(count):
            subprocess.run(['convert', '-size', '1400x1050', '-seed', str(i + 1), 'plasma:fractal',
                            '-quality', '90', os.path.join(photos, '%04d.jpg' % i)], check=True)
        draw_list = [dict(x=100 + 37 * i % 3000, y=80 + 53 * i % 2000, rot=0.2, outerW=420, outerH=468,
                          photoIndex=i) for i in range(count)]
        with open(os.path.join(generation, 'data.json'), 'w', encoding='utf-8-sig') as f:
            json.dump(dict(w=3840, h=2160, motion='drop', speed=1, holdSec=30, drawList=draw_list), f)
        photo_bytes = sum(os.path.getsize(os.path.join(photos, n)) for n in os.listdir(photos))
        print('%d photos, %.1f MiB' % (count, photo_bytes / 1048576))

        package = os.path.join(work, 'wall.kiro')
        print('export')
        measure('ours (WriteKiro)', [TOOL, 'write', package, os.path.join(generation, 'data.json'), photos])
        measure('zip -q -r', ['zip', '-q', '-r', os.path.join(work, 'zip.kiro'), 'data.json', 'photos'],
                cwd=generation)
        print('import of the same %.1f MiB package' % (os.path.getsize(package) / 1048576))
        measure('ours (ImportKiro)', [TOOL, 'import', package, os.path.join(work, 'imported')])
        os.environ['XDG_DATA_HOME'] = os.path.join(work, 'data')
        measure('ours into the hand-over store', [TOOL, 'handoff', package])
        measure('unzip -t', ['unzip', '-tq', package])
        measure('unzip -d (extract)', ['unzip', '-q', package, '-d', os.path.join(work, 'unzipped')])
    finally:
        shutil.rmtree(work)


if __name__ == '__main__':
    main()
