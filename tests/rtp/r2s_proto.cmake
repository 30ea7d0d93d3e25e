# The ED-137 header-extension codec: wire vectors, round trips, hostile
# input, and packed payloads read by tshark's dissector.
nodal_test(r2s_proto_test SOURCES r2s_proto_test.cpp r2s_proto_tshark_test.cpp LIBS rtp)
