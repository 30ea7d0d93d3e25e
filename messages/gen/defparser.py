"""Reader of the message definition texts (messages/<MODULE>/<MODULE>.def).

A definition text declares one module; the module's name is the file's stem.
It is line based:

    -- a comment, also at the end of a line
    Name ::= SEQUENCE            a record; its fields follow, indented:
        field  Type [OPTIONAL]
        ...                      the extension marker; fields after it are
                                 extension additions
    Name ::= CHOICE              alternatives follow, indented:
        alternative  Type
        ...
    Name ::= ENUMERATED          value names follow, indented, separated by
        a, b, c=8, d             commas; a name may carry its value after "="
        ...                      (the value of a name without it is the value
                                 of the name before plus one, the first 0)
    Name ::= Type                a type of its own for a built-in type

Types: INTEGER, INTEGER (lo..hi), BOOLEAN, NULL, OCTET STRING, IA5String,
IA5String (SIZE (lo..hi)), OBJECT IDENTIFIER, SEQUENCE OF Type, SET OF Type,
a type of the module by name, or one of another module as MODULE::Name.

Every error names the file and the line.
"""

import os
import re


class DefError(Exception):
    def __init__(self, path, line, text):
        super().__init__('%s:%d: error: %s' % (path, line, text))


class TypeExpr:
    """A use of a type: built-in kinds carry their bounds, references a name."""

    def __init__(self, kind, lower=None, upper=None, element=None, module=None, name=None):
        self.kind = kind          # INTEGER BOOLEAN NULL OCTET_STRING IA5String OID SEQUENCE_OF SET_OF REF
        self.lower = lower        # INTEGER range / string size, or None
        self.upper = upper
        self.element = element    # TypeExpr of SEQUENCE OF / SET OF
        self.module = module      # REF: module of the referenced type (filled when resolved)
        self.name = name          # REF: type name
        self.target = None        # REF: the TypeDef, once resolved

    def __repr__(self):
        if self.kind == 'REF':
            return '%s::%s' % (self.module, self.name)
        if self.kind in ('SEQUENCE_OF', 'SET_OF'):
            return '%s %r' % (self.kind, self.element)
        if self.lower is not None:
            return '%s(%d..%d)' % (self.kind, self.lower, self.upper)
        return self.kind


class Member:
    """A field of a SEQUENCE, an alternative of a CHOICE."""

    def __init__(self, name, type_, optional, extension, line):
        self.name = name
        self.type = type_
        self.optional = optional
        self.extension = extension
        self.line = line


class EnumName:
    def __init__(self, text, value):
        self.text = text          # the name as the table holds it, "cs1=8" included
        self.value = value

    @property
    def ident(self):
        """The name without its "=value"."""
        return self.text.split('=')[0]

    @property
    def explicit(self):
        return '=' in self.text


class TypeDef:
    def __init__(self, module, name, kind, line):
        self.module = module
        self.name = name
        self.kind = kind          # SEQUENCE CHOICE ENUMERATED ALIAS
        self.line = line
        self.extendable = False
        self.members = []         # SEQUENCE / CHOICE
        self.names = []           # ENUMERATED: EnumName
        self.alias = None         # ALIAS: TypeExpr

    @property
    def roots(self):
        return [m for m in self.members if not m.extension]

    @property
    def additions(self):
        return [m for m in self.members if m.extension]

    @property
    def max_value(self):
        return max(n.value for n in self.names)

    @property
    def explicit_values(self):
        return any(n.explicit for n in self.names)


class Module:
    def __init__(self, name, path):
        self.name = name
        self.path = path
        self.types = []
        self.by_name = {}


NAME = r'[A-Za-z][A-Za-z0-9_-]*'
TYPE_NAME = r'[A-Z][A-Za-z0-9_]*(?:::[A-Za-z][A-Za-z0-9_]*)*'
RANGE = r'\(\s*(-?\d+)\s*\.\.\s*(-?\d+)\s*\)'


