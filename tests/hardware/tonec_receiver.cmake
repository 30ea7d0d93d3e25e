# The tone receiver service against the simulated "/dev/dtmf".
nodal_test(tonec_receiver_test SOURCES tonec_receiver_test.cpp LIBS hardware simboard testsupport)
