# The LEMZ radio control against the simulated "/dev/rtp_ext", on the
# controlled loop clock.
nodal_test(lemz_radio_control_test SOURCES lemz_radio_control_test.cpp LIBS rtp simboard testsupport)
