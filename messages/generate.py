#!/usr/bin/env python3
"""Generates the message modules from their definition texts.

  generate.py --out DIR [--asn1 DIR] [--chunks MODULE=N ...] DEF...

For every module (DEF is messages/<MODULE>/<MODULE>.def) it writes
DIR/messages/<MODULE>/<MODULE>.h, its enumerations in <MODULE>_enums.h,
and the sources <MODULE>_1.cpp ..
<MODULE>_N.cpp (N from --chunks, default 1), and with --asn1 the module in
standard ASN.1 as <MODULE>.asn. A definition it cannot read stops it with
the file and line on standard error and exit status 1.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from gen import defparser, emit_asn1, emit_cpp  # noqa: E402


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w') as f:
        f.write(text)


def main(argv):
    parser = argparse.ArgumentParser(description='Generates the message modules.')
    parser.add_argument('--out', required=True)
    parser.add_argument('--asn1')
    parser.add_argument('--chunks', action='append', default=[])
    parser.add_argument('defs', nargs='+')
    args = parser.parse_args(argv[1:])
    chunks = {}
    for c in args.chunks:
        name, _, n = c.partition('=')
        chunks[name] = int(n)
    try:
        modules = defparser.load(args.defs)
        for m in modules.values():
            base = os.path.join(args.out, 'messages', m.name)
            write(os.path.join(base, m.name + '.h'), emit_cpp.header(m))
            write(os.path.join(base, m.name + '_enums.h'), emit_cpp.enums_header(m))
            for k, text in enumerate(emit_cpp.sources(m, chunks.get(m.name, 1)), 1):
                write(os.path.join(base, '%s_%d.cpp' % (m.name, k)), text)
            if args.asn1:
                write(os.path.join(args.asn1, m.name + '.asn'), emit_asn1.emit(m))
    except defparser.DefError as e:
        print(e, file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
