# UDP text record sender: datagrams to loopback receivers.
nodal_test(cdr_sender_test SOURCES cdr_sender_test.cpp LIBS monitoring testsupport)
