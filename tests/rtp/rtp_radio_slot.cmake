# The ED-137 and LEMZ radio slots and factories against the simulated RTP
# and header-extension drivers, driven by the test controller.
nodal_test(rtp_radio_slot_test SOURCES rtp_radio_slot_test.cpp LIBS rtp core messages simboard testsupport)
