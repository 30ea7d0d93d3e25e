# HDLC controller channels against the simulated "/dev/mcc/ctl" and "/dev/hal".
nodal_test(hdlc_test SOURCES hdlc_test.cpp LIBS hardware simboard testsupport)
