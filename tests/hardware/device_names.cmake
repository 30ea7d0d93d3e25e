# The RTP driver's error texts and record layouts.
nodal_test(device_names_test SOURCES device_names_test.cpp LIBS hardware testsupport)
