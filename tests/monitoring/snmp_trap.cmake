# SNMPv2c trap builder: wire bytes, and whole traps read by tshark and snmptrapd.
nodal_test(snmp_trap_test SOURCES snmp_trap_test.cpp snmp_trap_peers_test.cpp LIBS monitoring)
