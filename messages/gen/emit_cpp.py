"""Writes the C++ of one module: a header with one class per type and source
files with the constant info records, the name tables and the accessors.

Records are aggregates of address constants only, so every one of them is
constant-initialised: no record depends on the order of static
initialisation. Each record's `create` makes an object of the generated
class, which the typed accessors rely on.
"""

from . import defparser

KEYWORDS = set('''alignas alignof and and_eq asm auto bitand bitor bool break case catch char
char16_t char32_t class compl const constexpr const_cast continue decltype default delete do
double dynamic_cast else enum explicit export extern false float for friend goto if inline int
long mutable namespace new noexcept not not_eq nullptr operator or or_eq private protected
public register reinterpret_cast return short signed sizeof static static_assert static_cast
struct switch template this thread_local throw true try typedef typeid typename union unsigned
using virtual void volatile wchar_t while xor xor_eq'''.split())

# Member names of the generated classes and their runtime bases that an
# enumerator or alternative constant must not hide.
RESERVED = {'create', 'theInfo', 'InfoType', 'enumNames', 'fieldInfos', 'fieldIds', 'fieldNames',
            'selectionInfos', 'selectionNames', 'getValue', 'setValue', 'getName', 'getMaximum',
            'extendable', 'info', 'NamedNumber', 'Alternative', 'compare', 'clone', 'accept'}

SIMPLE = {'BOOLEAN': 'ASN1::BOOLEAN', 'NULL': 'ASN1::Null', 'OCTET_STRING': 'ASN1::OCTET_STRING',
          'OID': 'ASN1::OBJECT_IDENTIFIER'}


def cpp_ident(name):
    """Field and alternative names in accessor names: a hyphen becomes an underscore."""
    return name.replace('-', '_')


def enumerator(name):
    """A value name as enumerator: without its "=value", hyphens as underscores,
    and an underscore appended where it would be a keyword or hide a member."""
    out = name.split('=')[0].replace('-', '_')
    if out in KEYWORDS or out in RESERVED:
        out += '_'
    return out


def class_name(typedef):
    return typedef.name.replace('::', '_')


def qualified(typedef):
    return '%s::%s' % (typedef.module, class_name(typedef))


def cpp_type(expr):
    """Class of the objects a field or alternative of this type holds."""
    k = expr.kind
    if k == 'INTEGER':
        if expr.lower is None:
            return 'ASN1::INTEGER'
        return 'ASN1::Constrained_INTEGER<2, %d, %du>' % (expr.lower, expr.upper)
    if k == 'IA5String':
        return 'ASN1::IA5String'
    if k in SIMPLE:
        return SIMPLE[k]
    if k in ('SEQUENCE_OF', 'SET_OF'):
        return list_class(expr)
    return qualified(expr.target)


def list_class(expr):
    """The runtime template whose static record describes this list type."""
    return 'ASN1::%s<%s, ASN1::EmptyConstraint>' % (expr.kind, element_class(expr.element))


def element_class(expr):
    """Template argument of a SEQUENCE OF: the class whose record is the element's."""
    return cpp_type(expr)


def record(expr):
    return '&%s::theInfo' % cpp_type(expr)


def check_expr(expr, module, line):
    if expr.kind == 'IA5String' and expr.lower is not None:
        raise defparser.DefError(module.path, line, 'a sized IA5String needs a type of its own (Name ::= IA5String (SIZE ...))')
    if expr.kind in ('SEQUENCE_OF', 'SET_OF'):
        check_expr(expr.element, module, line)


def base_class(t):
    if t.kind == 'ALIAS':
        return 'ASN1::AbstractString'
    return 'ASN1::' + t.kind


def quote(s):
    return '"%s"' % s.replace('\\', '\\\\').replace('"', '\\"')


def foreign_types(module, types):
    """Types of other modules named by the given types, by module."""
    out = {}
    for t in types:
        for expr, _ in defparser.type_uses(t):
            while expr.kind in ('SEQUENCE_OF', 'SET_OF'):
                expr = expr.element
            if expr.kind == 'REF' and expr.module != module.name:
                targets = out.setdefault(expr.module, [])
                if expr.target not in targets:
                    targets.append(expr.target)
    return out


