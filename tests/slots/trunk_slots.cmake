# E1 and BRI trunk slots straight from the twelve factory objects, and
# their replacements through the controller's commands.
nodal_test(trunk_slots_test SOURCES trunk_slots_test.cpp LIBS slots simboard testsupport)
