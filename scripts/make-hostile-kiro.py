#!/usr/bin/python3
"""Writes live wallpaper packages (.kiro) that the reader must accept or
refuse, each with the outcome expected of the import: the native tests run
them as a table and the fuzzer starts from them. Every archive is put
together byte by byte here, so that each one lies in exactly one way.

Standard library only.
Usage: scripts/make-hostile-kiro.py OUTPUT_FOLDER
Writes OUTPUT_FOLDER/<case>.kiro and OUTPUT_FOLDER/cases.json, a list of
{"file", "error", "detail", "photos", "data"}: `error` is the import's
message ("" when it succeeds), `detail` a piece of its diagnostic text,
`photos` and `data` what a successful import hands over.
"""
import functools
import json
import os
import struct
import sys
import zlib

MIB = 1024 * 1024
BOM = b'\xef\xbb\xbf'
DATA = BOM + b'{"drawList":[],"w":1920,"h":1080,"speed":1,"motion":"drop","holdSec":30}'
META = BOM + b'{"format":"tessary-live","version":1,"created":"2024-05-01T09:30:15.250+09:00"}'
# Not a real picture: the reader never decodes photos, only checks them.
JPEG = b'\xff\xd8\xff\xe0' + bytes(range(256)) * 8 + b'\xff\xd9'

NOT_KIRO = 'ライブ壁紙のファイルではありません'
UNSUPPORTED = 'このファイルには対応していません'
TOO_MANY = 'ファイルの中身が多すぎます'
DIRECTORY_TOO_LARGE = 'ファイルの目録が大きすぎます'
CORRUPT = 'ファイルが壊れています'
FILE_TOO_LARGE = 'ファイルが大きすぎます'
FORBIDDEN = 'このファイルには不正な項目が含まれています'
ENTRY_TOO_LARGE = '中の画像が大きすぎます'
TOTAL_TOO_LARGE = 'ファイル全体が大きすぎます'
DUPLICATE_PHOTO = '写真の番号が重複しています'
DUPLICATE_DATA = '再生データが重複しています'
NO_DATA = '再生データ（data.json）が入っていません'
NO_PHOTO = '写真が1枚も入っていません'


@functools.lru_cache(maxsize=None)
def deflate(data, level=6):
    packer = zlib.compressobj(level, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def entry(name, data=b'', method=8, flags=0, packed=None, extra=b'',
          local=None, central=None, descriptor=None, emit=True):
    """One member. `local` and `central` overwrite fields of either header
    (name, flags, method, crc, csize, usize, disk, offset); `descriptor` is
    'signed' or 'bare' for a data descriptor after the data; `emit` False
    leaves the local header and data out of the body (for entries that
    point into another one)."""
    if packed is None:
        packed = deflate(data) if method == 8 else data
    return dict(name=name.encode() if isinstance(name, str) else name, data=data,
                method=method, flags=flags, packed=packed, extra=extra,
                local=local or {}, central=central or {}, descriptor=descriptor, emit=emit)


def local_header(f, extra):
    return struct.pack('<IHHHHHIIIHH', 0x04034B50, 20, f['flags'], f['method'], 0, 0x5821,
                       f['crc'], f['csize'], f['usize'], len(f['name']), len(extra)) + f['name'] + extra


def central_record(f):
    return struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, 20, f['flags'], f['method'], 0, 0x5821,
                       f['crc'], f['csize'], f['usize'], len(f['name']), 0, 0, f['disk'], 0, 0,
                       f['offset']) + f['name']


