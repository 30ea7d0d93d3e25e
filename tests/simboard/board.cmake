# The simulated board itself: device routing, traffic and the device models.
nodal_test(simboard_test SOURCES board_test.cpp models_test.cpp record_file_test.cpp LIBS simboard testsupport)
