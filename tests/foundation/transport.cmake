# Packets, protocol stacks, the socket stream and TPKT layers, controller and
# agent connections, asynchronous copy and connect, the TPKT tracer.
nodal_test(packet_test SOURCES packet_test.cpp protocol_test.cpp LIBS foundation testsupport)
nodal_test(tpkt_test SOURCES tpkt_test.cpp LIBS foundation testsupport)
nodal_test(strm_test SOURCES strm_test.cpp LIBS foundation testsupport)
nodal_test(control_test SOURCES control_test.cpp LIBS foundation testsupport)
nodal_test(async_test SOURCES async_test.cpp LIBS foundation testsupport)
nodal_test(tracer_test SOURCES tracer_test.cpp LIBS foundation testsupport)
nodal_test(control_unix_test SOURCES control_unix_test.cpp LIBS foundation testsupport)
