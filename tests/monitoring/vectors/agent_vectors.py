#!/usr/bin/env python3
"""Makes the aligned PER octets of the MON::Message values that the agent
link test has the daemon send, with Erlang's asn1 (erlc -bper).

  agent_vectors.py             rewrites agent_vectors.txt beside this script
  agent_vectors.py --check F   makes a fresh file and compares it with F
Exit status 77 when erlc or escript is missing.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', '..', 'messages', 'vectors'))

import regenerate  # noqa: E402


def setting(uniq, section, name, index, value):
    return "{'SnmpSetCommand',%d,{name,{'IniName',\"%s\",\"%s\",%d}},\"%s\"}" % (uniq, section, name, index, value)


def command(alternative, value):
    return "{'Message',{command,{'%s',%s}}}" % (alternative, value)


CASES = [
    ('batch-2', command('snmp-set', "{'SnmpSetCommands',[%s,%s]}" % (
        setting(1, 'gatewayCommon', 'driverBuild', 0, '2.6.1 [sim]'),
        setting(4, 'extBoardTable', 'extBoardStatus', 300, '3')))),
    ('batch-4', command('snmp-set', "{'SnmpSetCommands',[%s,%s]}" % (
        setting(2, 'gatewayCommon', 'driverBuild', 0, '2.6.1 [sim]'),
        setting(3, 'statusGeneral', 'sgBuildVersion', 0, 'b1\\n')))),
    ('trapsink', command('snmp-trapsink-set', "{'SnmpTrapsinks',[{'SnmpTrapsink',\"10.0.0.1\",asn1_NOVALUE},"
                                             "{'SnmpTrapsink',\"192.168.1.20\",asn1_NOVALUE}]}")),
    ('ping', command('ping', "'NULL'")),
]


def make(out_path):
    if not regenerate.have_erlang():
        return 77
    encoded = regenerate.encode(regenerate.load_modules(), [('MON::Message', term) for _, term in CASES])
    with open(out_path, 'w') as f:
        f.write('# MON::Message octets made by Erlang\'s asn1 (erlc -bper); written by agent_vectors.py.\n')
        for (name, _), octets in zip(CASES, encoded):
            f.write('%s %s\n' % (name, octets))
    return 0


if __name__ == '__main__':
    sys.exit(regenerate.write_or_check(sys.argv, os.path.join(HERE, 'agent_vectors.txt'), make, __doc__))
