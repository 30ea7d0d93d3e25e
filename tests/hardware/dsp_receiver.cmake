# The DSP event receiver service against the simulated "/dev/dsp".
nodal_test(dsp_receiver_test SOURCES dsp_receiver_test.cpp LIBS hardware simboard testsupport)
