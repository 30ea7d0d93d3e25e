# The TDM switch against the simulated "/dev/hal".
nodal_test(hw_mux_test SOURCES hw_mux_test.cpp LIBS hardware simboard testsupport)
