#!/usr/bin/env python3
"""Makes the aligned PER and BER vectors of the message modules with Erlang's asn1.

Every case is one value of a top-level type, filled by the deterministic
filler below, its counter starting at the alternative's index (message_fill.cpp fills the same value from the type records):
one case per alternative of LGCP::Command, LGCP::Signal, LGCP::IoctlParams,
LGCP::CreateParams and of the three kinds of MON::Message, once with every
OPTIONAL field (and extension addition) present ("full") and once with none
("none"). The modules are written as ASN.1 by the message generator,
compiled with erlc -bper (or -bber), and the values encoded by an escript.

  regenerate.py [--ber]             rewrites per_vectors.txt (ber_vectors.txt) beside this script
  regenerate.py [--ber] --check F   writes to a temporary file and compares with F
Exit status 77 when erlc or escript is missing.
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, '..', '..', '..'))
sys.path.insert(0, os.path.join(ROOT, 'messages'))

from gen import defparser, emit_asn1  # noqa: E402

INTS = [5, -1, 127, 128, -129, 65536, 2147483647, -2147483648, 0, 300]
HEADER = '''# %s encodings made by Erlang's asn1 (erlc -b%s) from the generated
# ASN.1 modules; one line per case: type, alternative, variant, octets.
# Do not edit: tests/messages/vectors/regenerate.py%s writes this file.
'''
RULES = {'per': ('Aligned PER', ''), 'ber': ('BER', ' --ber')}


class Filler:
    """Walks a type and yields its value as an Erlang term (text)."""

    def __init__(self, full, start):
        self.full = full
        self.n = start

    def tick(self):
        k = self.n
        self.n += 1
        return k

    def expr(self, e):
        k = e.kind
        if k == 'REF':
            return self.typedef(e.target)
        if k == 'NULL':
            return "'NULL'"
        if k == 'BOOLEAN':
            return 'true' if self.tick() % 2 == 0 else 'false'
        if k == 'INTEGER':
            n = self.tick()
            if e.lower is None:
                return str(INTS[n % len(INTS)])
            return str([e.upper, e.lower, e.lower + (e.upper - e.lower) // 3][n % 3])
        if k == 'OCTET_STRING':
            n = self.tick()
            length = [3, 0, 1, 2, 200][n % 5]
            return '<<%s>>' % ','.join(str((n * 7 + i * 13) & 0xff) for i in range(length))
        if k == 'IA5String':
            n = self.tick()
            if e.lower is None:
                length = [2, 0, 5, 1][n % 4]
            else:
                length = [e.upper, e.lower][n % 2]
            return '"%s"' % ''.join(chr(ord('a') + (n + i) % 26) for i in range(length))
        if k == 'OID':
            return '{1,2,840}'
        if k in ('SEQUENCE_OF', 'SET_OF'):
            count = 2 if self.full else 1
            return '[%s]' % ','.join(self.expr(e.element) for _ in range(count))
        raise ValueError(k)

    def typedef(self, t):
        if t.kind == 'ALIAS':
            return self.expr(t.alias)
        if t.kind == 'ENUMERATED':
            n = self.tick()
            names = [x for x in t.names if x.value >= 0]
            pick = names[n % len(names)]
            if t.explicit_values:
                return str(pick.value)
            return "'%s'" % emit_asn1.mapped(pick.ident)
        if t.kind == 'CHOICE':
            k = self.tick() % len(t.members)
            return self.alternative(t, k)
        fields = []
        for m in t.members:
            if (m.optional or m.extension) and not self.full:
                fields.append('asn1_NOVALUE')
            else:
                fields.append(self.expr(m.type))
        return "{'%s'%s}" % (emit_asn1.mapped(t.name), ''.join(',' + f for f in fields))

    def alternative(self, t, k):
        m = t.members[k]
        return "{'%s',%s}" % (emit_asn1.mapped(m.name), self.expr(m.type))


def cases(modules):
    """(type, alternative, variant, erlang term) of every case."""
    out = []
    for tname in ('Command', 'Signal', 'IoctlParams', 'CreateParams'):
        t = modules['LGCP'].by_name[tname]
        for k, m in enumerate(t.members):
            for variant in ('full', 'none'):
                out.append(('LGCP::' + tname, m.name, variant, Filler(variant == 'full', k).alternative(t, k)))
    pdu = modules['MON'].by_name['PDU']
    for p in pdu.members:
        kind = p.type.target
        for k, m in enumerate(kind.members):
            for variant in ('full', 'none'):
                inner = Filler(variant == 'full', k).alternative(kind, k)
                out.append(('MON::Message', '%s.%s' % (p.name, m.name), variant,
                            "{'Message',{'%s',%s}}" % (p.name, inner)))
    return out


def module_order(modules):
    done, order = set(), []

    def visit(name):
        if name in done:
            return
        done.add(name)
        for dep in defparser.module_dependencies(modules[name]):
            visit(dep)
        order.append(name)

    for name in sorted(modules):
        visit(name)
    return order


def load_modules():
    defs = sorted(os.path.join(ROOT, 'messages', d, d + '.def') for d in os.listdir(os.path.join(ROOT, 'messages'))
                  if os.path.isfile(os.path.join(ROOT, 'messages', d, d + '.def')))
    return defparser.load(defs)


def encode(modules, values, rule='per'):
    """Encodes (type 'MODULE::Type', Erlang term) values with the modules
    compiled by erlc -b<rule>; their octets in hex, '-' for none."""
    work = tempfile.mkdtemp(prefix='msgvectors-')
    try:
        for name in module_order(modules):
            path = os.path.join(work, name + '.asn')
            with open(path, 'w') as f:
                f.write(emit_asn1.emit(modules[name]))
            subprocess.run(['erlc', '-b' + rule, '-o', work, '-I', work, path], check=True, cwd=work)
        with open(os.path.join(work, 'values.eterm'), 'w') as f:
            for k, (tname, term) in enumerate(values):
                module, typ = tname.split('::')
                f.write("{%d,'%s','%s',%s}.\n" % (k, module, typ, term))
        result = subprocess.run(['escript', os.path.join(HERE, 'encode.escript'), work],
                                check=True, stdout=subprocess.PIPE, universal_newlines=True)
        encoded = dict(line.split() for line in result.stdout.split('\n') if line.strip())
        return [encoded[str(k)] for k in range(len(values))]
    finally:
        shutil.rmtree(work)


def have_erlang():
    if shutil.which('erlc') and shutil.which('escript'):
        return True
    print('erlc or escript not found (Debian: erlang-base, erlang-asn1): vectors not checked')
    return False


def make(out_path, rule):
    if not have_erlang():
        return 77
    modules = load_modules()
    all_cases = cases(modules)
    encoded = encode(modules, [(tname, term) for tname, _, _, term in all_cases], rule)
    with open(out_path, 'w') as f:
        f.write(HEADER % (RULES[rule][0], rule, RULES[rule][1]))
        for (tname, alt, variant, _), octets in zip(all_cases, encoded):
            f.write('%s %s %s %s\n' % (tname, alt, variant, octets))
    return 0


def write_or_check(argv, committed, make, doc):
    """`script` rewrites the committed file with make(path); `script --check F`
    makes a fresh one and compares it with F."""
    if len(argv) == 3 and argv[1] == '--check':
        fd, fresh = tempfile.mkstemp(suffix='.txt')
        os.close(fd)
        try:
            rc = make(fresh)
            if rc:
                return rc
            with open(fresh) as a, open(argv[2]) as b:
                if a.read() != b.read():
                    subprocess.run(['diff', argv[2], fresh])
                    print('the committed vectors differ from what Erlang makes now')
                    return 1
            print('vectors match')
            return 0
        finally:
            os.unlink(fresh)
    if len(argv) == 1:
        return make(committed)
    print(doc)
    return 2


def main(argv):
    rule = 'per'
    if len(argv) > 1 and argv[1] == '--ber':
        rule = 'ber'
        argv = argv[:1] + argv[2:]
    return write_or_check(argv, os.path.join(HERE, rule + '_vectors.txt'), lambda path: make(path, rule), __doc__)


if __name__ == '__main__':
    sys.exit(main(sys.argv))
