#!/usr/bin/python3
"""Builds samples/photos/, the folder the program offers before the user
has chosen one of their own: public-domain and CC0 photographs from the
image-processing library's sample data, one of them as HEIC, and a short
memo. Credits go to samples/LICENSE-photos.txt, outside the folder, since
text files inside it are imported as memos.

Needs python3-skimage (the photographs) and libheif-examples (heif-enc).
Usage: scripts/make-samples.py [output root]
"""
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = '/usr/lib/python3/dist-packages/skimage/data'
LONG_SIDE = 1600
QUALITY = 90

# (file in the data folder, name in the sample folder, credit and licence)
PHOTOS = [
    ('astronaut.png', 'astronaut.jpg',
     'Eileen Collins, NASA portrait. No known copyright restrictions, released into the public domain.'),
    ('chelsea.png', 'chelsea-the-cat.jpg',
     'Chelsea the cat, by Stefan van der Walt. CC0.'),
    ('coffee.png', 'coffee.jpg',
     'A cup of coffee, courtesy of Pikolo Espresso Bar, by Rachel Michetti. CC0.'),
    ('rocket.jpg', 'rocket-launch.jpg',
     'Launch of DSCOVR on Falcon 9, by SpaceX. Released into the public domain.'),
    ('hubble_deep_field.jpg', 'hubble-deep-field.jpg',
     'Hubble eXtreme Deep Field, NASA. Public domain.'),
    ('camera.png', 'cameraman.jpg',
     'Camera man, by Lav Varshney. CC0.'),
    ('grass.png', 'grass.jpg',
     'Grass, by linolafett. CC0 (cropped and made grey by the sample data authors).'),
    ('clock_motion.png', 'wall-clock.jpg',
     'Motion-blurred wall clock, by Stefan van der Walt. Released into the public domain.'),
]

# The HEIC sample is a close crop of one photograph, saved as HEIC.
HEIC_SOURCE = ('chelsea.png', 'chelsea-close-up.heic', (90, 20, 360, 290),
               'Close crop of "Chelsea the cat" above, by Stefan van der Walt. CC0.')

MEMO = """夏の思い出アルバム
家族と過ごした週末、コーヒーと猫と空。

Summer memories
A weekend with family: coffee, the cat and the sky.
"""


def save_jpeg(image, target):
    image = image.convert('RGB')
    scale = LONG_SIDE / max(image.size)
    if scale < 1:
        image = image.resize((round(image.width * scale), round(image.height * scale)), Image.LANCZOS)
    image.save(target, 'JPEG', quality=QUALITY, optimize=True)


def main():
    out_root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, 'samples')
    if not os.path.isdir(DATA):
        raise SystemExit('sample photographs not found: install python3-skimage')
    if shutil.which('heif-enc') is None:
        raise SystemExit('heif-enc not found: install libheif-examples')
    folder = os.path.join(out_root, 'photos')
    os.makedirs(folder, exist_ok=True)
    credits = []
    for source, name, credit in PHOTOS:
        save_jpeg(Image.open(os.path.join(DATA, source)), os.path.join(folder, name))
        credits.append(f'{name}: {credit}')

    source, name, box, credit = HEIC_SOURCE
    with tempfile.TemporaryDirectory() as tmp:
        crop = os.path.join(tmp, 'crop.jpg')
        save_jpeg(Image.open(os.path.join(DATA, source)).crop(box), crop)
        subprocess.run(['heif-enc', '-q', '70', crop, '-o', os.path.join(folder, name)],
                       check=True, stdout=subprocess.DEVNULL)
    credits.append(f'{name}: {credit}')

    with open(os.path.join(folder, 'memo.txt'), 'w', encoding='utf-8', newline='\n') as f:
        f.write(MEMO)

    with open(os.path.join(out_root, 'LICENSE-photos.txt'), 'w', encoding='utf-8', newline='\n') as f:
        f.write('Sample photos in samples/photos/\n\n'
                'The photographs come from the sample data shipped with scikit-image\n'
                '(Debian package python3-skimage), whose documentation gives the credit and\n'
                'licence of each. Only public-domain and CC0 pictures were taken; they were\n'
                'converted to JPEG (and one crop to HEIC) by scripts/make-samples.py.\n\n'
                + '\n'.join(credits) + '\n\n'
                'memo.txt: written for this project, CC0 1.0.\n')
    total = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder))
    print(f'{len(os.listdir(folder))} files, {total / 1e6:.2f} MB in {folder}')


if __name__ == '__main__':
    main()
