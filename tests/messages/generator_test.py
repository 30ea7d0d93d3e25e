#!/usr/bin/env python3
"""The definition reader and the generator's refusals: every definition it
cannot read stops it with the file and the line."""

import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..'))
sys.path.insert(0, os.path.join(ROOT, 'messages'))

from gen import defparser, emit_asn1, emit_cpp  # noqa: E402

GOOD = '''-- a comment
Top ::= SEQUENCE
    seq     INTEGER OPTIONAL    -- trailing comment
    slot    INTEGER (0..1023)
    kind    Kind
    names   SEQUENCE OF IA5String
    ...
    extra   BOOLEAN

Kind ::= CHOICE
    none    NULL
    level   Level
    ...
    later   OTHER::Far

Level ::= ENUMERATED
    a, b, c=8, d,
    e=-1, f
    ...
'''


class Defs:
    def __init__(self):
        self.dir = tempfile.TemporaryDirectory()

    def write(self, name, text):
        path = os.path.join(self.dir.name, name + '.def')
        with open(path, 'w') as f:
            f.write(text)
        return path


class ReaderTest(unittest.TestCase):
    def setUp(self):
        self.defs = Defs()
        self.addCleanup(self.defs.dir.cleanup)

    def test_reads_records_and_values(self):
        top = self.defs.write('TOP', GOOD)
        far = self.defs.write('OTHER', 'Far ::= SEQUENCE\n    x  INTEGER\n')
        modules = defparser.load([top, far])
        t = modules['TOP'].by_name['Top']
        self.assertEqual([m.name for m in t.roots], ['seq', 'slot', 'kind', 'names'])
        self.assertEqual([m.name for m in t.additions], ['extra'])
        self.assertTrue(t.extendable and t.members[0].optional and not t.members[1].optional)
        self.assertEqual((t.members[1].type.lower, t.members[1].type.upper), (0, 1023))
        kind = modules['TOP'].by_name['Kind']
        self.assertEqual(kind.members[2].type.target, modules['OTHER'].by_name['Far'])
        level = modules['TOP'].by_name['Level']
        self.assertEqual([(n.text, n.value) for n in level.names],
                         [('a', 0), ('b', 1), ('c=8', 8), ('d', 9), ('e=-1', -1), ('f', 0)])
        self.assertEqual(level.max_value, 9)
        text = emit_asn1.emit(modules['TOP'])
        self.assertIn('Level ::= INTEGER (0..9, ...)', text)
        self.assertIn('IMPORTS\n    Far FROM OTHER;', text)
        header = emit_cpp.header(modules['TOP'])
        self.assertIn('c = 8, d = 9, e = -1, f = 0', emit_cpp.enums_header(modules['TOP']))
        self.assertIn('void set_slot(unsigned v);', header)

    def test_errors_name_file_and_line(self):
        bad = [
            ('Top ::= SEQUENCE\n    a  INTEGER (0..)\n', 2, 'cannot read type'),
            ('Top ::= SEQUENCE\n    a  Missing\n', 2, 'unknown type "Missing"'),
            ('Top ::= SEQUENCE\n    a  INTEGER\n    a  BOOLEAN\n', 3, 'appears twice'),
            ('Top ::= CHOICE\n    a  INTEGER OPTIONAL\n', 2, 'OPTIONAL alternative'),
            ('Top ::= CHOICE\n    ...\n    ...\n', 3, 'second extension marker'),
            ('Top ::= ENUMERATED\n    a, b\n    ...\n    c\n', 4, 'after the extension marker'),
            ('Top ::= ENUMERATED\n    a, b=x\n', 2, 'cannot read value name'),
            ('    a  INTEGER\n', 1, 'outside'),
            ('Top ::= SEQUENCE\n\ta  INTEGER\n', 2, 'tab'),
            ('Top ::= SEQUENCE\n    a  INTEGER (5..1)\n', 2, 'empty range'),
            ('Top ::= SEQUENCE\n    a  INTEGER\nTop ::= CHOICE\n    b  NULL\n', 3, 'declared twice'),
            ('Top SEQUENCE\n', 1, 'expected'),
            ('Top ::= CHOICE\n\nNext ::= SEQUENCE\n    a  Top\n', 1, 'no root alternative'),
            ('Top ::= SEQUENCE\n    a  Top\n', 1, 'contains itself'),
        ]
        for text, line, what in bad:
            path = self.defs.write('BAD', text)
            with self.assertRaises(defparser.DefError, msg=text) as caught:
                defparser.load([path])
            self.assertIn('%s:%d: error: ' % (path, line), str(caught.exception))
            self.assertIn(what, str(caught.exception))

    def test_generator_fails_the_build(self):
        path = self.defs.write('BAD', 'Top ::= SEQUENCE\n    a  IA5String (SIZE (1..4))\n')
        out = os.path.join(self.defs.dir.name, 'out')
        run = subprocess.run([sys.executable, os.path.join(ROOT, 'messages', 'generate.py'), '--out', out, path],
                             stderr=subprocess.PIPE, universal_newlines=True)
        self.assertEqual(run.returncode, 1)
        self.assertIn('%s:2: error: a sized IA5String needs a type of its own' % path, run.stderr)
        self.assertFalse(os.path.exists(out))


if __name__ == '__main__':
    unittest.main()
