#!/usr/bin/python3
"""Writes the fax-coded image streams of PDF files into a folder.

Usage: ccitt_streams.py OUT_DIR FILE...

qpdf lists each file's objects as JSON with the stream data decoded through
every general filter; a stream whose remaining filter is CCITTFaxDecode
alone gives OUT_DIR/<file index>-<object>.bin and one line of
OUT_DIR/manifest.txt:
  <file index> <object> <K> <Columns> <Rows> <EncodedByteAlign> <BlackIs1> <Height> <data file>
Fax streams behind other filters that qpdf keeps are listed as
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
        for key, value in objects.items():
            if not key.startswith('obj:') or 'stream' not in value:
                continue
            d = value['stream'].get('dict', {})
            filters = d.get('/Filter', d.get('/F'))
            names = filters if isinstance(filters, list) else [filters]
            if not any(n in ('/CCITTFaxDecode', '/CCF') for n in names):
                continue
            obj = key.split(':')[1].split()[0]
            if len(names) != 1 or 'data' not in value['stream']:
                lines.append('skip %d %s %s' % (index, obj, ''.join(map(str, names))))
                continue
            parms = d.get('/DecodeParms', d.get('/DP')) or {}
            if isinstance(parms, list):
                parms = parms[0] or {}
            if not isinstance(parms, dict):
                parms = {}

            def num(v, default):
                return int(v) if isinstance(v, (int, float)) else default

            name = os.path.join(out, '%d-%s.bin' % (index, obj))
            with open(name, 'wb') as f:
                f.write(base64.b64decode(value['stream']['data']))
            lines.append('%d %s %d %d %d %d %d %d %s' % (
                index, obj, num(parms.get('/K'), 0), num(parms.get('/Columns'), 1728),
                num(parms.get('/Rows'), 0), int(parms.get('/EncodedByteAlign') is True),
                int(parms.get('/BlackIs1') is True), num(d.get('/Height', d.get('/H')), 0), name))
    with open(os.path.join(out, 'manifest.txt'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


main()
