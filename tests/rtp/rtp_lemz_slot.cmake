# The LEMZ radio slot and factory against the simulated RTP and
# header-extension drivers, driven by the test controller.
nodal_test(rtp_lemz_slot_test SOURCES rtp_lemz_slot_test.cpp LIBS rtp core messages simboard testsupport)
