# Map, ext and echo slots through the controller's commands, against the
# simulated switch.
nodal_test(bus_slots_test SOURCES bus_slots_test.cpp LIBS slots simboard testsupport)
