# Device paths, codec names and the RTP driver's texts.
nodal_test(device_names_test SOURCES device_names_test.cpp LIBS hardware testsupport)
