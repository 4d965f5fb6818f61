#!/usr/bin/env python3
"""Lists the streams of one PDF file with their data as qpdf reads it.

Usage: qpdf_streams.py OUTROOT FILE.pdf...

For the I-th file (from 0) the results go to OUTROOT/I; several files are
read in parallel. For each file, runs qpdf twice (raw and filtered stream data written to files in OUTDIR)
and writes OUTDIR/manifest.txt for every stream whose /Filter names only
FlateDecode, LZWDecode, ASCII85Decode, ASCIIHexDecode and RunLengthDecode
(or their abbreviations):

    S <num> <gen> <ok|undecoded> <raw data file> <filtered data file>
    <the stream dictionary in PDF syntax, on one line>

"undecoded" marks a stream qpdf itself could not filter. Every object that
/Filter, /DecodeParms or /DP of those streams refer to follows as

    O <num> <gen>
    <the object in PDF syntax, on one line>

When qpdf cannot read a file, OUTROOT/I/manifest.txt is not written.
"""
import json
import multiprocessing
import os
import subprocess
import sys

OURS = {"FlateDecode", "Fl", "LZWDecode", "LZW", "ASCII85Decode", "A85",
        "ASCIIHexDecode", "AHx", "RunLengthDecode", "RL"}
DELIMS = set(b"()<>[]{}/%#")


def is_ref(v):
    if not isinstance(v, str) or not v.endswith(" R"):
        return False
    parts = v.split()
    return len(parts) == 3 and parts[0].isdigit() and parts[1].isdigit()


def name_text(v):
    if v.startswith("n:/"):
        return v[2:]
    out = "/"
    for b in v[1:].encode("utf-8"):
        if b < 0x21 or b > 0x7E or b in DELIMS:
            out += "#%02X" % b
        else:
            out += chr(b)
    return out


def pdf(v):
    if v is None:
        return "null"
    if v is True:
        return "true"
    if v is False:
        return "false"
    if isinstance(v, (int, float)):
        return repr(v) if isinstance(v, int) else ("%.10f" % v).rstrip("0").rstrip(".")
    if isinstance(v, list):
        return "[" + " ".join(pdf(x) for x in v) + "]"
    if isinstance(v, dict):
        return "<<" + " ".join(name_text(k) + " " + pdf(x) for k, x in v.items()) + ">>"
    if is_ref(v):
        return v
    if v.startswith("/") or v.startswith("n:/"):
        return name_text(v)
    if v.startswith("b:"):
        return "<" + v[2:] + ">"
    if v.startswith("u:"):
        t = v[2:]
        data = t.encode("latin-1") if all(ord(c) < 128 for c in t) else \
            b"\xfe\xff" + t.encode("utf-16-be")
        return "<" + data.hex().upper() + ">"
    return "null"


def run_qpdf(path, outdir, prefix, level):
    out = os.path.join(outdir, prefix + ".json")
    r = subprocess.run(["qpdf", "--json=2", "--json-stream-data=file",
                        "--json-stream-prefix=" + os.path.join(outdir, prefix),
                        "--decode-level=" + level, path, out],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    if r.returncode not in (0, 3) or not os.path.exists(out):
        return None
    with open(out, "rb") as f:
        data = json.loads(f.read().decode("utf-8", "replace"))
    for item in data.get("qpdf", []):
        if isinstance(item, dict) and any(k.startswith("obj:") for k in item):
            return item
    return None


def list_file(path, outdir):
    os.makedirs(outdir, exist_ok=True)
    try:
        return list_streams(path, outdir)
    except (subprocess.TimeoutExpired, OSError, ValueError):
        return 2


def list_streams(path, outdir):
    raw = run_qpdf(path, outdir, "r", "none")
    flt = run_qpdf(path, outdir, "f", "specialized")
    if raw is None or flt is None:
        return 2

    def lookup(ref):
        v = raw.get("obj:" + ref)
        if v is None:
            return None
        return v.get("value")

    def resolve(v):
        return lookup(v) if is_ref(v) else v

    lines = []
    needed = {}

    def collect_refs(v, depth=0):
        if depth > 8:
            return
        if is_ref(v):
            if v not in needed:
                needed[v] = None
                collect_refs(lookup(v), depth + 1)
        elif isinstance(v, list):
            for x in v:
                collect_refs(x, depth + 1)
        elif isinstance(v, dict):
            for x in v.values():
                collect_refs(x, depth + 1)

    for key, obj in raw.items():
        if not key.startswith("obj:") or "stream" not in obj:
            continue
        st = obj["stream"]
        d = st.get("dict", {})
        if "/Filter" not in d or "datafile" not in st:
            continue
        filters = resolve(d["/Filter"])
        if isinstance(filters, str):
            filters = [filters]
        if not isinstance(filters, list) or not filters:
            continue
        names = [resolve(x) for x in filters]
        if not all(isinstance(n, str) and n.startswith("/") and n[1:] in OURS for n in names):
            continue
        fobj = flt.get(key, {}).get("stream", {})
        decoded = "/Filter" not in fobj.get("dict", {"/Filter": 1}) and "datafile" in fobj
        num, gen = key[4:].split()[:2]
        lines.append("S %s %s %s %s %s" % (num, gen, "ok" if decoded else "undecoded",
                                           st["datafile"], fobj.get("datafile", "-")))
        lines.append(pdf(d))
        for k in ("/Filter", "/DecodeParms", "/DP"):
            if k in d:
                collect_refs(d[k])

    for ref in needed:
        v = lookup(ref)
        if v is None:
            continue
        num, gen = ref.split()[:2]
        lines.append("O %s %s" % (num, gen))
        lines.append(pdf(v))

    tmp = os.path.join(outdir, "manifest.tmp")
    with open(tmp, "w", encoding="latin-1", errors="replace") as f:
        f.write("\n".join(lines) + "\n")
    os.rename(tmp, os.path.join(outdir, "manifest.txt"))
    return 0


def main():
    root, files = sys.argv[1], sys.argv[2:]
    jobs = [(path, os.path.join(root, str(i))) for i, path in enumerate(files)]
    workers = max(1, min(4, os.cpu_count() or 1, len(jobs)))
    with multiprocessing.Pool(workers) as pool:
        pool.starmap(list_file, jobs)
    return 0


if __name__ == "__main__":
    sys.exit(main())
