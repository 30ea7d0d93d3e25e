# Modem slots, the authentication relay and fax calls: the controller over
# loopback TCP, the simulated modem control device and HDLC interfaces,
# test scripts in place of the PPP daemon and the fax programs.
nodal_test(slots_modem_test
  SOURCES modem_setup_test.cpp modem_child_test.cpp auth_relay_test.cpp
  LIBS slots core messages simboard testsupport)