def parse_type(text, err):
    t = text.strip()
    m = re.fullmatch(r'INTEGER(?:\s*' + RANGE + r')?', t)
    if m:
        if m.group(1) is None:
            return TypeExpr('INTEGER')
        lo, hi = int(m.group(1)), int(m.group(2))
        if lo > hi:
            err('empty range %d..%d' % (lo, hi))
        if lo < -2**31 or hi > 2**32 - 1 or (lo < 0 and hi > 2**31 - 1):
            err('range %d..%d does not fit 32 bits' % (lo, hi))
        return TypeExpr('INTEGER', lo, hi)
    m = re.fullmatch(r'IA5String(?:\s*\(\s*SIZE\s*' + RANGE + r'\s*\))?', t)
    if m:
        if m.group(1) is None:
            return TypeExpr('IA5String')
        lo, hi = int(m.group(1)), int(m.group(2))
        if lo < 0 or lo > hi:
            err('bad size %d..%d' % (lo, hi))
        return TypeExpr('IA5String', lo, hi)
    simple = {'BOOLEAN': 'BOOLEAN', 'NULL': 'NULL', 'OCTET STRING': 'OCTET_STRING',
              'OBJECT IDENTIFIER': 'OID'}
    norm = ' '.join(t.split())
    if norm in simple:
        return TypeExpr(simple[norm])
    m = re.fullmatch(r'(SEQUENCE|SET)\s+OF\s+(.*)', t)
    if m:
        element = parse_type(m.group(2), err)
        if element.kind in ('SEQUENCE_OF', 'SET_OF'):
            err('a list of lists is not supported')
        return TypeExpr(m.group(1) + '_OF', element=element)
    if re.fullmatch(TYPE_NAME, t):
        return TypeExpr('REF', name=t)
    err('cannot read type "%s"' % t)


def strip_comment(line):
    i = line.find('--')
    return line if i < 0 else line[:i]


def parse_file(path):
    name = os.path.splitext(os.path.basename(path))[0]
    if not re.fullmatch(r'[A-Z][A-Z0-9]*', name):
        raise DefError(path, 1, 'module name "%s" (the file name) is not upper-case letters and digits' % name)
    module = Module(name, path)
    current = None
    with open(path, encoding='utf-8') as f:
        lines = f.read().split('\n')
    for number, raw in enumerate(lines, 1):
        def err(text):
            raise DefError(path, number, text)
        if '\t' in raw:
            err('tab character; indent with blanks')
        line = strip_comment(raw).rstrip()
        if not line.strip():
            continue
        if not line[0].isspace():
            m = re.fullmatch(r'(' + TYPE_NAME + r')\s*::=\s*(.*)', line)
            if not m:
                err('expected "Name ::= SEQUENCE | CHOICE | ENUMERATED | type"')
            tname, body = m.group(1), m.group(2).strip()
            if tname.split('::')[0] in ('LGCP', 'TERM', 'ACP', 'HSP', 'BASE', 'MON', 'MEDIA', 'CCP', 'LEMZGW'):
                err('type "%s" is declared with a module prefix' % tname)
            if tname in module.by_name:
                err('type "%s" declared twice (first on line %d)' % (tname, module.by_name[tname].line))
            if body in ('SEQUENCE', 'CHOICE', 'ENUMERATED'):
                current = TypeDef(name, tname, body, number)
            else:
                current = TypeDef(name, tname, 'ALIAS', number)
                current.alias = parse_type(body, err)
            module.types.append(current)
            module.by_name[tname] = current
            continue
        if current is None or current.kind == 'ALIAS':
            err('indented line outside a SEQUENCE, CHOICE or ENUMERATED')
        text = line.strip()
        if current.kind == 'ENUMERATED':
            parse_enum_line(current, text, err)
        else:
            parse_member_line(current, text, number, err)
    for t in module.types:
        if t.kind == 'CHOICE' and not t.roots:
            raise DefError(path, t.line, 'CHOICE "%s" has no root alternative' % t.name)
        if t.kind == 'ENUMERATED' and not t.names:
            raise DefError(path, t.line, 'ENUMERATED "%s" has no value name' % t.name)
    return module