def build(entries, prefix=b'', gap_after=None, before_dir=b'', dir_extra=b'', before_end=b'',
          comment=b'', trailing=b'', end=None):
    """The archive's bytes. `gap_after` maps an entry's position to bytes put
    after it; `end` overwrites end-record fields (disk, dir_disk, here,
    total, size, offset, comment_length)."""
    body = bytearray(prefix)
    records = []
    for i, e in enumerate(entries):
        fields = dict(name=e['name'], flags=e['flags'], method=e['method'], crc=zlib.crc32(e['data']),
                      csize=len(e['packed']), usize=len(e['data']), disk=0, offset=len(body))
        central = {**fields, **e['central']}
        local = {**fields, **e['local']}
        if e['flags'] & 8:
            # A writer that streams leaves them to the descriptor.
            for key in ('crc', 'csize', 'usize'):
                if key not in e['local']:
                    local[key] = 0
        if e['emit']:
            body += local_header(local, e['extra']) + e['packed']
            if e['descriptor']:
                sig = struct.pack('<I', 0x08074B50) if e['descriptor'] == 'signed' else b''
                body += sig + struct.pack('<III', fields['crc'], fields['csize'], fields['usize'])
        body += (gap_after or {}).get(i, b'')
        records.append(central)
    body += before_dir
    directory = b''.join(central_record(r) for r in records) + dir_extra
    fields = dict(disk=0, dir_disk=0, here=len(records), total=len(records), size=len(directory),
                  offset=len(body), comment_length=len(comment))
    fields.update(end or {})
    record = struct.pack('<IHHHHIIH', 0x06054B50, fields['disk'], fields['dir_disk'], fields['here'],
                         fields['total'], fields['size'], fields['offset'], fields['comment_length'])
    return bytes(body + directory + before_end + record + comment + trailing)


def standard(*extra_entries, photos=(0, 1)):
    return [entry('meta.json', META), entry('data.json', DATA)] + \
        [entry('photos/%04d.jpg' % i, JPEG) for i in photos] + list(extra_entries)


def overlapping():
    """Photo 1's local header and data lie inside photo 0's stored data."""
    inner = entry('photos/0001.jpg', JPEG, method=0)
    inner_fields = dict(name=inner['name'], flags=0, method=0, crc=zlib.crc32(JPEG),
                        csize=len(JPEG), usize=len(JPEG))
    hidden = local_header(inner_fields, b'') + JPEG
    meta, data = entry('meta.json', META), entry('data.json', DATA)
    head = build([meta, data])
    start = head.index(struct.pack('<I', 0x02014B50))  # where photo 0 begins
    outer_header = 30 + len('photos/0000.jpg')
    inner['central'] = {'offset': start + outer_header}
    inner['emit'] = False
    return build([meta, data, entry('photos/0000.jpg', hidden, method=0), inner])


def many_entries(count):
    names = ['x/%04d' % i for i in range(count - 2)]
    return build([entry('data.json', DATA), entry('photos/0000.jpg', JPEG)] +
                 [entry(n, b'', method=0) for n in names])


def total_bomb():
    """Six honest 30 MiB photos, then one that declares 1 KiB and unpacks past the total."""
    honest = [entry('photos/%04d.jpg' % i, bytes(30 * MIB)) for i in range(6)]
    liar = entry('photos/0006.jpg', bytes(1024), packed=deflate(bytes(25 * MIB)))
    return build([entry('data.json', DATA)] + honest + [liar])


def damaged_stream():
    packed = bytearray(deflate(JPEG))
    packed[0] = 0x07  # block type 3: reserved
    return build(standard(entry('photos/0002.jpg', JPEG, packed=bytes(packed))))


