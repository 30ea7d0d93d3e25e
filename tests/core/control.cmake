# The control server, the heartbeat and the slot framework, driven by the
# test controller over loopback TCP, with the simulated board behind the switch.
nodal_test(core_control_test
  SOURCES ctrl_server_test.cpp heartbeat_test.cpp slots_test.cpp slot_connect_test.cpp slot_test.cpp
  LIBS core messages simboard testsupport)
