#!/usr/bin/python3
"""Writes the JBIG2 and JPEG 2000 image streams of PDF files into a folder.

Usage: codec_streams.py OUT_DIR FILE...

qpdf lists each file's objects as JSON with the stream data decoded through
every general filter; a stream whose remaining filter is JBIG2Decode or
JPXDecode gives OUT_DIR/<file index>-<object>.bin and one line of
OUT_DIR/manifest.txt:
  jbig2 <file index> <object> <data file> <globals file or ->
  jpx <file index> <object> <data file>
Streams behind other filters that qpdf keeps are listed as
  skip <file index> <object> <filters>
"""
import base64
import json
import os
import subprocess
import sys


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    lines = []
    for index, path in enumerate(sys.argv[2:]):
        try:
            r = subprocess.run(['qpdf', '--json=2', '--json-stream-data=inline',
                                '--decode-level=generalized', path, '-'],
                               capture_output=True, timeout=120)
            objects = json.loads(r.stdout)['qpdf'][1]
        except Exception:
            lines.append('unreadable %d' % index)
            continue

        def write(obj, value):
            name = os.path.join(out, '%d-%s.bin' % (index, obj))
            with open(name, 'wb') as f:
                f.write(base64.b64decode(value['stream']['data']))
            return name

        for key, value in objects.items():
            if not key.startswith('obj:') or 'stream' not in value:
                continue
            d = value['stream'].get('dict', {})
            filters = d.get('/Filter')
            names = filters if isinstance(filters, list) else [filters]
            kind = 'jbig2' if '/JBIG2Decode' in names else 'jpx' if '/JPXDecode' in names else None
            if not kind:
                continue
            obj = key.split(':')[1].split()[0]
            if len(names) != 1 or 'data' not in value['stream']:
                lines.append('skip %d %s %s' % (index, obj, ''.join(map(str, names))))
                continue
            name = write(obj, value)
            if kind == 'jpx':
                lines.append('jpx %d %s %s' % (index, obj, name))
                continue
            parms = d.get('/DecodeParms') or {}
            if isinstance(parms, list):
                parms = parms[0] or {}
            globals_name = '-'
            ref = parms.get('/JBIG2Globals') if isinstance(parms, dict) else None
            if isinstance(ref, str) and ref.endswith(' R'):
                g = objects.get('obj:' + ref)
                if g and 'stream' in g and 'data' in g['stream']:
                    globals_name = write(ref.split()[0] + 'g', g)
            lines.append('jbig2 %d %s %s %s' % (index, obj, name, globals_name))
    with open(os.path.join(out, 'manifest.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


main()