def cases():
    ok = dict(error='', detail='')
    ignored = ['Photos/0003.jpg', 'photos/sub/0004.jpg', 'photos/0005.png', 'photos/1000.jpg', 'photos/',
               'photos/.jpg', 'photos/x5.jpg', 'readme.txt']
    yield 'valid', build(standard()), dict(ok, photos=[0, 1])
    yield 'valid-without-meta', build(standard()[1:]), dict(ok, photos=[0, 1])
    yield 'valid-ignored-entries', build(standard(*[entry(n, b'x') for n in ignored])), dict(ok, photos=[0, 1])
    yield 'valid-capital-extension', build(standard(entry('photos/0009.JPG', JPEG), entry('photos/17.jpg', JPEG))), \
        dict(ok, photos=[0, 1, 9, 17])
    yield 'valid-stored', build([entry('data.json', DATA, method=0), entry('photos/0002.jpg', JPEG, method=0)]), \
        dict(ok, photos=[2])
    yield 'valid-descriptors', build([entry('data.json', DATA, flags=8, descriptor='signed'),
                                      entry('photos/0003.jpg', JPEG, flags=8 | 0x800, descriptor='bare')]), \
        dict(ok, photos=[3])
    yield 'valid-comment-and-extra', build(standard(entry('photos/0004.jpg', JPEG, extra=b'UT\x05\x00\x01abcd')),
                                           comment=b'made by hand'), dict(ok, photos=[0, 1, 4])
    yield 'valid-1200-entries', many_entries(1200), dict(ok, photos=[0])
    yield 'valid-entry-at-limit', build([entry('data.json', DATA), entry('photos/0000.jpg', bytes(30 * MIB))]), \
        dict(ok, photos=[0])

    # The end record
    yield 'empty-file', b'', dict(error=NOT_KIRO, detail='shorter than an end record')
    yield 'random-bytes', bytes((i * 151 + 7) % 256 for i in range(4096)), dict(error=NOT_KIRO, detail='no end record')
    yield 'trailing-byte', build(standard(), trailing=b'\0'), dict(error=NOT_KIRO, detail='no end record')
    yield 'comment-length-short', build(standard(), comment=b'abc', end={'comment_length': 2}), \
        dict(error=NOT_KIRO, detail='no end record')
    yield 'second-disk', build(standard(), end={'disk': 1}), dict(error=NOT_KIRO, detail='no end record')
    yield 'counts-differ', build(standard(), end={'here': 3}), dict(error=NOT_KIRO, detail='no end record')
    yield 'zip64-count', build(standard(), end={'here': 0xFFFF, 'total': 0xFFFF}), \
        dict(error=UNSUPPORTED, detail='ZIP64')
    yield 'zip64-offset', build(standard(), end={'offset': 0xFFFFFFFF}), dict(error=UNSUPPORTED, detail='ZIP64')
    yield 'too-many-entries', many_entries(1201), dict(error=TOO_MANY, detail='1201 entries')
    yield 'directory-too-large', build(standard(), end={'size': 4 * MIB + 1, 'offset': 0}), \
        dict(error=DIRECTORY_TOO_LARGE, detail='directory of 4194305 bytes')
    yield 'directory-over-end', build(standard(), end={'offset': 300, 'size': 100000}), \
        dict(error=CORRUPT, detail='overlaps the end record')

    # The layout of the file
    yield 'prefix', build(standard(), prefix=b'MZ' + bytes(62)), dict(error=CORRUPT, detail='bytes lie before')
    yield 'gap-between-entries', build(standard(), gap_after={1: b'hidden'}), \
        dict(error=CORRUPT, detail='bytes lie before')
    yield 'bytes-before-directory', build(standard(), before_dir=b'hidden'), \
        dict(error=CORRUPT, detail='between the last entry and the directory')
    yield 'bytes-before-end-record', build(standard(), before_end=b'PK\x06\x07' + bytes(16)), \
        dict(error=CORRUPT, detail='between the directory and the end record')
    yield 'directory-longer-than-records', build(standard(), dir_extra=b'\0' * 8), \
        dict(error=CORRUPT, detail='holds more than its records')
    yield 'overlapping-entries', overlapping(), dict(error=CORRUPT, detail='overlaps another')
    yield 'entry-on-second-disk', build(standard(entry('photos/0002.jpg', JPEG, central={'disk': 1}))), \
        dict(error=CORRUPT, detail='starts on disk 1')

    # Local headers against the directory
    yield 'local-name-differs', build(standard(entry('photos/0002.jpg', JPEG, local={'name': b'photos/0003.jpg'}))), \
        dict(error=CORRUPT, detail='has another name')
    yield 'local-name-longer', build(standard(entry('photos/0002.jpg', JPEG, local={'name': b'photos/0002.jpg.x'}))), \
        dict(error=CORRUPT, detail='has another name')
    yield 'local-size-differs', build(standard(entry('photos/0002.jpg', JPEG, local={'usize': len(JPEG) + 1}))), \
        dict(error=CORRUPT, detail='another CRC or size')
    yield 'local-packed-size-differs', build(standard(entry('photos/0002.jpg', JPEG, local={'csize': 5}))), \
        dict(error=CORRUPT, detail='another CRC or size')
    yield 'local-crc-differs', build(standard(entry('photos/0002.jpg', JPEG, local={'crc': 1}))), \
        dict(error=CORRUPT, detail='another CRC or size')
    yield 'local-method-differs', build(standard(entry('photos/0002.jpg', JPEG, local={'method': 0}))), \
        dict(error=CORRUPT, detail='another method')
    yield 'local-flags-differ', build(standard(entry('photos/0002.jpg', JPEG, local={'flags': 2}))), \
        dict(error=CORRUPT, detail='other flags')
    yield 'descriptor-disagrees', build([entry('data.json', DATA),
                                         entry('photos/0000.jpg', JPEG, flags=8, descriptor='signed',
                                               central={'usize': len(JPEG) - 1})]), \
        dict(error=CORRUPT, detail='data descriptor')
    yield 'local-header-missing', build(standard(entry('photos/0002.jpg', JPEG, central={'offset': 3}))), \
        dict(error=CORRUPT, detail='is missing')

    # Sizes, streams and CRC
    yield 'more-than-declared', build(standard(entry('photos/0002.jpg', JPEG[:1000], packed=deflate(JPEG)))), \
        dict(error=CORRUPT, detail='not 1000')
    yield 'less-than-declared', build(standard(entry('photos/0002.jpg', JPEG + b'tail', packed=deflate(JPEG)))), \
        dict(error=CORRUPT, detail='unpacks to')
    yield 'stream-cut-short', build(standard(entry('photos/0002.jpg', JPEG, packed=deflate(JPEG)[:-3]))), \
        dict(error=CORRUPT, detail='ends inside its stream')
    yield 'bytes-after-stream', build(standard(entry('photos/0002.jpg', JPEG, packed=deflate(JPEG) + b'xyz'))), \
        dict(error=CORRUPT, detail='goes on after its stream')
    yield 'damaged-stream', damaged_stream(), dict(error=CORRUPT, detail='is damaged')
    yield 'crc-wrong', build(standard(entry('photos/0002.jpg', JPEG, local={'crc': 7}, central={'crc': 7}))), \
        dict(error=CORRUPT, detail='CRC-32')
    yield 'data-crc-wrong', build([entry('data.json', DATA, local={'crc': 7}, central={'crc': 7}),
                                   entry('photos/0000.jpg', JPEG)]), dict(error=CORRUPT, detail='CRC-32')
    yield 'stored-sizes-differ', build(standard(entry('photos/0002.jpg', JPEG, method=0, packed=JPEG + b'x'))), \
        dict(error=CORRUPT, detail='different packed and unpacked')
    yield 'bomb', build(standard(entry('photos/0002.jpg', bytes(1024), packed=deflate(bytes(40 * MIB), 9)))), \
        dict(error=ENTRY_TOO_LARGE, detail='unpacks to more')
    yield 'declared-too-large', build(standard(entry('photos/0002.jpg', bytes(30 * MIB + 1)))), \
        dict(error=ENTRY_TOO_LARGE, detail='declares 31457281 bytes')
    yield 'declared-total-too-large', build([entry('data.json', DATA)] +
                                            [entry('photos/%04d.jpg' % i, bytes(30 * MIB)) for i in range(7)]), \
        dict(error=TOTAL_TOO_LARGE, detail='declare more')
    yield 'total-bomb', total_bomb(), dict(error=TOTAL_TOO_LARGE, detail='unpack to more')
    # Ignored entries do not count against the limits.
    yield 'large-ignored-entry', build(standard(entry('extra.bin', bytes(31 * MIB)))), dict(ok, photos=[0, 1])

    # What the archive may hold
    yield 'encrypted', build(standard(entry('photos/0002.jpg', JPEG, flags=1))), \
        dict(error=UNSUPPORTED, detail='encrypted')
    yield 'strong-encryption', build(standard(entry('photos/0002.jpg', JPEG, flags=0x41))), \
        dict(error=UNSUPPORTED, detail='encrypted')
    yield 'unknown-flag', build(standard(entry('readme.txt', b'x', flags=0x10))), \
        dict(error=UNSUPPORTED, detail='unknown flags')
    yield 'method-bzip2', build(standard(entry('photos/0002.jpg', JPEG, method=12, packed=JPEG))), \
        dict(error=UNSUPPORTED, detail='method 12')
    yield 'method-aes', build(standard(entry('readme.txt', b'x', method=99, packed=b'x'))), \
        dict(error=UNSUPPORTED, detail='method 99')
    yield 'entry-zip64-size', build(standard(entry('photos/0002.jpg', JPEG, local={'usize': 0xFFFFFFFF},
                                                   central={'usize': 0xFFFFFFFF}))), \
        dict(error=UNSUPPORTED, detail='needs ZIP64')

    # Names
    for label, name in [('dot-dot', '../data.json'), ('dot-dot-inside', 'photos/../../0001.jpg'),
                        ('absolute', '/photos/0001.jpg'), ('backslash-first', '\\photos\\0001.jpg'),
                        ('backslash', 'photos\\0001.jpg'), ('drive', 'C:photos/0001.jpg'),
                        ('colon', 'photos/0001.jpg:stream'), ('nul', b'photos/0002.jpg\0.txt'),
                        ('empty-name', '')]:
        yield 'name-' + label, build(standard(entry(name, JPEG))), dict(error=FORBIDDEN, detail='forbidden name')
    yield 'names-fold-together', build(standard(entry('notes.txt', b'a'), entry('NOTES.txt', b'b'))), \
        dict(error=FORBIDDEN, detail='letter case')
    yield 'meta-twice', build(standard(entry('meta.json', META))), dict(error=FORBIDDEN, detail='letter case')
    yield 'photo-twice-by-number', build(standard(entry('photos/1.jpg', JPEG))), \
        dict(error=DUPLICATE_PHOTO, detail='photo 1')
    yield 'photo-twice-by-case', build(standard(entry('photos/0001.JPG', JPEG))), \
        dict(error=DUPLICATE_PHOTO, detail='photo 1')
    yield 'data-twice', build(standard(entry('data.json', DATA))), dict(error=DUPLICATE_DATA, detail='second data')
    yield 'data-twice-by-case', build(standard(entry('DATA.JSON', DATA))), \
        dict(error=DUPLICATE_DATA, detail='second data')

    # What must be there
    yield 'no-data', build([entry('meta.json', META), entry('photos/0000.jpg', JPEG)]), \
        dict(error=NO_DATA, detail='no data entry')
    yield 'empty-data', build([entry('data.json', b''), entry('photos/0000.jpg', JPEG)]), \
        dict(error=NO_DATA, detail='data entry is empty')
    yield 'data-only-bom', build([entry('data.json', BOM), entry('photos/0000.jpg', JPEG)]), \
        dict(error=NO_DATA, detail='data entry is empty')
    yield 'no-photo', build([entry('data.json', DATA)] + [entry(n, JPEG) for n in ignored]), \
        dict(error=NO_PHOTO, detail='no photo entry')
    yield 'empty-archive', build([]), dict(error=NO_DATA, detail='no data entry')


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    table = []
    for name, data, expected in cases():
        file = name + '.kiro'
        with open(os.path.join(out, file), 'wb') as f:
            f.write(data)
        table.append(dict(file=file, error=expected['error'], detail=expected['detail'],
                          photos=expected.get('photos', []),
                          data=DATA[len(BOM):].decode() if not expected['error'] else ''))
    # Larger than any package may be; sparse, so it costs no disk.
    with open(os.path.join(out, 'file-too-large.kiro'), 'wb') as f:
        f.write(build(standard()))
        f.truncate(250 * MIB + 1)
    table.append(dict(file='file-too-large.kiro', error=FILE_TOO_LARGE, detail='262144001 bytes', photos=[], data=''))
    with open(os.path.join(out, 'cases.json'), 'w', encoding='utf-8') as f:
        json.dump(table, f, ensure_ascii=False, indent=1)


if __name__ == '__main__':
    main()
