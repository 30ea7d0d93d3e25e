# Conference mixer slots against the simulated "/dev/mixer", "/dev/dtmf",
# "/dev/dsp" and switch.
nodal_test(mixer_test SOURCES mixer_test.cpp LIBS slots simboard testsupport)
