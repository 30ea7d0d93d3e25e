# Voice players and recorders against the simulated "/dev/mcc/ctl", prompt
# files under a temporary root and loopback TCP peers.
nodal_test(voice_test SOURCES voice_test.cpp LIBS slots simboard testsupport)
