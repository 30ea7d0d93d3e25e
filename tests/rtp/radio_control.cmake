# The radio control base and the ED-137 control against the simulated
# "/dev/rtp_ext", on the controlled loop clock.
nodal_test(radio_control_test SOURCES radio_control_test.cpp ed137_radio_control_test.cpp
  LIBS rtp simboard testsupport)