# ---------------------------------------------------------------- header

ASN1_INCLUDES = ['#include <string>', '',
                 '#include "asn1/char_strings.h"',
                 '#include "asn1/choice.h"',
                 '#include "asn1/object_identifier.h"',
                 '#include "asn1/octet_strings.h"',
                 '#include "asn1/sequence.h"',
                 '#include "asn1/sequence_of.h"',
                 '#include "asn1/simple_values.h"']


ACCESSORS = '''//
// One class per type, on the runtime class of its kind, with its record theInfo.
// SEQUENCE fields (hyphens in names become underscores):
//   get_<f>() const   the field's object, for reading (a default when absent)
//   mutable_<f>()     the field's object for filling; makes an OPTIONAL field present
//   set_<f>(v)        stores v (a number, bool, NamedNumber, text, octets or a
//                     value of the field's class); makes an OPTIONAL field present
//   has_<f>() const   presence of an OPTIONAL field or extension addition
// CHOICE alternatives: is_<a>() const, get_<a>() const (the alternative, or a
// default when another one is selected),
// select_<a>() (selects a new default alternative and returns it), and the
// alternative indexes alt_<a>. ENUMERATED: NamedNumber, each name with its value.'''


def banner(module):
    return '// Generated by messages/generate.py from messages/%s/%s.def; do not edit.' % (module.name, module.name)


def check(module):
    for t in module.types:
        if t.kind == 'ALIAS' and not (t.alias.kind == 'IA5String' and t.alias.lower is not None):
            raise defparser.DefError(module.path, t.line, 'only a sized IA5String can be a type of its own')
        seen = {}
        for m in t.members:
            check_expr(m.type, module, m.line)
            ident = cpp_ident(m.name)
            if ident in seen:
                raise defparser.DefError(module.path, m.line, '"%s" and "%s" give the same accessor names' % (seen[ident], m.name))
            seen[ident] = m.name


def enums_header(module):
    """The module's enumerations, which other headers need whole for their NamedNumber."""
    out = [banner(module), '#pragma once', '', '#include "asn1/simple_values.h"', '',
           'namespace %s {' % module.name]
    for t in module.types:
        if t.kind == 'ENUMERATED':
            out.append('')
            out.extend(class_decl(module, t))
    out.append('')
    out.append('}  // namespace %s' % module.name)
    return '\n'.join(out) + '\n'


def header(module):
    check(module)
    foreign = foreign_types(module, module.types)
    enum_modules = {m for m, targets in foreign.items() if any(t.kind == 'ENUMERATED' for t in targets)}
    out = [banner(module), ACCESSORS, '#pragma once', '']
    out.extend(ASN1_INCLUDES)
    out.append('')
    out.extend('#include "messages/%s/%s_enums.h"' % (m, m) for m in sorted(set(enum_modules) | {module.name}))
    out.append('')
    for other, targets in sorted(foreign.items()):
        names = [class_name(t) for t in targets if t.kind != 'ENUMERATED']
        if names:
            out.append('namespace %s {' % other)
            out.extend('class %s;' % n for n in names)
            out.append('}  // namespace %s' % other)
            out.append('')
    out.append('namespace %s {' % module.name)
    out.append('')
    out.extend('class %s;' % class_name(t) for t in module.types if t.kind != 'ENUMERATED')
    for t in module.types:
        if t.kind != 'ENUMERATED':
            out.append('')
            out.extend(class_decl(module, t))
    out.append('')
    out.append('}  // namespace %s' % module.name)
    return '\n'.join(out) + '\n'


