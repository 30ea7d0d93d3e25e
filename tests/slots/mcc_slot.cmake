# MCC data slots against the simulated "/dev/mcc/ctl".
nodal_test(mcc_slot_test SOURCES mcc_slot_test.cpp LIBS slots simboard testsupport)
