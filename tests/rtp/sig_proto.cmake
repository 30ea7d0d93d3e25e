# The LEMZ radio signalling codec: wire vectors, round trips, hostile input
# and the trace printers.
nodal_test(sig_proto_test SOURCES sig_proto_test.cpp LIBS rtp)
# The LEMZ radio state and its translations to and from packets and the
# controller's records.
nodal_test(lemz_radio_state_test SOURCES lemz_radio_state_test.cpp LIBS rtp messages)