def class_decl(module, t):
    name = class_name(t)
    out = ['class %s : public %s {' % (name, base_class(t)), ' public:']
    if t.kind == 'ENUMERATED':
        out.extend(enum_decl(module, t))
    if t.kind == 'CHOICE':
        out.extend(wrapped_enum('Alternative', ['alt_%s = %d' % (cpp_ident(m.name), k) for k, m in enumerate(t.members)]))
    out.append('  static const InfoType theInfo;')
    if t.kind == 'SEQUENCE':
        out.append('  static const ASN1::AbstractData::InfoType* const fieldInfos[];')
        out.append('  static const int fieldIds[];')
        out.append('  static const char* const fieldNames[];')
    elif t.kind == 'CHOICE':
        out.append('  static const ASN1::AbstractData::InfoType* const selectionInfos[];')
        out.append('  static const char* const selectionNames[];')
    elif t.kind == 'ENUMERATED':
        out.append('  static const char* const enumNames[];')
    out.append('  static ASN1::AbstractData* create(const void* info);')
    out.append('')
    out.append('  %s();' % name)
    if t.kind == 'ENUMERATED':
        out.append('  explicit %s(NamedNumber v);' % name)
        out.append('  %s& operator=(NamedNumber v) {' % name)
        out.append('    setValue(v);')
        out.append('    return *this;')
        out.append('  }')
    if t.kind == 'ALIAS':
        out.append('  using ASN1::AbstractString::operator=;')
    out.append('  ~%s() override;' % name)
    if t.kind == 'SEQUENCE':
        for m in t.members:
            out.extend(field_decl(m))
    elif t.kind == 'CHOICE':
        for m in t.members:
            out.extend(alternative_decl(m))
    nested = nested_alias(module, t)
    if nested:
        out.append('')
        out.extend(nested)
    out.append('')
    out.append(' private:')
    out.append('  ASN1::AbstractData* do_clone() const override;')
    out.append('};')
    return out


def nested_alias(module, t):
    """Sized element types named Record::field::value_type are reachable under that name."""
    out = []
    for a in module.types:
        parts = a.name.split('::')
        if a.kind == 'ALIAS' and len(parts) == 3 and parts[0] == t.name:
            out.append('  struct %s {' % parts[1])
            out.append('    typedef %s %s;' % (class_name(a), parts[2]))
            out.append('  };')
    return out


def enum_decl(module, t):
    seen = {}
    items = []
    for n in t.names:
        ident = enumerator(n.ident)
        if ident in seen:
            raise defparser.DefError(module.path, t.line, 'value names "%s" and "%s" give the same C++ name' % (seen[ident], n.text))
        seen[ident] = n.text
        items.append('%s = %d' % (ident, n.value))
    return wrapped_enum('NamedNumber', items)


def wrapped_enum(name, items):
    out = ['  enum %s {' % name]
    line = '   '
    for k, item in enumerate(items):
        piece = ' ' + item + (',' if k < len(items) - 1 else '')
        if len(line) + len(piece) > 100:
            out.append(line)
            line = '   '
        line += piece
    out.append(line)
    out.append('  };')
    return out


def presence(t, m):
    """(presence index, field index) of an OPTIONAL field or extension addition."""
    index = t.members.index(m)
    if m.extension:
        optional = sum(1 for x in t.roots if x.optional)
        return optional + t.additions.index(m), index
    return [x for x in t.roots if x.optional].index(m), index


def setter_param(expr):
    k = expr.kind
    if k == 'INTEGER':
        return 'unsigned v' if expr.lower is not None and expr.lower >= 0 else 'int v'
    if k == 'BOOLEAN':
        return 'bool v'
    if k == 'IA5String':
        return 'const std::string& v'
    if k == 'OCTET_STRING':
        return 'const ASN1::OCTET_STRING::Octets& v'
    if k in ('SEQUENCE_OF', 'SET_OF'):
        return 'const %s& v' % list_class(expr)
    if k == 'REF' and expr.target.kind == 'ENUMERATED':
        return '%s::NamedNumber v' % qualified(expr.target)
    if k == 'REF' and expr.target.kind == 'ALIAS':
        return 'const std::string& v'
    if k == 'REF':
        return 'const %s& v' % qualified(expr.target)
    return None