def parse_member_line(t, text, number, err):
    if text == '...':
        if t.extendable:
            err('second extension marker in "%s"' % t.name)
        t.extendable = True
        return
    m = re.fullmatch(r'(' + NAME + r')\s+(.+?)(\s+OPTIONAL)?', text)
    if not m:
        err('expected "name Type%s"' % (' [OPTIONAL]' if t.kind == 'SEQUENCE' else ''))
    mname, optional = m.group(1), bool(m.group(3))
    if optional and t.kind == 'CHOICE':
        err('OPTIONAL alternative in CHOICE "%s"' % t.name)
    if optional and t.extendable:
        err('extension addition "%s" marked OPTIONAL (additions are always optional)' % mname)
    if any(x.name == mname for x in t.members):
        err('"%s" appears twice in "%s"' % (mname, t.name))
    t.members.append(Member(mname, parse_type(m.group(2), err), optional, t.extendable, number))


def parse_enum_line(t, text, err):
    for piece in text.split(','):
        piece = piece.strip()
        if not piece:
            if text.rstrip().endswith(','):
                continue
            err('empty value name')
        if piece == '...':
            if t.extendable:
                err('second extension marker in "%s"' % t.name)
            t.extendable = True
            continue
        if t.extendable:
            err('value name "%s" after the extension marker' % piece)
        m = re.fullmatch(r'(' + NAME + r')(?:=(-?\d+))?', piece)
        if not m:
            err('cannot read value name "%s"' % piece)
        if any(n.text == piece for n in t.names):
            err('value name "%s" appears twice in "%s"' % (piece, t.name))
        if m.group(2) is not None:
            value = int(m.group(2))
        else:
            value = t.names[-1].value + 1 if t.names else 0
        if not -2**31 <= value < 2**31:
            err('value %d does not fit 32 bits' % value)
        t.names.append(EnumName(piece, value))


def load(paths):
    """Reads every module and resolves the type references between them."""
    modules = {}
    for p in paths:
        m = parse_file(p)
        if m.name in modules:
            raise DefError(p, 1, 'module %s given twice' % m.name)
        modules[m.name] = m
    for m in modules.values():
        for t in m.types:
            for expr, line in type_uses(t):
                resolve(expr, m, modules, line)
    check_cycles(modules)
    return modules


def type_uses(t):
    exprs = [(x.type, x.line) for x in t.members]
    if t.alias is not None:
        exprs.append((t.alias, t.line))
    return exprs


def resolve(expr, module, modules, line):
    if expr.kind in ('SEQUENCE_OF', 'SET_OF'):
        resolve(expr.element, module, modules, line)
        return
    if expr.kind != 'REF':
        return
    parts = expr.name.split('::')
    if parts[0] in modules and len(parts) > 1:
        target_module, tname = modules[parts[0]], '::'.join(parts[1:])
    else:
        target_module, tname = module, expr.name
    target = target_module.by_name.get(tname)
    if target is None:
        raise DefError(module.path, line, 'unknown type "%s"' % expr.name)
    expr.module, expr.name, expr.target = target_module.name, tname, target


def check_cycles(modules):
    """A type that contains itself would make the test fillers loop; none exists."""
    state = {}

    def visit(t, path):
        key = (t.module, t.name)
        if state.get(key) == 'done':
            return
        if state.get(key) == 'open':
            m = modules[t.module]
            raise DefError(m.path, t.line, 'type "%s" contains itself' % t.name)
        state[key] = 'open'
        for expr, _ in type_uses(t):
            while expr.kind in ('SEQUENCE_OF', 'SET_OF'):
                expr = expr.element
            if expr.kind == 'REF':
                visit(expr.target, path + [key])
        state[key] = 'done'

    for m in modules.values():
        for t in m.types:
            visit(t, [])


def module_dependencies(module):
    """Names of the other modules whose types this module uses."""
    deps = []
    for t in module.types:
        for expr, _ in type_uses(t):
            while expr.kind in ('SEQUENCE_OF', 'SET_OF'):
                expr = expr.element
            if expr.kind == 'REF' and expr.module != module.name and expr.module not in deps:
                deps.append(expr.module)
    return deps
