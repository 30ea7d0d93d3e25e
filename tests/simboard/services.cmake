# The device models behind the board services: maintenance, CAS, DSP and tone devices.
nodal_test(simboard_services_test SOURCES services_models_test.cpp LIBS simboard testsupport)
