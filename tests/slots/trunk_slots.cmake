# E1 and BRI trunk slots straight from the twelve factory objects.
nodal_test(trunk_slots_test SOURCES trunk_slots_test.cpp LIBS slots testsupport)