def setter_body(expr):
    k = expr.kind
    if k == 'INTEGER':
        return 'setValue(static_cast<int>(v))'
    if k in ('BOOLEAN',) or (k == 'REF' and expr.target.kind == 'ENUMERATED'):
        return 'setValue(v)'
    if k == 'OCTET_STRING':
        return 'getValue() = v'
    return None  # assignment


def field_decl(m):
    f = cpp_ident(m.name)
    typ = cpp_type(m.type)
    out = []
    optional = m.optional or m.extension
    if optional:
        out.append('  bool has_%s() const;' % f)
    if m.type.kind != 'NULL':
        out.append('  const %s& get_%s() const;' % (typ, f))
    out.append('  %s& mutable_%s();' % (typ, f))
    param = setter_param(m.type)
    if param:
        out.append('  void set_%s(%s);' % (f, param))
    return out


def alternative_decl(m):
    a = cpp_ident(m.name)
    typ = cpp_type(m.type)
    out = ['  bool is_%s() const;' % a]
    if m.type.kind != 'NULL':
        out.append('  const %s& get_%s() const;' % (typ, a))
    out.append('  %s& select_%s();' % (typ, a))
    return out


# ---------------------------------------------------------------- sources

def sources(module, chunks):
    """The module's source files: the types split into `chunks` parts of similar size."""
    weights = [1 + len(t.members) + len(t.names) // 8 for t in module.types]
    total = sum(weights)
    parts, acc, current = [], 0, []
    for t, w in zip(module.types, weights):
        current.append(t)
        acc += w
        if acc >= total * (len(parts) + 1) / chunks and len(parts) < chunks - 1:
            parts.append(current)
            current = []
    parts.append(current)
    while len(parts) < chunks:
        parts.append([])
    return [source(module, p) for p in parts]


def source(module, types):
    includes = {module.name}
    includes.update(foreign_types(module, types))
    out = ['// Generated by messages/generate.py from messages/%s/%s.def; do not edit.' % (module.name, module.name)]
    out.extend('#include "messages/%s/%s.h"' % (m, m) for m in sorted(includes))
    out.append('')
    out.append('#include "messages/access.h"')
    out.append('')
    out.append('namespace %s {' % module.name)
    for t in types:
        out.append('')
        out.append('// ' + '-' * 70 + ' ' + t.name)
        out.extend(definitions(module, t))
    out.append('')
    out.append('}  // namespace %s' % module.name)
    return '\n'.join(out) + '\n'


def definitions(module, t):
    name = class_name(t)
    out = []
    if t.kind == 'SEQUENCE':
        out.extend(sequence_record(t, name))
    elif t.kind == 'CHOICE':
        out.extend(choice_record(t, name))
    elif t.kind == 'ENUMERATED':
        out.extend(enum_record(t, name))
    else:
        a = t.alias
        out.append('const %s::InfoType %s::theInfo = {' % (name, name))
        out.append('    {{&%s::create, 22}, ASN1::FixedConstraint, %d, %du}, ASN1::IA5StringSet, 128, 7, 7, 8};' % (name, a.lower, a.upper))
    out.append('')
    out.append('ASN1::AbstractData* %s::create(const void*) { return new %s; }' % (name, name))
    out.append('%s::%s() : %s(&theInfo) {}' % (name, name, base_class(t)))
    if t.kind == 'ENUMERATED':
        out.append('%s::%s(NamedNumber v) : ASN1::ENUMERATED(v, &theInfo) {}' % (name, name))
    out.append('%s::~%s() {}' % (name, name))
    out.append('ASN1::AbstractData* %s::do_clone() const { return new %s(*this); }' % (name, name))
    if t.kind == 'SEQUENCE':
        for k, m in enumerate(t.members):
            out.extend(field_defs(t, name, m, k))
    elif t.kind == 'CHOICE':
        for k, m in enumerate(t.members):
            out.extend(alternative_defs(name, m, k))
    return out


def table(decl, items, per_line=1):
    if not items:
        return []
    out = ['%s = {' % decl]
    for k in range(0, len(items), per_line):
        out.append('    ' + ', '.join(items[k:k + per_line]) + ',')
    out[-1] = out[-1][:-1] + '};'
    return out


def sequence_record(t, name):
    roots, adds = t.roots, t.additions
    ids, bit = [], 0
    for m in roots:
        if m.optional:
            ids.append(str(bit))
            bit += 1
        else:
            ids.append('-1')
    ids.extend('0' for _ in adds)
    members = roots + adds
    out = []
    out.extend(table('const ASN1::AbstractData::InfoType* const %s::fieldInfos[]' % name, [record(m.type) for m in members]))
    out.extend(table('const int %s::fieldIds[]' % name, ids, 16))
    out.extend(table('const char* const %s::fieldNames[]' % name, [quote(m.name) for m in members], 4))
    empty = not members
    out.append('const %s::InfoType %s::theInfo = {' % (name, name))
    out.append('    {&%s::create, 16}, %s, %s, %s, %d, %d, %d, nullptr, nullptr, %s};' % (
        name, 'true' if t.extendable else 'false',
        'nullptr' if empty else 'fieldInfos', 'nullptr' if empty else 'fieldIds',
        len(roots), len(adds), bit, 'nullptr' if empty else 'fieldNames'))
    return out


def choice_record(t, name):
    out = []
    out.extend(table('const ASN1::AbstractData::InfoType* const %s::selectionInfos[]' % name, [record(m.type) for m in t.members]))
    out.extend(table('const char* const %s::selectionNames[]' % name, [quote(m.name) for m in t.members], 4))
    out.append('const %s::InfoType %s::theInfo = {' % (name, name))
    out.append('    {&%s::create, 0}, %s, selectionInfos, %d, %d, nullptr, selectionNames};' % (
        name, 'true' if t.extendable else 'false', len(t.roots), len(t.members)))
    return out


def enum_record(t, name):
    out = table('const char* const %s::enumNames[]' % name, [quote(n.text) for n in t.names], 4)
    out.append('const %s::InfoType %s::theInfo = {' % (name, name))
    out.append('    {&%s::create, 10}, %s, %du, enumNames, %d};' % (
        name, 'true' if t.extendable else 'false', t.max_value, len(t.names)))
    return out


def field_defs(t, name, m, index):
    f = cpp_ident(m.name)
    typ = cpp_type(m.type)
    out = []
    if m.optional or m.extension:
        p, _ = presence(t, m)
        out.append('bool %s::has_%s() const { return hasOptionalField(%d); }' % (name, f, p))
        mutable = 'Messages::presentField<%s>(*this, %d, %d)' % (typ, p, index)
        read = 'Messages::optionalField<%s>(*this, %d, %d)' % (typ, p, index)
    else:
        mutable = 'Messages::mandatoryField<%s>(*this, %d)' % (typ, index)
        read = 'Messages::field<%s>(*this, %d)' % (typ, index)
    if m.type.kind != 'NULL':
        out.append('const %s& %s::get_%s() const { return %s; }' % (typ, name, f, read))
    out.append('%s& %s::mutable_%s() { return %s; }' % (typ, name, f, mutable))
    param = setter_param(m.type)
    if param:
        body = setter_body(m.type)
        if body:
            out.append('void %s::set_%s(%s) { mutable_%s().%s; }' % (name, f, param, f, body))
        else:
            out.append('void %s::set_%s(%s) { mutable_%s() = v; }' % (name, f, param, f))
    return out


def alternative_defs(name, m, index):
    a = cpp_ident(m.name)
    typ = cpp_type(m.type)
    out = ['bool %s::is_%s() const { return currentSelection() == %d; }' % (name, a, index)]
    if m.type.kind != 'NULL':
        out.append('const %s& %s::get_%s() const { return Messages::alternative<%s>(*this, %d); }' % (typ, name, a, typ, index))
    out.append('%s& %s::select_%s() { return Messages::select<%s>(*this, %d); }' % (typ, name, a, typ, index))
    return out
