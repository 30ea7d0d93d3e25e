# The LEMZ radio signalling codec: wire vectors, round trips, hostile input
# and the trace printers.
nodal_test(sig_proto_test SOURCES sig_proto_test.cpp LIBS rtp)
