# The monitoring service, its data holder and the SNMP agent links, with the
# simulated board, the test clock, a test controller and fake agents over
# loopback TCP.
nodal_test(monitoring_test
  SOURCES monitoring_data_test.cpp
  LIBS monitoring core messages simboard testsupport)
